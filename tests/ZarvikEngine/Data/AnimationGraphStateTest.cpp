#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AnimationTestClips.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationGraphState.h"

namespace ZarvikEngine::Data {
namespace {

using Skeletal::RawAnimation;
using Strings = std::vector<std::string_view>;
using Test::clipOf;
using Test::linearClip;

constexpr AnimationNodeType Sample = AnimationNodeType::Sample;
constexpr AnimationNodeType Blend = AnimationNodeType::Blend;
constexpr AnimationNodeType Weights1D = AnimationNodeType::Weights1D;

Quaternion aroundY(float degrees) {
    return rotation(Rad{Deg{degrees}}, {0.0f, 1.0f, 0.0f});
}

/* The evaluation one update of a controller runs, without its speed synchronisation */
void evaluate(AnimationGraph& graph, AnimationGraphState& state, std::span<const Animation> clips,
              float time) {
    ASSERT_TRUE(graph.updateArithmetic(state));
    for (OzzPlayer& player : state.players())
        player.advance(time);
    ASSERT_TRUE(graph.update(state, clips));
}

std::vector<std::string> events(const AnimationGraphState& state) {
    return {state.triggeredEvents().begin(), state.triggeredEvents().end()};
}

float translationX(std::span<const Skeletal::SoaTransform> pose, std::size_t track) {
    return pose[track / 4].translation.x[track % 4];
}

/* A blend of two clips into the output, with these weights */
AnimationGraph blendOf(std::uint16_t first, std::uint16_t second, float firstWeight,
                       float secondWeight) {
    AnimationGraph graph;
    const std::uint16_t blend = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), Blend, blend);
    graph.connectBlendNodeInput(blend, Sample, graph.addSampleNode(first, 1.0f), firstWeight);
    graph.connectBlendNodeInput(blend, Sample, graph.addSampleNode(second, 1.0f), secondWeight);
    return graph;
}

/* Clip 0 is the placeholder of "no clip" */
std::vector<Animation> clipList(std::vector<Animation>&& clips) {
    clips.insert(clips.begin(), Animation{});
    return std::move(clips);
}

TEST(AnimationGraphState, SetupSizesEverythingAndPlayersSurviveASecondOne) {
    std::vector<Animation> list;
    list.push_back(clipOf(linearClip(1.0f, 3)));
    list.push_back(clipOf(linearClip(3.0f, 6)));
    const std::vector<Animation> clips = clipList(std::move(list));
    AnimationGraph graph = createAnimation1DBlendGraph(std::vector<std::uint16_t>{1, 2},
                                                       std::vector<float>{1.0f, -2.0f}, 0.25f);

    AnimationGraphState state;
    EXPECT_EQ(state.playCount(), 1u);
    EXPECT_EQ(state.state(), AnimationGraphState::State::Stopped);
    EXPECT_TRUE(state.finalPose().empty());
    state.setPlayCount(3);
    state.setup(graph, 6, clips);
    /* Six tracks take two elements of four */
    ASSERT_EQ(state.players().size(), 2u);
    EXPECT_EQ(state.sampledPose(1).size(), 2u);
    EXPECT_EQ(state.blendedPose(0).size(), 2u);
    EXPECT_EQ(state.defaultPose().size(), 2u);
    EXPECT_EQ(state.sampledPose(0)[1].rotation.w[3], 1.0f);
    EXPECT_EQ(state.player(0).duration(), 1.0f);
    EXPECT_EQ(state.player(1).duration(), 3.0f);
    EXPECT_EQ(state.player(1).speed(), -2.0f);
    /* New players don't take the stored play count */
    EXPECT_EQ(state.player(0).playCount(), 1u);
    EXPECT_EQ(state.playCount(), 3u);
    EXPECT_TRUE(state.finalPose().empty());
    EXPECT_FALSE(state.isDirty());

    /* The parameter of the float node, by name and by index */
    ASSERT_EQ(state.parameters().size(), 1u);
    EXPECT_EQ(state.getParameterIndex("blendFactor"), 0u);
    EXPECT_EQ(state.getParameterIndex("missing"), std::nullopt);
    float value = 0.0f;
    state.getParameterValue("blendFactor", &value);
    EXPECT_EQ(value, 0.25f);
    const float changed = 0.75f;
    state.setParameterValue(0, &changed);
    state.getParameterValue(0u, &value);
    EXPECT_EQ(value, 0.75f);

    /* Aggregates over the players: one forward, one backward */
    state.play(10.0f);
    for (OzzPlayer& player : state.players())
        player.advance(10.5f);
    EXPECT_EQ(state.state(), AnimationGraphState::State::Playing);
    EXPECT_TRUE(state.isPlaying());
    EXPECT_EQ(state.duration(), 3.0f);
    /* 0.5 of the first clip; the second, at −2, is 1 s back from its end: progress 1/3 */
    EXPECT_FLOAT_EQ(state.ratio(), (0.5f + 1.0f / 3.0f) / 2.0f);
    state.player(0).pause(10.5f);
    EXPECT_EQ(state.state(), AnimationGraphState::State::Playing);
    state.player(1).pause(10.5f);
    EXPECT_EQ(state.state(), AnimationGraphState::State::Paused);

    /* A second setup keeps the players and their clocks, resets the poses */
    state.setup(graph, 6, clips);
    EXPECT_EQ(state.state(), AnimationGraphState::State::Paused);
    EXPECT_EQ(state.player(1).currentFrameTime(), 10.5f);
}

