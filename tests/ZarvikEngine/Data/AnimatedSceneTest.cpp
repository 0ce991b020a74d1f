/* A scene with several animated components played through the animation manager for a few
   hundred irregular frames, checked against a model that the test keeps itself: its own
   clocks, speed factors and blend weights, poses sampled and blended with the skeletal
   runtime directly, root motion and events worked out from the clips */

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AnimationTestClips.h"
#include "ZarvikEngine/Data/AnimationManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Skeletal/BlendingJob.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

namespace ZarvikEngine::Data {
namespace {

using Skeletal::RawAnimation;
using Skeletal::SoaTransform;
using Test::clipOf;

constexpr std::size_t TrackCount = 8;
constexpr float BlendThreshold = 0.1f;

/* Keys at 30 Hz on every channel of every track, moving along smooth random curves; the root
   track walks forward while it sways and turns */
RawAnimation bakedClip(float duration, unsigned seed) {
    std::mt19937 random{seed};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    RawAnimation raw;
    raw.duration = duration;
    raw.tracks.resize(TrackCount);
    const int keyCount = int(std::round(duration * 30.0f));
    for (RawAnimation::Track& track : raw.tracks) {
        const Vector3 phase{unit(random), unit(random), unit(random)};
        const Vector3 axis = glm::normalize(phase + Vector3{0.0f, 2.0f, 0.0f});
        for (int i = 0; i <= keyCount; ++i) {
            const float time = duration * float(i) / float(keyCount);
            const Vector3 wave{std::sin(time * 3.0f + phase.x), std::sin(time * 2.0f + phase.y),
                               std::sin(time * 5.0f + phase.z)};
            track.translations.push_back({time, wave + Vector3{0.0f, 0.0f, time * 2.0f}});
            track.rotations.push_back({time, rotation(Rad{wave.x + time}, axis)});
            track.scales.push_back({time, Vector3{1.0f} + wave * 0.25f});
        }
    }
    return raw;
}

struct Event {
    Id component;
    std::string name;
    bool operator==(const Event&) const = default;
};

/* What the test expects of one component */
struct Model {
    Model(float speed, float (*mix)(double), RootMotionMode mode)
        : speed{speed}, mix{mix}, mode{mode} {}

    float speed;
    /* The mix parameter at a scene time */
    float (*mix)(double);
    RootMotionMode mode;
    Id component{};
    std::vector<Id> targets;

