#ifndef ZarvikEngine_Data_AnimationGraphState_h
#define ZarvikEngine_Data_AnimationGraphState_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Data/AnimationGraph.h"
#include "ZarvikEngine/Data/OzzPlayer.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Skeletal/BlendingJob.h"
#include "ZarvikEngine/Skeletal/SoaTransform.h"

namespace ZarvikEngine::Data {

/* The run-time state of one animation graph for one animated component: a clock and a
   sampled pose per sample node, a blended pose per blend node, the graph's parameters, the
   events and per-track dirty flags of the latest evaluation, and the root motion taken from
   the clips. AnimationGraph::setup(), updateArithmetic() and update() evaluate the graph into
   it; the animation controller drives them.

   Poses hold four tracks per element: track t is in element t / 4, lane t % 4, so a pose of
   n tracks has ⌈n / 4⌉ elements. Parameter names are views of the graph's float node names
   and event names views of the clips' names: graph and clips outlive the state.

   Choices of this implementation:
   - A graph is checked with AnimationGraph::validate() when the state is set up; one whose
     connections name missing nodes, loop, or play a clip the list doesn't have aborts there.
   - An output connected to a blend node reports the events of the sample nodes that the
     blend evaluated (inputs of positive weight, through nested blends), in input order,
     each sample node once.
   - When a clip loops, both the translation and the rotation history of its root motion are
     forgotten, so the looping update adds no root motion instead of a jump back to the
     clip's start.
   - Everything an update needs is allocated at setup: evaluating a graph again allocates
     nothing unless it reports more events than its clips have, twice over. */
class AnimationGraphState {
public:
    enum class State : std::uint8_t { Playing = 0, Paused = 1, Stopped = 2 };

    /* A float parameter: its float node's name and where its value is in the parameter
       data. Type 0, float, is the only one. */
    struct Parameter {
        std::string_view name;
        std::uint8_t type{};
        std::uint32_t offset{};
    };

    /* Empty, play count 1, identity final root motion */
    AnimationGraphState();
    AnimationGraphState(AnimationGraphState&&) noexcept;
    AnimationGraphState& operator=(AnimationGraphState&&) noexcept;
    AnimationGraphState(const AnimationGraphState&) = delete;
    AnimationGraphState& operator=(const AnimationGraphState&) = delete;
    ~AnimationGraphState();

    /* Sizes everything for the graph and trackCount tracks, then AnimationGraph::setup().
       Players survive a repeated setup; poses start as identities, the final pose and the
       triggered events empty. */
    void setup(const AnimationGraph& graph, unsigned trackCount, std::span<const Animation> clips);

    /* Forwarded to every player in order */
    void play(float time);
    void pause(float time);
    void resume(float time);
    void stop();
    /* Stored and given to every player */
    void setPlayCount(unsigned count);
    unsigned playCount() const { return _playCount; }

    /* Stopped without players; Playing if any player plays, else Paused if any is paused */
    State state() const;
    bool isPlaying() const;
    /* Largest absolute iteration of the players, 0 without players */
    std::int32_t iteration() const;
    /* Largest duration of the players, 0 without players */
    float duration() const;
    /* Average progress of the players that move: ratio forward, 1 − ratio backward; when all
       of them play backward, the average raw ratio. 0 when none moves. */
    float ratio() const;

    bool hasLooped() const { return !_samplerLooped.isClear(); }
    bool hasSamplerLooped(unsigned i) const { return _samplerLooped[i]; }
    void setSamplerLooped(unsigned i, bool value) { _samplerLooped.set(i, value); }

    bool isDirty() const;
    bool translationDirty(unsigned i) const { return _translationDirty[i]; }
    bool rotationDirty(unsigned i) const { return _rotationDirty[i]; }
    bool scaleDirty(unsigned i) const { return _scaleDirty[i]; }
    void setTranslationDirty(unsigned i) { _translationDirty.set(i); }
    void setRotationDirty(unsigned i) { _rotationDirty.set(i); }
    void setScaleDirty(unsigned i) { _scaleDirty.set(i); }
    void clearDirty();

