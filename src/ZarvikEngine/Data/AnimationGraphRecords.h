#ifndef ZarvikEngine_Data_AnimationGraphRecords_h
#define ZarvikEngine_Data_AnimationGraphRecords_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/AnimationGraph.h"
#include "ZarvikEngine/Data/AssetChunk.h"

namespace ZarvikEngine::Data {

/* An animation graph: the node count, one header per node, then each node's data in header
   order. Nodes are stored grouped by kind, so reading them back gives every node its id. */
class AnimationGraphData : public RecordView {
public:
    struct Header {
        std::uint32_t nodeCount;
    };
    static_assert(sizeof(Header) == 4);

    struct NodeHeader {
        AnimationNodeType type;
        std::uint16_t inputCount;
        std::uint16_t outputCount;
        /* Bytes of the node's data */
        std::uint16_t dataSize;
    };
    static_assert(sizeof(NodeHeader) == 8);

    static constexpr Magic magic = Magic::AnimationGraph;

    using RecordView::RecordView;

    /* Nothing when every reader, and graph(), can run on the payload: the sizes add up,
       each header matches its kind, parameter names are terminated, and every connection
       names an existing node of a kind it may feed from or into (with a valid slot), without
       cycles. A message saying what is wrong otherwise. */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::span<const NodeHeader> nodeHeaders() const {
        return {&at<NodeHeader>(sizeof(Header)), header().nodeCount};
    }
    /* The bytes after the node headers */
    std::span<const char> nodeDatas() const {
        return _data.subspan(sizeof(Header) + sizeof(NodeHeader) * header().nodeCount);
    }

    /* The graph, with its stored connections */
    AnimationGraph graph() const;
};

/* Blend nodes need as many weights as inputs; a node's data has to fit 16 bits of size */
std::vector<char> createAnimationGraphData(const AnimationGraph& graph);

} // namespace ZarvikEngine::Data

#endif
