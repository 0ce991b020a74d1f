#include "ZarvikEngine/Data/AnimationGraphRecords.h"

#include <array>
#include <cstring>
#include <string_view>

#include <fmt/format.h>

#include "ZarvikEngine/Data/AnimationGraphConnections.h"
#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {

namespace {

using NodeHeader = AnimationGraphData::NodeHeader;

/* Header fields of a node kind, from the count that varies: inputs of a blend node, outputs
   of a 1D weights node. The size is wider than the field so that overflows show. */
struct Layout {
    std::uint16_t inputCount;
    std::uint16_t outputCount;
    std::size_t dataSize;
};

Layout layoutOf(AnimationNodeType type, std::uint16_t count) {
    switch (type) {
    case AnimationNodeType::Output:
        return {1, 0, sizeof(NodeInput)};
    case AnimationNodeType::Sample:
        /* Clip index, speed */
        return {0, 1, 8};
    case AnimationNodeType::Blend:
        /* Inputs, weights, threshold, sync flag with padding */
        return {count, 1, (2 * std::size_t(count) + 2) * 4};
    case AnimationNodeType::Float:
        return {0, 1, sizeof(FloatNode)};
    case AnimationNodeType::Weights1D:
        /* Input value, outputs */
        return {1, count, 4 + sizeof(NodeOutput) * count};
    }
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

/* Sequential reading of trusted bytes */
class Reader {
public:
    explicit Reader(const char* data) : _data{data} {}

    template<class T>
    T take() {
        const T value = Validation::read<T>(_data);
        _data += sizeof(T);
        return value;
    }

    template<class T>
    void take(std::vector<T>& values) {
        /* memcpy() doesn't take the null pointer of an empty vector */
        if (values.empty())
            return;
        std::memcpy(values.data(), _data, sizeof(T) * values.size());
        _data += sizeof(T) * values.size();
    }

private:
    const char* _data;
};

/* Node headers and node data, collected separately and joined at the end */
class Writer {
public:
    void header(AnimationNodeType type, std::size_t i, std::size_t count) {
        const Layout layout = layoutOf(type, std::uint16_t(count));
        ZE_ASSERT(count <= 0xFFFF && layout.dataSize <= 0xFFFF,
                  "createAnimationGraphData():" << type << "node" << i << "with" << count
                                                << "connections doesn't fit a record");
        _headers.push_back(
            {type, layout.inputCount, layout.outputCount, std::uint16_t(layout.dataSize)});
    }

    template<class T>
    void put(std::span<const T> values) {
        const auto* bytes = reinterpret_cast<const char*>(values.data());
        _data.insert(_data.end(), bytes, bytes + values.size_bytes());
    }

    template<class T>
    void put(const T& value) {
        put(std::span<const T>{&value, 1});
    }

    void pad(std::size_t bytes) { _data.insert(_data.end(), bytes, 0); }

    std::vector<char> payload() const {
        std::vector<char> payload;
        const AnimationGraphData::Header header{std::uint32_t(_headers.size())};
        payload.reserve(sizeof(header) + sizeof(NodeHeader) * _headers.size() + _data.size());
        const auto append = [&payload](const void* data, std::size_t size) {
            const auto* bytes = static_cast<const char*>(data);
            payload.insert(payload.end(), bytes, bytes + size);
        };
        append(&header, sizeof(header));
        append(_headers.data(), sizeof(NodeHeader) * _headers.size());
        append(_data.data(), _data.size());
        return payload;
    }

private:
    std::vector<NodeHeader> _headers;
    std::vector<char> _data;
};

} // namespace

std::optional<std::string> AnimationGraphData::validate(std::span<const char> payload) {
    if (payload.size() < sizeof(Header))
        return fmt::format("{} bytes are too short for the node count", payload.size());
    const auto nodeCount = Validation::read<std::uint32_t>(payload.data());
    const std::size_t headersEnd = sizeof(Header) + sizeof(NodeHeader) * std::size_t(nodeCount);
    if (headersEnd > payload.size())
        return fmt::format("{} node headers don't fit into {} bytes", nodeCount, payload.size());

    std::array<std::size_t, Implementation::NodeKindCount> counts{};
    std::vector<std::uint16_t> blendInputCounts;
    std::size_t dataEnd = headersEnd;
    for (std::size_t i = 0; i != nodeCount; ++i) {
        const auto header =
            Validation::read<NodeHeader>(payload.data() + sizeof(Header) + sizeof(NodeHeader) * i);
        const auto kind = std::size_t(header.type);
        if (kind >= Implementation::NodeKindCount)
            return fmt::format("node {} has the unknown type {}", i, kind);
        const Layout layout =
            layoutOf(header.type, header.type == AnimationNodeType::Blend ? header.inputCount
                                                                          : header.outputCount);
        if (header.inputCount != layout.inputCount || header.outputCount != layout.outputCount ||
            header.dataSize != layout.dataSize)
            return fmt::format(
                "node {} has the header ({}, {}, {}, {}), which doesn't describe a {} node", i,
                kind, header.inputCount, header.outputCount, header.dataSize,
                animationNodeTypeName(header.type));
        if (++counts[kind] > 0xFFFF)
            return fmt::format("more than 65535 {} nodes", animationNodeTypeName(header.type));
        if (header.type == AnimationNodeType::Blend)
            blendInputCounts.push_back(header.inputCount);
        dataEnd += header.dataSize;
    }
    if (dataEnd != payload.size())
        return fmt::format("node data of {} bytes, but {} bytes follow the headers",
                           dataEnd - headersEnd, payload.size() - headersEnd);

    Implementation::ConnectionChecker check{counts, std::move(blendInputCounts)};
    std::array<std::size_t, Implementation::NodeKindCount> ids{};
    const char* data = payload.data() + headersEnd;
    for (std::size_t i = 0; i != nodeCount; ++i) {
        const auto header =
            Validation::read<NodeHeader>(payload.data() + sizeof(Header) + sizeof(NodeHeader) * i);
        const std::size_t id = ++ids[std::size_t(header.type)];
        std::optional<std::string> error;
        switch (header.type) {
        case AnimationNodeType::Output:
            error = check.poseSource(header.type, id, Validation::read<NodeInput>(data));
            break;
        case AnimationNodeType::Sample:
            break;
        case AnimationNodeType::Blend:
            for (std::size_t j = 0; j != header.inputCount && !error; ++j)
                error = check.poseSource(header.type, id,
                                         Validation::read<NodeInput>(data + sizeof(NodeInput) * j));
            break;
        case AnimationNodeType::Float: {
            const auto node = Validation::read<FloatNode>(data);
            if (strnlen(node.name, sizeof(node.name)) > FloatNode::MaxNameLength)
                error = fmt::format("float node {} has a parameter name longer than {} characters",
                                    id, FloatNode::MaxNameLength);
            else if (auto fill =
                         Validation::checkFixedText(node.name, sizeof(node.name), "parameter name"))
                error = fmt::format("float node {}: {}", id, *fill);
            else
                error = check.numberTarget(header.type, id, node.output);
            break;
        }
        case AnimationNodeType::Weights1D:
            for (std::size_t j = 0; j != header.outputCount && !error; ++j)
                error = check.numberTarget(
                    header.type, id,
                    Validation::read<NodeOutput>(data + 4 + sizeof(NodeOutput) * j));
            break;
        }
        if (error)
            return error;
        data += header.dataSize;
    }
    return check.cycles();
}

AnimationGraph AnimationGraphData::graph() const {
    AnimationGraph graph;
    const char* data = nodeDatas().data();
    for (const NodeHeader& header : nodeHeaders()) {
        Reader reader{data};
        data += header.dataSize;
        switch (header.type) {
        case AnimationNodeType::Output: {
            const std::uint16_t id = graph.addOutputNode();
            const auto input = reader.take<NodeInput>();
            if (input.index)
                graph.connectOutputNode(id, input.type, input.index);
            break;
        }
        case AnimationNodeType::Sample: {
            const auto animation = std::uint16_t(reader.take<std::uint32_t>());
            graph.addSampleNode(animation, reader.take<float>());
            break;
        }
        case AnimationNodeType::Blend: {
            BlendNode& node = graph.blendNode(graph.addBlendNode() - 1);
            node.inputs.resize(header.inputCount);
            node.weights.resize(header.inputCount);
            reader.take(node.inputs);
            reader.take(node.weights);
            node.threshold = reader.take<float>();
            node.sync = reader.take<std::uint8_t>() != 0;
            break;
        }
        case AnimationNodeType::Weights1D: {
            WeightsNode1D& node =
                graph.weights1DNode(graph.add1DWeightsNode(header.outputCount) - 1);
            node.input = reader.take<float>();
            reader.take(node.outputs);
            break;
        }
        case AnimationNodeType::Float: {
            const auto stored = reader.take<FloatNode>();
            const std::uint16_t id = graph.addFloatNode(stored.value, stored.parameterName());
            if (stored.output.index)
                graph.connectFloatNode(id, stored.output.type, stored.output.index,
                                       stored.output.input);
            break;
        }
        }
    }
    return graph;
}

std::vector<char> createAnimationGraphData(const AnimationGraph& graph) {
    /* Grouped by kind, so that reading assigns every node its old id */
    Writer writer;
    for (std::size_t i = 0; i != graph.sampleNodeCount(); ++i) {
        const SampleNode& node = graph.sampleNode(i);
        writer.header(AnimationNodeType::Sample, i, 0);
        writer.put(node.animation);
        writer.put(node.speed);
    }
    for (std::size_t i = 0; i != graph.blendNodeCount(); ++i) {
        const BlendNode& node = graph.blendNode(i);
        ZE_ASSERT(node.weights.size() == node.inputs.size(),
                  "createAnimationGraphData(): blend node" << i << "has" << node.inputs.size()
                                                           << "inputs but" << node.weights.size()
                                                           << "weights");
        writer.header(AnimationNodeType::Blend, i, node.inputs.size());
        writer.put(std::span<const NodeInput>{node.inputs});
        writer.put(std::span<const float>{node.weights});
        writer.put(node.threshold);
        writer.put(std::uint8_t(node.sync));
        writer.pad(3);
    }
    for (std::size_t i = 0; i != graph.outputNodeCount(); ++i) {
        writer.header(AnimationNodeType::Output, i, 0);
        writer.put(graph.outputNode(i).input);
    }
    for (std::size_t i = 0; i != graph.floatNodeCount(); ++i) {
        writer.header(AnimationNodeType::Float, i, 0);
        writer.put(graph.floatNode(i));
    }
    for (std::size_t i = 0; i != graph.weightNode1DCount(); ++i) {
        const WeightsNode1D& node = graph.weights1DNode(i);
        writer.header(AnimationNodeType::Weights1D, i, node.outputs.size());
        writer.put(node.input);
        writer.put(std::span<const NodeOutput>{node.outputs});
    }
    return writer.payload();
}

} // namespace ZarvikEngine::Data
