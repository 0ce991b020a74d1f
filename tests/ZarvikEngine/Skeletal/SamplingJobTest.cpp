#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "SkeletalTestHelpers.h"

namespace ZarvikEngine::Skeletal {
namespace {

using Test::isIdentity;
using Test::sameBits;
using Test::samplePose;

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

/* Random tracks with 0 to maxKeys keys per list, at distinct times on a grid of 1/(2 maxKeys)
   of the duration, away from both ends */
RawAnimation randomAnimation(std::mt19937& random, std::size_t trackCount, int maxKeys) {
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    std::uniform_int_distribution<int> keyCount{0, maxKeys};
    const auto times = [&](float duration) {
        std::vector<int> slots(2 * maxKeys - 1);
        for (std::size_t i = 0; i != slots.size(); ++i)
            slots[i] = int(i) + 1;
        std::shuffle(slots.begin(), slots.end(), random);
        slots.resize(keyCount(random));
        std::sort(slots.begin(), slots.end());
        std::vector<float> result;
        for (int slot : slots)
            result.push_back(duration * float(slot) / float(2 * maxKeys));
        return result;
    };
    RawAnimation raw;
    raw.duration = 2.0f;
    raw.tracks.resize(trackCount);
    for (RawAnimation::Track& track : raw.tracks) {
        for (float time : times(raw.duration))
            track.translations.push_back({time, Vector3{unit(random), unit(random), 0.1f} * 50.0f});
        for (float time : times(raw.duration))
            track.rotations.push_back(
                {time, quaternionFromXyzw(unit(random), unit(random), unit(random), unit(random))});
        for (float time : times(raw.duration))
            track.scales.push_back({time, Vector3{1.25f} + Vector3{unit(random)}});
    }
    return raw;
}

/* Linear interpolation of the raw keys, holding the first and last values */
template<class Key, class Value, class Interpolate>
Value interpolate(const std::vector<Key>& keys, float time, Value identity,
                  Interpolate interpolate) {
    if (keys.empty())
        return identity;
    if (time <= keys.front().time)
        return keys.front().value;
    if (time >= keys.back().time)
        return keys.back().value;
    const auto next =
        std::find_if(keys.begin(), keys.end(), [&](const Key& key) { return key.time > time; });
    return interpolate((next - 1)->value, next->value,
                       (time - (next - 1)->time) / (next->time - (next - 1)->time));
}

TEST(SkeletalSamplingJob, ValidatesAndWritesOnlyWhatItMay) {
    RawAnimation raw;
    raw.tracks.resize(5);
    raw.tracks[1].translations = {{0.5f, {1.0f, 2.0f, 3.0f}}};
    const auto clip = AnimationBuilder{}(raw);
    const auto noTracks = AnimationBuilder{}(RawAnimation{});
    SamplingContext context{5}, small{4}, none;
    EXPECT_EQ(context.maxTracks(), 8u);

    /* Marked where no job would write, to see what was touched */
    SoaTransform mark;
    mark.translation.set(0, Vector3{42.0f});
    std::vector<SoaTransform> output(3, mark);
    const std::vector<SoaTransform> untouched = output;
    const auto run = [&](const RuntimeAnimation* animation, SamplingContext* context,
                         std::span<SoaTransform> out) {
        const SamplingJob job{0.7f, animation, context, out};
        EXPECT_EQ(job.validate(), job.run());
        return job.run();
    };
    EXPECT_FALSE(run(nullptr, &context, output));
    EXPECT_FALSE(run(clip.get(), nullptr, output));
    EXPECT_FALSE(run(clip.get(), &context, {}));
    EXPECT_FALSE(run(noTracks.get(), &none, {}));
    EXPECT_FALSE(run(clip.get(), &small, output));
    EXPECT_FALSE(run(clip.get(), &none, output));
    /* No tracks: nothing to do, even without room */
    EXPECT_TRUE(run(noTracks.get(), &none, output));
    EXPECT_TRUE(sameBits(output, untouched));

    /* A short output gets the first tracks only, a long one keeps what is past the pose */
    EXPECT_TRUE(run(clip.get(), &context, std::span{output}.first(1)));
    EXPECT_EQ(output[0].translation.get(1), Vector3(1.0f, 2.0f, 3.0f));
    EXPECT_TRUE(sameBits(std::span{output}.subspan(1), std::span{untouched}.subspan(1)));
    EXPECT_TRUE(run(clip.get(), &context, output));
    EXPECT_TRUE(sameBits(std::span{output}.subspan(2), std::span{untouched}.subspan(2)));
    /* Track 4 and the padding lanes are identity */
    for (std::size_t lane : {0u, 2u, 3u})
        EXPECT_TRUE(isIdentity(output[0], lane)) << lane;
    for (std::size_t lane = 0; lane != 4; ++lane)
        EXPECT_TRUE(isIdentity(output[1], lane)) << lane;
}

TEST(SkeletalSamplingJob, SamplesKeysInAndOutOfOrder) {
    /* Translation x only: one key; none; five; two away from both ends */
    RawAnimation raw;
    raw.tracks.resize(4);
    raw.tracks[0].translations = {{0.2f, {-1.0f, 0, 0}}};
    raw.tracks[2].translations = {{0.0f, {2.0f, 0, 0}},
                                  {0.2f, {6.0f, 0, 0}},
                                  {0.4f, {8.0f, 0, 0}},
                                  {0.6f, {10.0f, 0, 0}},
                                  {1.0f, {11.0f, 0, 0}}};
    raw.tracks[3].translations = {{0.2f, {7.0f, 0, 0}}, {0.6f, {9.0f, 0, 0}}};
    const auto clip = AnimationBuilder{}(raw);
    const struct {
        float ratio;
        float x[4];
    } table[]{
        {-0.2f, {-1, 0, 2, 7}},   {0.0f, {-1, 0, 2, 7}},         {1e-7f, {-1, 0, 2, 7}},
        {0.1f, {-1, 0, 4, 7}},    {0.2f, {-1, 0, 6, 7}},         {0.3f, {-1, 0, 7, 7.5f}},
        {0.4f, {-1, 0, 8, 8}},    {0.4f - 1e-7f, {-1, 0, 8, 8}}, {0.4f + 1e-7f, {-1, 0, 8, 8}},
        {0.5f, {-1, 0, 9, 8.5f}}, {0.6f, {-1, 0, 10, 9}},        {0.9999999f, {-1, 0, 11, 9}},
        {1.0f, {-1, 0, 11, 9}},   {1.000001f, {-1, 0, 11, 9}},   {2155.0f, {-1, 0, 11, 9}},
        {NaN, {-1, 0, 11, 9}},
    };
    SamplingContext context{4};
    std::vector<SoaTransform> pose(1);
    SamplingJob job{0.0f, clip.get(), &context, pose};
    /* Through one context: in order, backwards, then scattered */
    const std::size_t count = std::size(table);
    for (std::size_t visit = 0; visit != 3 * count; ++visit) {
        const std::size_t i = visit < count       ? visit
                              : visit < 2 * count ? 2 * count - 1 - visit
                                                  : visit * 7 % count;
        job.ratio = table[i].ratio;
        ASSERT_TRUE(job.run());
        for (std::size_t lane = 0; lane != 4; ++lane)
            EXPECT_NEAR(pose[0].translation.x[lane], table[i].x[lane], 1e-5f)
                << "ratio " << table[i].ratio << " track " << lane;
    }
    /* At key ratios and at the ends the keys come out exactly */
    for (float ratio : {0.0f, 0.2f, 0.6f, 1.0f}) {
        job.ratio = ratio;
        job.run();
        EXPECT_EQ(pose[0].translation.x[3], ratio <= 0.2f ? 7.0f : 9.0f);
    }
}

void expectLinearInterpolation(const RawAnimation& raw, std::mt19937& random) {
    const auto clip = AnimationBuilder{}(raw);
    const auto lerp = [](const Vector3& a, const Vector3& b, float t) { return a + (b - a) * t; };
    const auto nlerp = [](const Quaternion& a, const Quaternion& b, float t) {
        return glm::normalize(a + (b - a) * t);
    };
    /* Rotations normalized and chained into one hemisphere, as the builder promises */
    RawAnimation reference = raw;
    for (RawAnimation::Track& track : reference.tracks)
        for (std::size_t i = 0; i != track.rotations.size(); ++i) {
            Quaternion& q = track.rotations[i].value;
            q = glm::normalize(q);
            if ((i == 0 ? q.w : glm::dot(q, track.rotations[i - 1].value)) < 0.0f)
                q = -q;
        }

    std::uniform_real_distribution<float> unit{0.0f, 1.0f};
    std::vector<float> ratios{0.0f, 1.0f, 0.005f, 0.995f};
    for (int i = 0; i != 40; ++i)
        ratios.push_back(unit(random));
    for (const RawAnimation::Track& track : raw.tracks)
        for (const auto& key : track.translations)
            ratios.push_back(key.time / raw.duration);

    for (float ratio : ratios) {
        const std::vector<SoaTransform> pose = samplePose(*clip, ratio);
        const float time = ratio * raw.duration;
        for (std::size_t t = 0; t != raw.tracks.size(); ++t) {
            SCOPED_TRACE(testing::Message{} << "track " << t << " ratio " << ratio);
            const RawAnimation::Track& track = reference.tracks[t];
            const SoaTransform& element = pose[t / 4];
            const Vector3 translation = interpolate(track.translations, time, Vector3{0.0f}, lerp);
            const Vector3 scale = interpolate(track.scales, time, Vector3{1.0f}, lerp);
            const Quaternion rotation = interpolate(track.rotations, time, Quaternion{}, nlerp);
            /* Half floats: relative 2⁻¹¹ of the keys, which are below 60 and 2.25 */
            for (int c = 0; c != 3; ++c) {
                EXPECT_NEAR(element.translation.get(t % 4)[c], translation[c], 60.0f * 0x1p-11f);
                EXPECT_NEAR(element.scale.get(t % 4)[c], scale[c], 2.25f * 0x1p-11f);
            }
            for (int c = 0; c != 4; ++c)
                EXPECT_NEAR(element.rotation.get(t % 4)[c], rotation[c], 1e-4f);
        }
    }
}

TEST(SkeletalSamplingJob, InterpolatesLinearlyAndHoldsTheEnds) {
    /* Few distinct key times, then more than 256 */
    std::mt19937 random{11};
    for (int maxKeys : {4, 150}) {
        SCOPED_TRACE(maxKeys);
        expectLinearInterpolation(randomAnimation(random, 23, maxKeys), random);
    }
}

TEST(SkeletalSamplingJob, GivesFreshContextResultsWhateverTheHistory) {
    std::mt19937 random{3};
    const auto first = AnimationBuilder{}(randomAnimation(random, 30, 20));
    const auto second = AnimationBuilder{}(randomAnimation(random, 9, 20));
    /* More than 256 distinct key times */
    const auto third = AnimationBuilder{}(randomAnimation(random, 11, 150));

    /* Forward at several speeds, backward, random jumps, out of range and NaN */
    std::vector<float> ratios;
    for (int i = 0; i <= 200; ++i)
        ratios.push_back(i / 200.0f);
    for (int i = 0; i <= 70; ++i)
        ratios.push_back(1.0f - i / 70.0f);
    for (int i = 0; i <= 30; ++i)
        ratios.push_back(i / 13.0f - 0.5f);
    std::uniform_real_distribution<float> unit{-0.1f, 1.1f};
    for (int i = 0; i != 200; ++i)
        ratios.push_back(unit(random));
    ratios.push_back(NaN);
    ratios.push_back(0.3f);

    SamplingContext context{40};
    std::vector<SoaTransform> pose(10);
    const auto check = [&](const RuntimeAnimation& clip, float ratio) {
        ASSERT_TRUE((SamplingJob{ratio, &clip, &context, pose}.run()));
        ASSERT_TRUE(sameBits(std::span{pose}.first(clip.soaTrackCount()), samplePose(clip, ratio)))
            << ratio;
    };
    for (const RuntimeAnimation* clip : {first.get(), third.get()})
        for (float ratio : ratios)
            check(*clip, ratio);

    /* Switching animations on one context, invalidating and resizing it */
    for (std::size_t i = 0; i != ratios.size(); ++i) {
        check(i % 3 == 0 ? *second : i % 3 == 1 ? *third : *first, ratios[i]);
        if (i % 50 == 0)
            context.invalidate();
    }
    context.resize(30);
    check(*first, 0.45f);

    /* An animation built where a destroyed one lived is told apart; a moved one is the same */
    for (int i = 0; i != 5; ++i) {
        auto clip = AnimationBuilder{}(randomAnimation(random, 30, 20));
        check(*clip, 0.45f);
        check(*clip, 0.46f);
        RuntimeAnimation moved = std::move(*clip);
        check(moved, 0.47f);
    }
}

} // namespace
} // namespace ZarvikEngine::Skeletal
