#pragma once
// A private per-user home for one test of the real plug-in library: its
// preference file names a free OSC base port, its Scripts folder takes the
// test's scripts. Linux only (the plug-in reads XDG_CONFIG_HOME and
// XDG_DATA_HOME there). Also a small UDP peer that sends OSC messages.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace pluginhome {

// A UDP port with `span` free ports above it; 0 when none is found.
inline int freePortSpan(int span) {
    auto isFree = [](int port) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return free;
    };
    const int start = 30000 + static_cast<int>(::getpid() % 300) * 100;
    for (int base = start; base < 60000; base += span + 1) {
        int port = base;
        while (port <= base + span && isFree(port))
            ++port;
        if (port > base + span)
            return base;
    }
    return 0;
}

class PluginHome {
public:
    // `name` tells tests apart; the folders go when the object does.
    explicit PluginHome(const std::string& name)
        : root_(std::filesystem::temp_directory_path() /
                ("tavro-home-" + std::to_string(::getpid()) + "-" + name)) {
        namespace fs = std::filesystem;
        fs::remove_all(root_);
        fs::create_directories(root_ / "config" / "Vantrell");
        fs::create_directories(scriptsFolder());
        oscBasePort_ = freePortSpan(8);
        std::ofstream(root_ / "config" / "Vantrell" / "com.vantrell.tavro")
            << "OSC Base Port=" << oscBasePort_ << "\n";
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("HOME", root_.c_str(), 1);
    }
    ~PluginHome() {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    PluginHome(const PluginHome&) = delete;
    PluginHome& operator=(const PluginHome&) = delete;

    std::filesystem::path scriptsFolder() const {
        return root_ / "data" / "Vantrell" / "tavro" / "Scripts";
    }
    void addScript(const std::string& name, const std::string& text) const {
        std::ofstream(scriptsFolder() / name) << text;
    }
    // 0 when no free span was found.
    int oscBasePort() const { return oscBasePort_; }

private:
    std::filesystem::path root_;
    int oscBasePort_ = 0;
};

// OSC messages with string arguments only, sent from a socket of its own.
class OscPeer {
public:
    OscPeer() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        timeval timeout{0, 100000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~OscPeer() { ::close(fd_); }
    OscPeer(const OscPeer&) = delete;
    OscPeer& operator=(const OscPeer&) = delete;

    // "osc.udp://127.0.0.1:<port>" of this peer.
    std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_); }

    void send(int port, const std::string& address, std::initializer_list<std::string> strings) {
        std::string packet = padded(address) + padded("," + std::string(strings.size(), 's'));
        for (const std::string& s : strings)
            packet += padded(s);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // Waits up to 100 ms for a datagram; true when one came.
    bool receive() {
        char buffer[1024];
        return ::recv(fd_, buffer, sizeof buffer, 0) > 0;
    }

private:
    static std::string padded(std::string text) {
        text.push_back('\0');
        while (text.size() % 4)
            text.push_back('\0');
        return text;
    }

    int fd_;
    int port_ = 0;
};

}  // namespace pluginhome
