#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "../../gui/src/GL.h"
#include "GuiTestSupport.h"
#include "gui/Font.h"
#include "gui/TextRun.h"
#include "platform/FontFolders.h"
#include "platform/testing/TestAccess.h"

namespace {

namespace fs = std::filesystem;
using guitest::systemTestFontPath;

// A character DejaVu Sans has no glyph for (CJK "one"), in UTF-8.
const char* const kNoGlyph = "\xE4\xB8\x80";

class Fonts : public testing::Test {
protected:
    void SetUp() override { platform::installMessageBoxSink(&messages); }
    void TearDown() override { platform::installMessageBoxSink(nullptr); }
    guitest::MessageLog messages;
};

// An environment variable set for one test and put back afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        wasSet_ = old != nullptr;
        old_ = wasSet_ ? old : "";
        platform::testsupport::setEnvironmentVariable(name, value.c_str());
    }
    ~ScopedVariable() {
        platform::testsupport::setEnvironmentVariable(name_, wasSet_ ? old_.c_str() : nullptr);
    }

private:
    const char* name_;
    bool wasSet_;
    std::string old_;
};

void CopyFile(const std::string& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(fs::path(from), to, fs::copy_options::overwrite_existing);
}

// ---- Finding font files -------------------------------------------------------------

TEST_F(Fonts, FullPathIsOpenedDirectlyAndEmptyOrFolderNamesAreNoFonts) {
    std::string path;
    ASSERT_TRUE(QX::FindFontFile(systemTestFontPath(), path));
    EXPECT_EQ(path, systemTestFontPath());

    EXPECT_FALSE(QX::FindFontFile("", path));
    // A folder opens for reading on Linux, but it is no font.
    const fs::path folder = guitest::freshFolder("folder-font");
    EXPECT_FALSE(QX::FindFontFile(folder.string(), path));
    EXPECT_FALSE(QX::FindFontFile("NoSuchFont-7f3a.ttf", path));
}

#ifdef _WIN32
TEST_F(Fonts, BareNameIsFoundInTheWindowsFontsFolder) {
    const fs::path windows = guitest::freshFolder("windir");
    CopyFile(systemTestFontPath(), windows / "fonts" / "DejaVuSans.ttf");
    ScopedVariable windir("WINDIR", windows.string());

    ASSERT_EQ(platform::systemFontFolders(),
              std::vector<std::string>{windows.string() + "\\fonts"});
    std::string path;
    ASSERT_TRUE(QX::FindFontFile("DejaVuSans.ttf", path));
    EXPECT_EQ(path, windows.string() + "\\fonts\\DejaVuSans.ttf");
    EXPECT_FALSE(QX::FindFontFile("Verdana.ttf", path));
}
#else
TEST_F(Fonts, BareNameIsFoundBelowTheSystemFontFolders) {
    // fonts-dejavu-core keeps it in /usr/share/fonts/truetype/dejavu.
    std::string path;
    ASSERT_TRUE(QX::FindFontFile("DejaVuSans.ttf", path));
    EXPECT_EQ(fs::path(path).filename(), "DejaVuSans.ttf");
    EXPECT_NE(path, "DejaVuSans.ttf");
    EXPECT_TRUE(fs::equivalent(path, systemTestFontPath()));

    // A Windows skin's spelling finds the file when no exact name does.
    std::string other;
    ASSERT_TRUE(QX::FindFontFile("dejavusans.TTF", other));
    EXPECT_TRUE(fs::equivalent(other, systemTestFontPath()));
}

