#include "platform/testing/TestAccess.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "linux/PreferenceFile.h"

namespace platform::testsupport {

bool productKeyExists() {
    const std::string path = detail::preferenceFilePath();
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

void deleteProductKey() {
    const std::string path = detail::preferenceFilePath();
    if (!path.empty()) {
        unlink(path.c_str());
    }
}

void setEnvironmentVariable(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

namespace {

int countEntries(const char* folder) {
    DIR* dir = opendir(folder);
    if (!dir)
        return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count;
}

}  // namespace

int threadCount() {
    return countEntries("/proc/self/task");
}

int openHandleCount() {
    // Less the descriptor opendir itself holds while counting.
    return countEntries("/proc/self/fd") - 1;
}

int windowSystemObjectCount() {
    // Connections to an X server are Unix sockets named like
    // /tmp/.X11-unix/X<n> (or abstract ones) on the peer's side; the
    // descriptor of a connected stream socket whose peer path says X11.
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_un peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            continue;
        if (peer.sun_family != AF_UNIX)
            continue;
        const char* path = peer.sun_path[0] ? peer.sun_path : peer.sun_path + 1;
        if (std::string(path).find(".X11-unix") != std::string::npos)
            ++count;
    }
    return count;
}

bool callFromThisThreadsMessageLoop(int, void (*)(void*), void*) {
    return false;
}

}  // namespace platform::testsupport
