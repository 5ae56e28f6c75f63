#pragma once
// The command line of tavro-decode, as a function so that tests can run it.
//
//   tavro-decode FILE.wav [--threshold X] [--fixed-threshold]
//                [--polarity auto|low|high] [--channel N] [--format text|tsv]
//                [--plot FILE.svg [--from POS] [--to POS]]

#include <ostream>
#include <string>
#include <vector>

namespace serialmidi {

enum DecodeExitCode { kDecodeOk = 0, kDecodeUsage = 1, kDecodeInputError = 2 };

// `args` without the program name. Results go to `out`, messages to `err`.
int runDecodeTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace serialmidi
