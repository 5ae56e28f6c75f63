#pragma once
// The plug-in's Manager: a background texture under the cached layer, and a
// pass-through shader for the cached layer when eye candy is on.

#include "gui/Manager.h"

namespace QX {
class Texture;
}

class ALmanager : public QX::Manager {
public:
    using QX::Manager::Manager;
    // The render thread's shutdown runs this class's shutdowner, so the
    // thread must stop while this part of the object still exists.
    ~ALmanager() override { StopRenderTask(); }

    void InitGLHook() override;
    RenderingShutdowner* CreateShutdowner() override;
    void DrawUITexture() override;
    void DrawBackground(bool reload) override;
    // "b..." draws the image once at its own size, anything else tiles it.
    void SetBackground(QX::Texture* texture, const char* mode);

    class ALRenderingShutdowner : public RenderingShutdowner {
    public:
        explicit ALRenderingShutdowner(ALmanager* manager) : manager_(manager) {}
        void Run() override;

    private:
        ALmanager* manager_;
    };

    QX::Texture* background = nullptr;
    int backgroundMode = 0;
    unsigned vertexShader = 0, fragmentShader = 0, program = 0;
    int texLocation = -1;
};
