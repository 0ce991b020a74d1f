#include <cstdint>
#include <map>
#include <random>
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

/* Ids in index order over the active range */
template<class Manager>
std::vector<unsigned> activeIds(const Manager& manager) {
    std::vector<unsigned> ids;
    for (unsigned short i = 0; i != manager.activeCount(); ++i)
        ids.push_back(unsigned(manager.toId(i)));
    return ids;
}

template<unsigned int SubGroupCount>
std::vector<unsigned> offsets(const GroupedComponentManager<SubGroupCount>& manager) {
    std::vector<unsigned> result;
    for (unsigned short g = 0; g != manager.groupsCount(); ++g)
        for (unsigned short s = 0; s != SubGroupCount; ++s)
            result.push_back(manager.groupStart(g, s));
    result.push_back(manager.groupEnd(manager.groupsCount() - 1, SubGroupCount - 1));
    return result;
}

TEST(GroupedComponentManager, ActiveComponentsAreSortedByGroup) {
    RecordingGroupedManager<1> manager{"grouped", 3};
    manager.allocate(6);
    const Id a = manager.add(), b = manager.add(), c = manager.add();
    manager.value(a) = 1;
    manager.value(b) = 2;
    manager.value(c) = 3;
    manager.changedGroups().clear();

    /* Inactive components only take the code */
    EXPECT_EQ(manager.setGroup(a, 2), 0);
    EXPECT_EQ(manager.setGroup(c, 1), 2);
    EXPECT_EQ(manager.group(a), 2);
    EXPECT_EQ(manager.subgroup(a), 0);
    EXPECT_TRUE(manager.changedGroups().isClear());

    manager.activate(a);
    manager.activate(b);
    manager.activate(c);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{1, 2, 0}));
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 1, 2, 3}));
    EXPECT_EQ(manager.value(a), 1);
    EXPECT_EQ(manager.value(b), 2);
    EXPECT_EQ(manager.value(c), 3);
    EXPECT_EQ(manager.groupRange(1), (Utils::IndexRange<unsigned short>{1, 2}));
    EXPECT_EQ(manager.groupSize(2), 1);

    /* An active component moves into its new group */
    manager.changedGroups().clear();
    EXPECT_EQ(manager.setGroup(c, 0), 1);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{1, 2, 0}));
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 2, 2, 3}));
    EXPECT_TRUE(manager.changedGroups()[0]);
    EXPECT_TRUE(manager.changedGroups()[1]);
    EXPECT_FALSE(manager.changedGroups()[2]);
    EXPECT_EQ(manager.setGroup(b, 2), 2);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{2, 0, 1}));
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 1, 1, 3}));
    for (const Id id : {a, b, c})
        EXPECT_EQ(manager.toId(manager.toIndex(id)), id);
    EXPECT_EQ(manager.value(b), 2);

    /* Deactivation takes it out of the end of the active range */
    manager.calls.clear();
    EXPECT_EQ(manager.deactivate(c), 2);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{0, 1}));
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 0, 0, 2}));
    EXPECT_EQ(manager.value(c), 3);
    EXPECT_EQ(manager.group(c), 0);

    /* The copy takes the source's group, and moves if active */
    const Id d = manager.add();
    manager.activate(d);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{3, 0, 1}));
    manager.copy(manager.toIndex(b), manager.toIndex(d));
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{0, 1, 3}));
    EXPECT_EQ(manager.group(d), 2);
    EXPECT_EQ(manager.value(d), 2);

    /* More groups: empty at the end, all marked changed */
    manager.changedGroups().clear();
    manager.allocate(8, 5);
    EXPECT_EQ(manager.groupsCount(), 5);
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 0, 0, 3, 3, 3}));
    EXPECT_EQ(manager.changedGroups().countSet(), 32u);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{0, 1, 3}));
    manager.setGroup(b, 4);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{0, 3, 1}));
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 0, 0, 2, 2, 3}));

    ZE_EXPECT_ABORT(manager.allocate(8, 4),
                    "GroupedComponentManager::allocate(): Cannot shrink from 5 to 4 groups");
    EXPECT_DEATH(manager.setGroup(a, 5), assertionPattern("IndexType(g + 1) < _groupOffsets.size()",
                                                          "ZarvikEngine/Data/"
                                                          "GroupedComponentManager.cpp"));
    EXPECT_DEATH(manager.setGroup(a, 0, 1),
                 assertionPattern("subGroup < SubGroupCount",
                                  "ZarvikEngine/Data/GroupedComponentManager.cpp"));
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
    EXPECT_EQ(manager.group(a), 2);
    EXPECT_EQ(manager.subgroup(a), 1);
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{2, 1, 0}));
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(manager.groupRange(2), (Utils::IndexRange<unsigned short>{1, 3}));
    EXPECT_EQ(manager.groupRange(2, 1), (Utils::IndexRange<unsigned short>{2, 3}));
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
    const std::vector<std::uint16_t> reverse{2, 1, 0}, codes{3, 4, 5},
        groupOffsets{0, 0, 0, 0, 1, 2, 3};
    for (std::size_t i = 0; i != 3; ++i) {
        EXPECT_EQ(readAt<std::uint16_t>(block, 30 + 2 * i), reverse[i]);
        EXPECT_EQ(readAt<std::uint16_t>(block, 44 + 2 * i), codes[i]);
        EXPECT_EQ(readAt<std::int32_t>(block, 64 + 4 * i), 40 + reverse[i]);
    }
    for (std::size_t i = 0; i != groupOffsets.size(); ++i)
        EXPECT_EQ(readAt<std::uint16_t>(block, 50 + 2 * i), groupOffsets[i]);
    EXPECT_EQ(readAt<std::uint16_t>(block, 42), 0); /* padding of the owning objects */

    RecordingGroupedManager<2> copy{"grouped", 1};
    copy.create(std::vector<char>{block.begin(), block.end()});
    EXPECT_EQ(copy.groupsCount(), 3);
    EXPECT_EQ(offsets(copy), offsets(manager));
    EXPECT_EQ(activeIds(copy), activeIds(manager));
    EXPECT_EQ(copy.changedGroups().countSet(), 32u);
    for (const Id id : {a, b, c}) {
        EXPECT_EQ(copy.group(id), manager.group(id));
        EXPECT_EQ(copy.subgroup(id), manager.subgroup(id));
        EXPECT_EQ(copy.value(id), manager.value(id));
    }

    /* Growth keeps every column */
    manager.allocate(9);
    EXPECT_EQ(offsets(manager), (std::vector<unsigned>{0, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(activeIds(manager), (std::vector<unsigned>{2, 1, 0}));
    for (const Id id : {a, b, c})
        EXPECT_EQ(copy.value(id), manager.value(id));
}

/* Random activation, deactivation, regrouping and deletion against a plain model */
TEST(GroupedComponentManager, RandomOperationsKeepGroupsSorted) {
    constexpr unsigned short Groups = 4;
    RecordingGroupedManager<2> manager{"grouped", Groups};
    manager.allocate(8);
    std::map<unsigned, unsigned> codeOf;
    std::map<unsigned, bool> activeOf;
    std::map<unsigned, int> valueOf;
    std::mt19937 random{7};
    int nextValue = 1;

    for (int step = 0; step != 4000; ++step) {
        const unsigned operation = random() % 5;
        if (manager.size() == 0 || (operation == 0 && manager.size() < 40)) {
            const Id id = manager.add();
            manager.value(id) = nextValue;
            codeOf[unsigned(id)] = 0;
            activeOf[unsigned(id)] = false;
            valueOf[unsigned(id)] = nextValue++;
            continue;
        }
        const Id id = manager.toId(random() % manager.size());
        const unsigned key = unsigned(id);
        if (operation == 1 || operation == 0) {
            const unsigned short group = random() % Groups, subgroup = random() % 2;
            manager.setGroup(id, group, subgroup);
            codeOf[key] = group * 2 + subgroup;
        } else if (operation == 2) {
            manager.activate(id);
            activeOf[key] = true;
        } else if (operation == 3) {
            manager.deactivate(id);
            activeOf[key] = false;
        } else {
            manager.deleteComponent(id);
            codeOf.erase(key);
            activeOf.erase(key);
            valueOf.erase(key);
        }

        ASSERT_EQ(manager.size(), codeOf.size());
        std::vector<unsigned> counts(Groups * 2 + 1);
        unsigned active = 0;
        for (unsigned short i = 0; i != manager.size(); ++i) {
            const unsigned id = unsigned(manager.toId(i));
            ASSERT_EQ(manager.toIndex(Id(id)), i);
            ASSERT_EQ(manager.value(Id(id)), valueOf[id]);
            ASSERT_EQ(manager.group(i) * 2u + manager.subgroup(i), codeOf[id]);
            ASSERT_EQ(manager.isActive(i), activeOf[id]);
            if (manager.isActive(i)) {
                ++active;
                ++counts[codeOf[id]];
                ASSERT_GE(i, manager.groupStart(manager.group(i), manager.subgroup(i)));
                ASSERT_LT(i, manager.groupEnd(manager.group(i), manager.subgroup(i)));
            }
        }
        ASSERT_EQ(manager.activeCount(), active);
        unsigned start = 0;
        for (unsigned code = 0; code != Groups * 2; ++code) {
            ASSERT_EQ(manager.groupStart(code / 2, code % 2), start);
            start += counts[code];
        }
        ASSERT_EQ(manager.groupEnd(Groups - 1, 1), active);
    }
}

} // namespace
} // namespace ZarvikEngine::Data
