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

/* The dual quaternions of the four tracks of a pose element, rotation followed by
   translation, each with its real and dual part in a register: the products
   [translation / 2, 0] ⊗ rotation of dualQuaternionFromRotationTranslation() for all lanes at
   once */
struct RigidTransforms {
    __m128 real[4], dual[4];
    /* x, y, z and 0 */
    __m128 scale[4];
};

RigidTransforms rigidTransforms(const Skeletal::SoaTransform& element) {
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 x = _mm_mul_ps(_mm_load_ps(element.translation.x), half);
    const __m128 y = _mm_mul_ps(_mm_load_ps(element.translation.y), half);
    const __m128 z = _mm_mul_ps(_mm_load_ps(element.translation.z), half);
    RigidTransforms result{{_mm_load_ps(element.rotation.x), _mm_load_ps(element.rotation.y),
                            _mm_load_ps(element.rotation.z), _mm_load_ps(element.rotation.w)},
                           {},
                           {_mm_load_ps(element.scale.x), _mm_load_ps(element.scale.y),
                            _mm_load_ps(element.scale.z), _mm_setzero_ps()}};
    const __m128 rx = result.real[0], ry = result.real[1], rz = result.real[2], rw = result.real[3];
    const auto mul = _mm_mul_ps;
    result.dual[0] = _mm_sub_ps(_mm_add_ps(mul(x, rw), mul(y, rz)), mul(z, ry));
    result.dual[1] = _mm_sub_ps(_mm_add_ps(mul(y, rw), mul(z, rx)), mul(x, rz));
    result.dual[2] = _mm_sub_ps(_mm_add_ps(mul(z, rw), mul(x, ry)), mul(y, rx));
    result.dual[3] =
        _mm_sub_ps(_mm_sub_ps(_mm_sub_ps(_mm_setzero_ps(), mul(x, rx)), mul(y, ry)), mul(z, rz));
    /* From four x, four y, ... to x, y, z, w of each track */
    _MM_TRANSPOSE4_PS(result.real[0], result.real[1], result.real[2], result.real[3]);
    _MM_TRANSPOSE4_PS(result.dual[0], result.dual[1], result.dual[2], result.dual[3]);
    _MM_TRANSPOSE4_PS(result.scale[0], result.scale[1], result.scale[2], result.scale[3]);
    return result;
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

    /* The subtree marked last: a skeleton's tracks come in pre-order, so marking the first
       bone marks the ones below it too */
    std::size_t markedBegin = 1, markedEnd = 0;
    const std::size_t trackCount = _targets.size();
    const std::size_t idCount = scene.capacity(), liveCount = scene.size();
    for (std::size_t e = 0; 4 * e < trackCount; ++e) {
        const Skeletal::SoaTransform& element = pose[e];
        const RigidTransforms transforms = rigidTransforms(element);
        for (std::size_t lane = 0; lane != 4; ++lane) {
            const std::size_t t = 4 * e + lane;
            if (t == 0 || t >= trackCount)
                continue;
            const Id target = _targets[t];
            if (std::size_t(target) >= idCount || scene.toIndex(target) >= liveCount)
                continue;
            const unsigned short object = scene.toIndex(target);
            const bool translationDirty = _state.translationDirty(unsigned(t));
            const bool rotationDirty = _state.rotationDirty(unsigned(t));
            DualQuaternion& local = scene.localTransformation(object);
            if (translationDirty && rotationDirty) {
                _mm_storeu_ps(&local.real.x, transforms.real[lane]);
                _mm_storeu_ps(&local.dual.x, transforms.dual[lane]);
            } else if (translationDirty || rotationDirty) {
                /* The other part stays the object's own */
                const Quaternion rotation =
                    rotationDirty
                        ? quaternionFromXyzw(element.rotation.x[lane], element.rotation.y[lane],
                                             element.rotation.z[lane], element.rotation.w[lane])
                        : local.real;
                const Vector3 translation = translationDirty ? Vector3{element.translation.x[lane],
                                                                       element.translation.y[lane],
                                                                       element.translation.z[lane]}
                                                             : ZarvikEngine::translation(local);
                local = dualQuaternionFromRotationTranslation(rotation, translation);
            }
            if (_state.scaleDirty(unsigned(t))) {
                /* Twelve bytes: a fourth would be the next object's */
                Vector3& scaling = scene.localScaling(object);
                _mm_storel_pi(reinterpret_cast<__m64*>(&scaling.x), transforms.scale[lane]);
                _mm_store_ss(&scaling.z,
                             _mm_movehl_ps(transforms.scale[lane], transforms.scale[lane]));
            }
            if (object < markedBegin || object > markedEnd) {
                scene.setDirty(object);
                markedBegin = object;
                markedEnd = object + scene.objectData(object).descendantCount;
            }
        }
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
