#include <cstring>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;
using Range = Utils::IndexRange<unsigned short>;

DualQuaternion transform(const Quaternion& rotation, const Vector3& translation) {
    return dualQuaternionFromRotationTranslation(rotation, translation);
}

TEST(SceneGraph, BlockLayoutMatchesTheTable) {
    Debug quiet{nullptr};
    EXPECT_EQ(SceneGraph::dataSize(1, 0, 0), 120u);
    EXPECT_EQ(SceneGraph::dataSize(64, 3, 128), 6972u);
    EXPECT_EQ(SceneGraph{}.data().size(), 120u);
    /* An even capacity pads the offsets region to an even count */
    EXPECT_EQ(SceneGraph::dataSize(4, 0, 0) - SceneGraph::dataSize(3, 0, 0), 100u + 4u);

    /* N = 5 objects, M = 2 managers, K = 3 components: offsets computed from the table */
    SceneGraph graph{5, 2, 3};
    graph.setComponentManager(0, "mesh", nullptr);
    graph.setComponentManager(1, "light", nullptr);
    const Id a = graph.addObject(Id(0));
    const Id b = graph.addObject(a);
    graph.localTransformation(b) = transform(Quaternion{}, {1.0f, 2.0f, 3.0f});
    graph.localScaling(b) = {4.0f, 5.0f, 6.0f};
    graph.addComponent(b, 1, Id(7));
    graph.addComponent(a, 0, Id(9));

    const std::size_t n = 5, m = 2, k = 3;
    const std::size_t names = 12, records = names + 12 * m, idToIndex = records + 8 * n,
                      indexToId = idToIndex + 2 * n, dirty = indexToId + 2 * n,
                      local = dirty + 4 * 1, absolute = local + 32 * n,
                      localScaling = absolute + 32 * n, absoluteScaling = localScaling + 12 * n,
                      offsets = absoluteScaling + 12 * n, components = offsets + 2 * 6,
                      types = components + 2 * k;
    const std::span<const char> data = graph.data();
    ASSERT_EQ(data.size(), types + k);
    ASSERT_EQ(data.size(), SceneGraph::dataSize(5, 2, 3));

    /* Header: objects, managers, free objects, components, free components, reserved */
    const std::uint16_t header[]{3, 2, 2, 2, 1, 0};
    for (std::size_t i = 0; i != std::size(header); ++i)
        EXPECT_EQ(readAt<std::uint16_t>(data, 2 * i), header[i]) << i;
    EXPECT_EQ(std::string(data.data() + names, 12), std::string("mesh\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(std::string(data.data() + names + 12), "light");

    /* Records: parent, children, descendants, type mask */
    EXPECT_EQ(readAt<std::uint16_t>(data, records + 0), 0);
    EXPECT_EQ(readAt<std::uint16_t>(data, records + 2), 1);
    EXPECT_EQ(readAt<std::uint16_t>(data, records + 4), 2);
    EXPECT_EQ(readAt<std::uint16_t>(data, records + 8 + 6), 0b01);  /* a has slot 0 */
    EXPECT_EQ(readAt<std::uint16_t>(data, records + 16 + 0), 1);    /* b's parent */
    EXPECT_EQ(readAt<std::uint16_t>(data, records + 16 + 6), 0b10); /* b has slot 1 */
    EXPECT_EQ(readAt<std::uint16_t>(data, idToIndex + 2 * 2), 2);
    EXPECT_EQ(readAt<std::uint16_t>(data, indexToId + 2 * 1), 1);
    /* The object under the root is clean, its child dirty */
    EXPECT_EQ(readAt<std::uint32_t>(data, dirty), 0b100u);

    /* Identity, then b's translation in the dual part (t/2) */
    EXPECT_EQ(readAt<float>(data, local + 12), 1.0f);
    EXPECT_EQ(readAt<float>(data, local + 32 * 2 + 16), 0.5f);
    EXPECT_EQ(readAt<float>(data, local + 32 * 2 + 20), 1.0f);
    EXPECT_EQ(readAt<float>(data, absolute + 32 * 4 + 12), 1.0f);
    EXPECT_EQ(readAt<float>(data, localScaling + 12 * 2 + 8), 6.0f);
    EXPECT_EQ(readAt<float>(data, absoluteScaling + 12 * 4), 1.0f);

    /* Component ranges by Id: a (Id 1) has [0, 1), b (Id 2) has [1, 2); N + 1 entries */
    const std::uint16_t expectedOffsets[]{0, 0, 1, 2, 2, 2};
    for (std::size_t i = 0; i != 6; ++i)
        EXPECT_EQ(readAt<std::uint16_t>(data, offsets + 2 * i), expectedOffsets[i]) << i;
    EXPECT_EQ(readAt<std::uint16_t>(data, components + 0), 9);
    EXPECT_EQ(readAt<std::uint16_t>(data, components + 2), 7);
    EXPECT_EQ(std::uint8_t(data[types + 0]), 0);
    EXPECT_EQ(std::uint8_t(data[types + 1]), 1);
}

/* What the random model test can't see: growth warnings, queries, the parking of deleted Ids,
   the single-object update and the matrix form */
TEST(SceneGraph, HierarchyIdsAndRecycling) {
    Debug quiet{nullptr};
    std::ostringstream warnings;
    Warning captureWarnings{&warnings};
    SceneGraph graph;
    EXPECT_EQ(graph.capacity(), 1u);
    const Id p = graph.addObject(Id(0));
    EXPECT_EQ(graph.unusedCapacity(), 63);
    const Id q = graph.addObject(Id(0));
    const Id r = graph.addObject(p);
    EXPECT_EQ(warnings.str(), "SceneGraph::addObject(): on the fly allocation was required\n");

    /* Pre-order: root, P, R, Q */
    EXPECT_EQ(graph.subtree(p), (Range{2, 3}));
    EXPECT_EQ(graph.subtree(q), Range{});
    EXPECT_TRUE(graph.isAncestor(Id(0), r));
    EXPECT_FALSE(graph.isAncestor(r, r));
    EXPECT_TRUE(graph.isParent(p, r));
    /* Never handed out, its map entry reads the root's index */
    EXPECT_TRUE(graph.isValid(Id(40)));

    /* Deleted Ids are parked behind the live range, in order, and come back in that order */
    graph.deleteObjects(p);
    EXPECT_EQ(graph.toIndex(p), InvalidIndex);
    EXPECT_EQ(graph.toIndex(r), InvalidIndex);
    EXPECT_EQ(graph.toId(2), p);
    EXPECT_EQ(graph.toId(3), r);
    EXPECT_TRUE(graph.pendingDeletion(r));
    EXPECT_EQ(graph.addObject(q), p);
    EXPECT_EQ(graph.addObject(Id(0)), r);
    EXPECT_FALSE(graph.pendingDeletion(p));
    graph.clearSafe();
    EXPECT_EQ(graph.size(), 1);
    EXPECT_EQ(graph.childCount((unsigned short)0), 0);
}

TEST(SceneGraph, WorldTransformations) {
    Debug quiet{nullptr};
    SceneGraph graph{8};
    const Quaternion quarterTurn = rotation(Rad{Deg{90.0f}}, {0.0f, 0.0f, 1.0f});
    graph.localTransformation(Id(0)) = transform(Quaternion{}, {100.0f, 0.0f, 0.0f});
    const Id parent = graph.addObject(Id(0));
    const Id child = graph.addObject(parent);
    const Id grandchild = graph.addObject(child);
    graph.localTransformation(parent) = transform(quarterTurn, {0.0f, 0.0f, 5.0f});
    graph.localScaling(parent) = {2.0f, 2.0f, 2.0f};
    graph.localTransformation(child) = transform(Quaternion{}, {1.0f, 0.0f, 0.0f});
    graph.localScaling(child) = {0.5f, 1.0f, 3.0f};
    graph.localTransformation(grandchild) = transform(Quaternion{}, {0.0f, 1.0f, 0.0f});
    graph.setDirty(Id(0));

    /* The single-object update cleans only its path and agrees with the full one: the root's
       own transformation is not applied; (0, 1, 0) scaled by (1, 2, 6) is (0, 2, 0), rotated a
       quarter turn to (−2, 0, 0), plus the child's (1, 0, 0) scaled by 2 and rotated to
       (0, 2, 0), plus the parent's (0, 0, 5) */
    const Vector3 single = translation(graph.absoluteTransformationSafe(grandchild));
    EXPECT_FALSE(graph.isDirty(grandchild));
    EXPECT_TRUE(graph.isDirty(Id(0)));
    EXPECT_TRUE(fuzzyEqual(single, Vector3{-2.0f, 2.0f, 5.0f}));
    graph.computeAbsoluteTransformations();
    EXPECT_TRUE(graph.dirty().isClear());
    EXPECT_TRUE(fuzzyEqual(translation(graph.absoluteTransformation(grandchild)), single));
    EXPECT_TRUE(fuzzyEqual(graph.absoluteScaling(child), Vector3{1.0f, 2.0f, 6.0f}));

    /* Matrix form: translation × rotation × scaling */
    const Matrix4 matrix = graph.absoluteTransformationAsMatrix(child);
    EXPECT_TRUE(
        fuzzyEqual(transformPoint(matrix, Vector3{1.0f, 0.0f, 0.0f}), Vector3{0.0f, 3.0f, 5.0f}));

    /* Both paths give the same bits, also where a scaling within the epsilon of one counts
       as exactly one */
    graph.localScaling(parent) = Vector3{1.0f + 1.0e-7f};
    graph.setDirty(Id(0));
    const DualQuaternion alone = graph.absoluteTransformationSafe(grandchild);
    graph.setDirty(Id(0));
    graph.computeAbsoluteTransformations();
    EXPECT_EQ(std::memcmp(&alone, &graph.absoluteTransformation(grandchild), sizeof(alone)), 0);
}

TEST(SceneGraph, WholeSceneAndSingleObjectUpdatesGiveTheSameBits) {
    /* A random tree, so that the whole-scene update meets every way objects follow each
       other: children right after their parents, siblings, subtrees far apart */
    Debug quiet{nullptr};
    std::mt19937 random{5};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    SceneGraph graph{400};
    std::vector<Id> objects{Id(0)};
    for (int i = 0; i != 399; ++i)
        objects.push_back(graph.addObject(objects[random() % objects.size()]));
    for (const Id object : objects) {
        graph.localTransformation(object) =
            transform(rotation(Rad{unit(random) * 3.0f},
                               glm::normalize(Vector3{unit(random), unit(random), 2.0f})),
                      Vector3{unit(random), unit(random), unit(random)} * 5.0f);
        const unsigned kind = random() % 3;
        graph.localScaling(object) = kind == 0   ? Vector3{1.0f}
                                     : kind == 1 ? Vector3{1.0f + 1.0e-6f * unit(random)}
                                                 : Vector3{1.0f + 0.5f * unit(random)};
    }
    graph.setDirty(Id(0));
    graph.computeAbsoluteTransformations();
    const std::vector<DualQuaternion> whole{graph.absoluteTransformations().begin(),
                                            graph.absoluteTransformations().end()};
    const std::vector<Vector3> wholeScalings{graph.absoluteScalings().begin(),
                                             graph.absoluteScalings().end()};
    for (unsigned short i = 1; i != graph.size(); ++i) {
        graph.setDirty(Id(0));
        graph.computeAbsoluteTransformation(i);
        ASSERT_EQ(std::memcmp(&whole[i], &graph.absoluteTransformation(i), sizeof(DualQuaternion)),
                  0)
            << i;
        ASSERT_EQ(std::memcmp(&wholeScalings[i], &graph.absoluteScaling(i), sizeof(Vector3)), 0)
            << i;
    }
}

TEST(SceneGraph, ComponentRecords) {
    Debug quiet{nullptr};
    std::ostringstream warnings;
    Warning captureWarnings{&warnings};
    SceneGraph graph{4, 2, 1};
    const Id a = graph.addObject(Id(0));
    const Id b = graph.addObject(Id(0));
    graph.addComponent(b, 1, Id(3));
    EXPECT_EQ(warnings.str(), "");
    graph.addComponent(a, 0, Id(5));
    graph.addComponent(a, 1, Id(6));
    graph.addComponent(a, 0, Id(8));
    EXPECT_EQ(warnings.str(), "SceneGraph::addComponent(): on the fly allocation was required\n");
    EXPECT_EQ(graph.componentsCapacity(), 1 + 64);
    EXPECT_EQ(graph.componentsOfType(a, 0), (std::vector<Id>{Id(5), Id(8)}));
    EXPECT_EQ(graph.componentsOfType(b, 0), std::vector<Id>{});

    std::vector<std::pair<unsigned short, Id>> deleted;
    graph.onComponentDeleted = [&](unsigned short slot, Id component) {
        deleted.emplace_back(slot, component);
    };
    /* Detaching reports nothing and keeps the mask bit */
    graph.removeComponent(a, 1, Id(6));
    EXPECT_EQ(graph.componentsOfType(a, 1), std::vector<Id>{});
    EXPECT_EQ(graph.objectData(a).componentTypeMask, 0b11);
    /* Deleting an object takes its components with it, last first */
    graph.deleteObjects(a);
    EXPECT_EQ(deleted, (std::vector<std::pair<unsigned short, Id>>{{0, Id(8)}, {0, Id(5)}}));
    EXPECT_EQ(graph.componentsSize(), 1);
    EXPECT_EQ(graph.components(b)[0], Id(3));
}

TEST(SceneGraph, RoundTripAndValidation) {
    Debug quiet{nullptr};
    SceneGraph graph{16, 2, 8};
    graph.setComponentManager(1, "collision", nullptr);
    const Id a = graph.addObject(Id(0));
    const Id b = graph.addObject(a);
    graph.addObject(Id(0));
    graph.addComponent(b, 1, Id(2));
    graph.localScaling(b) = {3.0f, 3.0f, 3.0f};
    graph.deleteObjects(graph.addObject(b));
    graph.computeAbsoluteTransformations();

    const std::vector<char> bytes{graph.data().begin(), graph.data().end()};
    ASSERT_EQ(SceneGraph::validate(bytes), std::nullopt);
    SceneGraph copy{std::vector<char>{bytes}};
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), copy.data().begin(), copy.data().end()));
    EXPECT_EQ(copy.componentManagerIndex("collision"), 1);
    EXPECT_EQ(copy.componentsOfType(b, 1), std::vector<Id>{Id(2)});
    EXPECT_EQ(copy.toIndex(b), graph.toIndex(b));
    /* Adopted objects count as changed, the root does not */
    EXPECT_FALSE(copy.isChanged((unsigned short)0));
    EXPECT_TRUE(copy.isChanged(b));
    /* The freed Id is reused by the copy just as by the original */
    EXPECT_EQ(copy.addObject(Id(0)), graph.addObject(Id(0)));

    /* Truncations and corruptions are reported, never trusted */
    for (std::size_t size = 0; size < bytes.size(); size += 7)
        EXPECT_NE(SceneGraph::validate(std::span{bytes}.first(size)), std::nullopt) << size;
    const std::size_t records = 12 + 24;
    const struct {
        std::size_t offset;
        std::uint16_t value;
    } corruptions[]{
        {0, 0},                /* no root */
        {2, 200},              /* manager count vs size */
        {records + 8 * 2, 3},  /* parent after child */
        {records + 4, 9},      /* root descendants */
        {records + 8 * 16, 5}, /* Id → index map */
    };
    for (const auto& corruption : corruptions) {
        std::vector<char> bad = bytes;
        std::memcpy(bad.data() + corruption.offset, &corruption.value, 2);
        EXPECT_NE(SceneGraph::validate(bad), std::nullopt) << corruption.offset;
    }
}

