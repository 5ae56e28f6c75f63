#include "gui/Slider.h"

#include <algorithm>
#include <cmath>

#include "ControlDrawing.h"
#include "gui/Manager.h"
#include "gui/Texture.h"
#include "platform/ManagerPlatformBridge.h"
#include "platform/Settings.h"

namespace QX {

namespace {

// Movement along the axis per design unit with Shift held.
constexpr float kFineRate = 0.0005f;

const char* const kThumbVertexShader =
    "varying vec4 lightDir;\nvarying vec3 hv;\nvarying vec2 uv;\nvarying mat3 normMat;\nvoid "
    "main()\n{\ngl_Position = ftransform();\nuv = gl_MultiTexCoord0.st;\nvec3 pos = "
    "gl_Vertex.xyz;\nnormMat = mat3( gl_Normal.x, gl_Normal.y, 0.0, -gl_Normal.y, gl_Normal.x, "
    "0.0, 0.0, 0.0, 1.0 );\nvec3 lightPos = gl_LightSource[1].position.xyz;\nvec3 lightVec = "
    "lightPos - pos;\nlightDir.xyz = normalize( lightVec );\nlightDir.w = length( lightVec );\nhv "
    "= normalize( lightDir.xyz + vec3(0.0,0.0,1.0) );\n}\n";
const char* const kThumbFragmentShader =
    "uniform sampler2D tex;\nuniform sampler2D normalMap;\nvarying vec4 lightDir;\nvarying vec3 "
    "hv;\nvarying vec2 uv;\nvarying mat3 normMat;\nvoid main()\n{\nvec4 diffuse = texture2D( "
    "tex, uv );\nvec3 n = texture2D( normalMap, uv ).xyz;\nn = n * 2.0 - vec3(1.0,1.0,1.0);\nn = "
    "normMat * n;\nfloat ndl = max( 0.0, dot( n, lightDir.xyz ) );\nfloat d = "
    "300.0*ndl/( 300.0 + lightDir.w );\nd = d + 0.4;\nfloat s = max( 0.0, dot( n, hv ) );\ns = "
    "0.5 * pow( s, 10.0 );\ngl_FragColor.rgb = diffuse.rgb * d + vec3( 0.6, 0.6, 0.8 ) * "
    "s;\ngl_FragColor.a = diffuse.a;\n}\n";

float clamp01(float p) {
    return std::min(1.0f, std::max(0.0f, p));
}

}  // namespace

// ---- TexturedSlider -------------------------------------------------------------------

TexturedSlider::TexturedSlider(Manager* owner, TexturedSliderRenderer* sliderRenderer,
                               float imageCentreU, float imageCentreV, float halfWidth,
                               float halfHeight, int parameterIndex, float x, float y, float width,
                               float height, int isHorizontal)
    : Slider(owner, parameterIndex), horizontal(isHorizontal), renderer(sliderRenderer) {
    box = Box::Make(x, y, x + width, y + height);
    if (renderer)
        instance = renderer->AddInstance(imageCentreU, imageCentreV, halfWidth, halfHeight);
}

Point TexturedSlider::ThumbCentre() const {
    const float t = clamp01(position) * travel;
    if (horizontal)
        return {trackStart.x + t, trackMiddle};
    return {trackMiddle, trackStart.y + t};
}

void TexturedSlider::Layout() {
    const Box b = AbsoluteBox();
    trackStart = {b.minX, b.minY};
    travel = horizontal ? b.Width() : b.Height();
    trackMiddle = horizontal ? b.Centre().y : b.Centre().x;
    if (renderer)
        renderer->PlaceThumb(instance, ThumbCentre());
}

void TexturedSlider::Idle() {
    Control::Idle();
    if (renderer)
        renderer->PlaceThumb(instance, ThumbCentre());
}

void TexturedSlider::MouseDown(Point p, int modifiers, int clickCount) {
    Control::MouseDown(p, modifiers, clickCount);
    if (modifiers & kModifierAlt)
        SetValue(info.defaultValue);
    position = PositionOfValue(Value());
    dragStart = p;
    dragStartPosition = position;
    MouseDrag(p, modifiers);
}

void TexturedSlider::MouseDrag(Point p, int modifiers) {
    if (modifiers & kModifierAlt)
        return;
    float at;
    if (modifiers & kModifierShift) {
        const float moved = horizontal ? p.x - dragStart.x : p.y - dragStart.y;
        at = moved * kFineRate + dragStartPosition;
    } else {
        const Box b = AbsoluteBox();
        const float extent = horizontal ? b.Width() : b.Height();
        const float along = horizontal ? p.x - b.minX : p.y - b.minY;
        at = extent > 0 ? along / extent : 0.0f;
    }
    at = clamp01(at);
    const float range = info.maximum - info.minimum;
    if ((modifiers & kModifierControl) && range != 0.0f)
        at = (std::floor(range * at + info.minimum + 0.5f) - info.minimum) / range;
    position = at;
    SetPosition(position);
}

void TexturedSlider::SetVisible(bool v) {
    Slider::SetVisible(v);
    if (renderer)
        renderer->SetActive(instance, v);
}

void TexturedSlider::DrawStatic(Font* /*font*/) {
    Box b = AbsoluteBox();
    if (horizontal) {
        b.minY += 2;
        b.maxY -= 2;
    } else {
        b.minX += 2;
        b.maxX -= 2;
    }
    BlendOver();
    glColor4f(0, 0, 0.1f, 0.4f);
    FillBox(b);
    glDisable(GL_BLEND);
}

// ---- TexturedSliderRenderer ----------------------------------------------------------------

TexturedSliderRenderer::TexturedSliderRenderer(Manager* owner, Texture* colour, Texture* normals)
    : Effect(owner), colourTexture(colour), normalMap(normals) {}

TexturedSliderRenderer::~TexturedSliderRenderer() = default;

int TexturedSliderRenderer::AddInstance(float imageCentreU, float imageCentreV, float halfWidth,
                                        float halfHeight) {
    Instance& instance = instances_.emplace_back();
    instance.imageU = imageCentreU;
    instance.imageV = imageCentreV;
    instance.halfWidth = halfWidth;
    instance.halfHeight = halfHeight;
    if (prepared_)
        vertices_.resize(instances_.size() * 4, Vertex{});
    return static_cast<int>(instances_.size()) - 1;
}

void TexturedSliderRenderer::PlaceThumb(int index, Point centre) {
    if (index < 0 || index >= static_cast<int>(instances_.size()))
        return;
    Instance& instance = instances_[static_cast<std::size_t>(index)];
    if (instance.placed && instance.thumb.x == centre.x && instance.thumb.y == centre.y)
        return;
    instance.thumb = centre;
    instance.placed = true;
    if (prepared_)
        WriteQuad(index);
}

void TexturedSliderRenderer::SetActive(int index, bool active) {
    if (index >= 0 && index < static_cast<int>(instances_.size()))
        instances_[static_cast<std::size_t>(index)].active = active;
}

void TexturedSliderRenderer::PrepareVertices(int textureWidth, int textureHeight) {
    const float tw = static_cast<float>(textureWidth > 0 ? textureWidth : 1);
    const float th = static_cast<float>(textureHeight > 0 ? textureHeight : 1);
    vertices_.assign(instances_.size() * 4, Vertex{});
    // Corners in the order the quad is written: (+w, +h), (+w, -h),
    // (-w, -h), (-w, +h); the normals give the lighting shader each corner's
    // direction.
    const float sign[4][2] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
    const float normals[4][2] = {{1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        const Instance& instance = instances_[i];
        for (int k = 0; k < 4; ++k) {
            Vertex& v = vertices_[i * 4 + static_cast<std::size_t>(k)];
            v.u = (instance.imageU + sign[k][0] * instance.halfWidth) / tw;
            v.v = (instance.imageV + sign[k][1] * instance.halfHeight) / th;
            v.nx = normals[k][0];
            v.ny = normals[k][1];
            v.nz = 0;
        }
    }
    prepared_ = true;
    for (int i = 0; i < static_cast<int>(instances_.size()); ++i)
        WriteQuad(i);
}

void TexturedSliderRenderer::WriteQuad(int index) {
    const Instance& instance = instances_[static_cast<std::size_t>(index)];
    const float x = instance.thumb.x, y = instance.thumb.y;
    const float w = instance.halfWidth, h = instance.halfHeight;
    Vertex* out = &vertices_[static_cast<std::size_t>(index) * 4];
    const float corner[4][2] = {{x + w, y + h}, {x + w, y - h}, {x - w, y - h}, {x - w, y + h}};
    for (int k = 0; k < 4; ++k) {
        out[k].x = corner[k][0];
        out[k].y = corner[k][1];
        out[k].z = 0;
    }
}

void TexturedSliderRenderer::InitGL() {
    if (colourTexture)
        colourTexture->Load(false);
    if (normalMap)
        normalMap->Load(false);
    if (shader_.Build(kThumbVertexShader, kThumbFragmentShader)) {
        texLocation_ = glGetUniformLocation(shader_.program, "tex");
        normalMapLocation_ = glGetUniformLocation(shader_.program, "normalMap");
    }
    PrepareVertices(colourTexture ? colourTexture->width : 0,
                    colourTexture ? colourTexture->height : 0);
}

void TexturedSliderRenderer::ShutdownGL() {
    shader_.Release();
}

void TexturedSliderRenderer::Draw() {
    if (!prepared_ || instances_.empty())
        return;
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0);
    BlendOver();
    glColor4f(1, 1, 1, 1);
    const bool useShader = shader_.program != 0 &&
                           platform::processSettings().eyeCandy.load(std::memory_order_relaxed);
    const unsigned colourName = colourTexture ? colourTexture->glName : 0;
    const bool withNormals = useShader && normalMap && normalMap->glName != 0;
    if (useShader) {
        glUseProgram(shader_.program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, colourName);
        glUniform1i(texLocation_, 0);
        if (withNormals) {
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, normalMap->glName);
            glUniform1i(normalMapLocation_, 1);
            glActiveTexture(GL_TEXTURE0);
        }
    } else {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, colourName);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    }
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, vertices_.data());
    const int count = static_cast<int>(instances_.size());
    for (int first = 0; first < count;) {
        if (!instances_[static_cast<std::size_t>(first)].active) {
            ++first;
            continue;
        }
        int end = first + 1;
        while (end < count && instances_[static_cast<std::size_t>(end)].active)
            ++end;
        glDrawArrays(GL_QUADS, first * 4, (end - first) * 4);
        first = end;
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    if (useShader) {
        if (withNormals) {
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, 0);
            glActiveTexture(GL_TEXTURE0);
        }
        glUseProgram(0);
    } else {
        glDisable(GL_TEXTURE_2D);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
}

}  // namespace QX
