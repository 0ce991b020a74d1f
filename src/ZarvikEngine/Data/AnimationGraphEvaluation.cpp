/* Evaluation of an animation graph into an AnimationGraphState */

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Data/AnimationGraph.h"
#include "ZarvikEngine/Data/AnimationGraphState.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

namespace ZarvikEngine::Data {

namespace {

using Skeletal::SoaTransform;

/* Iterations of a clip whose events one update reports at most */
constexpr int MaxEventIterations = 100;

/* Track 0 of the first pose element, the root-motion track */
Vector3 rootTranslation(const SoaTransform& element) {
    return {element.translation.x[0], element.translation.y[0], element.translation.z[0]};
}

Quaternion rootRotation(const SoaTransform& element) {
    return quaternionFromXyzw(element.rotation.x[0], element.rotation.y[0], element.rotation.z[0],
                              element.rotation.w[0]);
}

/* Screw interpolation of root motions. sclerp() takes rotations whose half-angle cosines
   differ from 1 by less than its epsilon for equal and keeps the first, which would drop a
   turn of up to half a degree per update; those are interpolated linearly and normalised
   instead, which agrees with the screw to first order at such angles. */
DualQuaternion interpolateRootMotion(const DualQuaternion& from, const DualQuaternion& to,
                                     float t) {
    const float cosHalfAngle = glm::dot(from.real, to.real);
    if (std::abs(cosHalfAngle) < 1.0f - Epsilon<float>)
        return sclerp(from, to, t);
    /* q and −q are the same rotation */
    const Quaternion target = cosHalfAngle < 0.0f ? -to.real : to.real;
    return dualQuaternionFromRotationTranslation(
        glm::normalize(from.real * (1.0f - t) + target * t),
        translation(from) * (1.0f - t) + translation(to) * t);
}

} // namespace

void AnimationGraph::setup(AnimationGraphState& state, std::span<const Animation> clips) const {
    const std::optional<std::string> problem = validate(clips.size());
    ZE_ASSERT(!problem, "AnimationGraph::setup():" << *problem);

    for (std::size_t i = 0; i != _sampleNodes.size(); ++i) {
        const SampleNode& node = _sampleNodes[i];
        OzzPlayer& player = state._players[i];
        if (node.animation) {
            const Animation& clip = clips[node.animation];
            player.setSpeed(node.speed);
            player.samplingContext().resize(clip.trackCount());
            player.duration() = clip.duration();
        } else {
            player.duration() = 0.0f;
        }
    }

    state._parameters.resize(_floatNodes.size());
    state._parameterData.assign(4 * _floatNodes.size(), 0);
    for (std::size_t i = 0; i != _floatNodes.size(); ++i) {
        const std::uint32_t offset = std::uint32_t(4 * i);
        state._parameters[i] = {_floatNodes[i].parameterName(), 0, offset};
        std::memcpy(state._parameterData.data() + offset, &_floatNodes[i].value, sizeof(float));
    }
}

namespace {

/* Writes a number into the input a float or 1D weights node is connected to */
void writeNumber(AnimationGraph& graph, const NodeOutput& target, float value) {
    if (!target.index)
        return;
    if (target.type == AnimationNodeType::Blend) {
        BlendNode& node = graph.blendNode(target.index - 1);
        ZE_ASSERT(target.input < node.weights.size(), "Input out of range");
        node.weights[target.input] = value;
    } else if (target.type == AnimationNodeType::Weights1D) {
        ZE_ASSERT(target.input == 0, "1D Weights node only has 1 input");
        graph.weights1DNode(target.index - 1).input = value;
    }
}

} // namespace

void AnimationGraph::checkState(const AnimationGraphState& state, const char* function) const {
    ZE_ASSERT(state._players.size() == _sampleNodes.size() &&
                  state._blendedPoses.size() == _blendNodes.size() &&
                  state._parameters.size() == _floatNodes.size() &&
                  state._listedWeightsNodes.size() >= _weightsNodes.size(),
              function << "the state was set up for another graph");
}

bool AnimationGraph::updateArithmetic(AnimationGraphState& state) {
    checkState(state, "AnimationGraph::updateArithmetic():");
    std::vector<AnimationGraphState::Evaluation>& list = state._evaluation;
    list.clear();
    state._listedWeightsNodes.clear();

    /* From a node, the nodes its numbers go into, depth first: float nodes into one target,
       1D weights nodes into each connected one. Numbers into blend nodes end the walk. */
    const auto walk = [&](auto& self, const NodeOutput& output) -> void {
        if (!output.index || (output.type != AnimationNodeType::Weights1D &&
                              output.type != AnimationNodeType::Float))
            return;
        const std::uint16_t position = output.index - 1;
        list.push_back({output.type, position});
        if (output.type == AnimationNodeType::Float) {
            self(self, _floatNodes[position].output);
            return;
        }
        state._listedWeightsNodes.set(position);
        for (const NodeOutput& next : _weightsNodes[position].outputs)
            self(self, next);
    };
    for (std::size_t f = 0; f != _floatNodes.size(); ++f) {
        list.push_back({AnimationNodeType::Float, std::uint16_t(f)});
        walk(walk, _floatNodes[f].output);
    }
    for (std::size_t w = 0; w != _weightsNodes.size(); ++w) {
        if (state._listedWeightsNodes[w])
            continue;
        list.push_back({AnimationNodeType::Weights1D, std::uint16_t(w)});
        state._listedWeightsNodes.set(w);
        for (const NodeOutput& next : _weightsNodes[w].outputs)
            walk(walk, next);
    }

    for (const AnimationGraphState::Evaluation& entry : list)
        evaluateNumber(state, entry.type, entry.position);
    return true;
}

void AnimationGraph::evaluateNumber(const AnimationGraphState& state, AnimationNodeType type,
                                    std::size_t position) {
    if (type == AnimationNodeType::Float) {
        FloatNode& node = _floatNodes[position];
        /* An unconnected node doesn't even read its parameter */
        if (!node.output.index)
            return;
        if (!node.parameterName().empty())
            state.getParameterValue(node.parameterName(), &node.value);
        writeNumber(*this, node.output, node.value);
        return;
    }
    ZE_ASSERT(type == AnimationNodeType::Weights1D, "Unknown animation node type");
    const WeightsNode1D& node = _weightsNodes[position];
    const std::size_t count = node.outputs.size();
    /* A tent of width one step around each output's position; a single output has no step
       and gets 0 */
    const float step = 1.0f / float(count - 1);
    for (std::size_t j = 0; j != count; ++j) {
        const float weight = count == 1
                                 ? 0.0f
                                 : std::max(0.0f, (step - std::abs(node.input - float(j) * step)) *
                                                      float(count - 1));
        writeNumber(*this, node.outputs[j], weight);
    }
}

namespace {

/* The pose and root motion of a node that feeds a pose */
struct PoseSource {
    std::span<const SoaTransform> pose;
    const DualQuaternion* rootMotion;
};

PoseSource poseSource(AnimationGraphState& state, const NodeInput& input) {
    const unsigned position = input.index - 1;
    if (input.type == AnimationNodeType::Sample)
        return {state.sampledPose(position), &state.rootMotion(position)};
    ZE_ASSERT(input.type == AnimationNodeType::Blend,
              "Nodes with type" << input.type << "do not provide a pose");
    return {state.blendedPose(position), &state.blendedRootMotion(position)};
}

} // namespace

bool AnimationGraph::update(AnimationGraphState& state, std::span<const Animation> clips) {
    checkState(state, "AnimationGraph::update():");
    if (_sampleNodes.empty())
        return true;

    /* From each output the nodes its pose comes from, depth first; blend inputs of zero or
       negative weight aren't followed. Evaluated from last to first, every node comes after
       the nodes it reads. */
    std::vector<AnimationGraphState::Evaluation>& list = state._evaluation;
    list.clear();
    const auto walk = [&](auto& self, const NodeInput& input) -> void {
        if (!input.index)
            return;
        list.push_back({input.type, std::uint16_t(input.index - 1)});
        if (input.type != AnimationNodeType::Blend)
            return;
        const BlendNode& node = _blendNodes[input.index - 1];
        for (std::size_t j = 0; j != node.inputs.size(); ++j)
            if (node.inputs[j].index && node.weights[j] > 0.0f)
                self(self, node.inputs[j]);
    };
    for (std::size_t o = 0; o != _outputNodes.size(); ++o) {
        list.push_back({AnimationNodeType::Output, std::uint16_t(o)});
        walk(walk, _outputNodes[o].input);
    }

    for (auto entry = list.rbegin(); entry != list.rend(); ++entry) {
        switch (entry->type) {
        case AnimationNodeType::Output:
            evaluateOutput(state, entry->position);
            break;
        case AnimationNodeType::Sample:
            if (!evaluateSample(state, clips, entry->position))
                return false;
            break;
        case AnimationNodeType::Blend:
            evaluateBlend(state, entry->position);
            break;
        default:
            evaluateNumber(state, entry->type, entry->position);
        }
    }
    return true;
}

void AnimationGraph::evaluateOutput(AnimationGraphState& state, std::size_t position) const {
    const NodeInput& input = _outputNodes[position].input;
    if (!input.index)
        return;
    const PoseSource source = poseSource(state, input);
    state.setFinalPose(source.pose);
    state.finalRootMotion() = *source.rootMotion;
    if (input.type == AnimationNodeType::Sample) {
        state.setTriggeredEvents(state.sampledEvents(input.index - 1));
        return;
    }

    /* The events of the sample nodes the blend evaluated, each once */
    state._outputEvents.clear();
    state._reportedSamplers.clear();
    const auto collect = [&](auto& self, const NodeInput& from) -> void {
        if (from.type == AnimationNodeType::Sample) {
            if (state._reportedSamplers[from.index - 1])
                return;
            state._reportedSamplers.set(from.index - 1);
            const std::span<const std::string_view> events = state.sampledEvents(from.index - 1);
            state._outputEvents.insert(state._outputEvents.end(), events.begin(), events.end());
            return;
        }
        const BlendNode& node = _blendNodes[from.index - 1];
        for (std::size_t j = 0; j != node.inputs.size(); ++j)
            if (node.inputs[j].index && node.weights[j] > 0.0f)
                self(self, node.inputs[j]);
    };
    collect(collect, input);
    state.setTriggeredEvents(state._outputEvents);
}

bool AnimationGraph::evaluateSample(AnimationGraphState& state, std::span<const Animation> clips,
                                    std::size_t position) const {
    const SampleNode& node = _sampleNodes[position];
    /* Nothing to sample without a clip */
    if (!node.animation)
        return true;
    if (node.animation >= clips.size()) {
        Error{} << "AnimationGraph::update(): sample node" << position + 1 << "plays clip"
                << node.animation << "but there are" << clips.size();
        return false;
    }
    const Animation& clip = clips[node.animation];
    OzzPlayer& player = state.player(unsigned(position));
    player.duration() = clip.duration();
    player.setSpeed(node.speed);
    if (!player.isDirty())
        return true;

    Skeletal::SamplingJob job;
    job.ratio = player.ratio();
    job.animation = clip.runtimeAnimation();
    job.context = &player.samplingContext();
    job.output = state.sampledPose(unsigned(position));
    if (!job.run())
        return true;

    state._translationDirty |= clip.translationTracks();
    state._rotationDirty |= clip.rotationTracks();
    state._scaleDirty |= clip.scalingTracks();
    player.isDirty() = false;

    if (clip.trackCount() && (clip.hasTranslations(0) || clip.hasRotations(0)))
        extractRootMotion(state, clip, unsigned(position));

    /* A paused or stopped clip fires no events */
    if (player.state() != OzzPlayer::State::Playing &&
        player.lastState() != OzzPlayer::State::Playing)
        return true;
    if (player.hasLooped()) {
        state.setSamplerLooped(unsigned(position), true);
        player.hasLooped() = false;
    }
    if (clip.eventCount())
        collectEvents(state, clip, unsigned(position));
    return true;
}

void AnimationGraph::extractRootMotion(AnimationGraphState& state, const Animation& clip,
                                       unsigned position) {
    const SoaTransform& root = state.sampledPose(position).front();
    std::optional<Vector3>& lastTranslation = state.lastRootTranslation(position);
    std::optional<Quaternion>& lastRotation = state.lastRootRotation(position);
    /* A loop jumps back to the clip's start, which is no motion */
    if (state.player(position).hasLooped()) {
        lastTranslation.reset();
        lastRotation.reset();
    }

    Vector3 translationDelta{0.0f};
    if (clip.hasTranslations(0)) {
        const Vector3 translation = rootTranslation(root);
        translationDelta = translation - lastTranslation.value_or(translation);
        lastTranslation = translation;
    }
    Quaternion rotationDelta{};
    if (clip.hasRotations(0)) {
        const Quaternion rotation = rootRotation(root);
        rotationDelta = rotation * glm::inverse(lastRotation.value_or(rotation));
        lastRotation = rotation;
    }
    state.rootMotion(position) =
        dualQuaternionFromRotationTranslation(rotationDelta, translationDelta);
}

void AnimationGraph::collectEvents(AnimationGraphState& state, const Animation& clip,
                                   unsigned position) {
    const OzzPlayer& player = state.player(position);
    const float duration = player.duration();
    const float now = player.calculateTimeToUse(player.currentFrameTime());
    const float before = player.calculateTimeToUse(player.lastFrameTime());
    const float low = std::min(now, before), high = std::max(now, before);
    const std::int32_t previousIteration =
        OzzPlayer::wholeIterations(duration != 0.0f ? before / duration : 0.0f);
    const std::int32_t first = std::min(previousIteration, player.currentIteration());
    const std::int32_t last = std::max(previousIteration, player.currentIteration());
    const bool wrapped =
        player.startTime() > player.currentTimeOffset() + player.currentFrameTime();
    const unsigned playCount = state.playCount();

    int visited = 0;
    for (std::int32_t k = first; k <= last; ++k) {
        if (++visited > MaxEventIterations) {
            Error{} << "Lag spike longer than" << MaxEventIterations
                    << "*animation duration was detected!"
                    << "Events will be skipped!";
            return;
        }
        if (playCount && std::uint32_t(std::abs(k)) >= playCount)
            continue;
        const std::span<const float> keys = clip.eventKeys();
        for (std::size_t e = 0; e != keys.size(); ++e) {
            const float time = keys[e] - (wrapped ? duration : 0.0f) + float(k) * duration;
            if (low <= time && time <= high)
                state.addSampledEvent(position, clip.eventNames()[e]);
        }
    }
}

void AnimationGraph::evaluateBlend(AnimationGraphState& state, std::size_t position) const {
    const BlendNode& node = _blendNodes[position];
    DualQuaternion& rootMotion = state.blendedRootMotion(unsigned(position));
    rootMotion = DualQuaternion{};
    std::vector<Skeletal::BlendingLayer>& layers = state._layers;
    layers.clear();
    for (std::size_t j = 0; j != node.inputs.size(); ++j) {
        const float weight = node.weights[j];
        if (!node.inputs[j].index || weight == 0.0f)
            continue;
        const PoseSource source = poseSource(state, node.inputs[j]);
        layers.push_back({weight, source.pose, {}});
        /* Each input pulls the motion folded so far toward its own by its weight */
        rootMotion = interpolateRootMotion(rootMotion, *source.rootMotion, weight);
    }
    if (layers.empty())
        return;

    /* The blender's result isn't checked: a failed job leaves the previous pose */
    Skeletal::BlendingJob job;
    job.threshold = node.threshold;
    job.layers = layers;
    job.restPose = state.defaultPose();
    job.output = state.blendedPose(unsigned(position));
    job.run();
}

} // namespace ZarvikEngine::Data
