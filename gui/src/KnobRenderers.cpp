#include "gui/KnobRenderers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "GL.h"
#include "gui/Manager.h"
#include "gui/Texture.h"
#include "platform/Settings.h"

namespace QX {

namespace {

constexpr float kPi = 3.14159265358979f;
// The value arc starts at the lower left and sweeps 270 degrees clockwise.
constexpr float kStartAngle = -2.3561945f;
constexpr float kMaxAngle = 4.712389f;
// The track keeps this far from both ends of the value part.
constexpr float kTrackGap = 0.15f;

const char* const kArcVertexShader =
    "varying vec2 uv;\nvarying vec4 color;\nvoid main()\n{\ngl_Position = ftransform();\nuv = "
    "gl_MultiTexCoord0.st;\ncolor.rgb = gl_Color.rgb * 2.0;\ncolor.a = gl_Color.a;\n}\n";
const char* const kArcFragmentShader =
    "uniform sampler2D tex;\nvarying vec2 uv;\nvarying vec4 color;\nvoid main()\n{\nvec4 diffuse "
    "= texture2D( tex, uv );\ngl_FragColor.rgba = color * diffuse.rgba;\n}\n";

const char* const kPlainVertexShader =
    "varying vec2 uv;\nvoid main()\n{\ngl_Position = ftransform();\nuv = "
    "gl_MultiTexCoord0.st;\n}\n";
const char* const kPlainFragmentShader =
    "uniform sampler2D tex;\nvarying vec2 uv;\nvoid main()\n{\nvec4 diffuse = texture2D( tex, "
    "uv );\ngl_FragColor.rgba = diffuse.rgba;\n}\n";

struct Local {
    float a, b;
};

// Where a ray from the centre at `angle` leaves the square [-1, 1]^2.
Local squareEdge(float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    const float m = std::max(std::fabs(c), std::fabs(s));
    return {c / m, s / m};
}

std::uint8_t colourByte(float value) {
    return static_cast<std::uint8_t>(std::min(255.0f, std::max(0.0f, value)));
}

int sizeOr(int size, int fallback) {
    return size > 0 ? size : fallback;
}

bool eyeCandy() {
    return platform::processSettings().eyeCandy.load(std::memory_order_relaxed);
}

// Draws the runs of consecutive active instances with one call each.
template <typename Instances>
void drawRuns(const Instances& instances, GLenum mode, int verticesPerInstance) {
    const int count = static_cast<int>(instances.size());
    for (int first = 0; first < count;) {
        if (!instances[static_cast<std::size_t>(first)].active.load(std::memory_order_relaxed)) {
            ++first;
            continue;
        }
        int end = first + 1;
        while (end < count &&
               instances[static_cast<std::size_t>(end)].active.load(std::memory_order_relaxed))
            ++end;
        glDrawArrays(mode, first * verticesPerInstance, (end - first) * verticesPerInstance);
        first = end;
    }
}

}  // namespace

// ---- Shaders -----------------------------------------------------------------------

bool ShadersAvailable() {
    return glCreateShader && glShaderSource && glCompileShader && glCreateProgram &&
           glAttachShader && glLinkProgram && glGetUniformLocation && glUseProgram && glUniform1i &&
           glDetachShader && glDeleteShader && glDeleteProgram;
}

bool ShaderProgram::Build(const char* vertexSource, const char* fragmentSource) {
    if (!ShadersAvailable())
        return false;
    vertexShader = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(vertexShader, 1, &vertexSource, nullptr);
    glCompileShader(vertexShader);
    fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(fragmentShader, 1, &fragmentSource, nullptr);
    glCompileShader(fragmentShader);
    program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    return true;
}

void ShaderProgram::Release() {
    if (!program)
        return;
    glDetachShader(program, vertexShader);
    glDetachShader(program, fragmentShader);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    glDeleteProgram(program);
    program = vertexShader = fragmentShader = 0;
}

// ---- ArcKnobRenderer ----------------------------------------------------------------

ArcKnobRenderer::ArcKnobRenderer(Manager* owner, Texture* atlasTexture, float x0, float y0,
                                 float size, float x1, float y1)
    : Effect(owner),
      atlas(atlasTexture),
      valueX(x0),
      valueY(y0),
      imageSize(size),
      trackX(x1),
      trackY(y1) {}

ArcKnobRenderer::~ArcKnobRenderer() = default;

int ArcKnobRenderer::AddInstance() {
    instances_.emplace_back();
    if (prepared_) {
        vertices_.resize(instances_.size() * kVerticesPerInstance, Vertex{});
        BuildGeometry(static_cast<int>(instances_.size()) - 1);
        PackColour(static_cast<int>(instances_.size()) - 1);
    }
    return static_cast<int>(instances_.size()) - 1;
}

void ArcKnobRenderer::SetPlacement(int index, Point centre, float radius) {
    if (index < 0 || index >= static_cast<int>(instances_.size()))
        return;
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    instance.centre = centre;
    instance.radius = radius;
    if (prepared_)
        BuildGeometry(index);
}

void ArcKnobRenderer::SetAngle(int index, float angle) {
    if (index < 0 || index >= static_cast<int>(instances_.size()))
        return;
    angle = std::min(kMaxAngle, std::max(0.0f, angle));
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    if (angle == instance.angle)
        return;
    instance.angle = angle;
    if (prepared_)
        BuildGeometry(index);
}

void ArcKnobRenderer::SetColour(int index, const float colour[4]) {
    if (index < 0 || index >= static_cast<int>(instances_.size()))
        return;
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    if (std::memcmp(instance.colour, colour, sizeof instance.colour) == 0)
        return;
    std::memcpy(instance.colour, colour, sizeof instance.colour);
    if (prepared_)
        PackColour(index);
}

void ArcKnobRenderer::SetActive(int index, bool active) {
    if (index >= 0 && index < static_cast<int>(instances_.size()))
        instances_[static_cast<std::size_t>(index)].active = active;
}

void ArcKnobRenderer::PrepareVertices(int atlasWidth, int atlasHeight) {
    const float w = static_cast<float>(sizeOr(atlasWidth, 1));
    const float h = static_cast<float>(sizeOr(atlasHeight, 1));
    const float s = imageSize * 0.5f;
    valueU_ = (valueX + s) / w;
    valueV_ = (valueY + s) / h;
    trackU_ = (trackX + s) / w;
    trackV_ = (trackY + s) / h;
    radiusU_ = s / w;
    radiusV_ = s / h;
    vertices_.assign(instances_.size() * kVerticesPerInstance, Vertex{});
    prepared_ = true;
    for (int i = 0; i < static_cast<int>(instances_.size()); ++i) {
        BuildGeometry(i);
        PackColour(i);
    }
}

void ArcKnobRenderer::BuildGeometry(int index) {
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    Vertex* out = &vertices_[static_cast<std::size_t>(index) * kVerticesPerInstance];
    const float theta = std::max(0.0f, instance.angle);
    const Point centre = instance.centre;
    const float radius = instance.radius;

    // Value part: the value image turned so that its x axis (the pointer)
    // points at alpha; in the image's own frame everything from just below
    // that axis counter-clockwise to theta is shown, which in the window
    // runs from the pointer back to the fixed start at the lower left.
    const float alpha = kStartAngle - theta;
    const float ca = std::cos(alpha), sa = std::sin(alpha);
    auto valueVertex = [&](Vertex& v, Local p) {
        v.u = valueU_ + radiusU_ * p.a;
        v.v = valueV_ - radiusV_ * p.b;
        v.x = centre.x + radius * (p.a * ca - p.b * sa);
        v.y = centre.y + radius * (p.b * ca + p.a * sa);
        v.z = 0;
    };
    // The strip below the axis holds the pointer; it is a fixed number of
    // texture rows deep, whatever size the knob is drawn at.
    const float e = radius > 0 ? -18.0f * radiusV_ / radius : 0.0f;
    const Local O{0, 0}, T{0, e}, S{1, e};
    const Local E = squareEdge(theta);
    const Local R = theta <= kPi / 4 ? E : Local{1, 1};
    const Local Q = theta <= 3 * kPi / 4 ? E : Local{-1, 1};
    const Local M = theta <= 5 * kPi / 4 ? E : Local{-1, -1};
    const Local triangles[5][3] = {{O, M, E}, {O, Q, M}, {O, R, Q}, {O, S, R}, {O, T, S}};
    int n = 0;
    for (const auto& triangle : triangles) {
        for (const Local& p : triangle)
            valueVertex(out[n++], p);
    }

    // Track part: the track image as it is, shown by a fan from the ray just
    // past the start counter-clockwise (through the bottom) round to just
    // before the pointer, passing at most three corners of the square.
    auto trackVertex = [&](Vertex& v, Local p) {
        v.u = trackU_ + radiusU_ * p.a;
        v.v = trackV_ - radiusV_ * p.b;
        v.x = centre.x + radius * p.a;
        v.y = centre.y + radius * p.b;
        v.z = 0;
    };
    const float from = kStartAngle + kTrackGap;
    const float to = alpha - kTrackGap + 2 * kPi;
    Local fan[5];
    int points = 0;
    fan[points++] = squareEdge(from);
    for (float corner : {-kPi / 4, kPi / 4, 3 * kPi / 4}) {
        if (corner > from && corner < to)
            fan[points++] = squareEdge(corner);
    }
    fan[points++] = squareEdge(to);
    for (int i = 0; i + 1 < points; ++i) {
        trackVertex(out[n++], O);
        trackVertex(out[n++], fan[i]);
        trackVertex(out[n++], fan[i + 1]);
    }
    // The unused triangles collapse to a point and draw nothing.
    for (; n < kVerticesPerInstance; ++n) {
        Vertex& v = out[n];
        v.u = v.v = v.x = v.y = v.z = 0;
    }
}

void ArcKnobRenderer::PackColour(int index) {
    const Instance& instance = instances_[static_cast<std::size_t>(index)];
    // The shader doubles the colour, which leaves room above 1 for the
    // highlight of an edited knob.
    const float scale = shaderWasOn ? 127.5f : 255.0f;
    const std::uint8_t packed[4] = {
        colourByte(instance.colour[0] * scale), colourByte(instance.colour[1] * scale),
        colourByte(instance.colour[2] * scale), colourByte(instance.colour[3] * 255.0f)};
    Vertex* out = &vertices_[static_cast<std::size_t>(index) * kVerticesPerInstance];
    for (int i = 0; i < kVerticesPerInstance; ++i)
        std::memcpy(out[i].colour, packed, sizeof packed);
}

void ArcKnobRenderer::UseColourScale(bool shader) {
    if (shader == shaderWasOn)
        return;
    shaderWasOn = shader;
    ++recolourings_;
    if (!prepared_)
        return;
    for (int i = 0; i < static_cast<int>(instances_.size()); ++i)
        PackColour(i);
}

void ArcKnobRenderer::InitGL() {
    if (atlas)
        atlas->Load(false);
    if (shader_.Build(kArcVertexShader, kArcFragmentShader))
        texLocation_ = glGetUniformLocation(shader_.program, "tex");
    PrepareVertices(atlas ? atlas->width : 0, atlas ? atlas->height : 0);
}

void ArcKnobRenderer::ShutdownGL() {
    shader_.Release();
}

void ArcKnobRenderer::Draw() {
    if (!prepared_ || instances_.empty())
        return;
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    const bool useShader = shader_.program != 0 && eyeCandy();
    UseColourScale(useShader);
    const unsigned texture = atlas ? atlas->glName : 0;
    if (useShader) {
        glUseProgram(shader_.program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        glUniform1i(texLocation_, 0);
    } else {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }
    glInterleavedArrays(GL_T2F_C4UB_V3F, 0, vertices_.data());
    drawRuns(instances_, GL_TRIANGLES, kVerticesPerInstance);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (useShader)
        glUseProgram(0);
    else
        glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
}

// ---- TexturedKnobRenderer --------------------------------------------------------------

TexturedKnobRenderer::TexturedKnobRenderer(Manager* owner, Texture* knobTexture, float x, float y,
                                           float size)
    : Effect(owner), texture(knobTexture), imageX(x), imageY(y), imageSize(size) {}

TexturedKnobRenderer::~TexturedKnobRenderer() = default;

int TexturedKnobRenderer::AddInstance() {
    instances_.emplace_back();
    if (prepared_) {
        vertices_.resize(instances_.size() * 4, Vertex{});
        BuildQuad(static_cast<int>(instances_.size()) - 1);
    }
    return static_cast<int>(instances_.size()) - 1;
}

void TexturedKnobRenderer::SetPlacement(int index, Point centre, float radius) {
    if (index < 0 || index >= static_cast<int>(instances_.size()))
        return;
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    instance.centre = centre;
    instance.radius = radius;
    if (prepared_)
        BuildQuad(index);
}

void TexturedKnobRenderer::SetAngle(int index, float angle) {
    if (index < 0 || index >= static_cast<int>(instances_.size()))
        return;
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    if (angle == instance.angle)
        return;
    instance.angle = angle;
    if (prepared_)
        BuildQuad(index);
}

void TexturedKnobRenderer::SetActive(int index, bool active) {
    if (index >= 0 && index < static_cast<int>(instances_.size()))
        instances_[static_cast<std::size_t>(index)].active = active;
}

void TexturedKnobRenderer::PrepareVertices(int textureWidth, int textureHeight) {
    const float w = static_cast<float>(sizeOr(textureWidth, 1));
    const float h = static_cast<float>(sizeOr(textureHeight, 1));
    const float local[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    for (int k = 0; k < 4; ++k) {
        const float a = local[k][0], b = local[k][1];
        corners[k][0] = a;
        corners[k][1] = b;
        corners[k][2] = ((a + 1) / 2 * imageSize + imageX) / w;
        corners[k][3] = ((1 - b) / 2 * imageSize + imageY) / h;
    }
    vertices_.assign(instances_.size() * 4, Vertex{});
    prepared_ = true;
    for (int i = 0; i < static_cast<int>(instances_.size()); ++i)
        BuildQuad(i);
}

void TexturedKnobRenderer::BuildQuad(int index) {
    const Instance& instance = instances_[static_cast<std::size_t>(index)];
    const float c = std::cos(instance.angle), s = std::sin(instance.angle);
    const float r = instance.radius;
    Vertex* out = &vertices_[static_cast<std::size_t>(index) * 4];
    for (int k = 0; k < 4; ++k) {
        const float a = corners[k][0], b = corners[k][1];
        Vertex& v = out[k];
        v.u = corners[k][2];
        v.v = corners[k][3];
        v.nx = c;
        v.ny = s;
        v.nz = 0;
        v.x = instance.centre.x + r * (a * c + b * s);
        v.y = instance.centre.y + r * (b * c - a * s);
        v.z = 0;
    }
}

void TexturedKnobRenderer::InitGL() {
    if (texture)
        texture->Load(false);
    if (shader_.Build(kPlainVertexShader, kPlainFragmentShader))
        texLocation_ = glGetUniformLocation(shader_.program, "tex");
    PrepareVertices(texture ? texture->width : 0, texture ? texture->height : 0);
}

void TexturedKnobRenderer::ShutdownGL() {
    shader_.Release();
}

void TexturedKnobRenderer::Draw() {
    if (!prepared_ || instances_.empty())
        return;
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 1);
    const bool useShader = shader_.program != 0 && eyeCandy();
    const unsigned name = texture ? texture->glName : 0;
    if (useShader) {
        glUseProgram(shader_.program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, name);
        glUniform1i(texLocation_, 0);
    } else {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, vertices_.data());
    drawRuns(instances_, GL_QUADS, 4);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (useShader)
        glUseProgram(0);
    else
        glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
}

}  // namespace QX
