// The arc knob's triangles: where the pointer points, which angles the
// value part and the track reveal, what they sample from the atlas, and how
// the vertex colours follow the shader.

#include <cmath>

#include "ControlsFixture.h"
#include "gui/Knob.h"
#include "gui/KnobRenderers.h"
#include "plugin/ParameterTable.h"

namespace controlstest {
namespace {

constexpr float kPi = 3.14159265f;
using Vertex = QX::ArcKnobRenderer::Vertex;

// The small knob of the built-in layout: value image at (2, 92), track at
// (2, 52), 34 pixels, in a 256 x 128 atlas; drawn with radius 17 at (100, 100).
class ArcGeometry : public ControlsTest {
protected:
    ArcGeometry() {
        instance = renderer->AddInstance();
        renderer->SetPlacement(instance, {100, 100}, 17);
        renderer->PrepareVertices(256, 128);
    }
    const Vertex* at(float position) {
        renderer->SetAngle(instance, position * 4.712389f);
        return &renderer->vertices()[static_cast<std::size_t>(instance) * 33];
    }
    // Angle of a window point seen from the knob's centre.
    static float angleOf(const Vertex& v) { return std::atan2(v.y - 100, v.x - 100); }
    // Whether the point (at `angle`, `distance` from the centre) lies in any
    // of the triangles [first, first + count) of the vertices.
    static bool covered(const Vertex* v, int first, int count, float angle, float distance) {
        const float px = 100 + distance * std::cos(angle), py = 100 + distance * std::sin(angle);
        for (int t = first; t < first + count; ++t) {
            const Vertex &a = v[3 * t], &b = v[3 * t + 1], &c = v[3 * t + 2];
            const float d1 = (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x);
            const float d2 = (c.x - b.x) * (py - b.y) - (c.y - b.y) * (px - b.x);
            const float d3 = (a.x - c.x) * (py - c.y) - (a.y - c.y) * (px - c.x);
            const float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
            if (std::fabs(area) > 1e-6f && d1 >= 0 && d2 >= 0 && d3 >= 0)
                return true;
        }
        return false;
    }
    static bool inValue(const Vertex* v, float angle) { return covered(v, 0, 5, angle, 15); }
    static bool inTrack(const Vertex* v, float angle) { return covered(v, 5, 6, angle, 15); }
    // The window angle of a point `sweep` radians clockwise from the start
    // (lower left).
    static float sweep(float s) { return -0.75f * kPi - s; }

