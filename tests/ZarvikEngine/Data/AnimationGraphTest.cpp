#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationGraph.h"
#include "ZarvikEngine/Trade/Printed.h"

namespace ZarvikEngine::Data {
namespace {

using Test::printed;
using Type = AnimationNodeType;

TEST(AnimationGraph, NodeTypesAndPrinting) {
    EXPECT_EQ(unsigned(OutputNode::NodeType), 0u);
    EXPECT_EQ(unsigned(SampleNode::NodeType), 1u);
    EXPECT_EQ(unsigned(BlendNode::NodeType), 2u);
    EXPECT_EQ(unsigned(WeightsNode1D::NodeType), 3u);
    EXPECT_EQ(unsigned(FloatNode::NodeType), 4u);
    EXPECT_EQ(printed(Type::Output), "output");
    EXPECT_EQ(printed(Type::Sample), "sample");
    EXPECT_EQ(printed(Type::Blend), "blend");
    EXPECT_EQ(printed(Type::Weights1D), "1d blend weights");
    EXPECT_EQ(printed(Type::Float), "float");
    EXPECT_EQ(printed(Type(9)), "AnimationNodeType(9)");
}

TEST(AnimationGraph, AddsAndConnectsNodes) {
    AnimationGraph graph;
    EXPECT_EQ(graph.nodeCount(), 0u);
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
    EXPECT_EQ(graph.blendNodeCount(), 2u);
    EXPECT_EQ(graph.sampleNodeCount(), 2u);
    EXPECT_EQ(graph.floatNodeCount(), 2u);
    EXPECT_EQ(graph.weightNode1DCount(), 1u);
    EXPECT_EQ(graph.paramaterDataSize(), 8u);
    EXPECT_EQ(graph.referenceAnimation(), 5u);

    /* Fresh nodes are unconnected */
    EXPECT_EQ(graph.outputNode(0).input, NodeInput{});
    EXPECT_TRUE(graph.blendNode(0).inputs.empty());
    EXPECT_EQ(graph.blendNode(0).threshold, 0.1f);
    EXPECT_TRUE(graph.blendNode(0).sync);
    EXPECT_EQ(graph.floatNode(0).value, 0.0f);
    EXPECT_EQ(graph.floatNode(0).parameterName(), "");
    EXPECT_EQ(graph.floatNode(1).value, 0.25f);
    EXPECT_EQ(graph.floatNode(1).parameterName(), "speed");
    EXPECT_EQ(graph.weights1DNode(0).input, 0.0f);
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
    EXPECT_EQ(graph.sampleNode(1).speed, -1.0f);
    EXPECT_EQ(graph.referenceAnimation(), 15u);

    /* Graphs move with their nodes */
    const AnimationGraph moved = std::move(graph);
    EXPECT_EQ(moved.nodeCount(), 8u);
    EXPECT_EQ(moved.blendNode(0).weights.size(), 2u);
}

TEST(AnimationGraph, ParameterNamesHaveALimit) {
    const std::string longest(62, 'p');
    AnimationGraph graph;
    graph.addFloatNode(1.0f, longest);
    EXPECT_EQ(graph.floatNode(0).parameterName(), longest);
    EXPECT_EQ(FloatNode(2.0f, "x").parameterName(), "x");
    EXPECT_EQ(ParameterNode<float>(3.0f).value, 3.0f);
    ZE_EXPECT_ABORT(graph.addFloatNode(1.0f, longest + "p"),
                    "Parameter name cannot be longer than 64 characters");
    ZE_EXPECT_ABORT(FloatNode(1.0f, longest + "p"),
                    "Parameter name cannot be longer than 64 characters");
}

TEST(AnimationGraph, ConnectionsAreCheckedOnTheSourceSide) {
    AnimationGraph graph;
    graph.addOutputNode();
    graph.addBlendNode();
    graph.addBlendNode();
    graph.connectBlendNodeInput(1, Type::Sample, 1, 1.0f);
    graph.addFloatNode();
    graph.add1DWeightsNode(3);

    ZE_EXPECT_ABORT(graph.connectOutputNode(0, Type::Sample, 1), "Output node index out of range");
    ZE_EXPECT_ABORT(graph.connectOutputNode(2, Type::Sample, 1), "Output node index out of range");

    ZE_EXPECT_ABORT(graph.connectBlendNodeInput(0, Type::Sample, 1, 1.0f),
                    "Blend node index out of range");
    ZE_EXPECT_ABORT(graph.connectBlendNodeInput(3, 0, Type::Sample, 1, 1.0f),
                    "Blend node index out of range");
    ZE_EXPECT_ABORT(graph.connectBlendNodeInput(1, 1, Type::Sample, 1, 1.0f),
                    "Blend node input index out of range");
    ZE_EXPECT_ABORT(graph.connectBlendNodeInput(2, 0, Type::Sample, 1, 1.0f),
                    "Blend node input index out of range");

    ZE_EXPECT_ABORT(graph.connectFloatNode(0, Type::Blend, 1, 0), "Float node index out of range");
    ZE_EXPECT_ABORT(graph.connectFloatNode(2, Type::Float, 1, 0), "Float node index out of range");
    ZE_EXPECT_ABORT(graph.connectFloatNode(1, Type::Float, 1, 0),
                    "Float node cannot be connected to another float node");
    ZE_EXPECT_ABORT(graph.connectFloatNode(1, Type::Output, 1, 0),
                    "Float node can only be connected to a blend node or an arithmetic node");
    ZE_EXPECT_ABORT(graph.connectFloatNode(1, Type::Sample, 1, 0),
                    "Float node can only be connected to a blend node or an arithmetic node");

    ZE_EXPECT_ABORT(graph.connect1DWeightsNode(0, 0, Type::Blend, 1, 0),
                    "1D Weights node index out of range");
    ZE_EXPECT_ABORT(graph.connect1DWeightsNode(2, 0, Type::Blend, 1, 0),
                    "1D Weights node index out of range");
    ZE_EXPECT_ABORT(graph.connect1DWeightsNode(1, 5, Type::Float, 1, 0),
                    "1D Weights node cannot be connected to float node");
    ZE_EXPECT_ABORT(graph.connect1DWeightsNode(1, 0, Type::Sample, 1, 0),
                    "1D Weights node can only be connected to an arithmetic node or a blend node");
    ZE_EXPECT_ABORT(graph.connect1DWeightsNode(1, 3, Type::Blend, 1, 0),
                    "Output index out of range");
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

    ZE_EXPECT_ABORT(createAnimation1DBlendGraph(clips, std::span{speeds}.first(2), 0.0f),
                    "Size mismatch between animations and playback speeds");
}

} // namespace
} // namespace ZarvikEngine::Data