TEST(AnimationGraphEvaluation, WeightsOf1DWeightsNodesReachTheBlendWeights) {
    AnimationGraph graph;
    const std::uint16_t blend = graph.addBlendNode();
    for (int i = 0; i != 4; ++i)
        graph.connectBlendNodeInput(blend, Sample, 0, 0.0f);
    const std::uint16_t position = graph.addFloatNode(0.25f, "position");
    /* position → a tent over three outputs → inputs 0, 1, 2; its last output also drives a
       single-output node, whose weight is always 0, into input 3 */
    const std::uint16_t tent = graph.add1DWeightsNode(3);
    const std::uint16_t single = graph.add1DWeightsNode(1);
    graph.connectFloatNode(position, Weights1D, tent, 0);
    graph.connect1DWeightsNode(tent, 0, Blend, blend, 0);
    graph.connect1DWeightsNode(tent, 1, Blend, blend, 1);
    graph.connect1DWeightsNode(tent, 2, Weights1D, single, 0);
    graph.connect1DWeightsNode(single, 0, Blend, blend, 3);

    AnimationGraphState state;
    const std::vector<Animation> clips = clipList({});
    state.setup(graph, 4, clips);
    const struct {
        float input;
        std::vector<float> weights;
    } cases[]{
        /* Input 2 has nothing connected */
        {0.25f, {0.5f, 0.5f, -1.0f, 0.0f}},
        {0.0f, {1.0f, 0.0f, -1.0f, 0.0f}},
        {1.5f, {0.0f, 0.0f, -1.0f, 0.0f}},
        {1.0f, {0.0f, 0.0f, -1.0f, 0.0f}},
    };
    for (const auto& entry : cases) {
        state.setParameterValue("position", &entry.input);
        graph.blendNode(0).weights.assign(4, -1.0f);
        ASSERT_TRUE(graph.updateArithmetic(state));
        EXPECT_EQ(graph.blendNode(0).weights, entry.weights) << entry.input;
    }
    /* The third output of the tent went into the single-output node */
    EXPECT_EQ(graph.weights1DNode(1).input, 1.0f);
    /* The float node took the parameter's value */
    EXPECT_EQ(graph.floatNode(0).value, 1.0f);
}

