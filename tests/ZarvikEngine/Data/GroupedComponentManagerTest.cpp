#include <cstdint>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/GroupedComponentManager.h"

namespace ZarvikEngine::Data {
namespace {

using Test::assertionPattern;
using Test::readAt;
using Test::RecordingGroupedManager;
using Range = Utils::IndexRange<unsigned short>;

/* Ids in index order over the active range, and the group offsets */
using Layout = std::pair<std::vector<unsigned>, std::vector<unsigned>>;
template<unsigned int SubGroupCount>
Layout layout(const GroupedComponentManager<SubGroupCount>& manager) {
    Layout result;
    for (unsigned short i = 0; i != manager.activeCount(); ++i)
        result.first.push_back(unsigned(manager.toId(i)));
    for (unsigned short g = 0; g != manager.groupsCount(); ++g)
        for (unsigned short s = 0; s != SubGroupCount; ++s)
            result.second.push_back(manager.groupStart(g, s));
    result.second.push_back(manager.groupEnd(manager.groupsCount() - 1, SubGroupCount - 1));
    return result;
}

TEST(GroupedComponentManager, ActiveComponentsAreSortedByGroup) {
    RecordingGroupedManager<1> manager{"grouped", 3};
    manager.allocate(6);
    const Id a = manager.add(), b = manager.add(), c = manager.add();
    for (const Id id : {a, b, c})
        manager.value(id) = 1 + int(id);
    manager.changedGroups().clear();

    /* Inactive components only take the code */
    EXPECT_EQ(manager.setGroup(a, 2), 0);
    EXPECT_EQ(manager.setGroup(c, 1), 2);
    EXPECT_EQ(manager.group(a), 2);
    EXPECT_TRUE(manager.changedGroups().isClear());

    for (const Id id : {a, b, c})
        manager.activate(id);
    EXPECT_EQ(layout(manager), (Layout{{1, 2, 0}, {0, 1, 2, 3}}));
    EXPECT_EQ(manager.groupRange(1), (Range{1, 2}));

    /* An active component moves into its new group, both groups are marked changed */
    manager.changedGroups().clear();
    EXPECT_EQ(manager.setGroup(c, 0), 1);
    EXPECT_EQ(layout(manager), (Layout{{1, 2, 0}, {0, 2, 2, 3}}));
    EXPECT_TRUE(manager.changedGroups()[0] && manager.changedGroups()[1]);
    EXPECT_FALSE(manager.changedGroups()[2]);
    EXPECT_EQ(manager.setGroup(b, 2), 2);
    EXPECT_EQ(layout(manager), (Layout{{2, 0, 1}, {0, 1, 1, 3}}));
    for (const Id id : {a, b, c})
        EXPECT_EQ(manager.value(id), 1 + int(id));

    /* Deactivation takes it out of the end of the active range */
    EXPECT_EQ(manager.deactivate(c), 2);
    EXPECT_EQ(layout(manager), (Layout{{0, 1}, {0, 0, 0, 2}}));
    EXPECT_EQ(manager.group(c), 0);

    /* The copy takes the source's group, and moves if active */
    const Id d = manager.add();
    manager.activate(d);
    manager.copy(manager.toIndex(b), manager.toIndex(d));
    EXPECT_EQ(layout(manager), (Layout{{0, 1, 3}, {0, 0, 0, 3}}));
    EXPECT_EQ(manager.group(d), 2);
    EXPECT_EQ(manager.value(d), 2);

    /* More groups: empty at the end, all marked changed */
    manager.changedGroups().clear();
    manager.allocate(8, 5);
    EXPECT_EQ(layout(manager), (Layout{{0, 1, 3}, {0, 0, 0, 3, 3, 3}}));
    EXPECT_EQ(manager.changedGroups().countSet(), 32u);
    manager.setGroup(b, 4);
    EXPECT_EQ(layout(manager), (Layout{{0, 3, 1}, {0, 0, 0, 2, 2, 3}}));

    ZE_EXPECT_ABORT(manager.allocate(8, 4),
                    "GroupedComponentManager::allocate(): Cannot shrink from 5 to 4 groups");
    const char* const file = "ZarvikEngine/Data/GroupedComponentManager.cpp";
    EXPECT_DEATH(manager.setGroup(a, 5),
                 assertionPattern("IndexType(g + 1) < _groupOffsets.size()", file));
    EXPECT_DEATH(manager.setGroup(a, 0, 1), assertionPattern("subGroup < SubGroupCount", file));
    ZE_EXPECT_ABORT((RecordingGroupedManager<1>{"grouped", 0}),
                    "GroupedComponentManager::GroupedComponentManager(): At least one component "
                    "group is required");
}

TEST(GroupedComponentManager, SubgroupsAndBlockLayout) {
    RecordingGroupedManager<2> manager{"grouped", 3};
    manager.allocate(3);
    const Id a = manager.add(), b = manager.add(), c = manager.add();
    manager.setGroup(a, 2, 1);
    manager.setGroup(b, 2, 0);
    manager.setGroup(c, 1, 1);
    for (const Id id : {a, b, c}) {
        manager.value(id) = 40 + int(id);
        manager.activate(id);
    }
    EXPECT_EQ(manager.subgroup(a), 1);
    EXPECT_EQ(layout(manager), (Layout{{2, 1, 0}, {0, 0, 0, 0, 1, 2, 3}}));
    EXPECT_EQ(manager.groupRange(2), (Range{1, 3}));
    EXPECT_EQ(manager.groupRange(2, 1), (Range{2, 3}));
    EXPECT_EQ(manager.groupSize(2), 2);
    EXPECT_EQ(manager.groupSize(1, 0), 0);

    /* 24 header bytes, maps of 6 bytes at 24 and 30, owning objects padded to 8 bytes at 36,
       group codes at 44, 2 · (3 · 2 + 1) bytes of offsets at 50, values at 64 */
    EXPECT_EQ(manager.groupsDataSize(3), 20u);
    const std::span<const char> block = manager.data();
    ASSERT_EQ(block.size(), 64u + 12);
    EXPECT_EQ(readAt<std::uint32_t>(block, 0), 24u);
    EXPECT_EQ(readAt<std::uint32_t>(block, 4), 76u);
    EXPECT_EQ(readAt<std::uint16_t>(block, 16), 3);  /* activeCount */
    EXPECT_EQ(readAt<std::uint32_t>(block, 20), 3u); /* groupsCount, upper half zero */
    EXPECT_EQ(readAt<std::uint16_t>(block, 42), 0);  /* padding of the owning objects */
    const std::uint16_t reverse[]{2, 1, 0}, codes[]{3, 4, 5}, groupOffsets[]{0, 0, 0, 0, 1, 2, 3};
    for (std::size_t i = 0; i != 3; ++i) {
        EXPECT_EQ(readAt<std::uint16_t>(block, 30 + 2 * i), reverse[i]);
        EXPECT_EQ(readAt<std::uint16_t>(block, 44 + 2 * i), codes[i]);
        EXPECT_EQ(readAt<std::int32_t>(block, 64 + 4 * i), 40 + reverse[i]);
    }
    for (std::size_t i = 0; i != std::size(groupOffsets); ++i)
        EXPECT_EQ(readAt<std::uint16_t>(block, 50 + 2 * i), groupOffsets[i]);

    RecordingGroupedManager<2> copy{"grouped", 1};
    copy.create(std::vector<char>{block.begin(), block.end()});
    EXPECT_EQ(layout(copy), layout(manager));
    EXPECT_EQ(copy.changedGroups().countSet(), 32u);
    for (const Id id : {a, b, c}) {
        EXPECT_EQ(copy.group(id), manager.group(id));
        EXPECT_EQ(copy.subgroup(id), manager.subgroup(id));
        EXPECT_EQ(copy.value(id), manager.value(id));
    }

    /* Growth keeps every column */
    manager.allocate(9);
    EXPECT_EQ(layout(manager), layout(copy));
    for (const Id id : {a, b, c})
        EXPECT_EQ(copy.value(id), manager.value(id));
}

} // namespace
} // namespace ZarvikEngine::Data
