// tavro-decode: prints the serial MIDI carried in an audio file.

#include "decode/DecodeTool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return serialmidi::runDecodeTool(args, std::cout, std::cerr);
}
