// Links one real call of every third-party library and checks its result, so
// that a broken dependency build (wrong ABI, missing static define, a DLL
// import sneaking in) shows up before the plug-in does anything with it.
// Prints one line per library; exits 0 only if every check passes.

#include <FTGL/ftgl.h>
#include <GL/glew.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <ip/IpEndpointName.h>
#include <osc/OscOutboundPacketStream.h>
#include <osc/OscReceivedElements.h>
#include <png.h>
#include <zlib.h>
#include <lua.hpp>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

// 64-bit Windows has a 32-bit long; oscpack's own header picks long for
// int64 on every x86_64, which the dependency build patches.
static_assert(sizeof(osc::int64) == 8, "osc::int64 must have 64 bits");
static_assert(sizeof(osc::uint64) == 8, "osc::uint64 must have 64 bits");

namespace {

bool report(const char* library, bool ok, const std::string& detail) {
    std::printf("%-9s %s  %s\n", library, ok ? "ok    " : "FAILED", detail.c_str());
    return ok;
}

bool checkLua() {
    lua_State* state = luaL_newstate();
    if (state == nullptr) {
        return report("lua", false, "luaL_newstate returned null");
    }
    luaL_openlibs(state);
    // The second result shows that the standard libraries were opened.
    bool ran = luaL_dostring(state, "return 1 + 1, type(string.format)") == 0;
    std::string detail;
    bool ok = false;
    if (ran) {
        ok = lua_tonumber(state, -2) == 2 && std::strcmp(lua_tostring(state, -1), "function") == 0;
        detail = "\"return 1 + 1\" gave " + std::string(lua_tostring(state, -2));
    } else {
        detail = std::string("error: ") + lua_tostring(state, -1);
    }
    lua_close(state);
    return report("lua", ok, detail);
}

bool checkFreetype() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        return report("freetype", false, "FT_Init_FreeType failed");
    }
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(library, &major, &minor, &patch);
    FT_Done_FreeType(library);
    bool ok = major == FREETYPE_MAJOR && minor == FREETYPE_MINOR;
    return report(
        "freetype", ok,
        std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch));
}

bool checkPng() {
    // png_create_read_struct refuses a library whose version differs from
    // the headers the caller was built with.
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    bool created = png != nullptr;
    if (created) {
        png_destroy_read_struct(&png, nullptr, nullptr);
    }
    png_uint_32 version = png_access_version_number();
    return report("png", created && version == PNG_LIBPNG_VER,
                  "version " + std::to_string(version));
}

bool checkZlib() {
    const char text[] = "tavro tavro tavro tavro tavro tavro tavro tavro";
    Bytef packed[128];
    uLongf packedSize = sizeof packed;
    Bytef unpacked[sizeof text];
    uLongf unpackedSize = sizeof unpacked;
    bool ok =
        compress(packed, &packedSize, reinterpret_cast<const Bytef*>(text), sizeof text) == Z_OK &&
        uncompress(unpacked, &unpackedSize, packed, packedSize) == Z_OK &&
        unpackedSize == sizeof text && std::memcmp(unpacked, text, sizeof text) == 0;
    bool sameVersion = std::strcmp(zlibVersion(), ZLIB_VERSION) == 0;
    return report("zlib", ok && sameVersion,
                  std::string(zlibVersion()) + ", " + std::to_string(sizeof text) + " -> " +
                      std::to_string(packedSize) + " bytes and back");
}

bool checkGlew() {
    // No GL context here: only the library's own strings can be asked for.
    const GLubyte* version = glewGetString(GLEW_VERSION);
    const char* text = reinterpret_cast<const char*>(version);
    bool ok = text != nullptr && std::strncmp(text, "2.", 2) == 0;
    return report("glew", ok, text != nullptr ? text : "(null)");
}

bool checkFtgl() {
    // A missing file must come back as an error, not a crash or a font.
    FTTextureFont font("/nonexistent/tavro-link-check.ttf");
    FT_Error error = font.Error();
    return report("ftgl", error != 0, "missing font gives error " + std::to_string(error));
}

bool checkOscpack() {
    const osc::int64 value = 0x0102030405060708LL;
    const osc::uint64 time = 0x1122334455667788ULL;
    char buffer[64];
    osc::OutboundPacketStream stream(buffer, sizeof buffer);
    stream << osc::BeginMessage("/t") << value << osc::TimeTag(time) << osc::EndMessage;

    // Address, type tags ",ht", then both arguments big-endian.
    const unsigned char expected[] = {
        '/',  't',  0,    0,    ',',  'h',  't',  0,    0x01, 0x02, 0x03, 0x04,
        0x05, 0x06, 0x07, 0x08, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
    };
    bool bytesOk = stream.Size() == sizeof expected &&
                   std::memcmp(stream.Data(), expected, sizeof expected) == 0;

    bool parsedOk = false;
    try {
        osc::ReceivedPacket packet(stream.Data(), stream.Size());
        osc::ReceivedMessage message(packet);
        osc::ReceivedMessage::const_iterator arg = message.ArgumentsBegin();
        osc::int64 parsedValue = (arg++)->AsInt64();
        osc::uint64 parsedTime = (arg++)->AsTimeTag();
        parsedOk = parsedValue == value && parsedTime == time && arg == message.ArgumentsEnd();
    } catch (const std::exception& e) {
        return report("oscpack", false, std::string("parsing threw: ") + e.what());
    }
    // Resolving goes through the socket library (ws2_32 on Windows).
    IpEndpointName endpoint("127.0.0.1", 7000);
    bool addressOk = endpoint.address == 0x7F000001UL && endpoint.port == 7000;

    return report("oscpack", bytesOk && parsedOk && addressOk,
                  std::string("int64 and time tag bytes ") + (bytesOk ? "right" : "WRONG") +
                      ", parsed back " + (parsedOk ? "equal" : "DIFFERENT") + ", 127.0.0.1 " +
                      (addressOk ? "resolved" : "NOT RESOLVED"));
}

}  // namespace

int main() {
    bool ok = true;
    ok = checkLua() && ok;
    ok = checkFreetype() && ok;
    ok = checkPng() && ok;
    ok = checkZlib() && ok;
    ok = checkGlew() && ok;
    ok = checkFtgl() && ok;
    ok = checkOscpack() && ok;
    return ok ? 0 : 1;
}