TEST(SceneGraph, ValidationProvesWhatAdditionsRelyOn) {
    Debug quiet{nullptr};
    SceneGraph graph{8, 1, 2};
    const Id first = graph.addObject(Id(0));
    graph.addObject(Id(0));
    const Id third = graph.addObject(Id(0));
    graph.addComponent(third, 0, Id(0));
    graph.deleteObjects(first);
    const std::vector<char> bytes{graph.data().begin(), graph.data().end()};
    ASSERT_EQ(SceneGraph::validate(bytes), std::nullopt);

    /* Regions: 12 bytes of header, 12 of the manager name, 8 records of 8 bytes, then the
       Id → index and index → Id maps */
    const std::size_t idToIndex = 12 + 12 + 64, indexToId = idToIndex + 16;
    const std::size_t offsets = indexToId + 16 + 4 + 88 * 8;
    const auto corrupted = [&](std::size_t offset, std::uint16_t value) {
        std::vector<char> bad = bytes;
        std::memcpy(bad.data() + offset, &value, 2);
        return SceneGraph::validate(bad);
    };
    /* The parked Id 1 in the free slot at index 3 zeroed: the next addition would hand out
       Id 3, which the third object has */
    EXPECT_EQ(corrupted(indexToId + 2 * 3, 0),
              "SceneGraph::validate(): the Id of object slot 3 is out of range or taken twice");
    /* A slot never used that parks an Id never handed out, or whose own Id is marked deleted */
    EXPECT_EQ(corrupted(indexToId + 2 * 5, 6),
              "SceneGraph::validate(): Id 6 maps to index 0, expected 65535");
    EXPECT_EQ(corrupted(idToIndex + 2 * 5, 0xffff),
              "SceneGraph::validate(): Id 5 maps to index 65535, expected 0");
    /* A parked Id that still maps to a live index */
    EXPECT_EQ(corrupted(idToIndex + 2 * 1, 2),
              "SceneGraph::validate(): Id 1 maps to index 2, expected 65535");
    /* Components on an Id without an object: an addition would take them over */
    EXPECT_EQ(corrupted(offsets + 2 * 4, 0),
              "SceneGraph::validate(): Id 4 has components but no object");
    EXPECT_EQ(corrupted(offsets, 1),
              "SceneGraph::validate(): the component ranges don't start at 0");
    /* The third object's type mask lost the bit of its component's slot */
    EXPECT_EQ(corrupted(12 + 12 + 8 * 2 + 6, 0),
              "SceneGraph::validate(): object index 2 has a component of manager slot 0 outside "
              "its type mask");
    /* A manager name without its zero byte, or with bytes after it */
    std::vector<char> named = bytes;
    std::memcpy(named.data() + 12, "twelve chars", 12);
    EXPECT_EQ(SceneGraph::validate(named), "SceneGraph::validate(): the name of manager slot 0 "
                                           "isn't zero-terminated and zero-filled");
    named[12 + 3] = 0;
    EXPECT_NE(SceneGraph::validate(named), std::nullopt);

    /* What passes is used safely: a free slot's leftover record doesn't leak into the object
       that takes the slot */
    std::vector<char> leftover = bytes;
    const std::uint16_t record[]{2, 7, 9, 0xffff};
    std::memcpy(leftover.data() + 12 + 12 + 8 * 4, record, 8);
    ASSERT_EQ(SceneGraph::validate(leftover), std::nullopt);
    SceneGraph adopted{std::move(leftover)};
    adopted.addObject(Id(0));
    const Id fresh = adopted.addObject(third);
    EXPECT_EQ(fresh, Id(4));
    EXPECT_EQ(adopted.childCount(fresh), 0);
    EXPECT_EQ(adopted.objectData(fresh).componentTypeMask, 0);
    adopted.reparent(third, Id(0));
    EXPECT_EQ(SceneGraph::validate(adopted.data()), std::nullopt);
}

