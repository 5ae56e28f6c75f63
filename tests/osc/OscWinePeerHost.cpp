// A Windows host for the test in which a Linux peer talks to the Windows
// plug-in's OSC server under Wine: loads tavro.dll through its entry point,
// switches its server on and keeps it running until told to stop.
//
//   osc_wine_peer_host PLUGIN BASE_PORT OFFSET STOP_FILE SECONDS
//
// The OSC base port goes into the preferences of the Wine prefix first (the
// plug-in reads it when it opens) and is put back afterwards. Prints
// "listening on PORT" once the offset is set; runs until STOP_FILE exists
// or SECONDS have passed.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "host/VstHost.h"
#include "platform/Preferences.h"
#include "platform/testing/TestAccess.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: osc_wine_peer_host PLUGIN BASE_PORT OFFSET STOP_FILE SECONDS\n");
        return 2;
    }
    const std::string plugin = argv[1];
    const int basePort = std::atoi(argv[2]);
    const int offset = std::atoi(argv[3]);
    const std::filesystem::path stopFile = argv[4];
    const int seconds = std::atoi(argv[5]);

    const bool keyExisted = platform::testsupport::productKeyExists();
    const int previousBase = platform::readIntPreference(platform::kPrefOscBasePort, -1);
    platform::writeIntPreference(platform::kPrefOscBasePort, basePort);

    int status = 0;
    {
        host::VstHost host;
        std::string error;
        if (!host.load(plugin, error)) {
            std::fprintf(stderr, "cannot load %s: %s\n", plugin.c_str(), error.c_str());
            status = 1;
        } else {
            host.resume();
            host.setParameter(15, static_cast<float>(offset) / 100.0f);
            std::printf("listening on %d\n", basePort + offset);
            std::fflush(stdout);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
            std::error_code ignored;
            while (!std::filesystem::exists(stopFile, ignored) &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            host.close();
        }
    }

    if (!keyExisted)
        platform::testsupport::deleteProductKey();
    else if (previousBase != -1)
        platform::writeIntPreference(platform::kPrefOscBasePort, previousBase);
    return status;
}
