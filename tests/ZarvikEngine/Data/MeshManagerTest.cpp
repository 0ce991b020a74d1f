#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/MeshManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;
using WeightRange = MeshManager::WeightRange;

std::vector<float> weightsOf(const MeshManager& manager, Id id) {
    const std::span<const float> weights = manager.morphTargetWeights(id);
    return {weights.begin(), weights.end()};
}

/* A scene graph with the manager registered in slot 0 */
struct Scene {
    explicit Scene(unsigned short capacity, unsigned short groups) : meshes{capacity, groups} {
        graph.setComponentManager(0, "mesh", &meshes);
    }

    SceneGraph graph{16, 1, 16};
    MeshManager meshes;
};

TEST(MeshManager, BlockLayout) {
    MeshManager manager{5, 3};
    EXPECT_EQ(manager.name(), "mesh");
    EXPECT_EQ(manager.groupsCount(), 3);
    /* 4 × (3N + W + ⌊((N + 2G) × 2 + 5) ÷ 4⌋) */
    EXPECT_EQ(manager.componentDataSize(5), 4 * (15 + 0 + (11 * 2 + 5) / 4));
    manager.allocate(6, 4, 10);
    EXPECT_EQ(manager.componentDataSize(6), 4 * (18 + 10 + (14 * 2 + 5) / 4));
    /* Headers, Id maps, owning objects, then the regions */
    const std::span<const char> block = manager.data();
    EXPECT_EQ(block.size(), 16 + 4 + 4 + 8 + 4 * 6 + 12 + manager.componentDataSize(6));
    EXPECT_EQ(readAt<std::uint32_t>(block, 24), 0);
    EXPECT_EQ(readAt<std::uint32_t>(block, 28), 10);
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCapacity, 10);
    EXPECT_TRUE(manager.morphTargetWeightsData().empty());

    /* A stored block comes back with its values */
    const Id a = manager.add(), b = manager.add();
    manager.mesh(a) = 7;
    manager.material(b) = 9;
    manager.setSkin(b, 2);
    manager.setMorphTargetWeights(a, std::vector<float>{0.5f, 0.25f});
    MeshManager adopted{std::vector<char>(manager.data().begin(), manager.data().end())};
    EXPECT_EQ(adopted.size(), 2);
    EXPECT_EQ(adopted.mesh(a), 7);
    EXPECT_EQ(adopted.material(b), 9);
    EXPECT_EQ(adopted.skin(b), 2);
    EXPECT_EQ(adopted.subgroup(b), 1);
    EXPECT_EQ(weightsOf(adopted, a), (std::vector<float>{0.5f, 0.25f}));
    EXPECT_EQ(adopted.meshHeader().morphTargetWeightsCount, 2);

    ZE_EXPECT_ABORT(manager.allocate(6, 4, 9),
                    "MeshManager::allocate(): Cannot shrink the morph target weight pool from 10 "
                    "to 9 floats");
}

TEST(MeshManager, SkinsAndMorphTargetsPickTheSubgroup) {
    Scene scene{4, 2};
    MeshManager& meshes = scene.meshes;
    const Id object = scene.graph.addObject(Id(0));
    const Id a = meshes.addComponent(object), b = meshes.addComponent(object);
    meshes.setGroup(a, 1);
    meshes.setGroup(b, 1);
    meshes.activate(a);
    meshes.activate(b);
    EXPECT_EQ(meshes.groupRange(1, 0), (Utils::IndexRange<unsigned short>{0, 2}));

    /* A skin moves the static mesh behind the other, into subgroup 1 */
    EXPECT_EQ(meshes.setSkin(a, 3), 1);
    EXPECT_EQ(meshes.subgroup(a), 1);
    EXPECT_EQ(meshes.groupRange(1, 0), (Utils::IndexRange<unsigned short>{0, 1}));
    EXPECT_EQ(meshes.groupRange(1, 1), (Utils::IndexRange<unsigned short>{1, 2}));
    /* Morph targets keep it there until both are gone */
    meshes.setMorphTargets(a, 1);
    EXPECT_EQ(meshes.setSkin(a, 0), 1);
    EXPECT_EQ(meshes.subgroup(a), 1);
    meshes.setMorphTargets(a, 0);
    EXPECT_EQ(meshes.subgroup(a), 0);
    EXPECT_EQ(meshes.groupRange(1, 0), (Utils::IndexRange<unsigned short>{0, 2}));
    /* An inactive component only changes its code */
    meshes.deactivate(b);
    meshes.setMorphTargets(b, 4);
    EXPECT_EQ(meshes.subgroup(b), 1);
    EXPECT_EQ(meshes.groupRange(1), (Utils::IndexRange<unsigned short>{0, 1}));
}

