// tavro-render: plays a MIDI file into a plug-in and writes its output.

#include "render/RenderTool.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace {

// Standard error is a terminal when it is a character device (a terminal,
// or /dev/null, where updating a line in place does no harm either); pipes
// and files get plain lines.
bool stderrIsTerminal() {
    std::error_code ec;
    return std::filesystem::is_character_file(std::filesystem::status("/proc/self/fd/2", ec));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return render::runRenderTool(args, std::cerr, stderrIsTerminal());
}
