#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AnimationTestClips.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationController.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Skeletal::RawAnimation;
using Test::clipOf;
using Test::linearClip;
using Test::simpleLists;

constexpr AnimationNodeType Sample = AnimationNodeType::Sample;
constexpr AnimationNodeType Blend = AnimationNodeType::Blend;

Quaternion aroundY(float degrees) {
    return rotation(Rad{Deg{degrees}}, {0.0f, 1.0f, 0.0f});
}

/* A scene with a character object under the root and a bone under it per track but the
   first; the targets name the character for the root-motion track */
struct Scene {
    explicit Scene(std::size_t tracks) : graph{16, 0, 0} {
        Debug quiet{nullptr};
        character = graph.addObject(Id(0));
        targets.push_back(character);
        for (std::size_t t = 1; t != tracks; ++t)
            targets.push_back(graph.addObject(character));
        graph.computeAbsoluteTransformations();
    }

    SceneGraph graph;
    Id character;
    std::vector<Id> targets;
};

TEST(AnimationController, WritesTheChannelsTheClipsHaveAndMarksEveryBoundObject) {
    /* Track 1 moves, track 2 only turns, track 3 only scales, track 4 has nothing */
    RawAnimation raw;
    raw.duration = 1.0f;
    raw.tracks.resize(5);
    raw.tracks[1].translations = {{0.0f, Vector3{0.0f}}, {1.0f, Vector3{4.0f, 0.0f, 0.0f}}};
    raw.tracks[2].rotations = {{0.0f, Quaternion{}}, {1.0f, aroundY(90.0f)}};
    raw.tracks[3].scales = {{0.0f, Vector3{1.0f}}, {1.0f, Vector3{3.0f}}};
    auto [clips, graphs] = simpleLists(clipOf(raw));

    Scene scene{5};
    const DualQuaternion placed =
        dualQuaternionFromRotationTranslation(aroundY(30.0f), Vector3{0.0f, 5.0f, 0.0f});
    for (std::size_t t = 1; t != 5; ++t)
        scene.graph.localTransformation(scene.targets[t]) = placed;

    AnimationController controller;
    /* Without a graph nothing happens */
    controller.advance(1.0f, graphs, clips);
    EXPECT_FALSE(controller.isDirty());

    controller.setAnimationGraph(1, graphs[1], scene.targets, clips);
    EXPECT_EQ(controller.graph(), 1u);
    EXPECT_EQ(controller.trackCount(), 5u);
    controller.play(0.0f);
    controller.advance(0.5f, graphs, clips);
    ASSERT_TRUE(controller.isDirty());
    controller.applyToSceneGraph(scene.graph, RootMotionMode::None);
    EXPECT_FALSE(controller.isDirty());

    const SceneGraph& graph = scene.graph;
    /* The pose's translation, the object's own rotation */
    EXPECT_TRUE(
        fuzzyEqual(graph.localTransformation(scene.targets[1]),
                   dualQuaternionFromRotationTranslation(aroundY(30.0f), {2.0f, 0.0f, 0.0f})));
    /* The pose's rotation, the object's own translation */
    const DualQuaternion& turned = graph.localTransformation(scene.targets[2]);
    EXPECT_TRUE(fuzzyEqual(translation(turned), Vector3{0.0f, 5.0f, 0.0f}));
    EXPECT_TRUE(
        fuzzyEqual(turned.real, glm::normalize(glm::mix(Quaternion{}, aroundY(90.0f), 0.5f))));
    /* Scale only: the transformation stays as it was */
    EXPECT_EQ(graph.localTransformation(scene.targets[3]), placed);
    EXPECT_TRUE(fuzzyEqual(graph.localScaling(scene.targets[3]), Vector3{2.0f}));
    EXPECT_EQ(graph.localTransformation(scene.targets[4]), placed);
    EXPECT_EQ(graph.localScaling(scene.targets[4]), Vector3{1.0f});
    for (std::size_t t = 1; t != 5; ++t)
        EXPECT_TRUE(graph.isDirty(scene.targets[t])) << t;
    /* The root-motion track is never written */
    EXPECT_FALSE(graph.isDirty(scene.character));

    /* A paused clip is sampled once more, then nothing moves and nothing is evaluated */
    controller.pause(0.5f);
    controller.advance(0.75f, graphs, clips);
    controller.applyToSceneGraph(scene.graph, RootMotionMode::None);
    controller.advance(1.0f, graphs, clips);
    EXPECT_FALSE(controller.isDirty());

    /* A clip list that lost the graph's clip: the pose of the previous update stays */
    controller.resume(1.0f);
    std::ostringstream out;
    {
        Error redirect{&out};
        controller.advance(1.1f, graphs, std::span{clips}.first(1));
    }
    EXPECT_EQ(out.str(), "AnimationGraph::update(): sample node 1 plays clip 1 but there are 1\n"
                         "Failed to run animation graph, check for errors in the console/logs\n");
    controller.pause(1.1f);

    /* A target deleted meanwhile is skipped */
    scene.graph.deleteObjects(scene.targets[1]);
    controller.resume(1.0f);
    controller.advance(1.25f, graphs, clips);
    controller.applyToSceneGraph(scene.graph, RootMotionMode::None);
    EXPECT_EQ(SceneGraph::validate(scene.graph.data()), std::nullopt);
}