TEST(AnimationGraphEvaluation, OnlyInputsOfPositiveWeightAreSampled) {
    std::vector<Animation> list;
    for (float scale : {1.0f, 2.0f, 3.0f}) {
        RawAnimation raw = linearClip(1.0f, 2);
        raw.tracks[1].translations[1].value.x = scale;
        list.push_back(clipOf(raw));
    }
    const std::vector<Animation> clips = clipList(std::move(list));
    AnimationGraph graph;
    const std::uint16_t blend = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), Blend, blend);
    for (std::uint16_t clip = 1; clip <= 3; ++clip)
        graph.connectBlendNodeInput(blend, Sample, graph.addSampleNode(clip, 1.0f), 0.0f);
    graph.blendNode(0).weights = {1.0f, 0.0f, -0.5f};

    AnimationGraphState state;
    state.setup(graph, 2, clips);
    state.play(0.0f);
    evaluate(graph, state, clips, 0.5f);
    EXPECT_FALSE(state.player(0).isDirty());
    EXPECT_TRUE(state.player(1).isDirty());
    EXPECT_TRUE(state.player(2).isDirty());
    /* Only the first clip went into the blend */
    EXPECT_FLOAT_EQ(translationX(state.finalPose(), 1), 0.5f);
    EXPECT_EQ(translationX(state.sampledPose(2), 1), 0.0f);
    EXPECT_TRUE(state.translationDirty(1));
    EXPECT_FALSE(state.rotationDirty(1));

    /* Equal weights blend the two first clips */
    graph.blendNode(0).weights = {1.0f, 1.0f, 0.0f};
    evaluate(graph, state, clips, 0.75f);
    EXPECT_FLOAT_EQ(translationX(state.finalPose(), 1), (0.75f + 1.5f) / 2.0f);

    /* Without sample nodes nothing is evaluated */
    AnimationGraph empty;
    empty.addOutputNode();
    AnimationGraphState emptyState;
    emptyState.setup(empty, 2, clips);
    EXPECT_TRUE(empty.update(emptyState, clips));
    EXPECT_TRUE(emptyState.finalPose().empty());
}

TEST(AnimationGraphEvaluation, EventsOnBoundariesAcrossLoopsAndLagSpikes) {
    const float keys[]{0.05f, 0.5f, 0.9f};
    std::vector<Animation> list;
    list.push_back(clipOf(linearClip(1.0f, 1), keys, Strings{"early", "middle", "late"}));
    const std::vector<Animation> clips = clipList(std::move(list));
    AnimationGraph graph = createSimpleAnimationGraph(1);
    AnimationGraphState state;
    state.setup(graph, 1, clips);
    state.setPlayCount(0);
    state.play(0.0f);

    const auto step = [&](float time) {
        state.clearEvents();
        evaluate(graph, state, clips, time);
        return events(state);
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(step(0.5f), (Names{"early", "middle"}));
    /* An event on the boundary of two updates fires in both */
    EXPECT_EQ(step(0.8f), (Names{"middle"}));
    /* Over the loop: 0.9 of this iteration, then 0.05 of the next */
    EXPECT_EQ(step(1.1f), (Names{"late", "early"}));
    EXPECT_TRUE(state.hasLooped());

    /* A jump of 150 durations reports the first 100 iterations and says so */
    std::ostringstream out;
    {
        Error redirect{&out};
        /* 1.5 and 1.9 of iteration 1, all three of iterations 2 to 100 */
        EXPECT_EQ(step(151.1f).size(), 2u + 99u * 3u);
    }
    EXPECT_EQ(out.str(), "Lag spike longer than 100 *animation duration was detected! Events "
                         "will be skipped!\n");

    /* With a play count of 1 the next iteration's events don't fire */
    state.setPlayCount(1);
    state.play(0.0f);
    EXPECT_EQ(step(0.8f), (Names{"early", "middle"}));
    EXPECT_EQ(step(1.1f), (Names{"late"}));

    /* A paused clip is sampled once more but fires nothing and passes no loop on */
    state.setPlayCount(0);
    state.play(0.0f);
    step(0.8f);
    state.pause(1.2f);
    EXPECT_EQ(step(1.5f), Names{});
    EXPECT_TRUE(state.player(0).hasLooped());
    EXPECT_FALSE(state.hasLooped());
}

TEST(AnimationGraphEvaluation, EventsThroughABlendNodeAreThoseOfItsSampledInputs) {
    const float keyA[]{0.25f}, keyB[]{0.5f};
    std::vector<Animation> list;
    list.push_back(clipOf(linearClip(1.0f, 1), keyA, Strings{"a"}));
    list.push_back(clipOf(linearClip(1.0f, 1), keyB, Strings{"b"}));
    const std::vector<Animation> clips = clipList(std::move(list));
    AnimationGraph graph;
    const std::uint16_t outer = graph.addBlendNode(), inner = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), Blend, outer);
    const std::uint16_t a = graph.addSampleNode(1, 1.0f), b = graph.addSampleNode(2, 1.0f);
    /* b reaches the output twice, through the inner blend and directly */
    graph.connectBlendNodeInput(outer, Blend, inner, 1.0f);
    graph.connectBlendNodeInput(outer, Sample, b, 1.0f);
    graph.connectBlendNodeInput(inner, Sample, b, 1.0f);
    graph.connectBlendNodeInput(inner, Sample, a, 1.0f);
    for (BlendNode* node : {&graph.blendNode(0), &graph.blendNode(1)})
        node->sync = false;

    AnimationGraphState state;
    state.setup(graph, 1, clips);
    state.play(0.0f);
    evaluate(graph, state, clips, 0.75f);
    EXPECT_EQ(events(state), (std::vector<std::string>{"b", "a"}));

    /* An input of weight 0 isn't sampled, so reports nothing */
    graph.blendNode(1).weights[1] = 0.0f;
    state.clearEvents();
    state.play(0.0f);
    evaluate(graph, state, clips, 0.75f);
    EXPECT_EQ(events(state), std::vector<std::string>{"b"});
}

