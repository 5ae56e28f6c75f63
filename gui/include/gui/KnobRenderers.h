#pragma once
// The renderers that draw every knob of one look in one pass: one vertex
// array for all their instances, one draw call per run of visible
// instances, and an optional GLSL program ("eye candy"), with fixed-function
// texturing when shaders are missing or eye candy is off.
//
// Instances are appended on the user-interface thread while the layout is
// built (before the render task starts) and never removed; everything else
// runs on the render thread.

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

#include "gui/Effect.h"
#include "gui/Geometry.h"

namespace QX {

class Texture;

// One GLSL program built from two sources; compile and link results are not
// queried (a failure leaves a program that draws nothing useful, not a
// crash).
struct ShaderProgram {
    unsigned vertexShader = 0, fragmentShader = 0, program = 0;
    // [render-thread] False when the context has no GLSL.
    bool Build(const char* vertexSource, const char* fragmentSource);
    void Release();
};
// [render-thread] Whether the context offers GLSL shader objects.
bool ShadersAvailable();

// Knobs drawn as a value image turned with the knob (the lit arc and its
// pointer) over a track image that stays put, both cut out of an atlas.
class ArcKnobRenderer : public Effect {
public:
    static constexpr int kVerticesPerInstance = 33;
    static constexpr int kValueVertices = 15;

    // Atlas positions in pixels, rows counted from the top of the image: the
    // value image at (x0, y0) and the track image at (x1, y1), both `size`
    // pixels square.
    ArcKnobRenderer(Manager* manager, Texture* atlas, float x0, float y0, float size, float x1,
                    float y1);
    ~ArcKnobRenderer() override;

    void InitGL() override;
    void Draw() override;
    void ShutdownGL() override;

    // ---- Instances (render thread once the task runs) ------------------------------
    int AddInstance();
    void SetPlacement(int instance, Point centre, float radius);
    // Rebuilds the instance's triangles when the angle (0 .. 3/2 pi) moved.
    void SetAngle(int instance, float angle);
    // Repacks the instance's vertex colours when the colour changed.
    void SetColour(int instance, const float colour[4]);
    void SetActive(int instance, bool active);

    // ---- The parts of InitGL and Draw that need no GL (also for tests) ------------
    // Texture-space constants from the atlas size, then every instance's
    // vertices.
    void PrepareVertices(int atlasWidth, int atlasHeight);
    // The colour scale follows the shader (which doubles the colour); when
    // it changes every instance is recoloured, once.
    void UseColourScale(bool shader);

    struct Vertex {
        float u, v;
        std::uint8_t colour[4];
        float x, y, z;
    };
    struct Instance {
        float colour[4] = {1, 1, 1, 1};
        Point centre;
        float radius = 0;
        float angle = -1;  // none yet
        // Written by SetVisible on the user-interface thread.
        std::atomic<bool> active{true};
    };
    const std::vector<Vertex>& vertices() const { return vertices_; }
    const std::deque<Instance>& instances() const { return instances_; }
    // How often the whole array was recoloured for a new colour scale.
    int recolourings() const { return recolourings_; }

    Texture* atlas;
    float valueX, valueY, imageSize, trackX, trackY;
    bool shaderWasOn = true;

private:
    void BuildGeometry(int instance);
    void PackColour(int instance);

    // A deque, so that appending never moves an instance.
    std::deque<Instance> instances_;
    std::vector<Vertex> vertices_;
    bool prepared_ = false;
    // Texture space: centres of both images and their common radius.
    float valueU_ = 0, valueV_ = 0, trackU_ = 0, trackV_ = 0, radiusU_ = 0, radiusV_ = 0;
    ShaderProgram shader_;
    int texLocation_ = -1;
    int recolourings_ = 0;
};

// Knobs drawn as one textured square turned about its centre.
class TexturedKnobRenderer : public Effect {
public:
    // The image is the `size` pixel square at (x, y) of the texture, rows
    // counted from the top.
    TexturedKnobRenderer(Manager* manager, Texture* texture, float x, float y, float size);
    ~TexturedKnobRenderer() override;

    void InitGL() override;
    void Draw() override;
    void ShutdownGL() override;

    int AddInstance();
    void SetPlacement(int instance, Point centre, float radius);
    // Rebuilds the instance's quad when the angle (radians) moved.
    void SetAngle(int instance, float angle);
    void SetActive(int instance, bool active);

    void PrepareVertices(int textureWidth, int textureHeight);

    struct Vertex {
        float u, v;
        float nx, ny, nz;
        float x, y, z;
    };
    struct Instance {
        float colour[4] = {1, 1, 1, 1};
        Point centre;
        float radius = 0;
        float angle = 0;
        std::atomic<bool> active{true};
    };
    const std::vector<Vertex>& vertices() const { return vertices_; }

    Texture* texture;
    float imageX, imageY, imageSize;
    // Local (a, b) and texture (u, v) of the corners (1, 1), (-1, 1),
    // (-1, -1), (1, -1).
    float corners[4][4] = {};

private:
    void BuildQuad(int instance);

    // A deque, so that appending never moves an instance.
    std::deque<Instance> instances_;
    std::vector<Vertex> vertices_;
    bool prepared_ = false;
    ShaderProgram shader_;
    int texLocation_ = -1;
};

}  // namespace QX
