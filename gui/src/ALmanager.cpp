#include "gui/ALmanager.h"

#include "GL.h"
#include "gui/Texture.h"
#include "platform/Settings.h"

namespace {

const char* const kVertexShader =
    "varying vec2 uv;\nvoid main()\n{\ngl_Position = ftransform();\nuv = "
    "gl_MultiTexCoord0.st;\n}\n";
const char* const kFragmentShader =
    "uniform sampler2D tex;\nvarying vec2 uv;\nvoid main()\n{\nvec4 diffuse = texture2D( tex, "
    "uv );\ngl_FragColor.rgba = diffuse.rgba;\n}\n";

bool shadersAvailable() {
    return glCreateShader && glShaderSource && glCompileShader && glCreateProgram &&
           glAttachShader && glLinkProgram && glGetUniformLocation && glUseProgram;
}

}  // namespace

void ALmanager::SetBackground(QX::Texture* texture, const char* mode) {
    background = texture;
    backgroundMode = mode && mode[0] == 'b' ? 1 : 0;
    if (background)
        background->loadOnUse = true;
}

void ALmanager::InitGLHook() {
    if (!shadersAvailable())
        return;
    // As with every shader here, compile and link results are not queried:
    // a failure leaves a program that draws nothing useful, not a crash.
    vertexShader = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(vertexShader, 1, &kVertexShader, nullptr);
    glCompileShader(vertexShader);
    fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(fragmentShader, 1, &kFragmentShader, nullptr);
    glCompileShader(fragmentShader);
    program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, fragmentShader);
    glLinkProgram(program);
    texLocation = glGetUniformLocation(program, "tex");
}

QX::Manager::RenderingShutdowner* ALmanager::CreateShutdowner() {
    return new ALRenderingShutdowner(this);
}

void ALmanager::ALRenderingShutdowner::Run() {
    if (!manager_->program)
        return;
    glDetachShader(manager_->program, manager_->vertexShader);
    glDetachShader(manager_->program, manager_->fragmentShader);
    glDeleteShader(manager_->vertexShader);
    glDeleteShader(manager_->fragmentShader);
    glDeleteProgram(manager_->program);
    manager_->program = 0;
    manager_->vertexShader = manager_->fragmentShader = 0;
}

void ALmanager::DrawUITexture() {
    if (!background) {
        QX::Manager::DrawUITexture();
        return;
    }
    const bool useProgram = program != 0 && platform::processSettings().eyeCandy;
    glDisable(GL_LIGHTING);
    if (useProgram) {
        glUseProgram(program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glUniform1i(texLocation, 0);
    } else {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, uiTexture);
    }
    glColor4f(1, 1, 1, 1);
    DrawUIQuad();
    if (useProgram)
        glUseProgram(0);
    else
        glDisable(GL_TEXTURE_2D);
}

void ALmanager::DrawBackground(bool reload) {
    if (!background)
        return;
    background->Load(reload);
    if (!background->Loaded())
        return;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, background->glName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glColor4f(1, 1, 1, 0);
    float w, h, u, v;
    if (backgroundMode == 1) {
        w = static_cast<float>(background->width);
        h = static_cast<float>(background->height);
        u = v = 1;
    } else {
        w = static_cast<float>(viewportWidth.load());
        h = static_cast<float>(viewportHeight.load());
        u = w / static_cast<float>(background->width);
        v = h / static_cast<float>(background->height);
    }
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(u, 0);
    glVertex2f(w, 0);
    glTexCoord2f(u, v);
    glVertex2f(w, h);
    glTexCoord2f(0, v);
    glVertex2f(0, h);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}