TEST(MeshManager, WeightPool) {
    MeshManager manager{4, 1};
    const Id a = manager.add(), b = manager.add(), c = manager.add();
    manager.setMorphTargetWeights(a, std::vector<float>{1.0f, 2.0f});
    manager.setMorphTargetWeights(b, std::vector<float>{3.0f, 4.0f, 5.0f});
    EXPECT_EQ(manager.morphTargetWeightsRange(a), (WeightRange{0, 2}));
    EXPECT_EQ(manager.morphTargetWeightsRange(b), (WeightRange{2, 5}));
    /* Grown to exactly what is needed */
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCapacity, 5);

    manager.setMorphTargetWeightsCount(a, 4);
    EXPECT_EQ(manager.morphTargetWeightsRange(a), (WeightRange{0, 4}));
    EXPECT_EQ(manager.morphTargetWeightsRange(b), (WeightRange{4, 7}));
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCount, 7);
    EXPECT_EQ(std::vector<float>(manager.morphTargetWeightsData().begin(),
                                 manager.morphTargetWeightsData().end()),
              (std::vector<float>{1, 2, 0, 0, 3, 4, 5}));

    /* Shrinking to nothing releases the slice, later slices move down */
    manager.setMorphTargetWeightsCount(a, 0);
    EXPECT_EQ(manager.morphTargetWeightsRange(a), (WeightRange{0, 0}));
    EXPECT_EQ(manager.morphTargetWeightsRange(b), (WeightRange{0, 3}));
    EXPECT_EQ(weightsOf(manager, b), (std::vector<float>{3, 4, 5}));
    /* A slice taken from the pool itself */
    manager.setMorphTargetWeights(c, manager.morphTargetWeights(b));
    manager.setMorphTargetWeights(a, manager.morphTargetWeights(c).subspan(1));
    EXPECT_EQ(weightsOf(manager, c), (std::vector<float>{3, 4, 5}));
    EXPECT_EQ(weightsOf(manager, a), (std::vector<float>{4, 5}));
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCount, 8);

    /* Deleting gives the weights back */
    manager.remove(b);
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCount, 5);
    EXPECT_EQ(weightsOf(manager, c), (std::vector<float>{3, 4, 5}));
    EXPECT_EQ(weightsOf(manager, a), (std::vector<float>{4, 5}));
}

DualQuaternion transform(const Vector3& translation, float angle = 0.0f) {
    return dualQuaternionFromRotationTranslation(rotation(Rad{angle}, {0.0f, 0.0f, 1.0f}),
                                                 translation);
}