    void addSampledEvent(unsigned sampler, std::string_view name) {
        _sampledEvents[sampler].push_back(name);
    }
    std::span<const std::string_view> sampledEvents(unsigned sampler) const {
        return _sampledEvents[sampler];
    }
    std::span<const std::string_view> triggeredEvents() const { return _triggeredEvents; }
    void setTriggeredEvents(std::span<const std::string_view> events) { _triggeredEvents = events; }
    /* Empties every sampler's events and the triggered ones, clears every sampler-looped bit */
    void clearEvents();

    std::vector<Skeletal::SoaTransform>& sampledPose(unsigned i) { return _sampledPoses[i]; }
    std::vector<Skeletal::SoaTransform>& blendedPose(unsigned i) { return _blendedPoses[i]; }
    std::vector<Skeletal::SoaTransform>& defaultPose() { return _defaultPose; }
    /* Empty until an output was evaluated */
    std::span<const Skeletal::SoaTransform> finalPose() const { return _finalPose; }
    void setFinalPose(std::span<const Skeletal::SoaTransform> pose) { _finalPose = pose; }

    DualQuaternion& rootMotion(unsigned i) { return _rootMotions[i]; }
    DualQuaternion& blendedRootMotion(unsigned i) { return _blendedRootMotions[i]; }
    DualQuaternion& finalRootMotion() { return _finalRootMotion; }
    const DualQuaternion& finalRootMotion() const { return _finalRootMotion; }
    std::optional<Vector3>& lastRootTranslation(unsigned i) { return _lastRootTranslations[i]; }
    std::optional<Quaternion>& lastRootRotation(unsigned i) { return _lastRootRotations[i]; }

    OzzPlayer& player(unsigned i) { return _players[i]; }
    const OzzPlayer& player(unsigned i) const { return _players[i]; }
    std::span<OzzPlayer> players() { return _players; }
    std::span<const OzzPlayer> players() const { return _players; }

    std::span<const Parameter> parameters() const { return _parameters; }
    /* The first parameter with that name */
    std::optional<unsigned> getParameterIndex(std::string_view name) const;
    /* Copy the 4-byte value out or in. Indices must be below the parameter count, names must
       exist. */
    void getParameterValue(unsigned index, void* out) const;
    void getParameterValue(std::string_view name, void* out) const;
    void setParameterValue(unsigned index, const void* in);
    void setParameterValue(std::string_view name, const void* in);

private:
    friend class AnimationGraph;

    /* A node to evaluate: its kind and zero-based position */
    struct Evaluation {
        AnimationNodeType type;
        std::uint16_t position;
    };

    unsigned parameterIndex(std::string_view name) const;

    std::vector<std::vector<Skeletal::SoaTransform>> _sampledPoses;
    std::vector<std::optional<Vector3>> _lastRootTranslations;
    std::vector<std::optional<Quaternion>> _lastRootRotations;
    std::vector<DualQuaternion> _rootMotions;
    std::vector<DualQuaternion> _blendedRootMotions;
    DualQuaternion _finalRootMotion;
    std::vector<std::vector<Skeletal::SoaTransform>> _blendedPoses;
    std::span<const Skeletal::SoaTransform> _finalPose;
    std::vector<Skeletal::SoaTransform> _defaultPose;
    std::vector<OzzPlayer> _players;
    std::vector<std::vector<std::string_view>> _sampledEvents;
    BitSet _samplerLooped;
    std::span<const std::string_view> _triggeredEvents;
    BitSet _translationDirty, _rotationDirty, _scaleDirty;
    unsigned _playCount{1};
    std::vector<Parameter> _parameters;
    std::vector<char> _parameterData;

    /* Working memory of the evaluation, kept so that updates don't allocate */
    std::vector<Evaluation> _evaluation;
    BitSet _listedWeightsNodes;
    std::vector<Skeletal::BlendingLayer> _layers;
    /* Events of an output connected to a blend node */
    std::vector<std::string_view> _outputEvents;
    BitSet _reportedSamplers;
};

} // namespace ZarvikEngine::Data

#endif
