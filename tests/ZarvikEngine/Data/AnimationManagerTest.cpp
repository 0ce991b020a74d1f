#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AnimationTestClips.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationManager.h"
#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::clipOf;
using Test::linearClip;

/* A scene with one object per track of every component, the manager in slot 0, a clip of
   1 s with an event in the middle and a graph playing it */
struct Scene {
    Scene() : graph{64, 1, 16}, animations{4} {
        graph.setComponentManager(0, "animation", &animations);
        const float keys[]{0.5f};
        Data::Test::SimpleLists lists =
            Data::Test::simpleLists(clipOf(linearClip(1.0f, 2), keys, {"step"}));
        clips = std::move(lists.clips);
        graphs = std::move(lists.graphs);
        animations.eventCallback = [this](Id id, std::string_view name) {
            events.emplace_back(id, name);
        };
    }

    /* An active component playing the clip on two new objects */
    Id addPlaying() {
        const Id root = graph.addObject(Id(0));
        const Id bone = graph.addObject(root);
        const Id id = animations.addComponent(bone);
        const Id targets[]{root, bone};
        animations.setAnimationGraph(id, 1, graphs[1], targets, clips);
        animations.activate(id);
        animations.play(id);
        return id;
    }

    void update(double dt) {
        animations.update(dt);
        animations.updateGraphs(graphs, clips);
    }

    SceneGraph graph;
    AnimationManager animations;
    std::vector<Animation> clips;
    std::vector<AnimationGraph> graphs;
    std::vector<std::pair<Id, std::string>> events;
};

TEST(AnimationManager, BlockLayoutAndRoundTrip) {
    AnimationManager manager{40};
    EXPECT_EQ(manager.name(), "animation");
    /* 16 bytes per slot and two 32-bit words per 32 slots */
    EXPECT_EQ(manager.componentDataSize(40), 16u * 40 + 8u * 2);
    EXPECT_EQ(manager.data().size(), 20u + 4 * 40 + 2 * 40 + 16 * 40 + 16);

    const Id a = manager.add(), b = manager.add();
    manager.playCount(a) = 3;
    manager.animationGraph(b) = 7;
    manager.animationTargets(b) = 8;
    manager.skin(b) = 9;
    manager.rootMotionMode(a) = RootMotionMode::Store;
    manager.setAutoplay(b, true);
    manager.setRetarget(a, true);
    /* New slots play at speed 1 */
    EXPECT_EQ(manager.speed(b), 1.0f);

    const std::span<const char> block = manager.data();
    const std::size_t regions = 20 + 4 * 40 + 2 * 40;
    const auto read16 = [&](std::size_t offset) {
        return Validation::read<std::uint16_t>(block.data() + offset);
    };
    EXPECT_EQ(Validation::read<std::uint32_t>(block.data() + regions), 3u);
    EXPECT_EQ(Validation::read<float>(block.data() + regions + 4 * 40 + 4), 1.0f);
    EXPECT_EQ(read16(regions + 8 * 40 + 2), 7);
    EXPECT_EQ(read16(regions + 10 * 40 + 2), 8);
    EXPECT_EQ(read16(regions + 12 * 40 + 2), 9);
    EXPECT_EQ(read16(regions + 14 * 40), 2);
    EXPECT_EQ(Validation::read<std::uint32_t>(block.data() + regions + 16 * 40), 2u);
    EXPECT_EQ(Validation::read<std::uint32_t>(block.data() + regions + 16 * 40 + 8), 1u);

    std::vector<char> bytes{block.begin(), block.end()};
    ASSERT_EQ(AnimationManager::validate(bytes), std::nullopt);
    AnimationManager adopted{std::vector<char>{bytes}};
    EXPECT_EQ(adopted.rootMotionMode(a), RootMotionMode::Store);
    EXPECT_TRUE(adopted.isAutoplay(b));
    EXPECT_EQ(adopted.controller(b).graph(), 0u);
    /* A root-motion mode the manager doesn't know */
    std::uint16_t mode = 3;
    std::memcpy(bytes.data() + regions + 14 * 40 + 2, &mode, 2);
    EXPECT_EQ(AnimationManager::validate(bytes),
              "AnimationManager::validate(): component index 1 has the unknown root-motion "
              "mode 3");
}

TEST(AnimationManager, ComponentClocksRunAtTheirSpeed) {
    Scene scene;
    const Id id = scene.addPlaying();
    for (int i = 0; i != 10; ++i)
        scene.update(1.0);
    EXPECT_EQ(scene.animations.controller(id).graphState().player(0).currentFrameTime(), 10.0f);

    /* A new speed at 10 s shifts the clock back so that the clip doesn't jump */
    scene.animations.play(id);
    scene.update(0.25);
    EXPECT_FLOAT_EQ(scene.animations.position(id), 0.25f);
    scene.animations.setSpeed(id, 2.0f);
    EXPECT_EQ(scene.animations.speed(id), 2.0f);
    const OzzPlayer& player = scene.animations.controller(id).graphState().player(0);
    EXPECT_FLOAT_EQ(player.currentTimeOffset(), -10.25f);
    scene.update(0.125);
    EXPECT_FLOAT_EQ(scene.animations.position(id), 0.5f);
    EXPECT_TRUE(scene.animations.isPlaying(id));
    EXPECT_EQ(scene.animations.duration(id), 1.0f);

    /* The stored play count, 0 (without end) in a new block, is taken at every play() */
    EXPECT_EQ(scene.animations.controller(id).playCount(), 0u);
    for (int i = 0; i != 8; ++i)
        scene.update(0.5);
    EXPECT_TRUE(scene.animations.isPlaying(id));
    EXPECT_EQ(scene.animations.iteration(id), 8);
    scene.animations.playCount(id) = 2;
    scene.animations.play(id);
    EXPECT_EQ(scene.animations.controller(id).playCount(), 2u);
    for (int i = 0; i != 8; ++i)
        scene.update(0.5);
    EXPECT_FALSE(scene.animations.isPlaying(id));
    EXPECT_EQ(scene.animations.iteration(id), 2);
}

