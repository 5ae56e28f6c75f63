// What the editor benchmarks read about their own process (Linux): CPU time
// of the whole process and of each thread, and resident memory.

#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace bench {

inline double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds of each thread of the process, by thread id (clock ticks of
// 10 ms).
inline std::map<int, double> threadCpuSeconds() {
    std::map<int, double> times;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // After the command name in parentheses: state, then fields 4 to 13,
        // then utime and stime.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 2));
        std::string field;
        double user = 0, system = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                user = std::stod(field);
            if (i == 15)
                system = std::stod(field);
        }
        times[std::stoi(entry.path().filename().string())] = (user + system) / tick;
    }
    return times;
}

// The CPU seconds of the busiest thread between two readings. In an editor
// benchmark that is the render thread: it draws the frames, and llvmpipe
// rasterises on a thread of its own (LP_NUM_THREADS=1).
inline double busiestThread(const std::map<int, double>& before,
                            const std::map<int, double>& after) {
    double most = 0;
    for (const auto& [id, seconds] : after) {
        const auto earlier = before.find(id);
        most = std::max(most, seconds - (earlier == before.end() ? 0 : earlier->second));
    }
    return most;
}

// Resident memory of the process in MiB.
inline double residentMiB() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        resident = 0;
    std::fclose(statm);
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

}  // namespace bench
