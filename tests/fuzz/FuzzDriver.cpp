// Runs a fuzz target without libFuzzer (any compiler): every file of a seed
// corpus, then a fixed number of deterministic mutations of them. Under the
// sanitizers a fault aborts the run; the failing input is recreated with
// --dump.
//
//   fuzz_x [--iterations N] [--seed S] [--dump K FILE] CORPUS...
//
// CORPUS entries are files or folders of files. --dump K FILE writes the
// input of mutation K (as numbered in the progress messages) and exits.

#include "FuzzTarget.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Input = std::vector<std::uint8_t>;

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state_;
};

constexpr std::size_t kMaxSize = 1 << 16;

// Which input is running, for the message when it brings the process down.
volatile long gMutation = -1;

void tellFailingInput() {
    if (gMutation >= 0)
        std::fprintf(stderr,
                     "fuzz: the failing input is mutation %ld; recreate it with --dump %ld FILE\n",
                     gMutation, gMutation);
    else
        std::fprintf(stderr, "fuzz: the failing input is a corpus file\n");
}

extern "C" void onFatalSignal(int signal) {
    tellFailingInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Byte values that sit on the edges parsers get wrong.
const std::uint8_t kInteresting[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0xF0, 0xF7, 0xFF, 0x2F, 0x51};

void mutate(Input& in, const std::vector<Input>& corpus, Random& r) {
    const int steps = 1 + static_cast<int>(r.below(4));
    for (int s = 0; s < steps; ++s) {
        switch (r.below(8)) {
            case 0:  // flip a bit
                if (!in.empty())
                    in[r.below(in.size())] ^= static_cast<std::uint8_t>(1u << r.below(8));
                break;
            case 1:  // an interesting byte
                if (!in.empty())
                    in[r.below(in.size())] = kInteresting[r.below(sizeof kInteresting)];
                break;
            case 2:  // a random byte
                if (!in.empty())
                    in[r.below(in.size())] = static_cast<std::uint8_t>(r.next());
                break;
            case 3:  // truncate
                in.resize(r.below(in.size() + 1));
                break;
            case 4: {  // insert a few bytes
                const std::size_t at = r.below(in.size() + 1);
                const std::size_t n = 1 + r.below(8);
                Input bytes(n);
                for (auto& b : bytes)
                    b = static_cast<std::uint8_t>(r.next());
                in.insert(in.begin() + static_cast<long>(at), bytes.begin(), bytes.end());
                break;
            }
            case 5:  // delete a stretch
                if (!in.empty()) {
                    const std::size_t at = r.below(in.size());
                    const std::size_t n = 1 + r.below(std::min<std::size_t>(16, in.size() - at));
                    in.erase(in.begin() + static_cast<long>(at),
                             in.begin() + static_cast<long>(at + n));
                }
                break;
            case 6: {  // repeat a stretch
                if (in.empty())
                    break;
                const std::size_t at = r.below(in.size());
                const std::size_t n = 1 + r.below(std::min<std::size_t>(64, in.size() - at));
                Input stretch(in.begin() + static_cast<long>(at),
                              in.begin() + static_cast<long>(at + n));
                in.insert(in.begin() + static_cast<long>(r.below(in.size() + 1)), stretch.begin(),
                          stretch.end());
                break;
            }
            default: {  // splice in part of another input
                const Input& other = corpus[r.below(corpus.size())];
                if (other.empty())
                    break;
                const std::size_t from = r.below(other.size());
                const std::size_t n = 1 + r.below(other.size() - from);
                const std::size_t at = r.below(in.size() + 1);
                in.insert(in.begin() + static_cast<long>(at),
                          other.begin() + static_cast<long>(from),
                          other.begin() + static_cast<long>(from + n));
                break;
            }
        }
    }
    if (in.size() > kMaxSize)
        in.resize(kMaxSize);
}

bool readFile(const std::filesystem::path& path, Input& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

int usage() {
    std::fprintf(stderr,
                 "usage: fuzz_target [--iterations N] [--seed S] [--dump K FILE] CORPUS...\n");
    return 1;
}

}  // namespace

// AddressSanitizer calls this, when it is present, before it reports.
extern "C" void __asan_on_error() {
    tellFailingInput();
}

int main(int argc, char** argv) {
    long iterations = 10000;
    unsigned long long seed = 1;
    long dumpIndex = -1;
    std::string dumpPath;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--iterations" && i + 1 < argc)
            iterations = std::strtol(argv[++i], nullptr, 10);
        else if (a == "--seed" && i + 1 < argc)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--dump" && i + 2 < argc) {
            dumpIndex = std::strtol(argv[++i], nullptr, 10);
            dumpPath = argv[++i];
        } else if (!a.empty() && a[0] == '-')
            return usage();
        else
            paths.emplace_back(a);
    }

    std::vector<Input> corpus;
    for (const auto& p : paths) {
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(p, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(p))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());  // the same order on every machine
        } else {
            files.push_back(p);
        }
        for (const auto& f : files) {
            Input in;
            if (!readFile(f, in)) {
                std::fprintf(stderr, "fuzz: cannot read %s\n", f.string().c_str());
                return 1;
            }
            corpus.push_back(std::move(in));
        }
    }
    if (corpus.empty())
        return usage();

    std::signal(SIGABRT, onFatalSignal);
    std::signal(SIGSEGV, onFatalSignal);
    if (dumpIndex < 0) {
        for (const Input& in : corpus)
            LLVMFuzzerTestOneInput(in.data(), in.size());
    }
    Random random(seed);
    for (long k = 0; k < iterations; ++k) {
        Input in = corpus[random.below(corpus.size())];
        mutate(in, corpus, random);
        if (k == dumpIndex) {
            std::ofstream out(dumpPath, std::ios::binary);
            out.write(reinterpret_cast<const char*>(in.data()), static_cast<long>(in.size()));
            std::printf("wrote mutation %ld (%zu bytes) to %s\n", k, in.size(), dumpPath.c_str());
            return out ? 0 : 1;
        }
        if (dumpIndex < 0) {
            gMutation = k;
            LLVMFuzzerTestOneInput(in.data(), in.size());
        }
    }
    if (dumpIndex >= 0) {
        std::fprintf(stderr, "fuzz: no mutation %ld with --iterations %ld\n", dumpIndex,
                     iterations);
        return 1;
    }
    std::printf("%zu seed inputs and %ld mutations ran cleanly (seed %llu)\n", corpus.size(),
                iterations, seed);
    return 0;
}
