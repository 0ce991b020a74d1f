#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AssetData.h"

namespace ZarvikEngine::Data {
namespace {

using Test::Bytes;
using Test::expectValidationErrors;
using Test::expectValidationGuardsReaders;
using Test::patched;
using Type = AnimationNodeType;

std::uint32_t f32(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

/* Every kind of node, with connections in both directions of the record order */
AnimationGraph everyKind() {
    AnimationGraph graph;
    const std::uint16_t blend = graph.addBlendNode();
    graph.blendNode(0).threshold = 0.25f;
    graph.blendNode(0).sync = false;
    graph.connectOutputNode(graph.addOutputNode(), Type::Blend, blend);
    graph.connectBlendNodeInput(blend, Type::Sample, graph.addSampleNode(2, 0.5f), 0.75f);
    graph.connectBlendNodeInput(blend, Type::Sample, graph.addSampleNode(9, -1.0f), 0.25f);
    const std::uint16_t weights = graph.add1DWeightsNode(2);
    graph.weights1DNode(0).input = 0.125f;
    graph.connect1DWeightsNode(weights, 0, Type::Blend, blend, 0);
    graph.connect1DWeightsNode(weights, 1, Type::Blend, blend, 1);
    graph.connectFloatNode(graph.addFloatNode(0.5f, "mix"), Type::Weights1D, weights, 0);
    return graph;
}

/* everyKind() spelled out from the record layout, one node per line */
/* clang-format off */
std::vector<char> everyKindBytes() {
    return Bytes{}
        .u32(6)
        /* Headers: type, inputs, outputs, data size. Samples, blends, outputs, floats,
           weights. */
        .u16(1).u16(0).u16(1).u16(8)
        .u16(1).u16(0).u16(1).u16(8)
        .u16(2).u16(2).u16(1).u16(24)
        .u16(0).u16(1).u16(0).u16(4)
        .u16(4).u16(0).u16(1).u16(76)
        .u16(3).u16(1).u16(2).u16(20)
        /* Samples: clip, speed */
        .u32(2).u32(f32(0.5f))
        .u32(9).u32(f32(-1.0f))
        /* Blend: inputs, weights, threshold, sync, padding */
        .u16(1).u16(1).u16(1).u16(2).u32(f32(0.75f)).u32(f32(0.25f)).u32(f32(0.25f)).u8(0).zeros(3)
        /* Output: its input */
        .u16(2).u16(1)
        /* Float: value, name, output */
        .u32(f32(0.5f)).field("mix", 64).u16(3).u16(1).u16(0).u16(0)
        /* Weights: input value, outputs */
        .u32(f32(0.125f)).u16(2).u16(1).u16(0).u16(0).u16(2).u16(1).u16(1).u16(0);
}
/* clang-format on */

TEST(AnimationGraphRecords, LayoutMatchesTheTable) {
    const std::vector<char> simple = createAnimationGraphData(createSimpleAnimationGraph(3));
    /* clang-format off */
    EXPECT_EQ(simple, std::vector<char>(Bytes{}
                                            .u32(2)
                                            .u16(1).u16(0).u16(1).u16(8)
                                            .u16(0).u16(1).u16(0).u16(4)
                                            .u32(3).u32(f32(1.0f))
                                            .u16(1).u16(1)));
    /* clang-format on */

    const std::vector<char> payload = createAnimationGraphData(everyKind());
    EXPECT_EQ(payload, everyKindBytes());

    EXPECT_EQ(AnimationGraphData{payload}.nodeDatas().data(), payload.data() + 52);
    EXPECT_EQ(AnimationGraphData{payload}.nodeDatas().size(), 140u);

    /* A blend node with three inputs takes 32 bytes */
    AnimationGraph threeInputs;
    threeInputs.addBlendNode();
    for (std::uint16_t i = 1; i <= 3; ++i)
        threeInputs.connectBlendNodeInput(1, Type::Sample, i, 0.0f);
    const std::vector<char> blend = createAnimationGraphData(threeInputs);
    EXPECT_EQ(AnimationGraphData{blend}.nodeHeaders()[0].dataSize, 32u);

    /* An empty graph is only the count */
    EXPECT_EQ(createAnimationGraphData({}), std::vector<char>(4, 0));
}

TEST(AnimationGraphRecords, ReadingGivesEveryNodeItsId) {
    /* The writer stores every field, so writing what was read shows that all came back */
    const std::vector<char> bytes = everyKindBytes();
    const AnimationGraph graph = AnimationGraphData{bytes}.graph();
    EXPECT_EQ(createAnimationGraphData(graph), bytes);
    /* Connected before the node it names was read */
    EXPECT_EQ(graph.floatNode(0).output, (NodeOutput{Type::Weights1D, 1, 0}));
    EXPECT_EQ(graph.floatNode(0).parameterName(), "mix");

    AnimationGraph defaults = createAnimation1DBlendGraph(
        std::vector<std::uint16_t>{1, 2, 3}, std::vector<float>{1.0f, 2.0f, 3.0f}, 0.5f);
    defaults.addFloatNode();
    defaults.addOutputNode();
    defaults.add1DWeightsNode(0);
    const std::vector<char> payload = createAnimationGraphData(defaults);
    EXPECT_EQ(createAnimationGraphData(AnimationGraphData{payload}.graph()), payload);

    /* Only the low 16 bits of a stored clip index count */
    const std::vector<char> wideClip =
        Bytes{}.u32(1).u16(1).u16(0).u16(1).u16(8).u32(0x50003).u32(f32(2.0f));
    ASSERT_FALSE(AnimationGraphData::validate(wideClip));
    EXPECT_EQ(AnimationGraphData{wideClip}.graph().sampleNode(0).animation, 3u);
}

TEST(AnimationGraphRecords, WriterRefusesWhatTheRecordCannotHold) {
    AnimationGraph mismatched;
    mismatched.addBlendNode();
    mismatched.connectBlendNodeInput(1, Type::Sample, 1, 1.0f);
    mismatched.connectBlendNodeInput(1, Type::Sample, 2, 1.0f);
    mismatched.blendNode(0).weights.pop_back();
    ZE_EXPECT_ABORT(createAnimationGraphData(mismatched),
                    "createAnimationGraphData(): blend node 0 has 2 inputs but 1 weights");

    /* (2n + 2) · 4 bytes of data have to fit 16 bits */
    AnimationGraph wide;
    wide.addBlendNode();
    wide.blendNode(0).inputs.resize(8190);
    wide.blendNode(0).weights.resize(8190);
    EXPECT_EQ(AnimationGraphData{createAnimationGraphData(wide)}.nodeHeaders()[0].dataSize, 65528u);
    wide.connectBlendNodeInput(1, Type::Sample, 1, 1.0f);
    ZE_EXPECT_ABORT(createAnimationGraphData(wide),
                    "createAnimationGraphData(): blend node 0 with 8191 connections doesn't "
                    "fit a record");
    AnimationGraph manyOutputs;
    manyOutputs.add1DWeightsNode(8192);
    ZE_EXPECT_ABORT(createAnimationGraphData(manyOutputs),
                    "createAnimationGraphData(): 1d blend weights node 0 with 8192 connections "
                    "doesn't fit a record");
}

/* Offsets into everyKindBytes() */
constexpr std::size_t BlendHeader = 4 + 2 * 8;
constexpr std::size_t FloatHeader = 4 + 4 * 8;
constexpr std::size_t BlendData = 52 + 16;
constexpr std::size_t OutputData = BlendData + 24;
constexpr std::size_t FloatData = OutputData + 4;
constexpr std::size_t WeightsData = FloatData + 76;

TEST(AnimationGraphRecords, ValidationRejectsMalformedPayloads) {
    const std::vector<char> payload = everyKindBytes();
    std::vector<char> longer = payload;
    longer.resize(196);
    expectValidationErrors<AnimationGraphData>({
        {std::vector<char>(4, 0), "accepted"},
        {createAnimationGraphData(createAnimation1DBlendGraph(
             std::vector<std::uint16_t>{1, 2}, std::vector<float>{1.0f, 1.0f}, 0.0f)),
         "accepted"},
        /* Unconnected ends may carry any type */
        {patched(payload, OutputData, Bytes{}.u16(9).u16(0)), "accepted"},
        {{}, "0 bytes are too short for the node count"},
        {patched(payload, 0, 0xffffffffu), "4294967295 node headers don't fit into 192 bytes"},
        {patched(payload, 0, 5u), "node data of 120 bytes, but 148 bytes follow "
                                  "the headers"},
        {longer, "node data of 140 bytes, but 144 bytes follow the headers"},
        {patched(payload, BlendHeader, Bytes{}.u16(7)), "node 2 has the unknown type 7"},
        {patched(payload, BlendHeader + 6, Bytes{}.u16(28)),
         "node 2 has the header (2, 2, 1, 28), which doesn't describe a blend node"},
        {patched(payload, BlendHeader + 2, Bytes{}.u16(3)),
         "node 2 has the header (2, 3, 1, 24), which doesn't describe a blend node"},
        {patched(payload, BlendHeader + 4, Bytes{}.u16(2)),
         "node 2 has the header (2, 2, 2, 24), which doesn't describe a blend node"},
        {patched(payload, FloatHeader + 2, Bytes{}.u16(1)),
         "node 4 has the header (4, 1, 1, 76), which doesn't describe a float node"},

        /* Connections naming missing nodes, or nodes they can't connect to */
        {patched(payload, OutputData, Bytes{}.u16(1).u16(3)),
         "output node 1 names sample node 3, but there are 2"},
        {patched(payload, OutputData, Bytes{}.u16(4).u16(1)),
         "output node 1 can't take a pose from float node 1"},
        {patched(payload, BlendData + 4, Bytes{}.u16(0).u16(1)),
         "blend node 1 can't take a pose from output node 1"},
        {patched(payload, BlendData + 4, Bytes{}.u16(9).u16(1)),
         "blend node 1 can't take a pose from node 1 of type 9"},
        {patched(payload, BlendData + 4, Bytes{}.u16(2).u16(2)),
         "blend node 1 names blend node 2, but there are 1"},
        {patched(payload, FloatData + 68, Bytes{}.u16(1)),
         "float node 1 can't write into sample node 1"},
        {patched(payload, FloatData + 68, Bytes{}.u16(3).u16(2)),
         "float node 1 names 1d blend weights node 2, but there are 1"},
        {patched(payload, FloatData + 72, Bytes{}.u16(1)),
         "float node 1 writes into input 1 of 1d blend weights node 1, which has 1"},
        {patched(payload, WeightsData + 12, Bytes{}.u16(2).u16(1).u16(2)),
         "1d blend weights node 1 writes into input 2 of blend node 1, which has 2"},
        {patched(payload, WeightsData + 12, Bytes{}.u16(0).u16(1)),
         "1d blend weights node 1 can't write into output node 1"},
        {patched(payload, FloatData + 4, Bytes{}.fill(63, 'n')),
         "float node 1 has a parameter name longer than 62 characters"},
        {patched(payload, FloatData + 4 + 62, Bytes{}.fill(1, 'n')),
         "float node 1: parameter name has bytes after its terminating zero"},

        /* Connections the evaluation would follow forever */
        {patched(payload, BlendData + 4, Bytes{}.u16(2).u16(1)),
         "blend nodes take poses from each other in a cycle"},
        {patched(payload, WeightsData + 4, Bytes{}.u16(3).u16(1).u16(0)),
         "1d blend weights nodes write into each other in a cycle"},
    });
}

TEST(AnimationGraphRecords, AcceptedPayloadsCanBeReadAndRewritten) {
    const auto read = [](std::span<const char> bytes) {
        const AnimationGraphData record{bytes};
        const AnimationGraph graph = record.graph();
        EXPECT_EQ(graph.nodeCount(), record.header().nodeCount);
        EXPECT_EQ(AnimationGraphData::validate(createAnimationGraphData(graph)), std::nullopt);
    };
    /* Values, weights, names and unconnected slots change freely */
    EXPECT_GT(expectValidationGuardsReaders<AnimationGraphData>(everyKindBytes(), read), 500u);
}

} // namespace
} // namespace ZarvikEngine::Data