TEST_F(Fonts, UserFontFoldersAreSearchedToo) {
    const fs::path data = guitest::freshFolder("xdg-data");
    CopyFile(systemTestFontPath(), data / "fonts" / "deep" / "er" / "Tavro Test Sans.ttf");
    ScopedVariable dataHome("XDG_DATA_HOME", data.string());

    std::string path;
    ASSERT_TRUE(QX::FindFontFile("Tavro Test Sans.ttf", path));
    EXPECT_EQ(path, (data / "fonts" / "deep" / "er" / "Tavro Test Sans.ttf").string());

    // ~/.fonts, with HOME pointing elsewhere.
    const fs::path home = guitest::freshFolder("home");
    CopyFile(systemTestFontPath(), home / ".fonts" / "Home Sans.ttf");
    ScopedVariable homeVariable("HOME", home.string());
    ASSERT_TRUE(QX::FindFontFile("Home Sans.ttf", path));
    EXPECT_EQ(path, (home / ".fonts" / "Home Sans.ttf").string());
}
#endif

// ---- Creating fonts -------------------------------------------------------------------

TEST_F(Fonts, SecondCandidateIsUsedWhenTheFirstIsMissing) {
    auto font = QX::CreateFont({{"NoSuchFont-7f3a.ttf", 30}, {systemTestFontPath(), 12}});
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size(), 12);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Fonts, NoCandidateGivesNoFontAndNoMessage) {
    EXPECT_EQ(QX::CreateFont({{"NoSuchFont-7f3a.ttf", 12}, {"", 12}}), nullptr);
    EXPECT_EQ(QX::CreateFont({}), nullptr);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Fonts, FileThatIsNoFontIsReportedAndTheNextCandidateTried) {
    const fs::path fake = guitest::freshFolder("fake-font") / "Broken.ttf";
    std::ofstream(fake, std::ios::binary) << "not a font at all";

    auto font = QX::CreateFont({{fake.string(), 12}, {systemTestFontPath(), 14}});
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size(), 14);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].first, "Error");
    EXPECT_EQ(messages.boxes[0].second, "Unable to load font");
}

TEST_F(Fonts, FontThatDidNotLoadMeasuresNothing) {
    QX::Font font("NoSuchFont-7f3a.ttf", 12);
    EXPECT_FALSE(font.Loaded());
    EXPECT_EQ(messages.boxes.size(), 1u);
    float width = -1, height = -1;
    font.Measure("Hello", width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    EXPECT_EQ(font.Advance("Hello"), 0);
    std::vector<QX::GlyphVertex> quads(3);
    float endX = 0;
    EXPECT_EQ(QX::LayoutText(font, quads, "Hello", 5, 5, endX), 0);
    EXPECT_TRUE(quads.empty());
    EXPECT_EQ(endX, 5);
    font.SetScale(2);
    EXPECT_EQ(font.GlyphTexture(), 0u);
}

// ---- The fonts the plug-in carries ----------------------------------------------------------

TEST_F(Fonts, BuiltinFontsLoadFromTheResourcesAndDrawAsTheirFilesDo) {
    auto builtin = QX::CreateFont({{"NoSuchFont-7f3a.ttf", 12}, {"builtin:DejaVuSans.ttf", 12}});
    ASSERT_NE(builtin, nullptr);
    QX::Font file(systemTestFontPath(), 12);
    ASSERT_TRUE(file.Loaded());
    builtin->SetScale(2);
    file.SetScale(2);
    std::vector<QX::GlyphVertex> fromResource, fromFile;
    float resourceEnd = 0, fileEnd = 0;
    ASSERT_EQ(QX::LayoutText(*builtin, fromResource, "Level 127 \xC3\xA9", 3, 4, resourceEnd),
              QX::LayoutText(file, fromFile, "Level 127 \xC3\xA9", 3, 4, fileEnd));
    ASSERT_EQ(fromResource.size(), 36u);
    for (std::size_t i = 0; i < fromFile.size(); ++i) {
        EXPECT_EQ(fromResource[i].x, fromFile[i].x) << i;
        EXPECT_EQ(fromResource[i].u, fromFile[i].u) << i;
    }
    EXPECT_EQ(resourceEnd, fileEnd);

    // The fixed font, named as a Windows skin might spell it.
    auto mono = QX::CreateFont({{"BUILTIN:dejavusansmono.TTF", 12}});
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->Advance("iiii"), mono->Advance("MMMM"));
    // A name with the prefix is never a file, whether carried or not.
    EXPECT_EQ(QX::CreateFont({{"builtin:Verdana.ttf", 12}}), nullptr);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Fonts, SystemFontListedBeforeTheBuiltinOneWins) {
    auto font = QX::CreateFont({{systemTestFontPath(), 12}, {"builtin:DejaVuSansMono.ttf", 12}});
    ASSERT_NE(font, nullptr);
    EXPECT_LT(font->Advance("iiii"), font->Advance("MMMM"));
}

