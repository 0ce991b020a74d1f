#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/NameManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using namespace std::string_view_literals;
using Test::assertionPattern;
using Test::readAt;
using Names = std::vector<std::string>;

Names namesOf(const NameManager& names) {
    Names result;
    for (unsigned short i = 0; i != names.capacity(); ++i)
        result.emplace_back(names.nameOf(i));
    return result;
}

TEST(NameManager, StringMemoryGrowsByWhatIsMissing) {
    NameManager names{4, 0};
    EXPECT_EQ(names.activeCount(), 4);
    EXPECT_EQ(names.name(), "name");

    /* 28 header bytes, maps of 8 bytes at 28 and 36, owning objects at 44, strings at 52 */
    EXPECT_EQ(names.data().size(), 60u);
    EXPECT_EQ(readAt<std::uint32_t>(names.data(), 0), 28u);
    EXPECT_EQ(readAt<std::uint32_t>(names.data(), 4), 60u);
    EXPECT_EQ(readAt<std::uint16_t>(names.data(), 8), 4);  /* capacity */
    EXPECT_EQ(readAt<std::uint16_t>(names.data(), 10), 4); /* size */
    EXPECT_EQ(readAt<std::uint16_t>(names.data(), 16), 4); /* activeCount */
    EXPECT_EQ(readAt<std::uint64_t>(names.data(), 20), 8u);

    /* Ten more bytes are needed and four are free */
    names.setName(Id(2), "0123456789");
    ASSERT_EQ(names.data().size(), 66u);
    EXPECT_EQ(readAt<std::uint64_t>(names.data(), 20), 14u);
    EXPECT_EQ(readAt<std::uint32_t>(names.data(), 4), 66u);
    EXPECT_EQ(std::string(names.data().data() + 52, 14), "\0\0"
                                                         "0123456789\0\0"sv);

    /* A terminating zero byte is not part of the name */
    names.setName(Id(0), "ab\0"sv);
    EXPECT_EQ(names.nameHeader().stringMemorySize, 16u);
    names.setName(Id(2), "x");
    /* Copies in both directions, the source's bytes moving as the destination grows */
    names.setName(Id(3), "tail");
    names.copy(3, 1);
    names.copy(0, 3);
    EXPECT_EQ(namesOf(names), (Names{"ab", "tail", "x", "ab"}));

    NameManager copy{std::vector<char>{names.data().begin(), names.data().end()}};
    EXPECT_EQ(namesOf(copy), namesOf(names));
    EXPECT_EQ(copy.activeCount(), 4);
    EXPECT_EQ(copy.nameHeader().stringMemorySize, names.nameHeader().stringMemorySize);

    /* Growth: one byte per new slot, or exactly what is asked */
    const std::size_t memory = names.nameHeader().stringMemorySize;
    names.allocate(6);
    EXPECT_EQ(names.nameHeader().stringMemorySize, memory + 2);
    EXPECT_EQ(names.activeCount(), 6);
    names.allocate(7, 64);
    EXPECT_EQ(names.data().size(), 28u + 4 * 7 + 16 + 64);
    EXPECT_EQ(namesOf(names), (Names{"ab", "tail", "x", "ab", "", "", ""}));
    /* 16 bytes in use, 48 free: two names of 20 bytes fit, then two bytes go to their
       empty names */
    names.allocateAdditional(2, 20);
    EXPECT_EQ(names.nameHeader().stringMemorySize, 64u);
    names.allocateAdditional(1, 60);
    EXPECT_EQ(names.nameHeader().stringMemorySize, 64u + 60 - 46);
    EXPECT_EQ(namesOf(names).back(), "");

    ZE_EXPECT_ABORT(names.setName(Id(10), "x"),
                    "Not enough names allocated, required 11 but has 10");
    ZE_EXPECT_ABORT(NameManager(65536, 0),
                    "NameManager::NameManager(): Capacity of 65536 names exceeds the limit of "
                    "65535");
    /* Names never swap: removing one would */
    EXPECT_DEATH(names.deleteComponent(Id(0)),
                 "(^|\n)Reached unreachable code at ZarvikEngine/Data/NameManager\\.cpp:[0-9]+\n");
    /* A block whose string memory can't hold an empty name per slot */
    std::vector<char> broken{copy.data().begin(), copy.data().end() - 13};
    const std::uint64_t tooSmall = 3;
    std::memcpy(broken.data() + 20, &tooSmall, 8);
    ZE_EXPECT_ABORT(NameManager{std::move(broken)},
                    "NameManager::doInit(): Insufficient string memory for component capacity");
}

TEST(NameManager, LookUpAndAppendInSceneGraph) {
    Debug silence{nullptr};
    NameManager names{8, 64};
    EXPECT_DEATH(names.lookUp("door"),
                 assertionPattern("sceneGraph()", "ZarvikEngine/Data/NameManager.cpp"));

    SceneGraph graph{8, 1, 0};
    graph.setComponentManager(0, "name", &names);
    const Id a = graph.addObject(Id(0));
    const Id b = graph.addObject(a);
    const Id c = graph.addObject(Id(0));
    names.setName(a, "door");
    names.setName(b, "window");
    names.setName(c, "door");
    EXPECT_EQ(names.lookUp("door"), a);
    EXPECT_EQ(names.lookUp("roof"), InvalidId);
    EXPECT_EQ(names.lookUp(""), InvalidId);
    /* Deleted objects keep their names, but aren't found */
    graph.deleteObjects(a);
    EXPECT_EQ(names.nameOf(a), "door");
    EXPECT_EQ(names.lookUp("door"), c);
    EXPECT_EQ(names.lookUp("window"), InvalidId);

    /* The other graph lands at index 2, reusing the Ids of the deleted objects */
    NameManager otherNames{4, 16};
    SceneGraph other{4, 1, 0};
    other.setComponentManager(0, "name", &otherNames);
    const Id p = other.addObject(Id(0));
    otherNames.setName(Id(0), "prefab");
    otherNames.setName(other.addObject(p), "handle");
    graph.append(other, {});
    ASSERT_EQ(graph.size(), 5);
    EXPECT_EQ(names.capacity(), 12);
    EXPECT_EQ(names.size(), 12);
    EXPECT_EQ(names.nameOf(graph.toId(2)), "prefab");
    EXPECT_EQ(names.nameOf(graph.toId(3)), "");
    EXPECT_EQ(names.lookUp("handle"), graph.toId(4));
    EXPECT_EQ(names.lookUp("door"), c);
}

} // namespace
} // namespace ZarvikEngine::Data
