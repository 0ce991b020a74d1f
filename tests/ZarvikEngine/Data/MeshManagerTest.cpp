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

using Test::randomKey;
using Test::readAt;
using WeightRange = MeshManager::WeightRange;
using Weights = std::vector<float>;

Weights weightsOf(const MeshManager& manager, Id id) {
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

TEST(MeshManager, BlockLayoutAndRoundTrip) {
    MeshManager manager{5, 3};
    EXPECT_EQ(manager.name(), "mesh");
    /* 4 × (3N + W + ⌊((N + 2G) × 2 + 5) ÷ 4⌋) */
    EXPECT_EQ(manager.componentDataSize(5), 4 * (15 + 0 + (11 * 2 + 5) / 4));
    manager.allocate(6, 4, 10);
    EXPECT_EQ(manager.componentDataSize(6), 4 * (18 + 10 + (14 * 2 + 5) / 4));
    /* Headers, Id maps, owning objects, then the regions */
    const std::span<const char> block = manager.data();
    EXPECT_EQ(block.size(), 16 + 4 + 4 + 8 + 4 * 6 + 12 + manager.componentDataSize(6));
    EXPECT_EQ(readAt<std::uint32_t>(block, 24), 0);  /* weights in use */
    EXPECT_EQ(readAt<std::uint32_t>(block, 28), 10); /* weight capacity */

    const Id a = manager.add(), b = manager.add();
    manager.mesh(a) = 7;
    manager.material(b) = 9;
    manager.setSkin(b, 2);
    manager.setMorphTargetWeights(a, Weights{0.5f, 0.25f});
    MeshManager adopted{std::vector<char>(manager.data().begin(), manager.data().end())};
    EXPECT_EQ(adopted.size(), 2);
    EXPECT_EQ(adopted.mesh(a), 7);
    EXPECT_EQ(adopted.material(b), 9);
    EXPECT_EQ(adopted.skin(b), 2);
    EXPECT_EQ(adopted.subgroup(b), 1);
    EXPECT_EQ(weightsOf(adopted, a), (Weights{0.5f, 0.25f}));
    EXPECT_EQ(adopted.meshHeader().morphTargetWeightsCount, 2);

    ZE_EXPECT_ABORT(manager.allocate(6, 4, 9),
                    "MeshManager::allocate(): Cannot shrink the morph target weight pool from 10 "
                    "to 9 floats");
}

TEST(MeshManager, WeightPool) {
    MeshManager manager{4, 1};
    const Id a = manager.add(), b = manager.add(), c = manager.add();
    manager.setMorphTargetWeights(a, Weights{1.0f, 2.0f});
    manager.setMorphTargetWeights(b, Weights{3.0f, 4.0f, 5.0f});
    /* Grown to exactly what is needed */
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCapacity, 5);

    manager.setMorphTargetWeightsCount(a, 4);
    EXPECT_EQ(manager.morphTargetWeightsRange(a), (WeightRange{0, 4}));
    EXPECT_EQ(manager.morphTargetWeightsRange(b), (WeightRange{4, 7}));
    EXPECT_EQ(
        Weights(manager.morphTargetWeightsData().begin(), manager.morphTargetWeightsData().end()),
        (Weights{1, 2, 0, 0, 3, 4, 5}));
    manager.setMorphTargetWeightsCount(a, 0);
    EXPECT_EQ(manager.morphTargetWeightsRange(a), (WeightRange{0, 0}));
    EXPECT_EQ(manager.morphTargetWeightsRange(b), (WeightRange{0, 3}));

    /* Slices taken from the pool itself */
    manager.setMorphTargetWeights(c, manager.morphTargetWeights(b));
    manager.setMorphTargetWeights(a, manager.morphTargetWeights(c).subspan(1));
    EXPECT_EQ(weightsOf(manager, c), (Weights{3, 4, 5}));
    EXPECT_EQ(weightsOf(manager, a), (Weights{4, 5}));
    /* Deleting gives the weights back */
    manager.remove(b);
    EXPECT_EQ(manager.meshHeader().morphTargetWeightsCount, 5);
    EXPECT_EQ(weightsOf(manager, c), (Weights{3, 4, 5}));
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

    const unsigned short stillIndex = meshes.toIndex(still), skinnedIndex = meshes.toIndex(skinned);
    EXPECT_TRUE(
        fuzzyEqual(meshes.transformations(0)[stillIndex], graph.absoluteTransformation(child)));
    EXPECT_EQ(meshes.scalings(0)[stillIndex].scaling, graph.absoluteScaling(child));
    EXPECT_EQ(meshes.scalings(0)[stillIndex].material, 12.0f);
    /* The skin carries the pose */
    EXPECT_TRUE(fuzzyEqual(meshes.transformations(0)[skinnedIndex], DualQuaternion{}));
    EXPECT_EQ(meshes.scalings(0)[skinnedIndex].scaling, Vector3{1.0f});

    /* Per-group views: static before skinned, then the next group */
    EXPECT_EQ(std::vector<std::uint16_t>(meshes.meshes(0).begin(), meshes.meshes(0).end()),
              (std::vector<std::uint16_t>{1, 2}));
    ASSERT_EQ(meshes.meshes(1).size(), 1);
    EXPECT_EQ(meshes.meshes(1)[0], 3);
    EXPECT_EQ(meshes.transformations(1).size(), 1);

    /* The matrix is the world transformation of the object, scaling included */
    EXPECT_TRUE(fuzzyEqual(meshes.absoluteTransformationAsMatrix(other),
                           graph.absoluteTransformationAsMatrix(parent)));
}