TEST(AnimationController, SynchronisedBlendsShareOneCycleLength) {
    std::vector<Animation> clips;
    clips.emplace_back();
    clips.push_back(clipOf(linearClip(1.0f, 2)));
    clips.push_back(clipOf(linearClip(3.0f, 2)));
    std::vector<AnimationGraph> graphs;
    graphs.emplace_back();
    AnimationGraph& graph = graphs.emplace_back();
    const std::uint16_t blend = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), Blend, blend);
    graph.connectBlendNodeInput(blend, Sample, graph.addSampleNode(1, 1.0f), 0.5f);
    graph.connectBlendNodeInput(blend, Sample, graph.addSampleNode(2, 1.0f), 0.5f);

    Scene scene{2};
    AnimationController controller;
    controller.setAnimationGraph(1, graph, scene.targets, clips);
    controller.setPlayCount(0);
    controller.play(0.0f);
    controller.advance(1.0f, graphs, clips);
    const AnimationGraphState& state = controller.graphState();
    /* The weighted average duration is 2 s */
    EXPECT_FLOAT_EQ(state.player(0).speedFactor(), 0.5f);
    EXPECT_FLOAT_EQ(state.player(1).speedFactor(), 1.5f);
    EXPECT_FLOAT_EQ(state.player(0).ratio(), 0.5f);
    EXPECT_FLOAT_EQ(state.player(1).ratio(), 0.5f);
    EXPECT_FLOAT_EQ(controller.ratio(), 0.5f);

    /* Without sync every clip runs at its own pace */
    graphs[1].blendNode(0).sync = false;
    controller.advance(2.5f, graphs, clips);
    EXPECT_FLOAT_EQ(state.player(0).speedFactor(), 1.0f);
    EXPECT_FLOAT_EQ(state.player(1).speedFactor(), 1.0f);
    /* Inputs that weigh nothing leave the factors as they are */
    graphs[1].blendNode(0).sync = true;
    graphs[1].blendNode(0).weights = {0.0f, 0.0f};
    controller.advance(3.0f, graphs, clips);
    EXPECT_FLOAT_EQ(state.player(0).speedFactor(), 1.0f);
}

