#include "ZarvikEngine/Data/AnimationGraphConnections.h"

#include <utility>

#include <fmt/format.h>

namespace ZarvikEngine::Data::Implementation {

namespace {

/* Whether following the edges (zero-based targets of each node) never leads back to a node:
   what stays after repeatedly removing nodes that nothing points to is a cycle */
bool isAcyclic(const std::vector<std::vector<std::uint16_t>>& edges) {
    std::vector<std::uint32_t> incoming(edges.size());
    for (const std::vector<std::uint16_t>& targets : edges)
        for (std::uint16_t target : targets)
            ++incoming[target];
    std::vector<std::size_t> free;
    for (std::size_t i = 0; i != edges.size(); ++i)
        if (!incoming[i])
            free.push_back(i);
    std::size_t removed = 0;
    while (!free.empty()) {
        const std::size_t node = free.back();
        free.pop_back();
        ++removed;
        for (std::uint16_t target : edges[node])
            if (!--incoming[target])
                free.push_back(target);
    }
    return removed == edges.size();
}

} // namespace

std::string describeNode(AnimationNodeType type, std::size_t id) {
    const std::string_view name = animationNodeTypeName(type);
    return name.empty() ? fmt::format("node {} of type {}", id, std::uint16_t(type))
                        : fmt::format("{} node {}", name, id);
}

ConnectionChecker::ConnectionChecker(const std::array<std::size_t, NodeKindCount>& counts,
                                     std::vector<std::uint16_t> blendInputCounts)
    : _counts{counts}, _blendInputCounts{std::move(blendInputCounts)},
      _blendEdges(counts[std::size_t(AnimationNodeType::Blend)]),
      _weightsEdges(counts[std::size_t(AnimationNodeType::Weights1D)]) {}

std::optional<std::string> ConnectionChecker::poseSource(AnimationNodeType kind, std::size_t id,
                                                         const NodeInput& input) {
    if (!input.index)
        return {};
    if (input.type != AnimationNodeType::Sample && input.type != AnimationNodeType::Blend)
        return fmt::format("{} can't take a pose from {}", describeNode(kind, id),
                           describeNode(input.type, input.index));
    if (auto missing = missingNode(kind, id, input.type, input.index))
        return missing;
    if (kind == AnimationNodeType::Blend && input.type == AnimationNodeType::Blend)
        _blendEdges[id - 1].push_back(input.index - 1);
    return {};
}

std::optional<std::string> ConnectionChecker::numberTarget(AnimationNodeType kind, std::size_t id,
                                                           const NodeOutput& output) {
    if (!output.index)
        return {};
    if (output.type != AnimationNodeType::Blend && output.type != AnimationNodeType::Weights1D)
        return fmt::format("{} can't write into {}", describeNode(kind, id),
                           describeNode(output.type, output.index));
    if (auto missing = missingNode(kind, id, output.type, output.index))
        return missing;
    const std::size_t inputs =
        output.type == AnimationNodeType::Blend ? _blendInputCounts[output.index - 1] : 1;
    if (output.input >= inputs)
        return fmt::format("{} writes into input {} of {}, which has {}", describeNode(kind, id),
                           output.input, describeNode(output.type, output.index), inputs);
    if (kind == AnimationNodeType::Weights1D && output.type == AnimationNodeType::Weights1D)
        _weightsEdges[id - 1].push_back(output.index - 1);
    return {};
}

std::optional<std::string> ConnectionChecker::cycles() const {
    if (!isAcyclic(_blendEdges))
        return "blend nodes take poses from each other in a cycle";
    if (!isAcyclic(_weightsEdges))
        return "1d blend weights nodes write into each other in a cycle";
    return {};
}

std::optional<std::string> ConnectionChecker::missingNode(AnimationNodeType kind, std::size_t id,
                                                          AnimationNodeType type,
                                                          std::uint16_t index) const {
    const std::size_t count = _counts[std::size_t(type)];
    if (index <= count)
        return {};
    return fmt::format("{} names {}, but there are {}", describeNode(kind, id),
                       describeNode(type, index), count);
}

} // namespace ZarvikEngine::Data::Implementation