TEST(MeshManager, UpdateCopiesWorldTransforms) {
    Scene scene{4, 2};
    SceneGraph& graph = scene.graph;
    MeshManager& meshes = scene.meshes;
    const Id parent = graph.addObject(Id(0));
    const Id child = graph.addObject(parent);
    graph.localTransformation(parent) = transform({1.0f, 0.0f, 0.0f}, 0.5f);
    graph.localScaling(parent) = {2.0f, 3.0f, 4.0f};
    graph.localTransformation(child) = transform({0.0f, 5.0f, 0.0f});
    graph.localScaling(child) = {1.0f, 1.0f, 1.0f};
    graph.setDirty(parent);
    graph.computeAbsoluteTransformations();

    const Id still = meshes.addComponent(child), skinned = meshes.addComponent(child),
             other = meshes.addComponent(parent);
    meshes.material(still) = 12;
    meshes.mesh(still) = 1;
    meshes.mesh(skinned) = 2;
    meshes.mesh(other) = 3;
    meshes.setSkin(skinned, 1);
    meshes.setGroup(other, 1);
    for (const Id id : {other, skinned, still})
        meshes.activate(id);
    meshes.update(0.016);

    EXPECT_TRUE(fuzzyEqual(meshes.transformations(0)[meshes.toIndex(still)],
                           graph.absoluteTransformation(child)));
    EXPECT_EQ(meshes.scalings(0)[meshes.toIndex(still)].scaling, graph.absoluteScaling(child));
    EXPECT_EQ(meshes.scalings(0)[meshes.toIndex(still)].material, 12.0f);
    /* The skin carries the pose */
    EXPECT_TRUE(fuzzyEqual(meshes.transformations(0)[meshes.toIndex(skinned)], DualQuaternion{}));
    EXPECT_EQ(meshes.scalings(0)[meshes.toIndex(skinned)].scaling, Vector3{1.0f});

    /* Per-group views: static before skinned, then the next group */
    EXPECT_EQ(std::vector<std::uint16_t>(meshes.meshes(0).begin(), meshes.meshes(0).end()),
              (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(meshes.meshes(1).size(), 1);
    EXPECT_EQ(meshes.meshes(1)[0], 3);
    EXPECT_EQ(meshes.materials(0)[0], 12);
    EXPECT_EQ(meshes.transformations(1).size(), 1);
    EXPECT_EQ(meshes.scalings(1).size(), 1);

    /* The matrix is the world transformation of the object, scaling included */
    const Matrix4 expected = graph.absoluteTransformationAsMatrix(parent);
    const Matrix4 actual = meshes.absoluteTransformationAsMatrix(other);
    EXPECT_TRUE(fuzzyEqual(actual, expected));
}

TEST(MeshManager, DirtyBitsCopiesAndAppends) {
    Scene scene{2, 2};
    MeshManager& meshes = scene.meshes;
    const Id object = scene.graph.addObject(Id(0));
    const Id a = meshes.addComponent(object), b = meshes.addComponent(object);

    EXPECT_FALSE(meshes.isMeshDirty(5000));
    meshes.changedGroups().clear();
    meshes.markMeshDirty(meshes.toIndex(b));
    EXPECT_TRUE(meshes.isMeshDirty(meshes.toIndex(b)));
    EXPECT_TRUE(meshes.changedGroups()[0] && meshes.changedGroups()[1]);
    /* The bit moves with the component */
    meshes.setGroup(a, 1);
    meshes.activate(a);
    meshes.activate(b);
    EXPECT_TRUE(meshes.isMeshDirty(meshes.toIndex(b)));
    EXPECT_FALSE(meshes.isMeshDirty(meshes.toIndex(a)));

    meshes.mesh(a) = 4;
    meshes.setSkin(a, 2);
    meshes.userData(meshes.toIndex(a)) = 77;
    meshes.setUserFlag(meshes.toIndex(a), true);
    meshes.setMorphTargetWeights(a, std::vector<float>{0.5f});
    meshes.copy(meshes.toIndex(a), meshes.toIndex(b));
    EXPECT_EQ(meshes.mesh(b), 4);
    EXPECT_EQ(meshes.skin(b), 2);
    EXPECT_EQ(meshes.group(b), 1);
    EXPECT_EQ(meshes.subgroup(b), 1);
    EXPECT_EQ(meshes.userData(meshes.toIndex(b)), 77);
    EXPECT_TRUE(meshes.userFlag(meshes.toIndex(b)));
    EXPECT_EQ(weightsOf(meshes, b), (std::vector<float>{0.5f}));
    EXPECT_NE(meshes.morphTargetWeightsRange(a), meshes.morphTargetWeightsRange(b));

    /* Another scene appended: its components come with their own weight slices */
    Scene other{2, 2};
    const Id otherObject = other.graph.addObject(Id(0));
    const Id c = other.meshes.addComponent(otherObject);
    other.meshes.mesh(c) = 8;
    other.meshes.setMorphTargets(c, 5);
    other.meshes.setGroup(c, 1);
    other.meshes.setMorphTargetWeights(c, std::vector<float>{7.0f, 6.0f});
    scene.graph.append(other.graph, {});
    ASSERT_EQ(meshes.size(), 3);
    const Id appended = meshes.toId(2);
    EXPECT_EQ(meshes.mesh(appended), 8);
    EXPECT_EQ(meshes.morphTargets(appended), 5);
    EXPECT_EQ(meshes.group(appended), 1);
    EXPECT_EQ(weightsOf(meshes, appended), (std::vector<float>{7.0f, 6.0f}));
    EXPECT_EQ(meshes.meshHeader().morphTargetWeightsCount, 4);
    EXPECT_EQ(weightsOf(meshes, a), (std::vector<float>{0.5f}));
}

/* What a component should hold, kept alongside the manager */
struct Expected {
    Id object;
    unsigned short group;
    std::uint16_t skin, morphTargets;
    std::vector<float> weights;
};

void checkInvariants(MeshManager& manager, const std::map<Id, Expected>& model) {
    ASSERT_EQ(manager.size(), model.size());
    std::vector<WeightRange> ranges;
    for (const auto& [id, expected] : model) {
        ASSERT_TRUE(manager.isValid(id));
        const unsigned short index = manager.toIndex(id);
        ASSERT_EQ(manager.skin(id), expected.skin);
        ASSERT_EQ(manager.morphTargets(id), expected.morphTargets);
        ASSERT_EQ(manager.group(id), expected.group);
        const unsigned short subgroup = expected.skin || expected.morphTargets ? 1 : 0;
        ASSERT_EQ(manager.subgroup(id), subgroup);
        ASSERT_EQ(weightsOf(manager, id), expected.weights);
        const WeightRange range = manager.morphTargetWeightsRange(id);
        if (range.size())
            ranges.push_back(range);
        else
            ASSERT_EQ(range, WeightRange{});
        if (manager.isActive(index)) {
            ASSERT_GE(index, manager.groupStart(expected.group, subgroup));
            ASSERT_LT(index, manager.groupEnd(expected.group, subgroup));
        }
    }

    /* The slices tile the used part of the pool without overlapping */
    std::sort(ranges.begin(), ranges.end(),
              [](const WeightRange& a, const WeightRange& b) { return a.min() < b.min(); });
    std::uint32_t end = 0;
    for (const WeightRange& range : ranges) {
        ASSERT_EQ(range.min(), end);
        end = range.max();
    }
    ASSERT_EQ(end, manager.meshHeader().morphTargetWeightsCount);
    ASSERT_EQ(manager.groupEnd(manager.groupsCount() - 1, 1), manager.activeCount());

    /* Each group's views hold its active components: meshes are marked with their Id */
    for (unsigned short g = 0; g != manager.groupsCount(); ++g) {
        std::vector<std::uint16_t> expected;
        for (const auto& [id, component] : model)
            if (component.group == g && manager.isActive(id))
                expected.push_back(std::uint16_t(id));
        const std::span<std::uint16_t> meshes = manager.meshes(g);
        std::vector<std::uint16_t> actual(meshes.begin(), meshes.end());
        std::sort(actual.begin(), actual.end());
        ASSERT_EQ(actual, expected) << "group " << g;
        ASSERT_EQ(manager.scalings(g).size(), expected.size());
    }
}

TEST(MeshManager, RandomizedModel) {
    /* On-the-fly growth warns */
    Warning silence{nullptr};
    Scene scene{2, 3};
    MeshManager& meshes = scene.meshes;
    std::vector<Id> objects;
    for (int i = 0; i != 6; ++i)
        objects.push_back(scene.graph.addObject(Id(0)));
    std::map<Id, Expected> model;
    std::mt19937 random{17};
    const auto pick = [&] {
        auto it = model.begin();
        std::advance(it, random() % model.size());
        return it->first;
    };

    for (int step = 0; step != 3000; ++step) {
        SCOPED_TRACE(step);
        const unsigned operation = model.empty() ? 0 : random() % 10;
        switch (operation) {
        case 0: {
            const Id object = objects[random() % objects.size()];
            const Id id = meshes.addComponent(object);
            meshes.mesh(id) = std::uint16_t(id);
            const unsigned short group = random() % 3;
            meshes.setGroup(id, group);
            model[id] = {object, group, 0, 0, {}};
            break;
        }
        case 1:
            meshes.activate(pick());
            break;
        case 2:
            meshes.deactivate(pick());
            break;
        case 3: {
            const Id id = pick();
            model[id].skin = std::uint16_t(random() % 3);
            meshes.setSkin(id, model[id].skin);
            break;
        }
        case 4: {
            const Id id = pick();
            model[id].morphTargets = std::uint16_t(random() % 3);
            meshes.setMorphTargets(id, model[id].morphTargets);
            break;
        }
        case 5: {
            const Id id = pick();
            const std::size_t count = random() % 6;
            model[id].weights.resize(count, 0.0f);
            meshes.setMorphTargetWeightsCount(id, count);
            break;
        }
        case 6: {
            const Id id = pick();
            std::vector<float> weights(random() % 5);
            for (float& weight : weights)
                weight = float(random() % 100);
            model[id].weights = weights;
            meshes.setMorphTargetWeights(id, weights);
            break;
        }
        case 7: {
            const Id id = pick();
            model[id].group = random() % 3;
            meshes.setGroup(id, model[id].group, meshes.subgroup(id));
            break;
        }
        case 8: {
            const Id source = pick(), destination = pick();
            if (source == destination)
                break;
            meshes.copy(meshes.toIndex(source), meshes.toIndex(destination));
            const Id object = model[destination].object;
            model[destination] = model[source];
            model[destination].object = object;
            meshes.mesh(destination) = std::uint16_t(destination);
            break;
        }
        case 9: {
            const Id id = pick();
            scene.graph.deleteComponent(model[id].object, 0, id);
            model.erase(id);
            break;
        }
        }
        checkInvariants(meshes, model);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace ZarvikEngine::Data
