#ifndef ZarvikEngine_Data_AnimationGraph_h
#define ZarvikEngine_Data_AnimationGraph_h

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Data {

class Animation;
class AnimationGraphState;

/* Kind of a graph node. The numbering is stored in animation graph records. */
enum class AnimationNodeType : std::uint16_t {
    Output = 0,
    Sample = 1,
    Blend = 2,
    Weights1D = 3,
    Float = 4,
};

/* "output", "sample", "blend", "1d blend weights" or "float"; empty for other values */
std::string_view animationNodeTypeName(AnimationNodeType value);

/* The name above, "AnimationNodeType(7)" for other values */
Debug& operator<<(Debug& debug, AnimationNodeType value);

/* The node that feeds a pose into an input. Node ids are positions among the nodes of their
   type plus one; id 0 means nothing is connected. */
struct NodeInput {
    AnimationNodeType type{};
    std::uint16_t index{};

    bool operator==(const NodeInput&) const = default;
};
static_assert(sizeof(NodeInput) == 4);

/* The node and input slot that a number is written into */
struct NodeOutput {
    AnimationNodeType type{};
    std::uint16_t index{};
    std::uint16_t input{};
    std::uint16_t padding{};

    bool operator==(const NodeOutput&) const = default;
};
static_assert(sizeof(NodeOutput) == 8);

/* Names the pose that becomes the graph's result */
struct OutputNode {
    static constexpr AnimationNodeType NodeType = AnimationNodeType::Output;

    NodeInput input;
};

/* Plays one clip */
struct SampleNode {
    static constexpr AnimationNodeType NodeType = AnimationNodeType::Sample;

    /* Index into the list of clips given to the evaluation; 0 means no clip */
    std::uint32_t animation{};
    float speed{1.0f};
};

/* Mixes the poses of its inputs by weight */
struct BlendNode {
    static constexpr AnimationNodeType NodeType = AnimationNodeType::Blend;

    BlendNode() = default;
    BlendNode(const BlendNode&) = delete;
    BlendNode(BlendNode&&) noexcept = default;
    BlendNode& operator=(const BlendNode&) = delete;
    BlendNode& operator=(BlendNode&&) noexcept = default;

    std::vector<NodeInput> inputs;
    /* One per input slot */
    std::vector<float> weights;
    /* Weight threshold of the pose blender */
    float threshold{0.1f};
    /* Synchronise the speeds of the sample nodes feeding it */
    bool sync{true};
};

/* A number that is written into another node: a constant, or a parameter that the host sets
   by name when the name isn't empty */
template<class T>
struct ParameterNode {
    /* Longest accepted name, two bytes short of the field */
    static constexpr std::size_t MaxNameLength = 62;

    ParameterNode() = default;
    explicit ParameterNode(T value) : value{value} {}
    ParameterNode(T value, std::string_view parameterName);

    /* Empty for a constant */
    std::string_view parameterName() const { return {name, strnlen(name, sizeof(name))}; }

    T value{};
    /* Zero-terminated and zero-filled */
    char name[64]{};
    NodeOutput output;
};

template<class T>
ParameterNode<T>::ParameterNode(T value, std::string_view parameterName) : value{value} {
    ZE_ASSERT(parameterName.size() <= MaxNameLength,
              "Parameter name cannot be longer than 64 characters");
    parameterName.copy(name, parameterName.size());
}

struct FloatNode : ParameterNode<float> {
    static constexpr AnimationNodeType NodeType = AnimationNodeType::Float;

    using ParameterNode::ParameterNode;
};
static_assert(sizeof(FloatNode) == 76, "float nodes are stored as they are laid out");

/* Turns one number into a tent of blend weights, one per output */
struct WeightsNode1D {
    static constexpr AnimationNodeType NodeType = AnimationNodeType::Weights1D;

    WeightsNode1D() = default;
    WeightsNode1D(const WeightsNode1D&) = delete;
    WeightsNode1D(WeightsNode1D&&) noexcept = default;
    WeightsNode1D& operator=(const WeightsNode1D&) = delete;
    WeightsNode1D& operator=(WeightsNode1D&&) noexcept = default;

    /* The blend position */
    float input{};
    std::vector<NodeOutput> outputs;
};

/* How clips are combined into one pose: sample, blend, output, float and 1D weights nodes and
   their connections. Pure data, shared by every component that uses it. Connections are
   checked on the source side only: a connection may name a node added later, so that ids
   naming existing nodes of their type is for the builder of the graph to ensure. Move-only. */
class AnimationGraph {
public:
    AnimationGraph() = default;
    AnimationGraph(const AnimationGraph&) = delete;
    AnimationGraph(AnimationGraph&&) noexcept = default;
    AnimationGraph& operator=(const AnimationGraph&) = delete;
    AnimationGraph& operator=(AnimationGraph&&) noexcept = default;

    /* Each returns the new node's id, the new count of nodes of that type */

    /* Unconnected */
    std::uint16_t addOutputNode();
    std::uint16_t addSampleNode(std::uint16_t animation, float speed);
    /* Without inputs */
    std::uint16_t addBlendNode();
    /* A constant 0, unconnected */
    std::uint16_t addFloatNode();
    /* A parameter when the name isn't empty; names of 63 characters or more abort */
    std::uint16_t addFloatNode(float value, std::string_view name);
    /* Input 0 and count unconnected outputs */
    std::uint16_t add1DWeightsNode(unsigned count);

    /* Node ids are 1-based */

    void connectOutputNode(std::uint16_t output, AnimationNodeType type, std::uint16_t index);
    /* Sets an existing input slot */
    void connectBlendNodeInput(std::uint16_t blend, std::uint16_t slot, AnimationNodeType type,
                               std::uint16_t index, float weight);
    /* Appends an input slot */
    void connectBlendNodeInput(std::uint16_t blend, AnimationNodeType type, std::uint16_t index,
                               float weight);
    /* Into a blend node's weight or a 1D weights node's input */
    void connectFloatNode(std::uint16_t floatNode, AnimationNodeType type, std::uint16_t index,
                          std::uint16_t input);
    void connect1DWeightsNode(std::uint16_t weights, std::uint16_t slot, AnimationNodeType type,
                              std::uint16_t index, std::uint16_t input);

    /* Nodes by zero-based position */

    const OutputNode& outputNode(std::size_t i) const { return _outputNodes[i]; }
    const SampleNode& sampleNode(std::size_t i) const { return _sampleNodes[i]; }
    BlendNode& blendNode(std::size_t i) { return _blendNodes[i]; }
    const BlendNode& blendNode(std::size_t i) const { return _blendNodes[i]; }
    FloatNode& floatNode(std::size_t i) { return _floatNodes[i]; }
    const FloatNode& floatNode(std::size_t i) const { return _floatNodes[i]; }
    WeightsNode1D& weights1DNode(std::size_t i) { return _weightsNodes[i]; }
    const WeightsNode1D& weights1DNode(std::size_t i) const { return _weightsNodes[i]; }

    std::size_t outputNodeCount() const { return _outputNodes.size(); }
    std::size_t blendNodeCount() const { return _blendNodes.size(); }
    std::size_t sampleNodeCount() const { return _sampleNodes.size(); }
    std::size_t floatNodeCount() const { return _floatNodes.size(); }
    std::size_t weightNode1DCount() const { return _weightsNodes.size(); }
    /* All five kinds */
    std::size_t nodeCount() const;
    /* Output, blend and sample nodes */
    std::size_t nonArithmeticNodeCount() const;

    /* What an evaluation relies on: every connection names an existing node that can take
       it (poses from sample and blend nodes, numbers into an existing blend weight or 1D
       weights input), blend nodes and 1D weights nodes don't feed each other in a cycle,
       every blend node has one weight per input, and every sample node's clip is 0 (none)
       or below clipCount. The first problem, or nothing. */
    std::optional<std::string> validate(std::size_t clipCount) const;

    /* Evaluation into a state (see AnimationGraphState). Both passes write float node
       values, blend weights and 1D weights inputs into the graph, so a graph shared by
       several components is evaluated for one at a time, the arithmetic pass directly
       followed by the pose pass. */

    /* Binds the state's players to the clips and gives it one parameter per float node;
       aborts for a graph that validate() rejects. Called by AnimationGraphState::setup(). */
    void setup(AnimationGraphState& state, std::span<const Animation> clips) const;
    /* Carries float nodes, with the state's parameter values, through 1D weights nodes into
       blend weights. Nothing in it can fail but the assertions on misused graphs, so it
       returns true. */
    bool updateArithmetic(AnimationGraphState& state);
    /* Samples the clips that the outputs need (those that moved) and blends them into the
       state's final pose, root motion and triggered events. False, after printing why, when
       a sample node's clip isn't in the list. */
    bool update(AnimationGraphState& state, std::span<const Animation> clips);

    /* Bytes of the parameter buffer of a graph state: one float per float node */
    std::size_t paramaterDataSize() const { return 4 * _floatNodes.size(); }
    /* The first sample node's clip, 0 without sample nodes */
    std::uint32_t referenceAnimation() const;
    /* For graphs from several files that share one list of clips */
    void offsetAnimIds(std::uint16_t offset);

private:
    /* Aborts unless the state was set up for this graph */
    void checkState(const AnimationGraphState& state, const char* function) const;
    /* Float and 1D weights nodes: write their numbers into their targets */
    void evaluateNumber(const AnimationGraphState& state, AnimationNodeType type,
                        std::size_t position);
    void evaluateOutput(AnimationGraphState& state, std::size_t position) const;
    bool evaluateSample(AnimationGraphState& state, std::span<const Animation> clips,
                        std::size_t position) const;
    void evaluateBlend(AnimationGraphState& state, std::size_t position) const;
    static void extractRootMotion(AnimationGraphState& state, const Animation& clip,
                                  unsigned position);
    static void collectEvents(AnimationGraphState& state, const Animation& clip, unsigned position);

    std::vector<OutputNode> _outputNodes;
    std::vector<BlendNode> _blendNodes;
    std::vector<SampleNode> _sampleNodes;
    std::vector<FloatNode> _floatNodes;
    std::vector<WeightsNode1D> _weightsNodes;
};

/* One sample node playing the clip at speed 1, connected to one output node */
AnimationGraph createSimpleAnimationGraph(std::uint16_t animation);

/* A blend of the clips, each at its speed, whose weights come from a 1D weights node driven
   by a float parameter "blendFactor" */
AnimationGraph createAnimation1DBlendGraph(std::span<const std::uint16_t> animations,
                                           std::span<const float> speeds, float blendFactor);

} // namespace ZarvikEngine::Data

#endif
