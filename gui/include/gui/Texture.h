#pragma once
// PNG images as GL textures, from a file or from the plug-in's built-in
// images (resource type 257). Created, loaded and deleted on the render
// thread; a load is attempted once.

#include <string>

namespace QX {

class Manager;

class Texture {
public:
    // Registers the texture with the Manager, which owns it. Nothing is
    // loaded yet.
    Texture(Manager* manager, const std::string& path, int resourceId);
    virtual ~Texture();

    // [render-thread] Decodes and uploads once; images that are not 8-bit
    // RGB or RGBA with power-of-two sides make no texture (and no message).
    void Load(bool reload = false);
    // [render-thread] Deletes the GL texture; a later Load tries again.
    void Unload();
    bool Loaded() const { return glName != 0; }

    std::string path;
    int resourceId = 0;
    unsigned glName = 0;
    bool loadAttempted = false;
    bool loadOnUse = false;
    int width = 0, height = 0;
};

}  // namespace QX