TEST(AnimationController, RootMotionByMode) {
    /* The root walks 1 along z in 1 s */
    RawAnimation raw = linearClip(1.0f, 3);
    raw.tracks[0].translations[1].value = {0.0f, 0.0f, 1.0f};
    auto [clips, graphs] = simpleLists(clipOf(raw));

    /* Track 1's object hangs under the character, which takes the motion */
    Scene scene{3};
    const Id character = scene.character;
    scene.targets[0] = InvalidId;
    AnimationController controller;
    controller.setAnimationGraph(1, graphs[1], scene.targets, clips);
    controller.setPlayCount(0);
    controller.play(0.0f);
    for (float time : {0.25f, 0.5f, 0.75f}) {
        controller.advance(time, graphs, clips);
        controller.applyToSceneGraph(scene.graph, RootMotionMode::ApplyToParent);
    }
    /* The first sampling has no motion, the next two a quarter each */
    EXPECT_TRUE(fuzzyEqual(scene.graph.localTransformation(character),
                           dualQuaternionFromTranslation({0.0f, 0.0f, 0.5f})));
    EXPECT_TRUE(scene.graph.isDirty(character));
    EXPECT_EQ(controller.rootMotion(), DualQuaternion{});

    /* Stored instead, and back to the identity after an update without movement */
    controller.advance(0.95f, graphs, clips);
    controller.applyToSceneGraph(scene.graph, RootMotionMode::Store);
    EXPECT_TRUE(
        fuzzyEqual(controller.rootMotion(), dualQuaternionFromTranslation({0.0f, 0.0f, 0.2f})));
    controller.pause(0.95f);
    controller.advance(1.0f, graphs, clips);
    controller.advance(1.5f, graphs, clips);
    EXPECT_EQ(controller.rootMotion(), DualQuaternion{});

    /* Track 1 directly under the root, or no track 1: nothing is applied */
    Scene flat{3};
    flat.targets[1] = flat.character;
    AnimationController direct;
    direct.setAnimationGraph(1, graphs[1], flat.targets, clips);
    direct.play(0.0f);
    for (float time : {0.25f, 0.5f}) {
        direct.advance(time, graphs, clips);
        direct.applyToSceneGraph(flat.graph, RootMotionMode::ApplyToParent);
    }
    EXPECT_EQ(flat.graph.localTransformation(Id(0)), DualQuaternion{});
    AnimationController rootOnly;
    rootOnly.setAnimationGraph(1, graphs[1], std::vector<Id>{flat.character}, clips);
    rootOnly.play(0.0f);
    rootOnly.advance(0.5f, graphs, clips);
    rootOnly.applyToSceneGraph(flat.graph, RootMotionMode::ApplyToParent);
    EXPECT_FALSE(rootOnly.isDirty());
}

TEST(AnimationController, EventsOncePerUpdateAfterThePosePass) {
    const float keys[]{0.1f, 0.2f};
    auto [clips, graphs] = simpleLists(clipOf(linearClip(1.0f, 2), keys, {"left", "right"}));
    Scene scene{2};

    AnimationController controller;
    const AnimationController* reporting = &controller;
    std::vector<std::string> seen;
    controller.eventCallback = [&](std::string_view name) {
        /* The pose is evaluated by the time events are reported */
        EXPECT_FALSE(reporting->graphState().finalPose().empty());
        seen.emplace_back(name);
    };
    controller.setAnimationGraph(1, graphs[1], scene.targets, clips);
    controller.play(0.0f);
    controller.advance(0.15f, graphs, clips);
    controller.advance(0.3f, graphs, clips);
    EXPECT_EQ(seen, (std::vector<std::string>{"left", "right"}));
    EXPECT_TRUE(controller.graphState().triggeredEvents().empty());

    /* Moving swaps everything, the callback included */
    AnimationController other;
    other = std::move(controller);
    reporting = &other;
    EXPECT_EQ(other.graph(), 1u);
    EXPECT_EQ(controller.graph(), 0u);
    EXPECT_FALSE(controller.eventCallback);
    other.play(0.0f);
    other.advance(0.15f, graphs, clips);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(AnimationController, PrintsRootMotionModes) {
    std::ostringstream out;
    Debug{&out} << RootMotionMode::ApplyToParent << RootMotionMode(7);
    EXPECT_EQ(out.str(), "RootMotionMode::ApplyToParent RootMotionMode(7)\n");
}

TEST(AnimationControllerDeathTest, GraphOutOfRange) {
    std::vector<Animation> clips(1);
    std::vector<AnimationGraph> graphs(2);
    graphs[1] = createSimpleAnimationGraph(0);
    AnimationController controller;
    controller.setAnimationGraph(1, graphs[1], {}, clips);
    ZE_EXPECT_ABORT(controller.advance(1.0f, std::span{graphs}.first(1), clips),
                    "AnimationController::advance(): graph 1 out of range for 1 graphs");
}

} // namespace
} // namespace ZarvikEngine::Data
