#include "platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <string>

#include "TestEnvironment.h"
#include "platform/BuiltinResources.h"

namespace {

using namespace platform;

TEST(SharedLibrary, AMissingFileFailsWithTheSystemsReason) {
    std::string error;
    const std::string path = (platformtest::freshFolder("lib") / "missing.module").string();
    EXPECT_EQ(SharedLibrary::open(path, error), nullptr);
    EXPECT_FALSE(error.empty());
}

// On Windows the path is the Linux build's ("/tmp/..."), which a Windows
// program reaches only through drive Z:.
TEST(SharedLibrary, LoadsAModuleByItsBuildPathWhichFindsItsOwnResources) {
    std::string error;
    auto module = SharedLibrary::open(TAVRO_TEST_MODULE_PATH, error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_EQ(error, "");

    auto answer = reinterpret_cast<int (*)()>(module->symbol("platformTestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(module->symbol("noSuchExport"), nullptr);

    // The module's resources, not the executable's.
    using Lookup = const unsigned char* (*)(int, int, std::size_t*);
    auto lookup = reinterpret_cast<Lookup>(module->symbol("platformTestModuleResource"));
    ASSERT_NE(lookup, nullptr);
    std::size_t size = 0;
    const unsigned char* data = lookup(kResourceTypeScript, 998, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "module resource\n");
    EXPECT_EQ(lookup(kResourceTypeScript, 999, &size), nullptr);
    EXPECT_TRUE(findBuiltinResource(kResourceTypeScript, 999));
}

}  // namespace
