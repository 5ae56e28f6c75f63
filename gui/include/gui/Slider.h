#pragma once
// Sliders: a thumb moved along a track. The track is drawn into the cached
// layer; every thumb of one look is drawn by one renderer, lit through a
// normal map by the light that glides towards the pointer.

#include <atomic>
#include <deque>
#include <vector>

#include "gui/Control.h"
#include "gui/Effect.h"
#include "gui/KnobRenderers.h"

namespace QX {

class Texture;
class TexturedSliderRenderer;

class Slider : public Control {
public:
    using Control::Control;
};

// Gestures: a click puts the thumb under the pointer and a drag follows it;
// with Shift the thumb moves 0.0005 of the range per unit from where it was
// (no jump); Alt sets the default and holds the thumb; Control snaps to
// whole plain values.
class TexturedSlider : public Slider {
public:
    // The thumb is the (2 halfWidth) x (2 halfHeight) pixel rectangle
    // centred on (imageCentreU, imageCentreV) of the renderer's texture.
    TexturedSlider(Manager* manager, TexturedSliderRenderer* renderer, float imageCentreU,
                   float imageCentreV, float halfWidth, float halfHeight, int parameterIndex,
                   float x, float y, float width, float height, int horizontal);

    void Idle() override;
    void MouseDown(Point p, int modifiers, int clickCount) override;
    void MouseDrag(Point p, int modifiers) override;
    void Layout() override;
    void SetVisible(bool v) override;
    // The track, into the cached layer.
    void DrawStatic(Font* font) override;

    // Where the thumb's centre goes for the current position: on the
    // track's centre line, over the point a click there would choose.
    Point ThumbCentre() const;

    int horizontal;
    Point dragStart;
    float dragStartPosition = 0;
    TexturedSliderRenderer* renderer;
    int instance = -1;
    // Lower-left corner of the absolute box and the length the thumb's
    // centre travels (the box's extent along the axis).
    Point trackStart;
    float travel = 0;
    float trackMiddle = 0;  // the track's centre line across the axis
};

class TexturedSliderRenderer : public Effect {
public:
    // `normalMap` may be null: the thumb is then drawn from the colour
    // texture alone.
    TexturedSliderRenderer(Manager* manager, Texture* colour, Texture* normalMap);
    ~TexturedSliderRenderer() override;

    void InitGL() override;
    void Draw() override;
    void ShutdownGL() override;

    int AddInstance(float imageCentreU, float imageCentreV, float halfWidth, float halfHeight);
    // Rewrites the instance's quad when the thumb moved.
    void PlaceThumb(int instance, Point centre);
    void SetActive(int instance, bool active);

    void PrepareVertices(int textureWidth, int textureHeight);

    struct Vertex {
        float u, v;
        float nx, ny, nz;
        float x, y, z;
    };
    struct Instance {
        Point thumb;
        float halfWidth = 0, halfHeight = 0;
        float imageU = 0, imageV = 0;
        std::atomic<bool> active{true};
        bool placed = false;
    };
    const std::vector<Vertex>& vertices() const { return vertices_; }

    Texture* colourTexture;
    Texture* normalMap;

private:
    void WriteQuad(int instance);

    std::deque<Instance> instances_;
    std::vector<Vertex> vertices_;
    bool prepared_ = false;
    ShaderProgram shader_;
    int texLocation_ = -1, normalMapLocation_ = -1;
};

}  // namespace QX