    QX::ArcKnobRenderer* renderer =
        new QX::ArcKnobRenderer(manager.get(), nullptr, 2, 92, 34, 2, 52);
    int instance = -1;
};

TEST_F(ArcGeometry, PointerSweepsClockwiseFromLowerLeftOverTheTopToLowerRight) {
    // Vertex 10 is the value image's point (1, e): the pointer's edge.
    const float expected[3][2] = {{0, -0.75f * kPi}, {0.5f, 0.5f * kPi}, {1, -0.25f * kPi}};
    for (const auto& [position, direction] : expected) {
        const Vertex* v = at(position);
        const float off = std::atan(18.0f / 128.0f);  // the strip below the pointer
        EXPECT_NEAR(std::remainder(angleOf(v[10]) - (direction - off), 2 * kPi), 0, 1e-4f)
            << "position " << position;
    }
}

TEST_F(ArcGeometry, ValueCoversStartToPointerAndTrackTheRestWithGapsAtBothEnds) {
    for (float position : {0.1f, 0.3f, 0.5f, 0.75f, 0.9f}) {
        const Vertex* v = at(position);
        const float theta = position * 1.5f * kPi;
        SCOPED_TRACE(position);
        EXPECT_TRUE(inValue(v, sweep(0.05f)));
        EXPECT_TRUE(inValue(v, sweep(theta * 0.5f)));
        EXPECT_TRUE(inValue(v, sweep(theta - 0.05f)));
        EXPECT_FALSE(inTrack(v, sweep(theta - 0.05f)));
        EXPECT_FALSE(inValue(v, sweep(theta + 0.3f)));
        // Gap after the pointer, then the track all the way round.
        EXPECT_FALSE(inTrack(v, sweep(theta + 0.12f)));
        EXPECT_TRUE(inTrack(v, sweep(theta + 0.18f)));
        EXPECT_TRUE(inTrack(v, sweep(1.5f * kPi)));
        EXPECT_TRUE(inTrack(v, sweep(-0.3f)));
        // Gap before the start.
        EXPECT_FALSE(inTrack(v, sweep(-0.1f)));
        EXPECT_FALSE(inValue(v, sweep(-0.1f)));
    }
}

TEST_F(ArcGeometry, TrackFanStartsAtItsFixedEdgePointAndUnusedTrianglesCollapse) {
    const Vertex* full = at(1.0f);
    // One triangle between the start ray and the ray before the pointer.
    EXPECT_NEAR(full[16].x, 100 - 0.7374153f * 17, 1e-3f);
    EXPECT_NEAR(full[16].y, 100 - 17, 1e-3f);
    for (int i = 18; i < 33; ++i) {
        EXPECT_EQ(full[i].x, 0) << i;
        EXPECT_EQ(full[i].y, 0) << i;
    }
    const Vertex* none = at(0.0f);
    // Round three corners: four triangles, the last two collapsed.
    EXPECT_NE(none[15 + 3 * 3 + 2].x, 0);
    for (int i = 27; i < 33; ++i)
        EXPECT_EQ(none[i].x, 0) << i;
}

TEST_F(ArcGeometry, TextureCoordinatesComeFromTheImagesTopDown) {
    const Vertex* v = at(0.4f);
    // Centres: value (2 + 17, 92 + 17), track (2 + 17, 52 + 17).
    EXPECT_FLOAT_EQ(v[0].u, 19 / 256.0f);
    EXPECT_FLOAT_EQ(v[0].v, 109 / 128.0f);
    EXPECT_FLOAT_EQ(v[15].u, 19 / 256.0f);
    EXPECT_FLOAT_EQ(v[15].v, 69 / 128.0f);
    // The track's start point (-0.737, -1) is low in the window and so low
    // in the image: further down the rows.
    EXPECT_NEAR(v[16].u, (19 - 0.7374153f * 17) / 256.0f, 1e-6f);
    EXPECT_NEAR(v[16].v, (69 + 17) / 128.0f, 1e-6f);
}

TEST_F(ArcGeometry, GeometryIsRebuiltOnlyWhenTheAngleMoves) {
    const Vertex* v = at(0.5f);
    const float before = v[4].x;
    // Scribble on the array: an unchanged angle must not rewrite it.
    const_cast<Vertex*>(v)[4].x = -5;
    at(0.5f);
    EXPECT_EQ(v[4].x, -5);
    at(0.6f);
    EXPECT_NE(v[4].x, -5);
    at(0.5f);
    EXPECT_FLOAT_EQ(v[4].x, before);
}

TEST_F(ArcGeometry, ColoursUseHalfScaleWithTheShaderAndAreRepackedOnceWhenEyeCandyToggles) {
    const Vertex* v = at(0.5f);
    EXPECT_EQ(v[0].colour[0], 127);
    EXPECT_EQ(v[32].colour[3], 255);
    renderer->UseColourScale(false);
    renderer->UseColourScale(false);
    renderer->UseColourScale(false);
    EXPECT_EQ(renderer->recolourings(), 1);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(v[i].colour[1], 255) << i;
    renderer->UseColourScale(true);
    EXPECT_EQ(renderer->recolourings(), 2);
    EXPECT_EQ(v[7].colour[2], 127);
}

TEST_F(ArcGeometry, AnEditedKnobBrightensAndFadesBackAfterwards) {
    auto* knob = add(new QX::ArcKnob(manager.get(), renderer, kParamSwing, 200, 200, 34));
    knob->Layout();
    const Vertex* v = &renderer->vertices()[static_cast<std::size_t>(knob->instance) * 33];
    manager->MouseDown({217, 217}, 0, 1);
    for (int frame = 0; frame < 30; ++frame)
        knob->Idle();
    EXPECT_FLOAT_EQ(knob->highlight, 1);
    EXPECT_EQ(v[0].colour[0], static_cast<int>(1.25f * 127.5f));
    EXPECT_EQ(v[0].colour[3], 255);
    renderer->UseColourScale(false);  // without the shader there is no room above white
    EXPECT_EQ(v[0].colour[0], 255);
    manager->MouseUp({217, 217}, 0);
    for (int frame = 0; frame < 30; ++frame)
        knob->Idle();
    EXPECT_FLOAT_EQ(knob->highlight, 0);
}

TEST_F(ArcGeometry, TexturedKnobTurnsItsCapFromLowerLeftToLowerRight) {
    auto* spin = new QX::TexturedKnobRenderer(manager.get(), nullptr, 64, 1, 32);
    auto* knob = add(new QX::PlexKnob(manager.get(), spin, kParamOutputLevel, 200, 200, 32));
    knob->Layout();
    spin->PrepareVertices(256, 128);
    // The image's top middle: between corner 0 (1, 1) and corner 1 (-1, 1).
    auto topMiddle = [&] {
        const auto& v = spin->vertices();
        return std::atan2((v[0].y + v[1].y) / 2 - 216, (v[0].x + v[1].x) / 2 - 216);
    };
    const float expected[3][2] = {{0, -0.75f * kPi}, {0.5f, 0.5f * kPi}, {1, -0.25f * kPi}};
    for (const auto& [position, direction] : expected) {
        setNative(kParamOutputLevel, position);
        knob->Idle();
        EXPECT_NEAR(topMiddle(), direction, 1e-4f) << position;
    }
    // Corner 0 samples the image's top right, rows counted from the top.
    EXPECT_FLOAT_EQ(spin->vertices()[0].u, 96 / 256.0f);
    EXPECT_FLOAT_EQ(spin->vertices()[0].v, 1 / 128.0f);
    EXPECT_FLOAT_EQ(spin->vertices()[2].v, 33 / 128.0f);
}

}  // namespace
}  // namespace controlstest
