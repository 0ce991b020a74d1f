#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "SkeletalTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Skeletal/BlendingJob.h"

namespace ZarvikEngine::Skeletal {
namespace {

using Test::isIdentity;
using Test::sameBits;

constexpr float S = 0.70710678f;
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

/* The same transform in every lane */
SoaTransform uniform(const Vector3& translation, const Quaternion& rotation,
                     const Vector3& scale = Vector3{1.0f}) {
    SoaTransform result;
    for (std::size_t lane = 0; lane != 4; ++lane) {
        result.translation.set(lane, translation);
        result.rotation.set(lane, rotation);
        result.scale.set(lane, scale);
    }
    return result;
}

/* One element of output, blended from layers of one element each */
struct Blend {
    float threshold = 0.1f;
    std::vector<BlendingLayer> layers, additive;
    SoaTransform rest = uniform({100.0f, 0, 0}, {});
    SoaTransform output;

    bool run() { return BlendingJob{threshold, layers, additive, {&rest, 1}, {&output, 1}}.run(); }
};

void expectRotation(const Quaternion& actual, const Quaternion& expected) {
    for (int c = 0; c != 4; ++c)
        EXPECT_NEAR(actual[c], expected[c], 1e-5f) << c;
}

TEST(SkeletalBlendingJob, ValidatesAndLeavesOutputUntouched) {
    const std::vector<SoaTransform> two(2), one(1);
    const std::vector<Vector4> oneWeight(1, Vector4{1.0f}), twoWeights(2, Vector4{1.0f});
    std::vector<SoaTransform> output(3, uniform(Vector3{42.0f}, {}));
    const std::vector<SoaTransform> untouched = output;
    const BlendingLayer fine{1.0f, two, twoWeights}, shortSkipped{0.0f, one, {}},
        shortWeights{1.0f, two, oneWeight};

    const auto run = [&](float threshold, std::span<const BlendingLayer> layers,
                         std::span<const BlendingLayer> additive, std::size_t restSize,
                         std::size_t outputSize) {
        const BlendingJob job{threshold, layers, additive, std::span{two}.first(restSize),
                              std::span{output}.first(outputSize)};
        EXPECT_EQ(job.validate(), job.run());
        return job.run();
    };
    EXPECT_FALSE(run(0.0f, {}, {}, 2, 3));
    EXPECT_FALSE(run(-1.0f, {}, {}, 2, 3));
    EXPECT_FALSE(run(NaN, {}, {}, 2, 3));
    EXPECT_FALSE(run(0.1f, {}, {}, 0, 3));
    EXPECT_FALSE(run(0.1f, {}, {}, 2, 1));
    EXPECT_FALSE(run(0.1f, {&shortSkipped, 1}, {}, 2, 3));
    EXPECT_FALSE(run(0.1f, {}, {&shortSkipped, 1}, 2, 3));
    EXPECT_FALSE(run(0.1f, {&shortWeights, 1}, {}, 2, 3));
    EXPECT_TRUE(sameBits(output, untouched));

    /* The rest pose's size decides what is written */
    EXPECT_TRUE(run(0.1f, {&fine, 1}, {&fine, 1}, 1, 3));
    EXPECT_TRUE(sameBits(std::span{output}.subspan(1), std::span{untouched}.subspan(1)));
    EXPECT_TRUE(run(0.1f, {}, {}, 2, 2));
}

TEST(SkeletalBlendingJob, WeighsLayersAgainstTheThresholdAndRestPose) {
    const SoaTransform a = uniform({1.0f, 0, 0}, {});
    const SoaTransform b = uniform({3.0f, 0, 0}, quaternionFromXyzw(0, -S, 0, -S));
    const struct Case {
        const char* name;
        float weightA, weightB, threshold;
        float x;
        Quaternion rotation;
    } cases[]{
        /* B is flipped into A's hemisphere */
        {"half and half", 0.5f, 0.5f, 0.1f, 2.0f, quaternionFromXyzw(0, 0.3826834f, 0, 0.9238795f)},
        {"weights not normalized", 1.0f, 3.0f, 0.1f, 2.5f,
         quaternionFromXyzw(0, 0.562097f, 0, 0.827071f)},
        {"rest pose fills 0.05", 0.02f, 0.03f, 0.1f, 51.1f,
         quaternionFromXyzw(0, 0.226522f, 0, 0.974006f)},
        {"rest pose fills 0.3", 0.2f, 0.0f, 0.5f, 60.4f, Quaternion{}},
        {"zero and negative", 0.0f, -1.0f, 0.1f, 100.0f, Quaternion{}},
        {"tiny weights", 1e-27f, 0.0f, 0.1f, 100.0f, Quaternion{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Blend blend;
        blend.threshold = c.threshold;
        blend.layers = {{c.weightA, {&a, 1}, {}}, {c.weightB, {&b, 1}, {}}};
        ASSERT_TRUE(blend.run());
        for (std::size_t lane = 0; lane != 4; ++lane) {
            EXPECT_NEAR(blend.output.translation.x[lane], c.x, 1e-4f);
            EXPECT_NEAR(blend.output.scale.y[lane], 1.0f, 1e-6f);
            expectRotation(blend.output.rotation.get(lane), c.rotation);
        }
    }

    /* No layers: the rest pose, rotation renormalized, translation and scale exact */
    Blend rest;
    rest.rest = uniform({1.5f, -2.0f, 3.0f}, quaternionFromXyzw(0, 0, 0, 2.0f), {2, 3, 4});
    ASSERT_TRUE(rest.run());
    EXPECT_EQ(rest.output.translation.get(2), Vector3(1.5f, -2.0f, 3.0f));
    EXPECT_EQ(rest.output.scale.get(2), Vector3(2, 3, 4));
    EXPECT_EQ(rest.output.rotation.get(2), Quaternion{});

    /* A NaN weight isn't skipped */
    Blend nan;
    nan.layers = {{NaN, {&a, 1}, {}}};
    ASSERT_TRUE(nan.run());
    EXPECT_TRUE(std::isnan(nan.output.translation.x[0]));

    /* Rotation signs are fixed against the running sum; the first layer's sign wins */
    const SoaTransform identity, negated = uniform({}, quaternionFromXyzw(0, 0, 0, -1));
    const SoaTransform c = uniform({}, quaternionFromXyzw(0, 0.9961947f, 0, 0.0871557f)),
                       d = uniform({}, quaternionFromXyzw(0, S, 0, -S));
    Blend signs;
    signs.layers = {{0.1f, {&identity, 1}, {}}, {1.0f, {&c, 1}, {}}, {1.0f, {&d, 1}, {}}};
    ASSERT_TRUE(signs.run());
    expectRotation(signs.output.rotation.get(0), quaternionFromXyzw(0, 0.9564304f, 0, -0.2919607f));
    signs.layers = {{1.0f, {&identity, 1}, {}}, {1.0f, {&negated, 1}, {}}};
    ASSERT_TRUE(signs.run());
    EXPECT_EQ(signs.output.rotation.get(1), Quaternion{});
    signs.layers = {{1.0f, {&negated, 1}, {}}, {1.0f, {&identity, 1}, {}}};
    ASSERT_TRUE(signs.run());
    EXPECT_EQ(signs.output.rotation.get(1), quaternionFromXyzw(0, 0, 0, -1));
}

TEST(SkeletalBlendingJob, WeighsTracksAndAdditiveLayers) {
    /* Joint weights 1, 0, −1 (as 0) and 0.5: the rest pose fills in per track */
    const SoaTransform a = uniform({1.0f, 0, 0}, {}), b = uniform({3.0f, 0, 0}, {});
    const Vector4 jointWeights{1.0f, 0.0f, -1.0f, 0.5f};
    Blend partial;
    partial.layers = {{1.0f, {&a, 1}, {&jointWeights, 1}}, {0.0f, {&b, 1}, {}}};
    ASSERT_TRUE(partial.run());
    const float partialX[]{1.0f, 100.0f, 100.0f, 1.0f};
    for (std::size_t lane = 0; lane != 4; ++lane) {
        EXPECT_NEAR(partial.output.translation.x[lane], partialX[lane], 1e-4f) << lane;
        expectRotation(partial.output.rotation.get(lane), Quaternion{});
    }
    /* Per track: 0.05 of the rest pose in lane 0; the layer without joint weights counts
       fully everywhere */
    const Vector4 small{0.05f, 1.0f, 1.0f, 1.0f};
    partial.layers = {{1.0f, {&a, 1}, {&small, 1}}, {0.5f, {&b, 1}, {}}};
    partial.threshold = 0.6f;
    ASSERT_TRUE(partial.run());
    EXPECT_NEAR(partial.output.translation.x[0], (0.05f + 1.5f + 0.05f * 100.0f) / 0.6f, 1e-4f);
    EXPECT_NEAR(partial.output.translation.x[1], (1.0f + 1.5f) / 1.5f, 1e-5f);

    /* Additive: translation added, scale multiplied by w·s + 1 − w, rotation composed after;
       negative weights undo each; weight 0 and NaN are skipped */
    const SoaTransform base = uniform({}, quaternionFromXyzw(S, 0, 0, S));
    const SoaTransform additive = uniform({2.0f, 0, 0}, quaternionFromXyzw(0, S, 0, S), {3, 1, 1});
    const struct {
        float weight;
        float x, scale;
        Quaternion rotation;
    } cases[]{
        {0.5f, 1.0f, 2.0f, quaternionFromXyzw(0.653282f, 0.270598f, 0.270598f, 0.653282f)},
        {-0.5f, -1.0f, 0.5f, quaternionFromXyzw(0.653282f, -0.270598f, -0.270598f, 0.653282f)},
        {0.0f, 0.0f, 1.0f, quaternionFromXyzw(S, 0, 0, S)},
        {NaN, 0.0f, 1.0f, quaternionFromXyzw(S, 0, 0, S)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weight);
        Blend blend;
        blend.layers = {{1.0f, {&base, 1}, {}}};
        blend.additive = {{c.weight, {&additive, 1}, {}}};
        ASSERT_TRUE(blend.run());
        EXPECT_NEAR(blend.output.translation.x[3], c.x, 1e-5f);
        EXPECT_NEAR(blend.output.scale.x[3], c.scale, 1e-5f);
        expectRotation(blend.output.rotation.get(3), c.rotation);
    }
    /* Joint weights scale additive layers too */
    const Vector4 half{0.5f, 1.0f, 0.0f, -1.0f};
    Blend weighted;
    weighted.layers = {{1.0f, {&base, 1}, {}}};
    weighted.additive = {{1.0f, {&additive, 1}, {&half, 1}}};
    ASSERT_TRUE(weighted.run());
    const float weightedX[]{1.0f, 2.0f, 0.0f, 0.0f};
    for (std::size_t lane = 0; lane != 4; ++lane)
        EXPECT_NEAR(weighted.output.translation.x[lane], weightedX[lane], 1e-5f) << lane;
}

TEST(SkeletalBlendingJob, BlendsPosesOfAnySize) {
    /* 1204 tracks, past the 1024 of one skeleton and an odd count of elements, with random
       poses, with and without per-track weights, and an additive layer; every track checked
       against the scalar formula */
    constexpr std::size_t Elements = 301;
    std::mt19937 random{9};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    std::vector<SoaTransform> first(Elements), second(Elements), rest(Elements), added(Elements);
    std::vector<Vector4> weights(Elements);
    for (std::size_t i = 0; i != Elements; ++i)
        for (std::size_t lane = 0; lane != 4; ++lane) {
            for (std::vector<SoaTransform>* pose : {&first, &second, &rest}) {
                (*pose)[i].translation.set(lane, {unit(random), unit(random), unit(random)});
                (*pose)[i].rotation.set(
                    lane, glm::normalize(quaternionFromXyzw(unit(random), unit(random),
                                                            unit(random), unit(random))));
            }
            added[i].translation.set(lane, {unit(random), unit(random), unit(random)});
            weights[i][int(lane)] = unit(random);
        }
    /* Adds q to the sum in its hemisphere */
    const auto addRotation = [](Quaternion& sum, const Quaternion& q, float weight) {
        sum += (std::signbit(glm::dot(sum, q)) ? -weight : weight) * q;
    };

    for (const bool partial : {true, false}) {
        SCOPED_TRACE(partial);
        std::vector<SoaTransform> output(Elements + 1);
        const BlendingLayer layers[]{{0.3f, first, partial ? weights : std::span<Vector4>{}},
                                     {0.2f, second, {}}};
        const BlendingLayer additive{0.5f, added, {}};
        ASSERT_TRUE((BlendingJob{0.6f, layers, {&additive, 1}, rest, output}.run()));
        for (std::size_t track = 0; track != 4 * Elements; ++track) {
            const std::size_t i = track / 4, lane = track % 4;
            const float w1 = 0.3f * (partial ? std::max(weights[i][int(lane)], 0.0f) : 1.0f);
            const float w2 = 0.2f, restWeight = 0.6f - w1 - w2;
            const Vector3 expected =
                (w1 * first[i].translation.get(lane) + w2 * second[i].translation.get(lane) +
                 restWeight * rest[i].translation.get(lane)) /
                    0.6f +
                0.5f * added[i].translation.get(lane);
            Quaternion rotation = w1 * first[i].rotation.get(lane);
            addRotation(rotation, second[i].rotation.get(lane), w2);
            addRotation(rotation, rest[i].rotation.get(lane), restWeight);
            rotation = glm::normalize(rotation);
            const Vector3 actual = output[i].translation.get(lane);
            const Quaternion actualRotation = output[i].rotation.get(lane);
            for (int c = 0; c != 3; ++c)
                ASSERT_NEAR(actual[c], expected[c], 1e-5f) << track;
            for (int c = 0; c != 4; ++c)
                ASSERT_NEAR(actualRotation[c], rotation[c], 1e-5f) << track;
        }
        const SoaTransform identity;
        EXPECT_TRUE(sameBits({&output[Elements], 1}, {&identity, 1}));
    }
}

TEST(SkeletalSoaTransform, IsIdentityByDefaultAndAddressesLanes) {
    SoaTransform transform;
    for (std::size_t lane = 0; lane != 4; ++lane)
        EXPECT_TRUE(isIdentity(transform, lane));
    transform.rotation.set(2, quaternionFromXyzw(1, 2, 3, 4));
    EXPECT_EQ(transform.rotation.x[2], 1.0f);
    EXPECT_EQ(transform.rotation.w[2], 4.0f);
    EXPECT_EQ(transform.rotation.w[1], 1.0f);
    ZE_EXPECT_ABORT(transform.translation.get(4),
                    "Skeletal::SoaFloat3::get(): lane 4 out of range");
    ZE_EXPECT_ABORT(transform.rotation.set(7, {}),
                    "Skeletal::SoaQuaternion::set(): lane 7 out of range");
}

} // namespace
} // namespace ZarvikEngine::Skeletal
