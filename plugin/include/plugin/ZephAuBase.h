#pragma once
// The parameter and property layer of the plug-in: one program of native
// values behind the host's normalized parameters, their texts, and the
// AudioUnit-style property mechanism with listeners.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/ParameterTable.h"
#include "plugin/Properties.h"
#include "plugin/ZephProgram.h"
#include "vst/AudioEffectX.h"

class ZephAuBase : public AudioEffectX {
public:
    ZephAuBase(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    ~ZephAuBase() override;

    // ---- Host-facing (VST) --------------------------------------------------
    // [any-thread, lock-free] Indices outside the table are ignored.
    void setParameter(VstInt32 index, float normalized) override;
    float getParameter(VstInt32 index) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool getVendorString(char* text) override;
    void resume() override;
    // [any-thread, lock-free] Every thread that touches a parameter reads
    // the current program, so its index is atomic.
    VstInt32 getProgram() override { return programIndex_.load(std::memory_order_relaxed); }

    // ---- Added slots ---------------------------------------------------------
    virtual std::int32_t GetParameterValueStrings(std::uint32_t scope, std::int32_t index,
                                                  std::shared_ptr<const ValueStringList>* out);
    virtual std::int32_t GetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                     void* data);
    virtual std::int32_t GetPropertyInfo(std::uint32_t id, std::uint32_t scope,
                                         std::uint32_t element, std::uint32_t* size,
                                         bool* writable);
    virtual std::int32_t SetProperty(std::uint32_t id, std::uint32_t scope, std::uint32_t element,
                                     const void* data, std::uint32_t size);
    // GetProperty into a buffer of `*size` bytes: copies at most that many
    // and sets `*size` to what the property holds at the moment of the copy
    // (more than the buffer: the value was cut short). GetProperty copies
    // the whole value whatever the buffer; a property whose size may change
    // between GetPropertyInfo and the copy overrides this and copies under
    // the same guard that sizes it.
    virtual std::int32_t GetPropertyBytes(std::uint32_t id, std::uint32_t scope,
                                          std::uint32_t element, void* data, std::uint32_t* size);
    // [main-thread] The same callback may be added more than once.
    virtual std::int32_t AddPropertyListener(std::uint32_t id, PropertyListenerProc callback,
                                             void* user);
    // Removes every entry with this id and callback.
    virtual std::int32_t RemovePropertyListener(std::uint32_t id, PropertyListenerProc callback);

    // SetProperty in scope 0, then, on success, every listener of `id` in
    // the order they were added, on the calling thread.
    std::int32_t setPropertyAndNotify(std::uint32_t id, const void* data, std::uint32_t size);
    // For the editor and the script layers: id 16 is the value-string list
    // of parameter `element`; everything else is GetProperty in scope 0.
    std::int32_t getPropertyForView(std::uint32_t id, std::uint32_t element, void* out);

    // Sets a native value through the host path (so every side effect of
    // setParameter happens) and, when asked, reports it to the host as
    // automation. Values from outside (scripts, OSC, the editor) land here:
    // a refused value (parameterValueRefusal) sets nothing and answers
    // false; any other is clamped to the parameter's range first, so the
    // normalized value the host reads and the state saves stays in 0..1.
    // [any-thread; from the audio thread only in script callbacks, whose
    // host automation call is the host's to make safe]
    bool setParameterNative(int index, float native, bool reportToHost);
    // Why `native` may not become the value of parameter `index`, or null
    // when it may (after clamping): the base refuses what is not a finite
    // number. The text is static. [any-thread, lock-free]
    virtual const char* parameterValueRefusal(int index, float native) const;
    // [any-thread, lock-free] Native value of the current program; 0 outside
    // the table.
    float getParameterNative(int index) const;

    ZephProgram* currentProgram() const;
    ParameterDescriptor* parameterDescriptors() const { return table_; }

protected:
    // Special text of a value (property 33); the base has none.
    virtual bool parameterStringFromValue(int index, float native, std::string& text);
    // Builds the programs from the table defaults, named "Defaults".
    void createPrograms();
    // Copies the factory rows into the programs.
    void loadFactoryPrograms();
    void callListeners(std::uint32_t id);

    std::vector<std::unique_ptr<ZephProgram>> programs_;
    ParameterDescriptor* table_;
    std::vector<PropertyListener> listeners_;
    std::atomic<VstInt32> programIndex_{0};
};