TEST(MeshManager, DirtyBitsCopiesAndAppends) {
    Scene scene{2, 2};
    MeshManager& meshes = scene.meshes;
    const Id object = scene.graph.addObject(Id(0));
    const Id a = meshes.addComponent(object), b = meshes.addComponent(object);

    EXPECT_FALSE(meshes.isMeshDirty(5000));
    meshes.changedGroups().clear();
    meshes.markMeshDirty(meshes.toIndex(b));
    EXPECT_TRUE(meshes.changedGroups()[0] && meshes.changedGroups()[1]);
    /* The bit moves with the component */
    meshes.setGroup(a, 1);
    meshes.activate(a);
    meshes.activate(b);
    EXPECT_TRUE(meshes.isMeshDirty(meshes.toIndex(b)));
    EXPECT_FALSE(meshes.isMeshDirty(meshes.toIndex(a)));

    /* A copy takes everything, its weights into a slice of its own */
    meshes.userData(meshes.toIndex(a)) = 77;
    meshes.setUserFlag(meshes.toIndex(a), true);
    meshes.setMorphTargetWeights(a, Weights{0.5f});
    meshes.copy(meshes.toIndex(a), meshes.toIndex(b));
    EXPECT_EQ(meshes.group(b), 1);
    EXPECT_EQ(meshes.userData(meshes.toIndex(b)), 77);
    EXPECT_TRUE(meshes.userFlag(meshes.toIndex(b)));
    EXPECT_EQ(weightsOf(meshes, b), (Weights{0.5f}));
    EXPECT_NE(meshes.morphTargetWeightsRange(a), meshes.morphTargetWeightsRange(b));

    /* Another scene appended: its components come with their own weight slices */
    Scene other{2, 2};
    const Id c = other.meshes.addComponent(other.graph.addObject(Id(0)));
    other.meshes.mesh(c) = 8;
    other.meshes.setMorphTargets(c, 5);
    other.meshes.setGroup(c, 1);
    other.meshes.setMorphTargetWeights(c, Weights{7.0f, 6.0f});
    scene.graph.append(other.graph, {});
    ASSERT_EQ(meshes.size(), 3);
    const Id appended = meshes.toId(2);
    EXPECT_EQ(meshes.mesh(appended), 8);
    EXPECT_EQ(meshes.morphTargets(appended), 5);
    EXPECT_EQ(meshes.group(appended), 1);
    EXPECT_EQ(weightsOf(meshes, appended), (Weights{7.0f, 6.0f}));
    EXPECT_EQ(meshes.meshHeader().morphTargetWeightsCount, 4);
    EXPECT_EQ(weightsOf(meshes, a), (Weights{0.5f}));
}

/* What a component should hold, kept alongside the manager */
struct Expected {
    Id object;
    unsigned short group;
    std::uint16_t skin, morphTargets;
    Weights weights;
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
        /* Skins and morph targets put a mesh into subgroup 1 */
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
    Warning silence{nullptr};
    Scene scene{2, 3};
    MeshManager& meshes = scene.meshes;
    std::vector<Id> objects;
    for (int i = 0; i != 6; ++i)
        objects.push_back(scene.graph.addObject(Id(0)));
    std::map<Id, Expected> model;
    std::mt19937 random{17};
    const auto pick = [&] { return randomKey(model, random); };

    for (int step = 0; step != 3000; ++step) {
        SCOPED_TRACE(step);
        const unsigned operation = model.empty() ? 0 : random() % 10;
        if (operation == 0) {
            const Id object = objects[random() % objects.size()];
            const Id id = meshes.addComponent(object);
            meshes.mesh(id) = std::uint16_t(id);
            const unsigned short group = random() % 3;
            meshes.setGroup(id, group);
            model[id] = {object, group, 0, 0, {}};
        }
        const Id id = pick();
        Expected& expected = model.at(id);
        switch (operation) {
        case 1:
            meshes.activate(id);
            break;
        case 2:
            meshes.deactivate(id);
            break;
        case 3:
            meshes.setSkin(id, expected.skin = std::uint16_t(random() % 3));
            break;
        case 4:
            meshes.setMorphTargets(id, expected.morphTargets = std::uint16_t(random() % 3));
            break;
        case 5: {
            const std::size_t count = random() % 6;
            expected.weights.resize(count, 0.0f);
            meshes.setMorphTargetWeightsCount(id, count);
            break;
        }
        case 6: {
            expected.weights.resize(random() % 5);
            for (float& weight : expected.weights)
                weight = float(random() % 100);
            meshes.setMorphTargetWeights(id, expected.weights);
            break;
        }
        case 7:
            expected.group = random() % 3;
            meshes.setGroup(id, expected.group, meshes.subgroup(id));
            break;
        case 8: {
            const Id source = pick();
            if (source == id)
                break;
            meshes.copy(meshes.toIndex(source), meshes.toIndex(id));
            expected = Expected{expected.object, model[source].group, model[source].skin,
                                model[source].morphTargets, model[source].weights};
            meshes.mesh(id) = std::uint16_t(id);
            break;
        }
        case 9:
            scene.graph.deleteComponent(expected.object, 0, id);
            model.erase(id);
            break;
        }
        checkInvariants(meshes, model);
        ASSERT_EQ(MeshManager::validate(meshes.data()), std::nullopt);
        ASSERT_EQ(scene.graph.validateComponents(0, meshes), std::nullopt);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace ZarvikEngine::Data
