#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Tools/AnimationTools.h"

namespace ZarvikEngine {
namespace {

using Animation::Extrapolation;
using Animation::Interpolation;
using Trade::AnimationData;
using Trade::AnimationTrackData;
using Trade::AnimationTrackTarget;
using Trade::AnimationTrackType;

/* Packs tracks given as arrays into one owned block, as an importer would */
class Tracks {
public:
    template<class V>
    Tracks& add(AnimationTrackTarget targetName, std::uint64_t target,
                const std::vector<float>& times, const std::vector<V>& values,
                Interpolation interpolation = Interpolation::Linear,
                Extrapolation before = Extrapolation::Constant,
                Extrapolation after = Extrapolation::Constant) {
        const std::size_t keys = append(times.data(), sizeof(float) * times.size());
        const std::size_t offset = append(values.data(), sizeof(V) * values.size());
        _tracks.push_back([=, count = times.size()](const char* data) {
            return AnimationTrackData{
                targetName,
                target,
                std::span<const float>{reinterpret_cast<const float*>(data + keys), count},
                StridedArrayView1D<const V>{
                    std::span<const V>{reinterpret_cast<const V*>(data + offset), count}},
                interpolation,
                before,
                after};
        });
        return *this;
    }

    AnimationData build(const Range1D& duration) {
        std::vector<AnimationTrackData> tracks;
        for (const auto& track : _tracks)
            tracks.push_back(track(_data.data()));
        return {std::move(_data), std::move(tracks), duration};
    }

private:
    std::size_t append(const void* data, std::size_t size) {
        const std::size_t offset = _data.size();
        _data.resize(offset + size);
        if (size)
            std::memcpy(_data.data() + offset, data, size);
        return offset;
    }

