#include "ZarvikEngine/Data/AnimationGraph.h"

#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/AnimationGraphConnections.h"

namespace ZarvikEngine::Data {

std::string_view animationNodeTypeName(AnimationNodeType value) {
    switch (value) {
    case AnimationNodeType::Output:
        return "output";
    case AnimationNodeType::Sample:
        return "sample";
    case AnimationNodeType::Blend:
        return "blend";
    case AnimationNodeType::Weights1D:
        return "1d blend weights";
    case AnimationNodeType::Float:
        return "float";
    }
    return {};
}

Debug& operator<<(Debug& debug, AnimationNodeType value) {
    const std::string_view name = animationNodeTypeName(value);
    return name.empty() ? printEnum(debug, "AnimationNodeType", "", std::uint16_t(value))
                        : debug << name;
}

namespace {

/* Returns the id of the appended node */
template<class T>
std::uint16_t append(std::vector<T>& nodes, T&& node) {
    /* Ids are 16-bit and 0 means "not connected" */
    ZE_ASSERT(nodes.size() < 0xFFFF,
              "AnimationGraph: can't have more than 65535 nodes of type" << T::NodeType);
    nodes.push_back(std::move(node));
    return std::uint16_t(nodes.size());
}

bool isArithmeticTarget(AnimationNodeType type) {
    return type == AnimationNodeType::Blend || type == AnimationNodeType::Weights1D;
}

} // namespace

std::uint16_t AnimationGraph::addOutputNode() {
    return append(_outputNodes, OutputNode{});
}

std::uint16_t AnimationGraph::addSampleNode(std::uint16_t animation, float speed) {
    return append(_sampleNodes, SampleNode{animation, speed});
}

std::uint16_t AnimationGraph::addBlendNode() {
    return append(_blendNodes, BlendNode{});
}

std::uint16_t AnimationGraph::addFloatNode() {
    return append(_floatNodes, FloatNode{});
}

std::uint16_t AnimationGraph::addFloatNode(float value, std::string_view name) {
    return append(_floatNodes, FloatNode{value, name});
}

std::uint16_t AnimationGraph::add1DWeightsNode(unsigned count) {
    WeightsNode1D node;
    node.outputs.resize(count);
    return append(_weightsNodes, std::move(node));
}

void AnimationGraph::connectOutputNode(std::uint16_t output, AnimationNodeType type,
                                       std::uint16_t index) {
    ZE_ASSERT(output != 0 && output <= _outputNodes.size(), "Output node index out of range");
    _outputNodes[output - 1].input = {type, index};
}

void AnimationGraph::connectBlendNodeInput(std::uint16_t blend, std::uint16_t slot,
                                           AnimationNodeType type, std::uint16_t index,
                                           float weight) {
    ZE_ASSERT(blend != 0 && blend <= _blendNodes.size(), "Blend node index out of range");
    BlendNode& node = _blendNodes[blend - 1];
    ZE_ASSERT(slot < node.inputs.size(), "Blend node input index out of range");
    node.inputs[slot] = {type, index};
    node.weights[slot] = weight;
}

void AnimationGraph::connectBlendNodeInput(std::uint16_t blend, AnimationNodeType type,
                                           std::uint16_t index, float weight) {
    ZE_ASSERT(blend != 0 && blend <= _blendNodes.size(), "Blend node index out of range");
    BlendNode& node = _blendNodes[blend - 1];
    node.inputs.push_back({type, index});
    node.weights.push_back(weight);
}

void AnimationGraph::connectFloatNode(std::uint16_t floatNode, AnimationNodeType type,
                                      std::uint16_t index, std::uint16_t input) {
    ZE_ASSERT(floatNode != 0 && floatNode <= _floatNodes.size(), "Float node index out of range");
    ZE_ASSERT(type != AnimationNodeType::Float,
              "Float node cannot be connected to another float node");
    ZE_ASSERT(isArithmeticTarget(type),
              "Float node can only be connected to a blend node or an arithmetic node");
    _floatNodes[floatNode - 1].output = {type, index, input};
}

void AnimationGraph::connect1DWeightsNode(std::uint16_t weights, std::uint16_t slot,
                                          AnimationNodeType type, std::uint16_t index,
                                          std::uint16_t input) {
    ZE_ASSERT(weights != 0 && weights <= _weightsNodes.size(),
              "1D Weights node index out of range");
    ZE_ASSERT(type != AnimationNodeType::Float,
              "1D Weights node cannot be connected to float node");
    ZE_ASSERT(isArithmeticTarget(type),
              "1D Weights node can only be connected to an arithmetic node or a blend node");
    WeightsNode1D& node = _weightsNodes[weights - 1];
    ZE_ASSERT(slot < node.outputs.size(), "Output index out of range");
    node.outputs[slot] = {type, index, input};
}

std::size_t AnimationGraph::nodeCount() const {
    return nonArithmeticNodeCount() + _floatNodes.size() + _weightsNodes.size();
}

std::size_t AnimationGraph::nonArithmeticNodeCount() const {
    return _outputNodes.size() + _blendNodes.size() + _sampleNodes.size();
}

std::optional<std::string> AnimationGraph::validate(std::size_t clipCount) const {
    using Implementation::describeNode;
    std::vector<std::uint16_t> blendInputCounts;
    for (std::size_t i = 0; i != _blendNodes.size(); ++i) {
        const BlendNode& node = _blendNodes[i];
        if (node.weights.size() != node.inputs.size())
            return fmt::format("{} has {} inputs but {} weights",
                               describeNode(AnimationNodeType::Blend, i + 1), node.inputs.size(),
                               node.weights.size());
        blendInputCounts.push_back(std::uint16_t(node.inputs.size()));
    }
    Implementation::ConnectionChecker check{{_outputNodes.size(), _sampleNodes.size(),
                                             _blendNodes.size(), _weightsNodes.size(),
                                             _floatNodes.size()},
                                            std::move(blendInputCounts)};
    std::optional<std::string> problem;
    for (std::size_t i = 0; i != _outputNodes.size() && !problem; ++i)
        problem = check.poseSource(AnimationNodeType::Output, i + 1, _outputNodes[i].input);
    for (std::size_t i = 0; i != _blendNodes.size(); ++i)
        for (std::size_t j = 0; j != _blendNodes[i].inputs.size() && !problem; ++j)
            problem = check.poseSource(AnimationNodeType::Blend, i + 1, _blendNodes[i].inputs[j]);
    for (std::size_t i = 0; i != _floatNodes.size() && !problem; ++i)
        problem = check.numberTarget(AnimationNodeType::Float, i + 1, _floatNodes[i].output);
    for (std::size_t i = 0; i != _weightsNodes.size(); ++i)
        for (std::size_t j = 0; j != _weightsNodes[i].outputs.size() && !problem; ++j)
            problem = check.numberTarget(AnimationNodeType::Weights1D, i + 1,
                                         _weightsNodes[i].outputs[j]);
    for (std::size_t i = 0; i != _sampleNodes.size() && !problem; ++i)
        if (_sampleNodes[i].animation != 0 && _sampleNodes[i].animation >= clipCount)
            problem = fmt::format("{} plays clip {}, but there are {}",
                                  describeNode(AnimationNodeType::Sample, i + 1),
                                  _sampleNodes[i].animation, clipCount);
    return problem ? problem : check.cycles();
}

std::uint32_t AnimationGraph::referenceAnimation() const {
    return _sampleNodes.empty() ? 0 : _sampleNodes.front().animation;
}

void AnimationGraph::offsetAnimIds(std::uint16_t offset) {
    for (SampleNode& node : _sampleNodes)
        node.animation += offset;
}

AnimationGraph createSimpleAnimationGraph(std::uint16_t animation) {
    AnimationGraph graph;
    const std::uint16_t sample = graph.addSampleNode(animation, 1.0f);
    graph.connectOutputNode(graph.addOutputNode(), AnimationNodeType::Sample, sample);
    return graph;
}

AnimationGraph createAnimation1DBlendGraph(std::span<const std::uint16_t> animations,
                                           std::span<const float> speeds, float blendFactor) {
    ZE_ASSERT(animations.size() == speeds.size(),
              "Size mismatch between animations and playback speeds");
    AnimationGraph graph;
    const std::uint16_t blend = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), AnimationNodeType::Blend, blend);
    for (std::size_t i = 0; i != animations.size(); ++i)
        graph.connectBlendNodeInput(blend, AnimationNodeType::Sample,
                                    graph.addSampleNode(animations[i], speeds[i]), 0.0f);

    const std::uint16_t factor = graph.addFloatNode(blendFactor, "blendFactor");
    const std::uint16_t weights = graph.add1DWeightsNode(unsigned(animations.size()));
    graph.connectFloatNode(factor, AnimationNodeType::Weights1D, weights, 0);
    for (std::size_t i = 0; i != animations.size(); ++i)
        graph.connect1DWeightsNode(weights, std::uint16_t(i), AnimationNodeType::Blend, blend,
                                   std::uint16_t(i));
    return graph;
}

} // namespace ZarvikEngine::Data
