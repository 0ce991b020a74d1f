#include "ZarvikEngine/Data/AnimationController.h"

#include <cmath>
#include <utility>

#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {

namespace {

/* Real part of unit length; the dual part keeps its part orthogonal to the real one */
DualQuaternion normalized(const DualQuaternion& value) {
    const float length = glm::length(value.real);
    const float dot = glm::dot(value.real, value.dual);
    return {value.real / length,
            value.dual / length - value.real * (dot / (length * length * length))};
}

} // namespace

Debug& operator<<(Debug& debug, RootMotionMode value) {
    switch (value) {
    case RootMotionMode::None:
        return printEnum(debug, "RootMotionMode", "None", int(value));
    case RootMotionMode::ApplyToParent:
        return printEnum(debug, "RootMotionMode", "ApplyToParent", int(value));
    case RootMotionMode::Store:
        return printEnum(debug, "RootMotionMode", "Store", int(value));
    }
    return printEnum(debug, "RootMotionMode", {}, int(value));
}

AnimationController::AnimationController(AnimationController&& other) noexcept
    : eventCallback{std::move(other.eventCallback)}, _graph{other._graph}, _targets{std::move(
                                                                               other._targets)},
      _state{std::move(other._state)}, _rootMotion{other._rootMotion} {}

AnimationController& AnimationController::operator=(AnimationController&& other) noexcept {
    std::swap(eventCallback, other.eventCallback);
    std::swap(_graph, other._graph);
    std::swap(_targets, other._targets);
    std::swap(_state, other._state);
    std::swap(_rootMotion, other._rootMotion);
    return *this;
}

void AnimationController::setAnimationGraph(unsigned graph, const AnimationGraph& graphData,
                                            std::span<const Id> targets,
                                            std::span<const Animation> clips) {
    _targets.assign(targets.begin(), targets.end());
    _graph = std::uint16_t(graph);
    _state.setup(graphData, unsigned(_targets.size()), clips);
}

void AnimationController::setup(const AnimationGraph& graphData, std::span<const Animation> clips) {
    _state.setup(graphData, unsigned(_targets.size()), clips);
}

void AnimationController::addTimeOffset(float delta) {
    for (OzzPlayer& player : _state.players())
        player.addTimeOffset(delta);
}

void AnimationController::synchronizeSpeeds(const AnimationGraph& graph) {
    for (std::size_t b = 0; b != graph.blendNodeCount(); ++b) {
        const BlendNode& node = graph.blendNode(b);
        const auto sampled = [&node](std::size_t j) {
            return node.inputs[j].type == AnimationNodeType::Sample && node.inputs[j].index;
        };
        if (!node.sync) {
            for (std::size_t j = 0; j != node.inputs.size(); ++j)
                if (sampled(j))
                    _state.player(node.inputs[j].index - 1).setSpeedFactor(1.0f);
            continue;
        }
        /* Every synchronised clip takes the weighted average duration for one cycle */
        float total = 0.0f;
        for (std::size_t j = 0; j != node.inputs.size(); ++j)
            if (sampled(j))
                total += node.weights[j] * _state.player(node.inputs[j].index - 1).duration();
        if (total == 0.0f)
            continue;
        for (std::size_t j = 0; j != node.inputs.size(); ++j) {
            if (!sampled(j))
                continue;
            OzzPlayer& player = _state.player(node.inputs[j].index - 1);
            player.setSpeedFactor(player.duration() / total);
        }
    }
}

void AnimationController::advance(float time, std::span<AnimationGraph> graphs,
                                  std::span<const Animation> clips) {
    if (!_graph)
        return;
    _rootMotion = DualQuaternion{};
    ZE_ASSERT(_graph < graphs.size(), "AnimationController::advance(): graph"
                                          << _graph << "out of range for" << graphs.size()
                                          << "graphs");
    AnimationGraph& graph = graphs[_graph];
    if (!graph.updateArithmetic(_state)) {
        Error{} << "Failed to run animation graph, check for errors in the console/logs";
        return;
    }
    synchronizeSpeeds(graph);

    bool moved = false;
    for (OzzPlayer& player : _state.players()) {
        player.advance(time);
        moved = moved || player.isDirty();
    }
    if (!moved)
        return;

    if (!graph.update(_state, clips)) {
        Error{} << "Failed to run animation graph, check for errors in the console/logs";
        return;
    }
    if (eventCallback)
        for (const std::string_view name : _state.triggeredEvents())
            eventCallback(name);
    _state.clearEvents();
}

void AnimationController::applyToSceneGraph(SceneGraph& scene, RootMotionMode mode) {
    const std::span<const Skeletal::SoaTransform> pose = _state.finalPose();
    if (pose.empty())
        return;

    for (std::size_t t = 1; t != _targets.size(); ++t) {
        const Id target = _targets[t];
        if (target == InvalidId || !scene.isValid(target))
            continue;
        const unsigned short object = scene.toIndex(target);
        const Skeletal::SoaTransform& element = pose[t / 4];
        const std::size_t lane = t % 4;
        const bool translationDirty = _state.translationDirty(unsigned(t));
        const bool rotationDirty = _state.rotationDirty(unsigned(t));
        if (translationDirty || rotationDirty) {
            DualQuaternion& local = scene.localTransformation(object);
            const Quaternion rotation =
                rotationDirty
                    ? quaternionFromXyzw(element.rotation.x[lane], element.rotation.y[lane],
                                         element.rotation.z[lane], element.rotation.w[lane])
                    : local.real;
            const Vector3 translation =
                translationDirty ? Vector3{element.translation.x[lane], element.translation.y[lane],
                                           element.translation.z[lane]}
                                 : ZarvikEngine::translation(local);
            local = dualQuaternionFromRotationTranslation(rotation, translation);
        }
        if (_state.scaleDirty(unsigned(t)))
            scene.localScaling(object) = {element.scale.x[lane], element.scale.y[lane],
                                          element.scale.z[lane]};
        scene.setDirty(object);
    }

    if (mode == RootMotionMode::ApplyToParent) {
        if (_targets.size() >= 2 && _targets[1] != InvalidId && scene.isValid(_targets[1])) {
            const Id parent = scene.parent(_targets[1]);
            if (parent != Id(0)) {
                DualQuaternion& local = scene.localTransformation(parent);
                local = normalized(local * _state.finalRootMotion());
                scene.setDirty(parent);
            }
        }
    } else if (mode == RootMotionMode::Store) {
        _rootMotion = _state.finalRootMotion();
    }
    _state.clearDirty();
}

} // namespace ZarvikEngine::Data