TEST(AnimationGraphEvaluation, RootMotionIsTheRootTrackSinceTheLastSampling) {
    /* The root walks 2 along x and turns a quarter around y in each 1 s cycle */
    RawAnimation walk;
    walk.duration = 1.0f;
    walk.tracks.resize(2);
    walk.tracks[0].translations = {{0.0f, Vector3{0.0f}}, {1.0f, Vector3{2.0f, 0.0f, 0.0f}}};
    walk.tracks[0].rotations = {{0.0f, Quaternion{}}, {1.0f, aroundY(90.0f)}};
    RawAnimation slide = walk;
    slide.tracks[0].rotations.clear();
    std::vector<Animation> list;
    list.push_back(clipOf(walk));
    list.push_back(clipOf(slide));
    list.push_back(clipOf(linearClip(1.0f, 2)));
    const std::vector<Animation> clips = clipList(std::move(list));

    AnimationGraph graph = createSimpleAnimationGraph(1);
    AnimationGraphState state;
    state.setup(graph, 2, clips);
    state.setPlayCount(0);
    state.play(0.0f);
    evaluate(graph, state, clips, 0.25f);
    /* The first sampling has nothing to compare with */
    EXPECT_TRUE(fuzzyEqual(state.finalRootMotion(), DualQuaternion{}));
    evaluate(graph, state, clips, 0.5f);
    const DualQuaternion quarter = state.finalRootMotion();
    EXPECT_TRUE(fuzzyEqual(translation(quarter), Vector3{0.5f, 0.0f, 0.0f}));
    EXPECT_GT(std::abs(quarter.real.y), 0.1f);
    /* Looping: no jump back to the start, in translation or in rotation */
    evaluate(graph, state, clips, 1.25f);
    EXPECT_TRUE(state.hasLooped());
    EXPECT_TRUE(fuzzyEqual(state.finalRootMotion(), DualQuaternion{}));
    state.clearEvents();
    evaluate(graph, state, clips, 1.5f);
    EXPECT_TRUE(fuzzyEqual(state.finalRootMotion(), quarter));

    /* A blend folds the motions in input order, each pulling the result so far toward its
       own by its weight: all of the slide's 0.5, then halfway toward the other's 0.25 */
    AnimationGraph blend = blendOf(2, 3, 1.0f, 0.5f);
    AnimationGraphState blended;
    blended.setup(blend, 2, clips);
    blended.play(0.0f);
    evaluate(blend, blended, clips, 0.25f);
    evaluate(blend, blended, clips, 0.5f);
    EXPECT_TRUE(fuzzyEqual(translation(blended.finalRootMotion()), Vector3{0.375f, 0.0f, 0.0f}));

    /* Turns of a fraction of a degree per update survive the blend, where screw
       interpolation would take them for no turn at all */
    RawAnimation slowTurn = linearClip(1.0f, 2);
    slowTurn.tracks[0].rotations = {{0.0f, Quaternion{}}, {1.0f, aroundY(20.0f)}};
    std::vector<Animation> turns;
    turns.push_back(clipOf(slowTurn));
    turns.push_back(clipOf(slowTurn));
    const std::vector<Animation> turnClips = clipList(std::move(turns));
    AnimationGraph turnBlend = blendOf(1, 2, 0.5f, 0.5f);
    AnimationGraphState turning;
    turning.setup(turnBlend, 2, turnClips);
    turning.play(0.0f);
    evaluate(turnBlend, turning, turnClips, 0.25f);
    evaluate(turnBlend, turning, turnClips, 0.26f);
    /* 0.2° over the update: halfway to it, then halfway from there to the same turn */
    const float angle = 2.0f * std::acos(std::min(1.0f, turning.finalRootMotion().real.w));
    EXPECT_NEAR(glm::degrees(angle), 0.15f, 0.01f);
}

