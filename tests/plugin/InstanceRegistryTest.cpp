#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "plugin/InstanceRegistry.h"

namespace {

struct FakeInstance : RegisteredInstance {
    explicit FakeInstance(std::string family) : family(std::move(family)) {}
    std::string registryFamilyKey() override { return family; }
    bool registryReportsLinking() override { return linking; }
    std::string family;
    bool linking = false;
};

std::uint32_t globalIdOf(FakeInstance& instance) {
    std::uint32_t local = 0, global = 0;
    EXPECT_TRUE(InstanceRegistry::ids(&instance, local, global));
    return global;
}

std::uint32_t localIdOf(FakeInstance& instance) {
    std::uint32_t local = 0, global = 0;
    EXPECT_TRUE(InstanceRegistry::ids(&instance, local, global));
    return local;
}

TEST(InstanceRegistry, GlobalIdsReuseTheSmallestFreeNumber) {
    auto first = std::make_unique<FakeInstance>("CV");
    FakeInstance second("CV");
    InstanceRegistry::add(first.get());
    InstanceRegistry::add(&second);
    EXPECT_EQ(globalIdOf(*first), 1u);
    EXPECT_EQ(globalIdOf(second), 2u);
    InstanceRegistry::remove(first.get());
    first.reset();
    FakeInstance third("CV");
    InstanceRegistry::add(&third);
    EXPECT_EQ(globalIdOf(third), 1u);
    InstanceRegistry::remove(&second);
    InstanceRegistry::remove(&third);
    EXPECT_EQ(InstanceRegistry::size(), 0u);
}

TEST(InstanceRegistry, LocalIdsCountWithinAFamily) {
    FakeInstance a("CV"), b("CV"), other("CVx");
    for (auto* i : {&a, &b, &other})
        InstanceRegistry::add(i);
    EXPECT_EQ(localIdOf(a), 0u);  // unassigned until resume
    for (auto* i : {&a, &b, &other})
        InstanceRegistry::assignIds(i);
    EXPECT_EQ(localIdOf(a), 1u);
    EXPECT_EQ(localIdOf(b), 2u);
    EXPECT_EQ(localIdOf(other), 1u);
    EXPECT_EQ(globalIdOf(other), 3u);
    // Assigned ids stay.
    InstanceRegistry::assignIds(&b);
    EXPECT_EQ(localIdOf(b), 2u);
    for (auto* i : {&a, &b, &other})
        InstanceRegistry::remove(i);
}

TEST(InstanceRegistry, RestoredIdsMoveOthersAside) {
    FakeInstance a("CV"), b("CV"), c("CVx");
    for (auto* i : {&a, &b, &c}) {
        InstanceRegistry::add(i);
        InstanceRegistry::assignIds(i);
    }
    // b takes a's ids; a gets the smallest free ones. c, of another family,
    // keeps its local id 1.
    InstanceRegistry::restoreIds(&b, 1, 1);
    EXPECT_EQ(localIdOf(b), 1u);
    EXPECT_EQ(globalIdOf(b), 1u);
    EXPECT_EQ(localIdOf(a), 2u);
    EXPECT_EQ(globalIdOf(a), 2u);
    EXPECT_EQ(localIdOf(c), 1u);
    InstanceRegistry::restoreIds(&c, 0, 0);  // zeros leave ids alone
    EXPECT_EQ(globalIdOf(c), 3u);
    for (auto* i : {&a, &b, &c})
        InstanceRegistry::remove(i);
}

TEST(InstanceRegistry, RestoredIdsAndUnknownInstances) {
    FakeInstance a("CV"), stranger("CV");
    InstanceRegistry::add(&a);
    InstanceRegistry::restoreIds(&a, 7, 9);
    EXPECT_EQ(localIdOf(a), 7u);
    EXPECT_EQ(globalIdOf(a), 9u);
    std::uint32_t local = 0, global = 0;
    EXPECT_FALSE(InstanceRegistry::ids(&stranger, local, global));
    InstanceRegistry::restoreIds(&stranger, 1, 1);  // changes nothing
    InstanceRegistry::assignIds(&stranger);
    InstanceRegistry::remove(&stranger);
    EXPECT_EQ(InstanceRegistry::size(), 1u);
    EXPECT_FALSE(InstanceRegistry::anyReportsLinking());
    a.linking = true;
    EXPECT_TRUE(InstanceRegistry::anyReportsLinking());
    InstanceRegistry::remove(&a);
}

}  // namespace
