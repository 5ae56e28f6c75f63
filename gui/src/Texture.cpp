#include "gui/Texture.h"

#include "GL.h"
#include "PngImage.h"
#include "gui/Blobs.h"
#include "gui/Manager.h"

namespace QX {
namespace {

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

Texture::Texture(Manager* owner, const std::string& file, int id) : path(file), resourceId(id) {
    if (owner != nullptr) {
        owner->textures.push_back(this);
    }
}

// The GL name goes with the context (Unload in ShutdownGL); the destructor
// runs on the user-interface thread, where no context is current.
Texture::~Texture() = default;

void Texture::Load(bool reload) {
    if (reload) {
        Unload();
    }
    if (loadAttempted) {
        return;
    }
    loadAttempted = true;

    PngImage image;
    if (!path.empty()) {
        const std::vector<std::uint8_t> bytes = LoadFileBlob(path);
        if (bytes.empty() || !DecodePng(bytes.data(), bytes.size(), image)) {
            return;
        }
    } else {
        const ResourceBytes bytes = LoadImageBlob(resourceId);
        if (bytes.data == nullptr || !DecodePng(bytes.data, bytes.size, image)) {
            return;
        }
    }
    // What the drawing code can use as it is: whole-texture coordinates
    // need power-of-two sides on old GL, and colours need RGB or RGBA.
    if (!IsPowerOfTwo(image.width) || !IsPowerOfTwo(image.height) ||
        (image.channels != 3 && image.channels != 4) || image.bitDepth != 8) {
        return;
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        return;
    }
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, name);
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    // RGB rows of narrow images are not 4-byte multiples.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    // The first row of the file is texture row 0: v = 0 is the image's top.
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), image.width, image.height, 0, format,
                 GL_UNSIGNED_BYTE, image.pixels.data());
    glPopClientAttrib();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    glName = name;
    width = image.width;
    height = image.height;
}

void Texture::Unload() {
    if (glName != 0) {
        GLuint name = glName;
        glDeleteTextures(1, &name);
        glName = 0;
    }
    width = 0;
    height = 0;
    loadAttempted = false;
}

}  // namespace QX
