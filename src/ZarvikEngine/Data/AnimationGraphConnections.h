#ifndef ZarvikEngine_Data_AnimationGraphConnections_h
#define ZarvikEngine_Data_AnimationGraphConnections_h

/* The checks of a graph's connections that its evaluation relies on, shared by the validation
   of graph records and of graphs built in code */

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/AnimationGraph.h"

namespace ZarvikEngine::Data::Implementation {

/* Node kinds, indexed by their AnimationNodeType value */
constexpr std::size_t NodeKindCount = 5;

/* For messages: "sample node 2", or "node 2 of type 9" */
std::string describeNode(AnimationNodeType type, std::size_t id);

/* Fed the connections of every node, given the node count of each kind and the input count of
   each blend node */
class ConnectionChecker {
public:
    ConnectionChecker(const std::array<std::size_t, NodeKindCount>& counts,
                      std::vector<std::uint16_t> blendInputCounts);

    /* Poses come from sample and blend nodes that exist */
    std::optional<std::string> poseSource(AnimationNodeType kind, std::size_t id,
                                          const NodeInput& input);
    /* Numbers go into an existing input of a blend node's weights or a 1D weights node */
    std::optional<std::string> numberTarget(AnimationNodeType kind, std::size_t id,
                                            const NodeOutput& output);
    /* The evaluation follows these connections from node to node, so they must not loop */
    std::optional<std::string> cycles() const;

private:
    std::optional<std::string> missingNode(AnimationNodeType kind, std::size_t id,
                                           AnimationNodeType type, std::uint16_t index) const;

    std::array<std::size_t, NodeKindCount> _counts;
    std::vector<std::uint16_t> _blendInputCounts;
    std::vector<std::vector<std::uint16_t>> _blendEdges, _weightsEdges;
};

} // namespace ZarvikEngine::Data::Implementation

#endif
