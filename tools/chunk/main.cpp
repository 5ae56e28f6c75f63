// tavro-chunk PLUGIN [--load FILE] [--save FILE]: restores a saved state
// from a file into a fresh instance of the plug-in and/or writes the state
// the instance hands out, exactly as a host saves and loads projects.
// Exits 1 on usage errors, 2 when a file cannot be read or written, 3 when
// the plug-in cannot be loaded.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/VstHost.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: tavro-chunk PLUGIN [--load FILE] [--save FILE]\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    std::string load, save;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if ((option == "--load" || option == "--save") && i + 1 < argc) {
            (option == "--load" ? load : save) = argv[++i];
        } else {
            return usage();
        }
    }

    host::VstHost plugin;
    std::string error;
    if (!plugin.load(argv[1], error)) {
        std::fprintf(stderr, "tavro-chunk: %s\n", error.c_str());
        return 3;
    }
    if (!load.empty()) {
        std::ifstream in(load, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "tavro-chunk: cannot read '%s'\n", load.c_str());
            return 2;
        }
        std::vector<char> chunk((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
    }
    if (!save.empty()) {
        void* data = nullptr;
        const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &data);
        std::ofstream out(save, std::ios::binary);
        if (!out || size < 0 || (size > 0 && !data) ||
            !out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size))) {
            std::fprintf(stderr, "tavro-chunk: cannot write '%s'\n", save.c_str());
            return 2;
        }
    }
    return 0;
}
