#include "gui/Manager.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <system_error>

#include "ControlDrawing.h"
#include "GL.h"
#include "PngImage.h"
#include "gui/DialogPanel.h"
#include "gui/Effect.h"
#include "gui/Font.h"
#include "gui/Group.h"
#include "gui/StaticText.h"
#include "gui/StatusLine.h"
#include "gui/Texture.h"
#include "gui/UIElement.h"
#include "platform/Diagnostics.h"
#include "platform/ManagerPlatformBridge.h"
#include "platform/NumericLocale.h"
#include "platform/Preferences.h"
#include "platform/Settings.h"
#include "platform/ThreadName.h"
#include "plugin/Properties.h"
#include "plugin/ZephCorvaneBase.h"
#include "tavro/Version.h"

// What the render thread draws: GL set-up and shutdown, the cached layer,
// the lit controls, the banner and tooltips, and the open panel.

namespace QX {

namespace {

// GLEW keeps its entry points in globals: two editors' render threads must
// not initialise it at the same moment.
std::mutex glewMutex;

// The one projection of the lit pass: gluPerspective's matrix.
void perspective(double fovY, double aspect, double zNear, double zFar) {
    const double yMax = zNear * std::tan(fovY * 3.14159265358979323846 / 360.0);
    const double xMax = yMax * aspect;
    glFrustum(-xMax, xMax, -yMax, yMax, zNear, zFar);
}

int textureSide(int needed, int atLeast) {
    int side = atLeast;
    while (side < needed)
        side *= 2;
    return side;
}

}  // namespace

// ---- GL initialisation and shutdown ---------------------------------------------------

void Manager::InitGL() {
    const bool ok = bridge->CreateContext();
    viewportWidth = designWidth = width.load();
    viewportHeight = designHeight = height.load();
    int w = viewportWidth, h = viewportHeight;
    bridge->AdjustBackingSize(w, h);
    viewportWidth = w;
    viewportHeight = h;
    backingWidth = w;
    backingHeight = h;
    const int scale = std::max(1, width.load() > 0 ? backingWidth / width.load() : 1);
    hiDensity = scale > 1;

    bool loaderReady = false;
    if (ok) {
        std::lock_guard<std::mutex> guard(glewMutex);
        loaderReady = glewInit() == GLEW_OK;
    }
    if (ok && loaderReady) {
        bridge->UpdateContext();
        glDisable(GL_MULTISAMPLE);
        glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
        for (Texture* texture : textures) {
            if (!texture->loadOnUse)
                texture->Load(false);
        }
        for (Font* slot : {mainFont, labelFont, textFieldFont}) {
            if (slot)
                slot->SetScale(scale);
        }
        for (Font* font : fonts)
            font->SetScale(scale);
        for (UIElement* element : elements)
            element->Layout();
        for (UIElement* element : elements)
            element->PostLayout();
        for (Effect* effect : effects)
            effect->InitGL();
        InitGLHook();
        bridge->ContextReady();
    }

    while (ok && glGetError() != GL_NO_ERROR) {
    }
    const int textureWidth = textureSide(backingWidth, hiDensity ? 2048 : 1024);
    const int textureHeight = textureSide(backingHeight, hiDensity ? 1024 : 512);
    if (ok) {
        glGenTextures(1, &uiTexture);
        if (loaderReady && glGenFramebuffers && glFramebufferTexture2D) {
            glGenFramebuffers(1, &framebuffer);
            glBindTexture(GL_TEXTURE_2D, uiTexture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureWidth, textureHeight, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, nullptr);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, uiTexture,
                                   0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        } else {
            bridge->CreateOffscreen(viewportWidth, viewportHeight);
            if (labelFont && labelFont->Loaded()) {
                bridge->MakeOffscreenCurrent();
                offscreenLabelFont_ = labelFont->Copy();
                offscreenLabelFont_->SetScale(scale);
            }
        }
    }
    uiTextureWidth_ = textureWidth;
    uiTextureHeight_ = textureHeight;
    if (labelFont)
        labelFont->SetScale(scale);
    if (ok)
        RenderUITexture();
}

void Manager::ShutdownGL() {
    if (!bridge->MakeCurrent()) {
        bridge->Destroy();
        offscreenLabelFont_.reset();
        return;
    }
    for (Texture* texture : textures)
        texture->Unload();
    for (Texture* texture : textures)
        texture->loadAttempted = false;
    for (Font* slot : {mainFont, labelFont, textFieldFont}) {
        if (slot)
            slot->ReleaseGL();
    }
    for (Font* font : fonts)
        font->ReleaseGL();
    for (Effect* effect : effects)
        effect->ShutdownGL();
    if (shutdowner)
        shutdowner->Run();
    for (const auto& lists : displayLists)
        glDeleteLists(lists.first, lists.second);
    displayLists.clear();
    if (uiTexture)
        glDeleteTextures(1, &uiTexture);
    uiTexture = 0;
    if (framebuffer && glDeleteFramebuffers)
        glDeleteFramebuffers(1, &framebuffer);
    framebuffer = 0;
    // Its glyph texture goes with the offscreen context.
    bridge->Destroy();
    offscreenLabelFont_.reset();
}

// ---- Frames ---------------------------------------------------------------------------

void Manager::RenderUITexture() {
    if (framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glViewport(0, 0, backingWidth, backingHeight);
    } else {
        bridge->MakeOffscreenCurrent();
    }
    glClearColor(clearColour[0], clearColour[1], clearColour[2], 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The cached layer is stored top row first, like the images.
    glScalef(1, -1, 1);
    glTranslatef(-1, -1, 0);
    glScalef(xScale, yScale, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawBackground(false);
    // Without a label font the labels have no text, but the fields and
    // tracks of this layer are drawn all the same. Drawn offscreen, the
    // labels take the glyphs made in the offscreen context.
    Font* font = labelFont;
    if (labelFont && !framebuffer)
        font = offscreenLabelFont_ && offscreenLabelFont_->Loaded() ? offscreenLabelFont_.get()
                                                                    : nullptr;
    for (UIElement* element : elements) {
        if (element->visible)
            element->DrawStatic(font);
    }
    if (framebuffer) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDrawBuffer(GL_BACK);
    } else {
        glFlush();
        const std::uint8_t* pixels = bridge->OffscreenPixels();
        bridge->MakeCurrent();
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1024, 512, 0, GL_BGR, GL_UNSIGNED_BYTE, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        uiTextureWidth_ = 1024;
        uiTextureHeight_ = 512;
    }
}

void Manager::DrawUITexture() {
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glColor4f(1, 1, 1, 1);
    DrawUIQuad();
    glDisable(GL_TEXTURE_2D);
}

void Manager::DrawUIQuad() {
    const float u = static_cast<float>(backingWidth) / static_cast<float>(uiTextureWidth_);
    const float v = static_cast<float>(backingHeight) / static_cast<float>(uiTextureHeight_);
    glBegin(GL_QUADS);
    glTexCoord2f(0, v);
    glVertex2f(-1, -1);
    glTexCoord2f(u, v);
    glVertex2f(1, -1);
    glTexCoord2f(u, 0);
    glVertex2f(1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glEnd();
}

void Manager::RenderFrame() {
    if (!bridge->MakeCurrent())
        return;
    glViewport(0, 0, viewportWidth, viewportHeight);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDepthRange(0.1, 1);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    perspective(fieldOfView, aspect, eyeDistance, eyeDistance * 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-eyeX, -eyeY, -eyeDistance);

    glEnable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat diffuse[] = {0.6f, 0.6f, 0.6f, 1};
    const GLfloat specular[] = {0.3f, 0.3f, 0.3f, 1};
    const GLfloat position[] = {1, 1, 1, 1};
    const GLfloat materialSpecular[] = {0.7f, 0.5f, 0.5f, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    for (Effect* effect : effects)
        effect->Draw3D();

    glDepthRange(0, 0.1);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawUITexture();

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslatef(-1, -1, 0);
    glScalef(xScale, yScale, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawOverlay();
    DrawPanel();

    WriteRequestedFrame();
    bridge->SwapBuffers();
    framesDrawn_.fetch_add(1);
}

void Manager::DrawOverlay() {
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat diffuse0[] = {0.8f, 0.8f, 0.8f, 1};
    const GLfloat specular0[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat direction0[] = {0.6f, 0.6f, 0.5f, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse0);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular0);
    glLightfv(GL_LIGHT0, GL_POSITION, direction0);

    if (UIElement* hovered = hoverElement.load())
        lightTarget = hovered->AbsoluteBox().Centre();
    const float lastX = lightPosition[0], lastY = lightPosition[1];
    lightPosition[0] = lightTarget.x * 0.1f + lightPosition[0] * 0.9f;
    lightPosition[1] = lightTarget.y * 0.1f + lightPosition[1] * 0.9f;
    if (std::fabs(lightPosition[0] - lastX) > 0.05f || std::fabs(lightPosition[1] - lastY) > 0.05f)
        KeepAnimating();
    const GLfloat diffuse1[] = {0.9f, 0.9f, 0.9f, 1};
    const GLfloat specular1[] = {0.5f, 0.5f, 0.7f, 1};
    glEnable(GL_LIGHT1);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse1);
    glLightfv(GL_LIGHT1, GL_SPECULAR, specular1);
    glLightfv(GL_LIGHT1, GL_POSITION, lightPosition);
    const GLfloat materialSpecular[] = {0.5f, 0.5f, 0.5f, 1};
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 40);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);

    std::string tooltip;
    bool haveTooltip = false;
    const bool floating = platform::processSettings().floatingTooltip;
    float lineHeight = 0;
    // The banner's box shows without a font too; only its text needs one.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4fv(bannerColour);
    if (!bannerBox.Empty())
        FillRect(bannerBox.minX, bannerBox.minY, bannerBox.maxX, bannerBox.maxY);
    if (mainFont) {
        lineHeight = mainFont->LineHeight();
        float x = infoX;
        if (x < 0)
            x = bannerMode == 2 ? 25.0f : static_cast<float>(backingWidth) * 0.5f + 15;
        const float y = bannerBox.minY - mainFont->Descender();
        glColor4fv(bannerTextColour);
        const int edit = editId.load();
        const int id = edit >= 0 ? edit : hoverId.load();
        if (id >= 0) {
            DrawParameterInfo(id, x, y, floating ? &tooltip : nullptr);
            haveTooltip = floating && !tooltip.empty();
        } else if (id <= -2) {
            if (id != cachedInfoId_) {
                cachedInfoId_ = id;
                const std::string* text = InfoText(id);
                cachedInfoText_ = text ? *text : std::string();
            }
            infoRun.Update(mainFont, cachedInfoText_, x, y);
            infoRun.Draw(mainFont);
            tooltip = cachedInfoText_;
            haveTooltip = !tooltip.empty();
        }
    }

    root->Draw();
    glDepthMask(GL_FALSE);
    for (Effect* effect : effects)
        effect->Draw();
    if (drawOverlays)
        root->DrawOverlay();

    if (floating && mainFont) {
        UIElement* control = hoverControl.load();
        if (control && haveTooltip) {
            const float before = tipAlpha;
            tipAlpha = tipAlpha * 0.84f + 0.16f;
            if (std::fabs(tipAlpha - before) > 1.0f / 512)
                KeepAnimating();
            std::snprintf(tipText, sizeof tipText, "%s", tooltip.c_str());
            const float w = mainFont->Advance(tipText);
            const Box box = control->AbsoluteBox();
            const Point centre = box.Centre();
            tipX = std::max(centre.x - w / 2, 5.0f);
            tipX = std::min(tipX, static_cast<float>(backingWidth) - 5 - w);
            tipY = centre.y;
            tipWidth = w;
            tipHeight = lineHeight;
        } else {
            tipAlpha *= 0.89f;
            if (tipAlpha < 0.003921569f)
                tipAlpha = 0;
            else
                KeepAnimating();
        }
        if (tipAlpha > 0) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4f(0.7f, 0.7f, 0.7f, tipAlpha * 0.5f);
            FillRect(tipX - 5, tipY, tipX + tipWidth + 5, tipY + tipHeight);
            glColor4f(0.8f, 0.8f, 0.8f, tipAlpha * 0.9f);
            tipRun.Update(mainFont, tipText, tipX, tipY - mainFont->Descender());
            tipRun.Draw(mainFont);
        }
    }
    DrawResizeGrip();
    statusLine_->Draw(mainFont, StatusBox());
    glDisable(GL_BLEND);
}

Box Manager::StatusBox() const {
    // Over the banner, the title included, until read; while the banner
    // shows a parameter or a help text the line keeps to the left of it.
    if (!mainFont || bannerBox.Empty())
        return {};
    float right = bannerBox.maxX;
    if (editId.load() >= 0 || hoverId.load() != -1) {
        float x = infoX;
        if (x < 0)
            x = bannerMode == 2 ? 25.0f : static_cast<float>(backingWidth) * 0.5f + 15;
        right = x - 10;
    }
    if (right - bannerBox.minX < 100)
        return {};
    return Box::Make(bannerBox.minX, bannerBox.minY, right, bannerBox.maxY);
}

void Manager::DrawResizeGrip() {
    // Three ridges in the corner whose triangle starts a resize (MouseDown),
    // so that it can be found; sized in window pixels at every window size.
    const int windowWidth = width.load(), windowHeight = height.load();
    if (windowWidth <= 0 || windowHeight <= 0 || designWidth <= 0 || designHeight <= 0)
        return;
    const float unitX = static_cast<float>(designWidth) / static_cast<float>(windowWidth);
    const float unitY = static_cast<float>(designHeight) / static_cast<float>(windowHeight);
    const float right = static_cast<float>(designWidth);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.8f, 0.8f, 0.8f, 0.55f);
    glBegin(GL_LINES);
    for (float ridge : {4.0f, 8.0f, 12.0f}) {
        glVertex2f(right - (ridge + 2) * unitX, 2 * unitY);
        glVertex2f(right - 2 * unitX, (ridge + 2) * unitY);
    }
    glEnd();
}