    std::vector<char> _data;
    std::vector<std::function<AnimationTrackData(const char*)>> _tracks;
};

std::vector<Vector3> alongX(std::initializer_list<float> values) {
    std::vector<Vector3> result;
    for (float value : values)
        result.push_back({value, 0.0f, 0.0f});
    return result;
}

/* Key times of a track */
std::vector<float> timesOf(const AnimationData& animation, std::uint32_t track) {
    const auto keys = animation.track(track).keys();
    return {keys.begin(), keys.end()};
}

TEST(AnimationTools, KeepsOnlyKeysThatLinearInterpolationMisses) {
    const std::vector<float> seconds{0.0f, 1.0f, 2.0f};
    const AnimationData animation =
        Tracks{}
            .add(AnimationTrackTarget::Translation3D, 3, seconds, alongX({0.0f, 1.0f, 2.0f}))
            .add(AnimationTrackTarget::Translation3D, 4, seconds, alongX({0.0f, 1.00001f, 2.0f}))
            .add(AnimationTrackTarget::Translation3D, 5, seconds, alongX({0.0f, 1.1f, 2.0f}))
            /* Measured from the last kept key: key 3 lies halfway between keys 2 and 4 */
            .add(AnimationTrackTarget::Scaling3D, 6, {0.0f, 1.0f, 2.0f, 3.0f, 4.0f},
                 alongX({0.0f, 1.0f, 2.0f, 0.0f, -2.0f}), Interpolation::Constant,
                 Extrapolation::Extrapolated, Extrapolation::DefaultConstructed)
            .add(AnimationTrackTarget::Scaling3D, 7, {0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 2.5f},
                 std::vector<Vector3>(6, Vector3{1.0f}))
            .add(AnimationTrackTarget::Translation3D, 8, {0.0f, 1.0f}, alongX({1.0f, 1.0f}))
            .add(AnimationTrackTarget::Translation3D, 9, {0.5f}, alongX({3.0f}))
            .add(AnimationTrackTarget::Translation3D, 10, {}, std::vector<Vector3>{})
            .build({-1.0f, 5.0f});

    const AnimationData reduced = AnimationTools::removeLinearlyRedundantKeyframes(animation);
    EXPECT_EQ(reduced.dataFlags(), Trade::DataFlag::Owned | Trade::DataFlag::Mutable);
    EXPECT_EQ(reduced.duration(), (Range1D{-1.0f, 5.0f}));
    ASSERT_EQ(reduced.trackCount(), 8u);
    const std::vector<float> expected[]{{0.0f, 2.0f}, {0.0f, 2.0f}, seconds, {0.0f, 2.0f, 4.0f},
                                        {0.0f, 2.5f}, {0.0f, 1.0f}, {0.5f},  {}};
    for (std::uint32_t i = 0; i != reduced.trackCount(); ++i) {
        EXPECT_EQ(timesOf(reduced, i), expected[i]) << i;
        /* Everything else is kept */
        EXPECT_EQ(reduced.trackTarget(i), animation.trackTarget(i));
        EXPECT_EQ(reduced.trackTargetName(i), animation.trackTargetName(i));
        EXPECT_EQ(reduced.track(i).interpolation(), animation.track(i).interpolation());
        EXPECT_EQ(reduced.track(i).before(), animation.track(i).before());
        EXPECT_EQ(reduced.track(i).after(), animation.track(i).after());
    }

    /* Values follow their keys, the interpolator derived anew */
    const Animation::TrackView<Vector3> stepped = reduced.track<Vector3>(3);
    EXPECT_EQ(stepped.values()[2], (Vector3{-2.0f, 0.0f, 0.0f}));
    EXPECT_EQ(reduced.track<Vector3>(1).values()[1], (Vector3{2.0f, 0.0f, 0.0f}));
    EXPECT_EQ(stepped.at(3.5f), (Vector3{2.0f, 0.0f, 0.0f}));
}

TEST(AnimationTools, ConstantTracksBecomeHoldingLinearOnes) {
    const Quaternion a = rotation(Rad{0.0f}, {0.0f, 1.0f, 0.0f}),
                     b = rotation(Rad{1.0f}, {0.0f, 1.0f, 0.0f});
    const AnimationData animation =
        Tracks{} /* The last two keys are closer than the hold time */
            .add(AnimationTrackTarget::Translation3D, 1, {0.0f, 1.0f, 2.0f, 2.05f},
                 alongX({0.0f, 4.0f, 8.0f, 9.0f}), Interpolation::Constant)
            .add(AnimationTrackTarget::Rotation3D, 2, {0.5f, 1.5f}, std::vector<Quaternion>{a, b},
                 Interpolation::Constant, Extrapolation::Extrapolated)
            .add(AnimationTrackTarget::Scaling3D, 3, {0.0f, 1.0f}, alongX({1.0f, 3.0f}))
            .build({0.0f, 2.05f});

    const AnimationData linear = AnimationTools::linearizeConstantTracks(animation, 0.1f);
    ASSERT_EQ(linear.trackCount(), 3u);
    EXPECT_EQ(timesOf(linear, 0), (std::vector<float>{0.0f, 0.9f, 1.0f, 1.9f, 2.0f, 2.05f}));
    EXPECT_EQ(timesOf(linear, 1), (std::vector<float>{0.5f, 1.4f, 1.5f}));
    EXPECT_EQ(timesOf(linear, 2), (std::vector<float>{0.0f, 1.0f}));
    for (std::uint32_t i = 0; i != 3; ++i) {
        EXPECT_EQ(linear.track(i).interpolation(), Interpolation::Linear);
        EXPECT_EQ(linear.track(i).before(), animation.track(i).before());
        EXPECT_EQ(linear.trackTarget(i), animation.trackTarget(i));
    }

    /* Sampled linearly, the copy gives the steps of the original away from the ramps */
    for (const float time : {0.0f, 0.5f, 0.89f, 1.0f, 1.2f, 1.89f, 2.0f, 2.2f})
        EXPECT_EQ(linear.track<Vector3>(0).at(time), animation.track<Vector3>(0).at(time)) << time;
    EXPECT_TRUE(fuzzyEqual(linear.track<Quaternion>(1).at(1.3f), a));
    EXPECT_TRUE(fuzzyEqual(linear.track<Quaternion>(1).at(1.5f), b));
    EXPECT_EQ(linear.track<Vector3>(2).at(0.5f), (Vector3{2.0f, 0.0f, 0.0f}));
}

TEST(AnimationTools, ReductionRefusesOtherTracks) {
    const std::vector<float> times{0.0f, 1.0f};
    const AnimationData scalar =
        Tracks{}
            .add(AnimationTrackTarget::Translation3D, 0, times, alongX({0.0f, 1.0f}))
            .add(Trade::animationTrackTargetCustom(1), 0, times, std::vector<float>{0.0f, 1.0f})
            .build({});
    ZE_EXPECT_ABORT(AnimationTools::removeLinearlyRedundantKeyframes(scalar),
                    "Track type not implemented: Trade::AnimationTrackType::Float");

    /* A custom interpolator has no linear counterpart to give the result */
    std::vector<char> data(sizeof(float) * 2 + sizeof(Vector3) * 2);
    const auto* keys = reinterpret_cast<const float*>(data.data());
    const auto* values = reinterpret_cast<const Vector3*>(data.data() + 8);
    const AnimationData custom{
        std::move(data),
        {AnimationTrackData{AnimationTrackTarget::Translation3D, 0, std::span<const float>{keys, 2},
                            StridedArrayView1D<const Vector3>{std::span<const Vector3>{values, 2}},
                            Interpolation::Custom, Animation::select<Vector3>,
                            Extrapolation::Constant, Extrapolation::Constant}},
        {}};
    ZE_EXPECT_ABORT(AnimationTools::removeLinearlyRedundantKeyframes(custom),
                    "Animation::interpolatorFor(): can't deduce interpolator function for "
                    "Animation::Interpolation::Custom");
}

/* Component-wise within 1e-4, relative to the magnitudes or absolute near zero; rotations of
   either sign */
template<class V>
bool closeEnough(const V& a, const V& b) {
    const auto same = [](const V& p, const V& q) {
        for (glm::length_t i = 0; i != V::length(); ++i) {
            const float difference = std::abs(p[i] - q[i]);
            if (difference >= 1e-4f && difference > 1e-4f * (std::abs(p[i]) + std::abs(q[i])))
                return false;
        }
        return true;
    };
    if constexpr (std::is_same_v<V, Quaternion>)
        return same(a, b) || same(a, -b);
    return same(a, b);
}

/* Values at the given increasing times along a random path through corner values at random
   times, each stretch traversed linearly (slerp for rotations), so that the keys away from
   the corners are redundant */
template<class V>
std::vector<V> alongRandomPath(std::mt19937& random, V (*corner)(std::mt19937&),
                               const std::vector<float>& times) {
    std::uniform_real_distribution<float> stretch{0.3f, 2.0f};
    std::vector<std::pair<float, V>> corners;
    for (float time = 0.0f; time < 12.0f; time += stretch(random))
        corners.emplace_back(time, corner(random));
    std::vector<V> values;
    std::size_t i = 0;
    for (const float time : times) {
        while (i + 2 < corners.size() && corners[i + 1].first <= time)
            ++i;
        const auto& [from, a] = corners[i];
        const auto& [to, b] = corners[i + 1];
        values.push_back(Animation::interpolatorFor<V>(Interpolation::Linear)(
            a, b, (time - from) / (to - from)));
    }
    return values;
}

Vector3 randomPosition(std::mt19937& random) {
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    const float scale = std::pow(10.0f, 2.0f * unit(random));
    return Vector3{unit(random), unit(random), unit(random)} * scale;
}

Quaternion randomRotation(std::mt19937& random) {
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    return rotation(Rad{3.0f * unit(random)},
                    glm::normalize(Vector3{unit(random), unit(random), unit(random) + 2.0f}));
}

TEST(AnimationTools, ReducedTracksReproduceTheOriginalKeys) {
    std::mt19937 random{2024};
    std::uniform_real_distribution<float> unit{0.0f, 1.0f};
    /* Of positions and of rotations */
    std::size_t originalKeys[2]{}, keptKeys[2]{};
    for (int round = 0; round != 40; ++round) {
        Tracks tracks;
        std::vector<std::vector<float>> allTimes;
        for (int track = 0; track != 6; ++track) {
            /* Between 24 and 60 keys a second, the rates clips are exported at, unevenly
               spaced */
            const float rate = 24.0f + 36.0f * unit(random);
            std::vector<float> times;
            for (float time = 0.0f; time < 10.0f; time += (0.5f + unit(random)) / rate)
                times.push_back(time);
            if (track % 2 == 0)
                tracks.add(AnimationTrackTarget::Translation3D, track, times,
                           alongRandomPath(random, randomPosition, times));
            else
                tracks.add(AnimationTrackTarget::Rotation3D, track, times,
                           alongRandomPath(random, randomRotation, times));
            allTimes.push_back(std::move(times));
        }
        const AnimationData original = tracks.build({0.0f, 10.0f});
        const AnimationData reduced = AnimationTools::removeLinearlyRedundantKeyframes(original);

        for (std::uint32_t track = 0; track != original.trackCount(); ++track) {
            originalKeys[track % 2] += original.track(track).size();
            keptKeys[track % 2] += reduced.track(track).size();
            for (std::size_t key = 0; key != allTimes[track].size(); ++key) {
                const float time = allTimes[track][key];
                const bool reproduced =
                    track % 2 == 0 ? closeEnough(reduced.track<Vector3>(track).at(time),
                                                 original.track<Vector3>(track).values()[key])
                                   : closeEnough(reduced.track<Quaternion>(track).at(time),
                                                 original.track<Quaternion>(track).values()[key]);
                ASSERT_TRUE(reproduced)
                    << "round " << round << ", track " << track << ", key " << key;
            }
        }
    }
    /* Only the keys around the corners stay */
    EXPECT_LT(keptKeys[0], originalKeys[0] / 5);
    EXPECT_LT(keptKeys[1], originalKeys[1] / 5);
}

TEST(AnimationTools, RetargetingRebindsAndDropsTracks) {
    const std::vector<float> times{0.0f, 1.0f};
    const std::vector<Quaternion> rotations{Quaternion{}, rotation(Rad{1.0f}, {0.0f, 1.0f, 0.0f})};
    const AnimationData animation =
        Tracks{}
            .add(AnimationTrackTarget::Translation3D, 1, times, alongX({0.0f, 1.0f}),
                 Interpolation::Constant, Extrapolation::Extrapolated,
                 Extrapolation::DefaultConstructed)
            .add(AnimationTrackTarget::Scaling3D, 2, times, alongX({1.0f, 2.0f}))
            .add(AnimationTrackTarget::Rotation3D, 3, times, rotations)
            .add(Trade::animationTrackTargetCustom(4), 4, times, std::vector<float>{1.0f, 2.0f})
            .build({0.0f, 3.0f});

    const Data::Id targets[]{Data::Id(4), Data::InvalidId, Data::Id(7), Data::Id(9)};
    const AnimationData retargeted = Data::retargetAnimation(animation, targets);
    /* The unbound track and the scalar one are gone; the rest views the same data */
    ASSERT_EQ(retargeted.trackCount(), 2u);
    EXPECT_EQ(retargeted.dataFlags(), Trade::DataFlags{});
    EXPECT_EQ(retargeted.duration(), (Range1D{0.0f, 3.0f}));
    EXPECT_EQ(retargeted.trackTarget(0), 4u);
    EXPECT_EQ(retargeted.track(0).interpolation(), Interpolation::Constant);
    EXPECT_EQ(retargeted.track(0).before(), Extrapolation::Extrapolated);
    EXPECT_EQ(retargeted.track(0).after(), Extrapolation::DefaultConstructed);
    EXPECT_EQ(retargeted.track(0).keys().data(), animation.track(0).keys().data());
    EXPECT_EQ(retargeted.trackTarget(1), 7u);
    EXPECT_EQ(retargeted.trackTargetName(1), AnimationTrackTarget::Rotation3D);
    EXPECT_EQ(retargeted.track(1).values().data(), animation.track(2).values().data());

    const Data::Id five[]{Data::Id(1), Data::Id(2), Data::Id(3), Data::Id(4), Data::Id(5)};
    ZE_EXPECT_ABORT(Data::retargetAnimation(animation, five),
                    "retargetAnimation(): newTargets is required to have an element per track: "
                    "Got 5 but expected 4");
}

} // namespace
} // namespace ZarvikEngine
