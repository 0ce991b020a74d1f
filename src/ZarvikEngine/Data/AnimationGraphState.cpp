#include "ZarvikEngine/Data/AnimationGraphState.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ZarvikEngine/Data/Animation.h"

namespace ZarvikEngine::Data {

AnimationGraphState::AnimationGraphState() = default;
AnimationGraphState::AnimationGraphState(AnimationGraphState&&) noexcept = default;
AnimationGraphState& AnimationGraphState::operator=(AnimationGraphState&&) noexcept = default;
AnimationGraphState::~AnimationGraphState() = default;

void AnimationGraphState::setup(const AnimationGraph& graph, unsigned trackCount,
                                std::span<const Animation> clips) {
    const std::size_t elements = (std::size_t(trackCount) + 3) / 4;
    const auto identityPoses = [elements](std::vector<std::vector<Skeletal::SoaTransform>>& poses,
                                          std::size_t count) {
        poses.resize(count);
        for (std::vector<Skeletal::SoaTransform>& pose : poses)
            pose.assign(elements, Skeletal::SoaTransform{});
    };
    const std::size_t samplers = graph.sampleNodeCount(), blends = graph.blendNodeCount();
    _players.resize(samplers);
    _sampledEvents.resize(samplers);
    identityPoses(_sampledPoses, samplers);
    identityPoses(_blendedPoses, blends);
    _defaultPose.assign(elements, Skeletal::SoaTransform{});
    /* The poses may have moved */
    _finalPose = {};
    _triggeredEvents = {};
    for (BitSet* dirty : {&_translationDirty, &_rotationDirty, &_scaleDirty})
        dirty->resize(trackCount);

    graph.setup(*this, clips);

    _samplerLooped.resize(samplers);
    _rootMotions.assign(samplers, DualQuaternion{});
    _lastRootTranslations.resize(samplers);
    _lastRootRotations.resize(samplers);
    _blendedRootMotions.assign(blends, DualQuaternion{});

    /* Room for what an update adds, so that updates don't allocate. A sampler reports the
       events of at most two iterations unless the clock jumps. */
    std::size_t eventCount = 0;
    for (std::size_t i = 0; i != samplers; ++i) {
        const std::size_t animation = graph.sampleNode(i).animation;
        const std::size_t events = animation ? 2 * clips[animation].eventCount() : 0;
        _sampledEvents[i].reserve(events);
        eventCount += events;
    }
    _outputEvents.reserve(eventCount);
    _reportedSamplers = BitSet{samplers};
    _listedWeightsNodes = BitSet{graph.weightNode1DCount()};
    _evaluation.reserve(2 * graph.nodeCount());
    std::size_t layers = 0;
    for (std::size_t i = 0; i != blends; ++i)
        layers = std::max(layers, graph.blendNode(i).inputs.size());
    _layers.reserve(layers);
}

void AnimationGraphState::play(float time) {
    for (OzzPlayer& player : _players)
        player.play(time);
}

void AnimationGraphState::pause(float time) {
    for (OzzPlayer& player : _players)
        player.pause(time);
}

void AnimationGraphState::resume(float time) {
    for (OzzPlayer& player : _players)
        player.resume(time);
}

void AnimationGraphState::stop() {
    for (OzzPlayer& player : _players)
        player.stop();
}

void AnimationGraphState::setPlayCount(unsigned count) {
    _playCount = count;
    for (OzzPlayer& player : _players)
        player.setPlayCount(count);
}

AnimationGraphState::State AnimationGraphState::state() const {
    const auto any = [this](OzzPlayer::State state) {
        return std::any_of(_players.begin(), _players.end(),
                           [state](const OzzPlayer& player) { return player.state() == state; });
    };
    if (any(OzzPlayer::State::Playing))
        return State::Playing;
    if (any(OzzPlayer::State::Paused))
        return State::Paused;
    return State::Stopped;
}

bool AnimationGraphState::isPlaying() const {
    return state() == State::Playing;
}

std::int32_t AnimationGraphState::iteration() const {
    std::int32_t iteration = 0;
    for (const OzzPlayer& player : _players)
        iteration = std::max(iteration, std::abs(player.currentIteration()));
    return iteration;
}

float AnimationGraphState::duration() const {
    float duration = 0.0f;
    for (const OzzPlayer& player : _players)
        duration = std::max(duration, player.duration());
    return duration;
}

float AnimationGraphState::ratio() const {
    float progress = 0.0f;
    std::size_t counted = 0, reversed = 0;
    for (const OzzPlayer& player : _players) {
        if (!player.hasSpeed())
            continue;
        ++counted;
        if (player.isReverse()) {
            ++reversed;
            progress += 1.0f - player.ratio();
        } else {
            progress += player.ratio();
        }
    }
    if (!counted)
        return 0.0f;
    const float average = progress / float(counted);
    return reversed == counted ? 1.0f - average : average;
}

bool AnimationGraphState::isDirty() const {
    return !_translationDirty.isClear() || !_rotationDirty.isClear() || !_scaleDirty.isClear();
}

void AnimationGraphState::clearDirty() {
    _translationDirty.clear();
    _rotationDirty.clear();
    _scaleDirty.clear();
}

void AnimationGraphState::clearEvents() {
    for (std::vector<std::string_view>& events : _sampledEvents)
        events.clear();
    _triggeredEvents = {};
    _samplerLooped.clear();
}

std::optional<unsigned> AnimationGraphState::getParameterIndex(std::string_view name) const {
    for (std::size_t i = 0; i != _parameters.size(); ++i)
        if (_parameters[i].name == name)
            return unsigned(i);
    return {};
}

unsigned AnimationGraphState::parameterIndex(std::string_view name) const {
    const std::optional<unsigned> index = getParameterIndex(name);
    ZE_ASSERT(index, "Parameter not found");
    return *index;
}

void AnimationGraphState::getParameterValue(unsigned index, void* out) const {
    ZE_ASSERT(index < _parameters.size(), "Parameter index out of range");
    ZE_ASSERT(_parameters[index].type == 0, "Invalid parameter type");
    std::memcpy(out, _parameterData.data() + _parameters[index].offset, sizeof(float));
}

void AnimationGraphState::getParameterValue(std::string_view name, void* out) const {
    getParameterValue(parameterIndex(name), out);
}

void AnimationGraphState::setParameterValue(unsigned index, const void* in) {
    ZE_ASSERT(index < _parameters.size(), "Parameter index out of range");
    ZE_ASSERT(_parameters[index].type == 0, "Invalid parameter type");
    std::memcpy(_parameterData.data() + _parameters[index].offset, in, sizeof(float));
}

void AnimationGraphState::setParameterValue(std::string_view name, const void* in) {
    setParameterValue(parameterIndex(name), in);
}

} // namespace ZarvikEngine::Data
