#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationGraph.h"
#include "ZarvikEngine/DebugString.h"

namespace ZarvikEngine::Data {
namespace {

using Type = AnimationNodeType;

TEST(AnimationGraph, NodeTypesAndPrinting) {
    const struct {
        Type type;
        const char* text;
    } types[]{{OutputNode::NodeType, "output"}, {SampleNode::NodeType, "sample"},
              {BlendNode::NodeType, "blend"},   {WeightsNode1D::NodeType, "1d blend weights"},
              {FloatNode::NodeType, "float"},   {Type(9), "AnimationNodeType(9)"}};
    for (std::size_t i = 0; i != std::size(types); ++i) {
        EXPECT_EQ(debugString(types[i].type), types[i].text);
        if (i != 5) {
            EXPECT_EQ(unsigned(types[i].type), i);
        }
    }
}

TEST(AnimationGraph, AddsAndConnectsNodes) {
    AnimationGraph graph;
    EXPECT_EQ(graph.referenceAnimation(), 0u);
    /* Ids are counts per type */
    EXPECT_EQ(graph.addBlendNode(), 1);
    EXPECT_EQ(graph.addBlendNode(), 2);
    EXPECT_EQ(graph.addOutputNode(), 1);
    EXPECT_EQ(graph.addSampleNode(5, 1.5f), 1);
    EXPECT_EQ(graph.addSampleNode(7, -1.0f), 2);
    EXPECT_EQ(graph.addFloatNode(), 1);
    EXPECT_EQ(graph.addFloatNode(0.25f, "speed"), 2);
    EXPECT_EQ(graph.add1DWeightsNode(3), 1);
    EXPECT_EQ(graph.nodeCount(), 8u);
    EXPECT_EQ(graph.nonArithmeticNodeCount(), 5u);
    EXPECT_EQ(graph.paramaterDataSize(), 8u);
    EXPECT_EQ(graph.referenceAnimation(), 5u);

    /* Fresh nodes are unconnected, with the documented defaults */
    EXPECT_EQ(graph.outputNode(0).input, NodeInput{});
    EXPECT_TRUE(graph.blendNode(0).inputs.empty());
    EXPECT_EQ(graph.blendNode(0).threshold, 0.1f);
    EXPECT_TRUE(graph.blendNode(0).sync);
    EXPECT_EQ(graph.floatNode(1).parameterName(), "speed");
    EXPECT_EQ(graph.weights1DNode(0).outputs, std::vector<NodeOutput>(3));

    graph.connectOutputNode(1, Type::Blend, 2);
    graph.connectBlendNodeInput(1, Type::Sample, 1, 0.5f);
    graph.connectBlendNodeInput(1, Type::Sample, 2, 0.25f);
    /* Replacing a slot keeps the others */
    graph.connectBlendNodeInput(1, 0, Type::Blend, 2, 0.75f);
    graph.connectFloatNode(2, Type::Weights1D, 1, 0);
    graph.connect1DWeightsNode(1, 2, Type::Blend, 1, 1);
    /* Target ids aren't checked: a record may name nodes it adds later */
    graph.connectFloatNode(1, Type::Blend, 40, 3);

    EXPECT_EQ(graph.outputNode(0).input, (NodeInput{Type::Blend, 2}));
    EXPECT_EQ(graph.blendNode(0).inputs,
              (std::vector<NodeInput>{{Type::Blend, 2}, {Type::Sample, 2}}));
    EXPECT_EQ(graph.blendNode(0).weights, (std::vector<float>{0.75f, 0.25f}));
    EXPECT_EQ(graph.floatNode(1).output, (NodeOutput{Type::Weights1D, 1, 0}));
    EXPECT_EQ(graph.floatNode(0).output, (NodeOutput{Type::Blend, 40, 3}));
    EXPECT_EQ(graph.weights1DNode(0).outputs[2], (NodeOutput{Type::Blend, 1, 1}));
    EXPECT_EQ(graph.weights1DNode(0).outputs[0], NodeOutput{});

    graph.offsetAnimIds(10);
    EXPECT_EQ(graph.sampleNode(0).animation, 15u);
    EXPECT_EQ(graph.sampleNode(1).animation, 17u);
    EXPECT_EQ(graph.referenceAnimation(), 15u);
}

TEST(AnimationGraph, Factories) {
    const AnimationGraph simple = createSimpleAnimationGraph(6);
    EXPECT_EQ(simple.nodeCount(), 2u);
    EXPECT_EQ(simple.sampleNode(0).animation, 6u);
    EXPECT_EQ(simple.sampleNode(0).speed, 1.0f);
    EXPECT_EQ(simple.outputNode(0).input, (NodeInput{Type::Sample, 1}));

    const std::uint16_t clips[]{3, 1, 4};
    const float speeds[]{1.0f, 0.5f, 2.0f};
    const AnimationGraph blend = createAnimation1DBlendGraph(clips, speeds, 0.25f);
    EXPECT_EQ(blend.outputNodeCount(), 1u);
    EXPECT_EQ(blend.sampleNodeCount(), 3u);
    EXPECT_EQ(blend.blendNodeCount(), 1u);
    EXPECT_EQ(blend.floatNodeCount(), 1u);
    EXPECT_EQ(blend.weightNode1DCount(), 1u);
    EXPECT_EQ(blend.outputNode(0).input, (NodeInput{Type::Blend, 1}));
    EXPECT_EQ(blend.blendNode(0).inputs,
              (std::vector<NodeInput>{{Type::Sample, 1}, {Type::Sample, 2}, {Type::Sample, 3}}));
    EXPECT_EQ(blend.blendNode(0).weights, std::vector<float>(3, 0.0f));
    for (std::size_t i = 0; i != 3; ++i) {
        EXPECT_EQ(blend.sampleNode(i).animation, clips[i]);
        EXPECT_EQ(blend.sampleNode(i).speed, speeds[i]);
        EXPECT_EQ(blend.weights1DNode(0).outputs[i],
                  (NodeOutput{Type::Blend, 1, std::uint16_t(i)}));
    }
    EXPECT_EQ(blend.floatNode(0).parameterName(), "blendFactor");
    EXPECT_EQ(blend.floatNode(0).value, 0.25f);
    EXPECT_EQ(blend.floatNode(0).output, (NodeOutput{Type::Weights1D, 1, 0}));
    EXPECT_EQ(blend.referenceAnimation(), 3u);
}

TEST(AnimationGraphDeathTest, Messages) {
    /* An output, two blend nodes (the first with one input), a float and a 1D weights node */
    AnimationGraph graph;
    graph.addOutputNode();
    graph.addBlendNode();
    graph.addBlendNode();
    graph.connectBlendNodeInput(1, Type::Sample, 1, 1.0f);
    graph.addFloatNode();
    graph.add1DWeightsNode(3);
    const std::string longest(62, 'p');
    graph.addFloatNode(1.0f, longest);
    EXPECT_EQ(graph.floatNode(1).parameterName(), longest);
    const std::uint16_t clips[]{3, 1, 4};
    const float speeds[]{1.0f, 0.5f};

    const struct {
        std::function<void()> statement;
        const char* message;
    } cases[]{
        {[&] { graph.addFloatNode(1.0f, longest + "p"); },
         "Parameter name cannot be longer than 64 characters"},
        {[&] { FloatNode(1.0f, longest + "p"); },
         "Parameter name cannot be longer than 64 characters"},
        {[&] { graph.connectOutputNode(0, Type::Sample, 1); }, "Output node index out of range"},
        {[&] { graph.connectOutputNode(2, Type::Sample, 1); }, "Output node index out of range"},
        {[&] { graph.connectBlendNodeInput(0, Type::Sample, 1, 1.0f); },
         "Blend node index out of range"},
        {[&] { graph.connectBlendNodeInput(3, 0, Type::Sample, 1, 1.0f); },
         "Blend node index out of range"},
        {[&] { graph.connectBlendNodeInput(1, 1, Type::Sample, 1, 1.0f); },
         "Blend node input index out of range"},
        {[&] { graph.connectBlendNodeInput(2, 0, Type::Sample, 1, 1.0f); },
         "Blend node input index out of range"},
        {[&] { graph.connectFloatNode(0, Type::Blend, 1, 0); }, "Float node index out of range"},
        {[&] { graph.connectFloatNode(3, Type::Float, 1, 0); }, "Float node index out of range"},
        {[&] { graph.connectFloatNode(1, Type::Float, 1, 0); },
         "Float node cannot be connected to another float node"},
        {[&] { graph.connectFloatNode(1, Type::Output, 1, 0); },
         "Float node can only be connected to a blend node or an arithmetic node"},
        {[&] { graph.connectFloatNode(1, Type::Sample, 1, 0); },
         "Float node can only be connected to a blend node or an arithmetic node"},
        {[&] { graph.connect1DWeightsNode(0, 0, Type::Blend, 1, 0); },
         "1D Weights node index out of range"},
        {[&] { graph.connect1DWeightsNode(2, 0, Type::Blend, 1, 0); },
         "1D Weights node index out of range"},
        {[&] { graph.connect1DWeightsNode(1, 5, Type::Float, 1, 0); },
         "1D Weights node cannot be connected to float node"},
        {[&] { graph.connect1DWeightsNode(1, 0, Type::Sample, 1, 0); },
         "1D Weights node can only be connected to an arithmetic node or a blend node"},
        {[&] { graph.connect1DWeightsNode(1, 3, Type::Blend, 1, 0); }, "Output index out of range"},
        {[&] { createAnimation1DBlendGraph(clips, speeds, 0.0f); },
         "Size mismatch between animations and playback speeds"},
    };
    for (const auto& c : cases)
        ZE_EXPECT_ABORT(c.statement(), c.message);
}

} // namespace
} // namespace ZarvikEngine::Data
