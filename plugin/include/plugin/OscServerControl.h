#pragma once
// What the plug-in asks of its OSC server. The server lives above this
// layer and implements this interface; a plug-in built without one keeps a
// server that stays off (`NoOscServer`).

namespace QX {

class OscServerControl {
public:
    virtual ~OscServerControl() = default;
    // [main-thread] Reads what the server needs from the plug-in.
    virtual void Initialise() = 0;
    // [main-thread] Starts the receive and notify threads.
    virtual void StartTasks() = 0;
    // [main-thread] Stops both threads, waiting for each to end.
    virtual void StopTasks() = 0;
    // [any-thread] The port changed (0 = off): the server re-binds.
    virtual void portChanged(int port) = 0;
    // [any-thread, lock-free] A parameter changed; registered peers hear of it.
    virtual void parameterChanged(int index, float native) = 0;
};

class NoOscServer final : public OscServerControl {
public:
    void Initialise() override {}
    void StartTasks() override {}
    void StopTasks() override {}
    void portChanged(int) override {}
    void parameterChanged(int, float) override {}
};

}  // namespace QX
