#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>

#include "platform/testing/TestAccess.h"

namespace platformtest {
namespace {

namespace fs = std::filesystem;

fs::path& runFolder() {
    static fs::path folder;
    return folder;
}

class RunEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::random_device random;
        const std::string name =
            "tavro-platform-tests-" + std::to_string(random()) + "-" + std::to_string(random());
        runFolder() = fs::temp_directory_path() / name;
        fs::create_directories(runFolder());
        using platform::testsupport::setEnvironmentVariable;
        setEnvironmentVariable("XDG_CONFIG_HOME", (runFolder() / "config").string().c_str());
        setEnvironmentVariable("XDG_DATA_HOME", (runFolder() / "data").string().c_str());
        setEnvironmentVariable("APPDATA", (runFolder() / "appdata").string().c_str());
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(runFolder(), ignored);
    }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new RunEnvironment);

}  // namespace

fs::path freshFolder(const std::string& hint) {
    static std::atomic<int> counter{0};
    fs::path folder = runFolder() / (hint + "-" + std::to_string(++counter));
    fs::create_directories(folder);
    return folder;
}

SavedVariable::SavedVariable(const char* variable) : name(variable) {
    const char* current = std::getenv(variable);
    wasSet = current != nullptr;
    value = wasSet ? current : "";
}

SavedVariable::~SavedVariable() {
    platform::testsupport::setEnvironmentVariable(name, wasSet ? value.c_str() : nullptr);
}

}  // namespace platformtest
