#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Resource.h"

namespace ZarvikEngine {
namespace {

constexpr Resource::File Files[]{{"b.txt", "bee"}, {"a.txt", "ay"}};

TEST(ResourceDeathTest, GroupsKeepTheirFilesInOrder) {
    Resource::registerGroup("ResourceTest", Files);
    ASSERT_TRUE(Resource::hasGroup("ResourceTest"));
    EXPECT_FALSE(Resource::hasGroup("ResourceTes"));
    const Resource group{"ResourceTest"};
    EXPECT_EQ(group.list(), (std::vector<std::string_view>{"b.txt", "a.txt"}));
    EXPECT_TRUE(group.contains("a.txt"));
    EXPECT_FALSE(group.contains("c.txt"));
    EXPECT_EQ(group.getString("a.txt"), "ay");

    ZE_EXPECT_ABORT(group.getString("c.txt"),
                    "Resource::getString(): file 'c.txt' was not found in group 'ResourceTest'");
    ZE_EXPECT_ABORT(Resource{"Missing"}, "Resource: group 'Missing' was not found");
    ZE_EXPECT_ABORT(Resource::registerGroup("ResourceTest", Files),
                    "Resource::registerGroup(): group 'ResourceTest' is already registered");
}

} // namespace
} // namespace ZarvikEngine