    /* Per clip: position in seconds, whether the clip looped since it was last sampled, the
       root's translation and rotation at that sampling, the root motion it gave */
    double position[2]{};
    bool looped[2]{};
    bool sampled[2]{};
    Vector3 lastTranslation[2];
    Quaternion lastRotation[2];
    DualQuaternion rootMotion[2];
    Skeletal::SamplingContext contexts[2]{Skeletal::SamplingContext{TrackCount},
                                          Skeletal::SamplingContext{TrackCount}};
    std::vector<SoaTransform> poses[2]{std::vector<SoaTransform>(2), std::vector<SoaTransform>(2)};
    std::vector<SoaTransform> blended = std::vector<SoaTransform>(2);
    /* The character's expected placement, which takes the root motion in ApplyToParent
       mode */
    DualQuaternion character;
    DualQuaternion storedRootMotion;
};

/* The weights that the 1D weights node of two outputs gives the blend */
void mixWeights(float mix, float (&weights)[2]) {
    for (int j = 0; j != 2; ++j)
        weights[j] = std::max(0.0f, (1.0f - std::abs(mix - float(j))) * 1.0f);
}

/* Screw interpolation, or for rotations too close for it, interpolated and normalised */
DualQuaternion interpolate(const DualQuaternion& from, const DualQuaternion& to, float t) {
    if (std::abs(glm::dot(from.real, to.real)) < 1.0f - 1.0e-5f)
        return sclerp(from, to, t);
    return dualQuaternionFromRotationTranslation(
        glm::normalize(from.real * (1.0f - t) + to.real * t),
        translation(from) * (1.0f - t) + translation(to) * t);
}

/* Real part of unit length, dual part made orthogonal, as applied root motion is */
DualQuaternion normalized(const DualQuaternion& value) {
    const float length = glm::length(value.real);
    const float dot = glm::dot(value.real, value.dual);
    return {value.real / length,
            value.dual / length - value.real * (dot / (length * length * length))};
}

void expectNear(const DualQuaternion& actual, const DualQuaternion& expected, float epsilon,
                const std::string& what) {
    for (glm::length_t i = 0; i != 4; ++i) {
        ASSERT_NEAR(actual.real[i], expected.real[i], epsilon) << what;
        ASSERT_NEAR(actual.dual[i], expected.dual[i], epsilon) << what;
    }
}

TEST(AnimatedScene, PosesRootMotionAndEventsMatchAModelOfTheClips) {
    Debug quiet{nullptr};
    const float durations[]{1.6f, 2.4f};
    const float keysA[]{0.4f, 1.2f}, keysB[]{0.6f};
    std::vector<Animation> clips;
    clips.emplace_back();
    clips.push_back(clipOf(bakedClip(durations[0], 1), keysA, {"a-step", "a-land"}));
    clips.push_back(clipOf(bakedClip(durations[1], 2), keysB, {"b-step"}));

    /* Two clips blended with sync, their weights from a parameter through a 1D weights node;
       one graph for every component */
    std::vector<AnimationGraph> graphs(1);
    AnimationGraph& graph = graphs.emplace_back();
    const std::uint16_t blend = graph.addBlendNode();
    graph.connectOutputNode(graph.addOutputNode(), AnimationNodeType::Blend, blend);
    for (std::uint16_t clip : {1, 2})
        graph.connectBlendNodeInput(blend, AnimationNodeType::Sample,
                                    graph.addSampleNode(clip, 1.0f), 0.0f);
    graph.blendNode(0).threshold = BlendThreshold;
    const std::uint16_t mix = graph.addFloatNode(0.5f, "mix");
    const std::uint16_t weights = graph.add1DWeightsNode(2);
    graph.connectFloatNode(mix, AnimationNodeType::Weights1D, weights, 0);
    graph.connect1DWeightsNode(weights, 0, AnimationNodeType::Blend, blend, 0);
    graph.connect1DWeightsNode(weights, 1, AnimationNodeType::Blend, blend, 1);

    SceneGraph scene{64, 1, 8};
    AnimationManager animations{4};
    scene.setComponentManager(0, "animation", &animations);
    std::vector<Event> events;
    animations.eventCallback = [&](Id id, std::string_view name) {
        events.push_back({id, std::string{name}});
    };

    std::vector<Model> models;
    models.emplace_back(
        1.0f, [](double t) { return float(0.5 + 0.5 * std::sin(t * 1.3)); },
        RootMotionMode::ApplyToParent);
    models.emplace_back(
        1.5f, [](double t) { return float(std::fmod(t * 0.4, 1.0)); }, RootMotionMode::Store);
    models.emplace_back(
        0.75f, [](double) { return 1.0f; }, RootMotionMode::None);
    for (Model& model : models) {
        /* A character under the root, the bones of tracks 1 to 7 under it */
        const Id character = scene.addObject(Id(0));
        model.targets.push_back(character);
        for (std::size_t t = 1; t != TrackCount; ++t)
            model.targets.push_back(scene.addObject(t == 1 ? character : model.targets[t - 1]));
        model.component = animations.addComponent(model.targets[1]);
        animations.setSpeed(model.component, model.speed);
        animations.rootMotionMode(model.component) = model.mode;
        animations.setAnimationGraph(model.component, 1, graph, model.targets, clips);
        animations.activate(model.component);
        animations.play(model.component);
    }
    /* Components are activated in order, so index i is model i */
    ASSERT_EQ(animations.toId(2), models[2].component);

    std::mt19937 random{3};
    std::uniform_real_distribution<double> step{0.004, 0.045};
    double time = 0.0;
    for (int frame = 0; frame != 300; ++frame) {
        const double dt = step(random);
        time += dt;
        std::vector<Event> expectedEvents;
        for (Model& model : models) {
            const float mixValue = model.mix(time);
            animations.controller(model.component).graphState().setParameterValue("mix", &mixValue);
            float w[2];
            mixWeights(mixValue, w);
            /* Sync: each clip's cycle takes the weighted average duration */
            const float total = w[0] * durations[0] + w[1] * durations[1];
            const double componentStep = double(model.speed) * dt;
            for (int j = 0; j != 2; ++j) {
                const double before = model.position[j];
                model.position[j] += componentStep * double(durations[j] / total);
                const double d = durations[j];
                if (std::trunc(model.position[j] / d) != std::trunc(before / d))
                    model.looped[j] = true;
                if (w[j] <= 0.0f)
                    continue;
                /* Events of every iteration the clip passed through */
                const std::span<const float> keys = clips[j + 1].eventKeys();
                for (double k = std::trunc(before / d); k <= std::trunc(model.position[j] / d); ++k)
                    for (std::size_t e = 0; e != keys.size(); ++e) {
                        const double at = keys[e] + k * d;
                        if (before <= at && at <= model.position[j])
                            expectedEvents.push_back(
                                {model.component, std::string{clips[j + 1].eventNames()[e]}});
                    }
            }

            /* Sampled and blended by the runtime at the model's ratios */
            std::vector<Skeletal::BlendingLayer> layers;
            DualQuaternion rootMotion;
            for (int j = 0; j != 2; ++j) {
                if (w[j] <= 0.0f)
                    continue;
                const double d = durations[j];
                Skeletal::SamplingJob sampling;
                sampling.ratio = float(model.position[j] / d - std::trunc(model.position[j] / d));
                sampling.animation = clips[j + 1].runtimeAnimation();
                sampling.context = &model.contexts[j];
                sampling.output = model.poses[j];
                ASSERT_TRUE(sampling.run());
                const SoaTransform& root = model.poses[j][0];
                const Vector3 translation{root.translation.x[0], root.translation.y[0],
                                          root.translation.z[0]};
                const Quaternion rotation = quaternionFromXyzw(
                    root.rotation.x[0], root.rotation.y[0], root.rotation.z[0], root.rotation.w[0]);
                /* No motion at the first sampling and across a loop */
                const bool continuous = model.sampled[j] && !model.looped[j];
                model.rootMotion[j] = dualQuaternionFromRotationTranslation(
                    continuous ? rotation * glm::inverse(model.lastRotation[j]) : Quaternion{},
                    continuous ? translation - model.lastTranslation[j] : Vector3{0.0f});
                model.lastTranslation[j] = translation;
                model.lastRotation[j] = rotation;
                model.sampled[j] = true;
                model.looped[j] = false;
                layers.push_back({w[j], model.poses[j], {}});
                rootMotion = interpolate(rootMotion, model.rootMotion[j], w[j]);
            }
            const std::vector<SoaTransform> rest(2);
            Skeletal::BlendingJob blending;
            blending.threshold = BlendThreshold;
            blending.layers = layers;
            blending.restPose = rest;
            blending.output = model.blended;
            ASSERT_TRUE(blending.run());

            /* Applied to where the character is, so that rounding doesn't add up */
            model.character = scene.localTransformation(model.targets[0]);
            if (model.mode == RootMotionMode::ApplyToParent)
                model.character = normalized(model.character * rootMotion);
            model.storedRootMotion =
                model.mode == RootMotionMode::Store ? rootMotion : DualQuaternion{};
        }
        events.clear();
        animations.update(dt);
        animations.updateGraphs(graphs, clips);
        scene.computeAbsoluteTransformations();

        SCOPED_TRACE(frame);
        ASSERT_EQ(events, expectedEvents);
        for (std::size_t m = 0; m != models.size(); ++m) {
            const Model& model = models[m];
            for (std::size_t t = 1; t != TrackCount; ++t) {
                const SoaTransform& element = model.blended[t / 4];
                const std::size_t lane = t % 4;
                const DualQuaternion expected = dualQuaternionFromRotationTranslation(
                    quaternionFromXyzw(element.rotation.x[lane], element.rotation.y[lane],
                                       element.rotation.z[lane], element.rotation.w[lane]),
                    {element.translation.x[lane], element.translation.y[lane],
                     element.translation.z[lane]});
                expectNear(scene.localTransformation(model.targets[t]), expected, 2.0e-4f,
                           "component " + std::to_string(m) + " track " + std::to_string(t));
                const Vector3& scaling = scene.localScaling(model.targets[t]);
                ASSERT_NEAR(scaling.x, element.scale.x[lane], 2.0e-4f);
                ASSERT_NEAR(scaling.y, element.scale.y[lane], 2.0e-4f);
                ASSERT_NEAR(scaling.z, element.scale.z[lane], 2.0e-4f);
            }
            expectNear(scene.localTransformation(model.targets[0]), model.character, 2.0e-4f,
                       "character " + std::to_string(m));
            expectNear(animations.rootMotion(model.component), model.storedRootMotion, 2.0e-4f,
                       "stored root motion " + std::to_string(m));
        }
    }
}

} // namespace
} // namespace ZarvikEngine::Data