// ---- Metrics and layout ------------------------------------------------------------------

class FontLayout : public Fonts {
protected:
    void SetUp() override {
        Fonts::SetUp();
        font = std::make_unique<QX::Font>(systemTestFontPath(), 12);
        ASSERT_TRUE(font->Loaded());
        font->SetScale(1);
    }
    float EndOf(const std::string& text, float x = 0) {
        std::vector<QX::GlyphVertex> quads;
        float endX = 0;
        QX::LayoutText(*font, quads, text, x, 0, endX);
        return endX;
    }
    std::unique_ptr<QX::Font> font;
};

TEST_F(FontLayout, CharactersWithoutAGlyphTakeNoRoom) {
    ASSERT_FALSE(font->HasGlyph(0x4E00));
    const std::string with = std::string("A") + kNoGlyph + "B" + kNoGlyph;

    std::vector<QX::GlyphVertex> plain, gappy;
    float plainEnd = 0, gappyEnd = 0;
    ASSERT_EQ(QX::LayoutText(*font, plain, "AB", 10, 20, plainEnd), 8);
    ASSERT_EQ(QX::LayoutText(*font, gappy, with, 10, 20, gappyEnd), 8);
    EXPECT_EQ(gappyEnd, plainEnd);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(gappy[i].x, plain[i].x) << i;
        EXPECT_EQ(gappy[i].y, plain[i].y) << i;
        EXPECT_EQ(gappy[i].u, plain[i].u) << i;
    }
    // Measuring agrees with what is drawn.
    EXPECT_EQ(font->Advance(with), font->Advance("AB"));
    float w1, h1, w2, h2;
    font->Measure(with, w1, h1);
    font->Measure("AB", w2, h2);
    EXPECT_EQ(w1, w2);
}

TEST_F(FontLayout, LayoutEndsWhereTheAdvanceSays) {
    for (const char* text : {"Hello, World", "AVATAR To", "Clock Offset -12.5 ms", ""}) {
        EXPECT_FLOAT_EQ(EndOf(text, 7.25f), 7.25f + font->Advance(text)) << text;
    }
    // Blanks advance without a quad.
    std::vector<QX::GlyphVertex> quads;
    float endX = 0;
    EXPECT_EQ(QX::LayoutText(*font, quads, "  ", 0, 0, endX), 0);
    EXPECT_GT(endX, 4);
}

TEST_F(FontLayout, QuadsSitOnWholePixelsAtScaleOneAndPointIntoTheGlyphTexture) {
    std::vector<QX::GlyphVertex> a, b;
    float endA = 0, endB = 0;
    QX::LayoutText(*font, a, "H", 10.0f, 20.0f, endA);
    QX::LayoutText(*font, b, "H", 10.7f, 20.9f, endB);
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a[i].x, b[i].x);
        EXPECT_EQ(a[i].y, b[i].y);
        EXPECT_EQ(a[i].x, std::floor(a[i].x));
        EXPECT_GE(a[i].u, 0);
        EXPECT_LE(a[i].u, 1);
        EXPECT_GE(a[i].v, 0);
        EXPECT_LE(a[i].v, 1);
    }
    // The pen keeps its fraction: only the quads are rounded.
    EXPECT_NEAR(endB - endA, 0.7f, 1e-4f);
    // Top-left, bottom-left, bottom-right, top-right; the H stands on the
    // baseline.
    EXPECT_LT(a[1].y, a[0].y);
    EXPECT_LT(a[0].x, a[2].x);
    EXPECT_EQ(a[1].y, 20.0f);
}

