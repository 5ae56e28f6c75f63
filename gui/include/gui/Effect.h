#pragma once
// Renderers draw on behalf of many elements at once. The Manager owns them
// and calls them on the render thread.

namespace QX {

class Manager;

class Effect {
public:
    // Appends the renderer to the Manager's list, which owns it.
    explicit Effect(Manager* manager);
    virtual ~Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    virtual void Idle() {}
    virtual void Draw() {}
    virtual void Draw3D() {}
    virtual void InitGL() {}
    virtual void ShutdownGL() {}

    Manager* manager;
};

}  // namespace QX