void Manager::DrawParameterInfo(int index, float x, float y, std::string* tooltip) {
    if (!plugin || !mainFont || index < 0 || index >= static_cast<int>(parameterInfo.size()))
        return;
    float x0 = x + 150;
    const std::string name = parameterInfo[static_cast<std::size_t>(index)].name;
    nameRun.Update(mainFont, name, x0 - 10 - mainFont->Advance(name), y);
    nameRun.Draw(mainFont);

    char display[128] = {};
    plugin->getParameterDisplay(index, display);
    display[127] = 0;
    displayRun.Update(mainFont, display, x0, y);
    displayRun.Draw(mainFont);

    x0 += 40;
    char label[128] = {};
    plugin->getParameterLabel(index, label);
    label[127] = 0;
    if (label[0]) {
        x0 = labelRun.Update(mainFont, label, x0, y) + 10;
        labelRun.Draw(mainFont);
    }
    std::string text = name + " " + display;
    if (label[0])
        text += std::string(" ") + label;
    if (tooltip)
        *tooltip = text;
    DrawParameterInfoHook(mainFont, index, x0, y, text);
}

// ---- Modal panel drawing ---------------------------------------------------------------

void Manager::DrawPanel() {
    std::lock_guard<std::mutex> guard(panelMutex_);
    if (!panel_)
        return;
    const int w = designWidth > 0 ? designWidth : width.load();
    const int h = designHeight > 0 ? designHeight : height.load();
    if (w <= 0 || h <= 0)
        return;
    Font* font = DialogFont(panel_->Layout().fontPixels);
    panel_->Draw(font, static_cast<float>(w), static_cast<float>(h),
                 static_cast<float>(viewportWidth.load()) / static_cast<float>(w),
                 static_cast<float>(viewportHeight.load()) / static_cast<float>(h), elapsed);
    // The caret blinks: frames go on while a panel is open.
    KeepAnimating();
}

Font* Manager::DialogFont(int pixels) {
    auto found = dialogFonts_.find(pixels);
    if (found == dialogFonts_.end()) {
        // Plain sans-serif faces in the size of a dialog's text: Windows'
        // own first, then what Linux systems have.
        const std::vector<FontCandidate> candidates = {
            {"tahoma.ttf", pixels},
            {"DejaVuSans.ttf", pixels},
            {"LiberationSans-Regular.ttf", pixels},
            {"FreeSans.ttf", pixels},
            {"arial.ttf", pixels},
            {"verdana.ttf", pixels},
            {"builtin:DejaVuSans.ttf", pixels},
        };
        Font* font = CreateFont(candidates).release();
        if (font) {
            const int scale = designWidth > 0 ? std::max(1, backingWidth / designWidth) : 1;
            font->SetScale(scale);
            fonts.push_back(font);
        }
        found = dialogFonts_.emplace(pixels, font).first;
    }
    if (found->second)
        return found->second;
    return textFieldFont ? textFieldFont : mainFont;
}

}  // namespace QX