TEST_F(FontLayout, BrokenUtf8IsReadAsLatin1) {
    // A lone lead byte at the end used to send FTGL past the terminator.
    const std::string broken = "A\xE2";
    const std::string proper = "A\xC3\xA2";  // U+00E2
    EXPECT_EQ(font->Advance(broken), font->Advance(proper));
    std::vector<QX::GlyphVertex> quads;
    float endX = 0;
    EXPECT_EQ(QX::LayoutText(*font, quads, broken, 0, 0, endX), 8);
    // A truncated sequence: its lead byte is the Latin-1 eth, the stray
    // continuation byte a control character without a glyph.
    EXPECT_EQ(QX::LayoutText(*font, quads, "\xF0\x9F", 0, 0, endX), 4);
    EXPECT_EQ(font->Advance("\xF0\x9F"), font->Advance("\xC3\xB0"));
}

TEST_F(FontLayout, MeasureSumsAdvancesAndFindsTheTallestTop) {
    float w = 0, h = 0, wA = 0, wV = 0, hDot = 0, ignored = 0;
    font->Measure("AV", w, h);
    font->Measure("A", wA, ignored);
    font->Measure("V", wV, ignored);
    font->Measure(".", ignored, hDot);
    EXPECT_FLOAT_EQ(w, wA + wV);
    // DejaVu Sans capitals are 0.729 em tall.
    EXPECT_NEAR(h, 12 * 0.729f, 0.1f);
    EXPECT_LT(hDot, h / 3);
}

TEST_F(FontLayout, MetricsKeepTheirDesignSizeAtEveryScale) {
    const float advance = font->Advance("Output Level");
    const float line = font->LineHeight();
    const float descender = font->Descender();
    EXPECT_LT(descender, 0);
    EXPECT_GT(line, 12);

    font->SetScale(2);
    EXPECT_EQ(font->scale(), 2);
    EXPECT_FLOAT_EQ(font->inverseScale(), 0.5f);
    EXPECT_NEAR(font->Advance("Output Level"), advance, 1.0f);
    EXPECT_NEAR(font->LineHeight(), line, 0.5f);
    EXPECT_NEAR(font->Descender(), descender, 0.5f);
    EXPECT_FLOAT_EQ(EndOf("Output Level", 3), 3 + font->Advance("Output Level"));
    float w = 0, h = 0;
    font->Measure("M", w, h);
    EXPECT_NEAR(h, 12 * 0.729f, 0.2f);
}

TEST_F(FontLayout, SizeChangeOrGrowingGlyphSheetMakesOldQuadsStale) {
    const unsigned before = font->generation();
    font->SetScale(1);  // no change
    EXPECT_EQ(font->generation(), before);
    font->SetScale(2);
    EXPECT_NE(font->generation(), before);

    // Many glyphs beyond ASCII fill the sheet until it grows; every layout
    // still ends with quads of the current generation inside it.
    std::string text;
    for (char32_t code = 0x391; code < 0x3A9; ++code) {  // Greek capitals
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    for (char32_t code = 0x410; code < 0x450; ++code) {  // Cyrillic
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    const unsigned sized = font->generation();
    std::vector<QX::GlyphVertex> quads;
    float endX = 0;
    const int count = QX::LayoutText(*font, quads, text, 0, 0, endX);
    EXPECT_GT(count, 4 * 80);
    EXPECT_NE(font->generation(), sized);
    for (const QX::GlyphVertex& v : quads) {
        ASSERT_LE(v.v, 1.0f);
    }
    const unsigned settled = font->generation();
    QX::LayoutText(*font, quads, text, 0, 0, endX);
    EXPECT_EQ(font->generation(), settled);
}

TEST_F(FontLayout, ThreadsShareAFaceUnderTheFontLock) {
    // A render thread lays out while the user-interface thread measures
    // labels: both reach the same face and glyph sheet.
    std::thread render([&] {
        std::vector<QX::GlyphVertex> quads;
        float endX = 0;
        for (int i = 0; i < 200; ++i) {
            QX::LayoutText(*font, quads, "Render " + std::to_string(i) + "\xC3\xA9", 0, 0, endX);
        }
    });
    float total = 0;
    for (int i = 0; i < 200; ++i) {
        float w = 0, h = 0;
        font->Measure("Label " + std::to_string(i), w, h);
        total += w + font->Advance("x\xC3\xBC");
    }
    render.join();
    EXPECT_GT(total, 0);
}

// ---- Drawing ---------------------------------------------------------------------------------

class FontDrawing : public guitest::GuiTest {};

int CountLit(const std::vector<unsigned char>& pixels, int width, int x0, int y0, int x1, int y1) {
    int lit = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            lit += pixels[(static_cast<std::size_t>(y) * width + x) * 4 + 3] > 0;
        }
    }
    return lit;
}