TEST(AnimationGraphEvaluationDeathTest, MisuseAborts) {
    std::vector<Animation> list;
    list.push_back(clipOf(linearClip(1.0f, 1)));
    const std::vector<Animation> clips = clipList(std::move(list));
    AnimationGraphState state;

    /* Graphs that validate() rejects, checked at setup */
    AnimationGraph missing;
    missing.connectOutputNode(missing.addOutputNode(), Sample, 2);
    ZE_EXPECT_ABORT(state.setup(missing, 1, clips),
                    "AnimationGraph::setup(): output node 1 names sample node 2, but there are 0");
    AnimationGraph unknownClip = createSimpleAnimationGraph(5);
    ZE_EXPECT_ABORT(state.setup(unknownClip, 1, clips),
                    "AnimationGraph::setup(): sample node 1 plays clip 5, but there are 2");
    AnimationGraph cycle;
    const std::uint16_t first = cycle.addBlendNode(), second = cycle.addBlendNode();
    cycle.connectBlendNodeInput(first, Blend, second, 1.0f);
    cycle.connectBlendNodeInput(second, Blend, first, 1.0f);
    ZE_EXPECT_ABORT(state.setup(cycle, 1, clips),
                    "AnimationGraph::setup(): blend nodes take poses from each other in a cycle");

    /* Parameters */
    AnimationGraph graph = createAnimation1DBlendGraph(std::vector<std::uint16_t>{1, 1},
                                                       std::vector<float>{1.0f, 1.0f}, 0.0f);
    state.setup(graph, 1, clips);
    float value = 0.0f;
    ZE_EXPECT_ABORT(state.setParameterValue("speed", &value), "Parameter not found");
    ZE_EXPECT_ABORT(state.getParameterValue("speed", &value), "Parameter not found");
    ZE_EXPECT_ABORT(state.getParameterValue(1u, &value), "Parameter index out of range");
    ZE_EXPECT_ABORT(state.setParameterValue(1u, &value), "Parameter index out of range");

    /* A state set up for another graph */
    AnimationGraph other = createSimpleAnimationGraph(1);
    ZE_EXPECT_ABORT(other.updateArithmetic(state),
                    "AnimationGraph::updateArithmetic(): the state was set up for another graph");
    ZE_EXPECT_ABORT(other.update(state, clips),
                    "AnimationGraph::update(): the state was set up for another graph");

    /* Connections changed after setup */
    graph.weights1DNode(0).outputs[0].input = 5;
    ZE_EXPECT_ABORT(graph.updateArithmetic(state), "Input out of range");
    graph.weights1DNode(0).outputs[0].input = 0;
    graph.floatNode(0).output.input = 1;
    ZE_EXPECT_ABORT(graph.updateArithmetic(state), "1D Weights node only has 1 input");
    AnimationGraph floatPose = createSimpleAnimationGraph(1);
    floatPose.addFloatNode();
    state.setup(floatPose, 1, clips);
    floatPose.connectOutputNode(1, AnimationNodeType::Float, 1);
    state.play(0.0f);
    state.player(0).advance(0.5f);
    ZE_EXPECT_ABORT(floatPose.update(state, clips), "Nodes with type float do not provide a pose");
}

} // namespace
} // namespace ZarvikEngine::Data
