#include "platform/Shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// The full path of `program` found along PATH, "" when it is not there. Done
// before forking: the child may only make async-signal-safe calls.
std::string findOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        std::string folder = folders.substr(start, end - start);
        if (folder.empty()) {
            folder = ".";
        }
        const std::string candidate = folder + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Writes all of `value` or gives up; async-signal-safe.
void writeAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

bool openWithShell(const std::string& target, ShellVerb /*verb*/) {
    const std::string program = findOnPath("xdg-open");
    if (program.empty() || target.empty()) {
        return false;
    }
    // A pipe that closes when the program starts: the grandchild writes its
    // errno there when exec fails.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(target.c_str()),
                          nullptr};

    // Two forks, so that the desktop's program is nobody's child here: the
    // host's process never collects it and no thread of ours waits for it
    // (a plug-in's thread must not outlive the library). Between fork and
    // exec only async-signal-safe calls.
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The report pipe moves to 3; every other descriptor of the host
        // (its sockets, files, the editor's X connection) stays behind.
        if (report[1] != 3) {
            dup2(report[1], 3);
        }
        fcntl(3, F_SETFD, FD_CLOEXEC);
        close_range(4, ~0U, 0);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0 && devNull != 0) {
            dup2(devNull, 0);
            close(devNull);
        }
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            execv(program.c_str(), argv);
            const int error = errno;
            writeAll(3, &error, sizeof error);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

}  // namespace platform