TEST(SceneGraphDeathTest, Messages) {
    Debug quiet{nullptr};
    SceneGraph graph{4, 1, 2};
    ZE_EXPECT_ABORT(graph.deleteObjects(Id(0)), "Deleting root is forbidden");
    const Id a = graph.addObject(Id(0));
    graph.deleteObjects(graph.addObject(Id(0)));
    ZE_EXPECT_ABORT(graph.addObject(Id(2)), "SceneGraph::addObject(): parent was not valid");
    ZE_EXPECT_ABORT(graph.swap(0, 1), "SceneGraph::swap(): Root should never be swapped");
    ZE_EXPECT_ABORT(graph.reparent(Id(0), a),
                    "SceneGraph::moveObjectIndexRange(): Cannot move root");
    ZE_EXPECT_ABORT(graph.reallocateCapacity(1, 2),
                    "SceneGraph::reallocateCapacity(): shrinking memory is not implemented");
    ZE_EXPECT_ABORT(
        graph.reallocateCapacity(2, 1),
        "SceneGraph::reallocateCapacity(): shrinking memory for components is not implemented");
    ZE_EXPECT_ABORT(
        graph.reallocateCapacity(65535, 2),
        "SceneGraph::reallocateCapacity(): can't hold 65537 objects, the limit is 65535");
    ZE_EXPECT_ABORT(graph.setComponentManager(1, "x", nullptr),
                    "SceneGraph::setComponentManager(): index larger than allocated component "
                    "manager count");
    graph.setComponentManager(0, "elevenchars", nullptr);
    ZE_EXPECT_ABORT(graph.setComponentManager(0, "twelve chars", nullptr),
                    "SceneGraph::setComponentManager(): name twelve chars longer than limit of "
                    "11 characters");
    ZE_EXPECT_ABORT(graph.deactivate(), "scene graph is already inactive");
    graph.activate();
    ZE_EXPECT_ABORT(graph.activate(), "scene graph is already active");
    ZE_EXPECT_ABORT_PREFIX(graph.removeComponent(a, 0, Id(1)),
                           "Assertion found failed at ZarvikEngine/Data/SceneGraph.cpp:");
    /* Pending deletions are not part of the block: a copy sees a deleted Id for what it is */
    SceneGraph copy{std::vector<char>{graph.data().begin(), graph.data().end()}};
    ZE_EXPECT_ABORT(copy.deleteObjects(Id(2)), "Deleting already deleted object");
    ZE_EXPECT_ABORT(SceneGraph{std::vector<char>{}},
                    "SceneGraph::header(): Header not initialized.");
}

} // namespace
} // namespace ZarvikEngine::Data
