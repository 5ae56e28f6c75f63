#pragma once
// The command line of tavro-render, as a function so that tests can run it.
//
//   tavro-render PLUGIN MIDIFILE OUT.wav [--rate HZ]
//       [--block-size N | --block-sizes A,B,C | --random-blocks MIN-MAX [--seed S]]
//       [--set "Name=value"]... [--tempo BPM] [--time-signature N/D]
//       [--start Q] [--loop FROM-TO [--passes N]] [--stop-at Q] [--tail SECONDS]
//       [--format float|pcm16|pcm24] [--events FILE]
//       [--midi-source NAME]
//       [--loopback NAME [--cable-fault KIND@N]... [--cable-delay MS[,JITTER_MS]]]

#include <ostream>
#include <string>
#include <vector>

namespace render {

enum RenderExitCode {
    kRenderOk = 0,
    kRenderUsage = 1,
    kRenderInputError = 2,
    kRenderPluginError = 3,
};

// `args` without the program name. Progress and messages go to `err`;
// `errIsTerminal` chooses progress updated in place over plain lines.
int runRenderTool(const std::vector<std::string>& args, std::ostream& err, bool errIsTerminal);

}  // namespace render
