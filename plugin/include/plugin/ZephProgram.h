#pragma once
// Program holders: the values of all parameters in native units and a name.
// Values are single 32-bit floats read and written by every thread without a
// lock (host, editor, OSC, Lua timers, audio): relaxed atomics make that
// well-defined while compiling to plain loads and stores.

#include <atomic>
#include <cstdint>
#include <string>

class ZephProgram {
public:
    virtual ~ZephProgram() = default;
    virtual void setParameter(int index, float value) = 0;
    virtual float getParameter(int index) const = 0;
    // The stored value itself, for bulk copies (state restore); null for an
    // index outside the program.
    virtual std::atomic<float>* valuePointer(int index) = 0;
    virtual const std::atomic<float>* valuePointer(int index) const = 0;
    virtual void setName(const char* name) = 0;
    virtual const char* getName() const = 0;
    // Opaque program chunks: this family keeps none.
    virtual std::int32_t getChunk(void** data) {
        *data = nullptr;
        return 0;
    }
    virtual bool hasChunk() const { return false; }
    virtual void setChunk(const void* /*data*/, std::int32_t /*size*/) {}
    virtual bool wantsChunk() const { return false; }
};

// The one program of this plug-in: 28 values and a 32-byte name.
class ZephProgramBasic : public ZephProgram {
public:
    static constexpr int kNumValues = 28;
    static constexpr int kNameSize = 32;

    ZephProgramBasic();

    // [any-thread, lock-free] Indices outside 0..27 are ignored (read as 0).
    void setParameter(int index, float value) override;
    float getParameter(int index) const override;
    std::atomic<float>* valuePointer(int index) override;
    const std::atomic<float>* valuePointer(int index) const override;
    // [main-thread] Keeps at most 31 characters.
    void setName(const char* name) override;
    const char* getName() const override { return name_; }

private:
    std::atomic<float> values_[kNumValues];
    char name_[kNameSize] = {};
};

// A row of the factory program table.
struct FactoryProgram {
    std::string name;
    std::int32_t explicitValueCount;
    float values[ZephProgramBasic::kNumValues];
};

// The process-wide factory table ("Defaults"), completed from the parameter
// table's defaults when an instance builds its programs.
FactoryProgram* factoryPrograms();
inline constexpr int kNumFactoryPrograms = 1;
