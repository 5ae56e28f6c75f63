// What the editor draws once into its cached layer (label boxes and their
// text), read back from a frame of the real plug-in. The ctest entry
// editor_no_framebuffer_tests runs these again with the GL driver told to
// offer no framebuffer objects, as Windows' own GL 1.1 in virtual machines
// and remote desktops: the layer is then drawn in an offscreen context of
// its own.

#include <cstdlib>

#include "EditorRig.h"

using namespace editortest;

namespace {

const bool fontsInstalled = (installWineFonts(), true);

struct Area {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive
    void Add(int x, int y) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x);
        y1 = std::max(y1, y);
    }
    bool Empty() const { return x1 < x0; }
    int Pixels() const { return Empty() ? 0 : (x1 - x0 + 1) * (y1 - y0 + 1); }
};

TEST(CachedLayer, LabelsShowTheirGlyphsNeitherBlankNorAsBoxes) {
    OpenEditor editor;
    ASSERT_TRUE(editor.ok);
    editor.pump(300);
    QX::PngImage image;
    const bool withoutFramebuffers = std::getenv("MESA_EXTENSION_OVERRIDE") != nullptr;
    ASSERT_TRUE(editor.frame(
        framePath(withoutFramebuffers ? "labels-without-framebuffers" : "labels"), image));

    // The "Phase" label: black text on its own light blue box.
    Area box;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (near(pixelAt(image, x, y), 0.8f, 0.9f, 1.0f))
                box.Add(x, y);
    ASSERT_FALSE(box.Empty());
    EXPECT_GE(box.x1 - box.x0, 100);

    Area ink;
    int inked = 0;
    for (int y = box.y0; y <= box.y1; ++y)
        for (int x = box.x0; x <= box.x1; ++x) {
            const std::uint8_t* p = pixelAt(image, x, y);
            if (p[0] < 100 && p[1] < 100 && p[2] < 100) {
                ink.Add(x, y);
                ++inked;
            }
        }
    // Five letters at 11 points: strokes, with light between them. A glyph
    // texture missing in the drawing context leaves nothing or fills each
    // letter's whole quad.
    EXPECT_GT(inked, 40);
    EXPECT_GE(ink.x1 - ink.x0, 20);
    EXPECT_LT(inked, ink.Pixels() / 2) << inked << " of " << ink.Pixels();
}

}  // namespace