TEST_F(FontDrawing, QuadsDrawTheTextInTheCurrentColourAndRestoreTheState) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    QX::Font* font = AddFont(systemTestFontPath(), 16);
    font->SetScale(1);

    std::vector<QX::GlyphVertex> quads;
    float endX = 0;
    const int count = QX::LayoutText(*font, quads, "HHHH", 20, 40, endX);
    glEnable(GL_LINE_SMOOTH);  // some state the caller had
    glColor4f(1, 0, 0, 1);
    QX::DrawQuads(*font, quads.data(), count);

    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const auto pixels = ReadPixels();
    const int inside = CountLit(pixels, glWidth, 20, 40, static_cast<int>(endX) + 1, 40 + 12);
    EXPECT_GT(inside, 4 * 20);
    EXPECT_EQ(CountLit(pixels, glWidth, 0, 0, glWidth, 39), 0);  // nothing below the baseline
    EXPECT_EQ(CountLit(pixels, glWidth, static_cast<int>(endX) + 2, 0, glWidth, glHeight), 0);
    // Red, as the current colour says.
    const std::size_t centre = (static_cast<std::size_t>(45) * glWidth + 22) * 4;
    bool redSeen = false;
    for (std::size_t i = centre; i < centre + 8 * 4; i += 4) {
        redSeen = redSeen || (pixels[i] > 200 && pixels[i + 1] < 40 && pixels[i + 3] > 200);
    }
    EXPECT_TRUE(redSeen);
}

TEST_F(FontDrawing, GlyphTextureIsMadeAgainAfterRelease) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    QX::Font* font = AddFont(systemTestFontPath(), 12);
    font->SetScale(1);
    const unsigned first = font->GlyphTexture();
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(glIsTexture(first));
    font->ReleaseGL();
    EXPECT_FALSE(glIsTexture(first));

    std::vector<QX::GlyphVertex> quads;
    float endX = 0;
    QX::LayoutText(*font, quads, "A", 10, 10, endX);
    glColor4f(1, 1, 1, 1);
    QX::DrawQuads(*font, quads.data(), static_cast<int>(quads.size()));
    EXPECT_GT(CountLit(ReadPixels(), glWidth, 0, 0, glWidth, glHeight), 10);
}

TEST_F(FontDrawing, TextWithAMissingGlyphLooksLikeTheTextWithout) {
    if (!StartGl()) {
        GTEST_SKIP() << "no GL context";
    }
    QX::Font* font = AddFont(systemTestFontPath(), 14);
    font->SetScale(1);
    QX::TextRun run;
    glColor4f(1, 1, 1, 1);
    run.Update(font, "AB", 10, 30);
    run.Draw(font);
    const auto plain = ReadPixels();
    glClear(GL_COLOR_BUFFER_BIT);
    run.Update(font, std::string("A") + kNoGlyph + "B", 10, 30);
    run.Draw(font);
    EXPECT_EQ(ReadPixels(), plain);
}

}  // namespace