TEST(AnimationManager, UpdatesActiveComponentsWithGraphsAndTagsTheirEvents) {
    Scene scene;
    const Id first = scene.addPlaying(), second = scene.addPlaying();
    /* Inactive, and without a graph */
    const Id inactive = scene.addPlaying();
    scene.animations.deactivate(inactive);
    const Id bare = scene.animations.addComponent(scene.graph.addObject(Id(0)));
    scene.animations.activate(bare);

    scene.update(0.75);
    EXPECT_EQ(scene.events,
              (std::vector<std::pair<Id, std::string>>{{first, "step"}, {second, "step"}}));
    /* The inactive component's clock didn't move */
    EXPECT_EQ(scene.animations.controller(inactive).graphState().player(0).currentFrameTime(),
              0.0f);
    /* The written pose marked the bone */
    const Id bone = scene.animations.object(first);
    EXPECT_TRUE(scene.graph.isDirty(bone));
    EXPECT_FLOAT_EQ(translation(scene.graph.localTransformation(bone)).x, 0.75f);

    /* Deactivating the first swaps it with the second; events still name the right Id */
    scene.animations.deactivate(first);
    scene.events.clear();
    scene.animations.play(second);
    scene.update(0.75);
    EXPECT_EQ(scene.events, (std::vector<std::pair<Id, std::string>>{{second, "step"}}));
    scene.animations.activate(first);
    scene.animations.play(first);
    scene.animations.play(second);
    scene.events.clear();
    scene.update(0.75);
    /* In index order: the component without a graph took the first one's place */
    EXPECT_EQ(scene.animations.toId(0), bare);
    EXPECT_EQ(scene.events,
              (std::vector<std::pair<Id, std::string>>{{second, "step"}, {first, "step"}}));
}

TEST(AnimationManager, DeletedSlotsStartCleanAndAppendedControllersWaitForGraphs) {
    Scene scene;
    const Id kept = scene.addPlaying(), deleted = scene.addPlaying();
    scene.animations.setSpeed(deleted, 3.0f);
    scene.animations.rootMotionMode(deleted) = RootMotionMode::ApplyToParent;
    scene.graph.deleteComponent(scene.animations.object(deleted), 0, deleted);

    const Id reused = scene.animations.addComponent(scene.graph.addObject(Id(0)));
    EXPECT_EQ(reused, deleted);
    EXPECT_EQ(scene.animations.speed(reused), 1.0f);
    EXPECT_EQ(scene.animations.rootMotionMode(reused), RootMotionMode::None);
    EXPECT_EQ(scene.animations.controller(reused).graph(), 0u);
    EXPECT_EQ(scene.animations.controller(reused).graphState().players().size(), 0u);

    /* A copy of the scene appended: its components keep their values, their controllers
       have no graph until initAllGraphs() */
    SceneGraph other{8, 1, 4};
    AnimationManager otherAnimations{2};
    other.setComponentManager(0, "animation", &otherAnimations);
    const Id appendedObject = other.addObject(Id(0));
    const Id appended = otherAnimations.addComponent(appendedObject);
    otherAnimations.animationGraph(appended) = 1;
    otherAnimations.setSpeed(appended, 0.5f);
    otherAnimations.activate(appended);
    scene.graph.append(other, {});
    unsigned short index = 0;
    while (index != scene.animations.size() && scene.animations.speed(index) != 0.5f)
        ++index;
    ASSERT_NE(index, scene.animations.size());
    EXPECT_EQ(scene.animations.animationGraph(index), 1u);
    EXPECT_EQ(scene.animations.controller(index).graph(), 0u);
    scene.animations.initAllGraphs(scene.graphs, scene.clips);
    EXPECT_EQ(scene.animations.controller(index).graph(), 1u);
    EXPECT_EQ(scene.animations.controller(kept).graph(), 1u);

    /* A graph index the list doesn't have is reported and skipped */
    scene.animations.animationGraph(index) = 5;
    std::ostringstream out;
    {
        Error redirect{&out};
        scene.animations.initAllGraphs(scene.graphs, scene.clips);
    }
    EXPECT_EQ(out.str(), "AnimationManager::initAllGraphs(): component " + std::string{} + "Id(" +
                             std::to_string(unsigned(scene.animations.toId(index))) +
                             ") names graph 5 but there are 2\n");
}

TEST(AnimationManagerDeathTest, UpdateNeedsTheSceneGraph) {
    AnimationManager manager{1};
    std::vector<AnimationGraph> graphs(1);
    const std::vector<Animation> clips(1);
    manager.add();
    ZE_EXPECT_ABORT(manager.updateGraph(std::uint16_t(0), graphs, clips),
                    "AnimationManager::updateGraph(): Manager is not registered in a scene graph");
}

} // namespace
} // namespace ZarvikEngine::Data
