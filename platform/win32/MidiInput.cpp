// MIDI input devices over winmm. One connection owns one input handle and one
// 65536-byte system-exclusive buffer, which goes back to the driver each time
// the driver returns it full or finished.

#include <windows.h>

#include <mmsystem.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "common/SystemServices.h"
#include "platform/MidiInput.h"

namespace platform {
namespace {

class WinmmConnection final : public MidiInputConnection {
public:
    explicit WinmmConnection(MidiInputListener& listener)
        : listener_(listener), buffer_(kMidiInputSysexBufferSize) {}

    // False when the device cannot be opened; the destructor then undoes
    // whatever part succeeded.
    bool open(UINT index) {
        HMIDIIN handle = nullptr;
        if (midiInOpen(&handle, index, reinterpret_cast<DWORD_PTR>(&WinmmConnection::callback),
                       reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
            // What the driver left in `handle` is not ours to use.
            return false;
        }
        handle_ = handle;
        header_.lpData = buffer_.data();
        header_.dwBufferLength = static_cast<DWORD>(buffer_.size());
        header_.dwFlags = 0;
        if (midiInPrepareHeader(handle_, &header_, sizeof header_) != MMSYSERR_NOERROR) {
            return false;
        }
        prepared_ = true;
        if (midiInAddBuffer(handle_, &header_, sizeof header_) != MMSYSERR_NOERROR) {
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(callbackMutex_);
            running_ = true;
        }
        return midiInStart(handle_) == MMSYSERR_NOERROR;
    }

    ~WinmmConnection() override {
        if (handle_ == nullptr) {
            return;
        }
        // Cleared before the stop and the reset, so that the buffer the reset
        // hands back is neither delivered nor queued again; under the lock, so
        // that a callback already delivering on the driver's thread finishes
        // before we go on.
        {
            std::lock_guard<std::mutex> lock(callbackMutex_);
            running_ = false;
        }
        midiInStop(handle_);
        midiInReset(handle_);
        if (prepared_) {
            midiInUnprepareHeader(handle_, &header_, sizeof header_);
        }
        midiInClose(handle_);
    }

private:
    static void CALLBACK callback(HMIDIIN handle, UINT message, DWORD_PTR instance,
                                  DWORD_PTR param1, DWORD_PTR /*param2*/) {
        reinterpret_cast<WinmmConnection*>(instance)->received(handle, message, param1);
    }

    void received(HMIDIIN handle, UINT message, DWORD_PTR param1) {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        if (!running_) {
            return;
        }
        switch (message) {
            case MIM_DATA: {
                const DWORD packed = static_cast<DWORD>(param1);
                const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed & 0xFF),
                                               static_cast<std::uint8_t>((packed >> 8) & 0xFF),
                                               static_cast<std::uint8_t>((packed >> 16) & 0xFF)};
                listener_.midiInputReceived(bytes, shortMessageLength(bytes[0]));
                break;
            }
            case MIM_LONGDATA: {
                MIDIHDR* header = reinterpret_cast<MIDIHDR*>(param1);
                // Some drivers hand back an empty buffer; that is no message.
                if (header->dwBytesRecorded > 0) {
                    listener_.midiInputReceived(
                        reinterpret_cast<const std::uint8_t*>(header->lpData),
                        header->dwBytesRecorded);
                }
                midiInAddBuffer(handle, header, sizeof *header);
                break;
            }
            case MIM_LONGERROR:
                midiInAddBuffer(handle, reinterpret_cast<MIDIHDR*>(param1), sizeof(MIDIHDR));
                break;
            default:
                break;
        }
    }

    MidiInputListener& listener_;
    std::vector<char> buffer_;
    MIDIHDR header_{};
    HMIDIIN handle_ = nullptr;
    bool prepared_ = false;
    std::mutex callbackMutex_;
    bool running_ = false;  // guarded by callbackMutex_
};

class WinmmMidiInputSystem final : public MidiInputSystem {
public:
    int deviceCount() override { return static_cast<int>(midiInGetNumDevs()); }

    std::string deviceName(int index) override {
        if (index < 0 || index >= deviceCount()) {
            return std::string();
        }
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(static_cast<UINT_PTR>(index), &caps, sizeof caps) !=
            MMSYSERR_NOERROR) {
            return std::string();
        }
        // A driver may fill all 32 bytes without a terminator.
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }

    std::unique_ptr<MidiInputConnection> open(int index, MidiInputListener& listener) override {
        if (index < 0 || index >= deviceCount()) {
            return nullptr;
        }
        auto connection = std::make_unique<WinmmConnection>(listener);
        if (!connection->open(static_cast<UINT>(index))) {
            return nullptr;
        }
        return connection;
    }
};

}  // namespace

MidiInputSystem& detail::realMidiInputSystem() {
    static WinmmMidiInputSystem system;  // destroyed at unload, see Preferences.cpp
    return system;
}

}  // namespace platform
