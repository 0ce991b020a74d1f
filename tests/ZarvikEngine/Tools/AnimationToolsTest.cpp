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
    EXPECT_NE(reduced.data().data(), animation.data().data());
    EXPECT_EQ(reduced.duration(), (Range1D{-1.0f, 5.0f}));
    ASSERT_EQ(reduced.trackCount(), 8u);
    EXPECT_EQ(timesOf(reduced, 0), (std::vector<float>{0.0f, 2.0f}));
    EXPECT_EQ(timesOf(reduced, 1), (std::vector<float>{0.0f, 2.0f}));
    EXPECT_EQ(timesOf(reduced, 2), seconds);
    EXPECT_EQ(timesOf(reduced, 3), (std::vector<float>{0.0f, 2.0f, 4.0f}));
    EXPECT_EQ(timesOf(reduced, 4), (std::vector<float>{0.0f, 2.5f}));
    EXPECT_EQ(timesOf(reduced, 5), (std::vector<float>{0.0f, 1.0f}));
    EXPECT_EQ(timesOf(reduced, 6), (std::vector<float>{0.5f}));
    EXPECT_EQ(timesOf(reduced, 7), std::vector<float>{});

    /* Values follow their keys */
    const Animation::TrackView<Vector3> stepped = reduced.track<Vector3>(3);
    EXPECT_EQ(stepped.values()[1], (Vector3{2.0f, 0.0f, 0.0f}));
    EXPECT_EQ(stepped.values()[2], (Vector3{-2.0f, 0.0f, 0.0f}));
    EXPECT_EQ(reduced.track<Vector3>(1).values()[1], (Vector3{2.0f, 0.0f, 0.0f}));

    /* Everything else is kept, the interpolator derived anew */
    for (std::uint32_t i = 0; i != reduced.trackCount(); ++i) {
        EXPECT_EQ(reduced.trackTarget(i), animation.trackTarget(i));
        EXPECT_EQ(reduced.trackTargetName(i), animation.trackTargetName(i));
        EXPECT_EQ(reduced.trackType(i), AnimationTrackType::Vector3);
        EXPECT_EQ(reduced.track(i).interpolation(), animation.track(i).interpolation());
        EXPECT_EQ(reduced.track(i).before(), animation.track(i).before());
        EXPECT_EQ(reduced.track(i).after(), animation.track(i).after());
    }
    EXPECT_EQ(stepped.interpolator(), Animation::interpolatorFor<Vector3>(Interpolation::Constant));
    EXPECT_EQ(stepped.at(3.5f), (Vector3{2.0f, 0.0f, 0.0f}));
}

TEST(AnimationTools, RotationsReduceAlongTheArc) {
    const Vector3 up{0.0f, 1.0f, 0.0f};
    std::vector<float> times;
    std::vector<Quaternion> turn, corner;
    for (int i = 0; i != 9; ++i) {
        times.push_back(0.25f * float(i));
        /* Even speed about one axis: what slerp between the ends gives */
        turn.push_back(rotation(Rad{0.2f * float(i)}, up));
        /* About y, then about x from the middle on */
        corner.push_back(i <= 4 ? rotation(Rad{0.2f * float(i)}, up)
                                : rotation(Rad{0.2f * float(i - 4)}, {1.0f, 0.0f, 0.0f}) *
                                      rotation(Rad{0.8f}, up));
    }
    const AnimationData animation = Tracks{}
                                        .add(AnimationTrackTarget::Rotation3D, 1, times, turn)
                                        .add(AnimationTrackTarget::Rotation3D, 2, times, corner)
                                        .build({0.0f, 2.0f});
    const AnimationData reduced = AnimationTools::removeLinearlyRedundantKeyframes(animation);
    EXPECT_EQ(timesOf(reduced, 0), (std::vector<float>{0.0f, 2.0f}));
    EXPECT_EQ(timesOf(reduced, 1), (std::vector<float>{0.0f, 1.0f, 2.0f}));
    EXPECT_EQ(reduced.trackType(1), AnimationTrackType::Quaternion);
    EXPECT_EQ(reduced.track<Quaternion>(1).values()[1], corner[4]);
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

/* Within 1e-4, relative to the magnitudes, or absolute near zero */
bool closeEnough(float a, float b) {
    const float difference = std::abs(a - b);
    return difference < 1e-4f || difference <= 1e-4f * (std::abs(a) + std::abs(b));
}

bool closeEnough(const Vector3& a, const Vector3& b) {
    return closeEnough(a.x, b.x) && closeEnough(a.y, b.y) && closeEnough(a.z, b.z);
}

/* Either sign of the same rotation */
bool closeEnough(const Quaternion& a, const Quaternion& b) {
    const auto same = [](const Quaternion& p, const Quaternion& q) {
        return closeEnough(p.x, q.x) && closeEnough(p.y, q.y) && closeEnough(p.z, q.z) &&
               closeEnough(p.w, q.w);
    };
    return same(a, b) || same(a, -b);
}

/* A random path through corner values at random times, each stretch traversed linearly
   (slerp for rotations), so that the keys sampled along it are redundant away from the
   corners */
template<class V>
class RandomPath {
public:
    RandomPath(std::mt19937& random, V (*corner)(std::mt19937&)) {
        std::uniform_real_distribution<float> stretch{0.3f, 2.0f};
        for (float time = 0.0f; time < 12.0f; time += stretch(random))
            _corners.emplace_back(time, corner(random));
    }

    V operator()(float time) const {
        std::size_t i = 0;
        while (i + 2 < _corners.size() && _corners[i + 1].first <= time)
            ++i;
        const auto& [from, a] = _corners[i];
        const auto& [to, b] = _corners[i + 1];
        return Animation::interpolatorFor<V>(Interpolation::Linear)(a, b,
                                                                    (time - from) / (to - from));
    }

private:
    std::vector<std::pair<float, V>> _corners;
};

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
    std::size_t originalKeys = 0, keptKeys = 0;
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
            if (track % 2 == 0) {
                const RandomPath<Vector3> path{random, randomPosition};
                std::vector<Vector3> values;
                for (float time : times)
                    values.push_back(path(time));
                tracks.add(AnimationTrackTarget::Translation3D, track, times, values);
            } else {
                const RandomPath<Quaternion> path{random, randomRotation};
                std::vector<Quaternion> values;
                for (float time : times)
                    values.push_back(path(time));
                tracks.add(AnimationTrackTarget::Rotation3D, track, times, values);
            }
            allTimes.push_back(std::move(times));
        }
        const AnimationData original = tracks.build({0.0f, 10.0f});
        const AnimationData reduced = AnimationTools::removeLinearlyRedundantKeyframes(original);

        for (std::uint32_t track = 0; track != original.trackCount(); ++track) {
            originalKeys += original.track(track).size();
            keptKeys += reduced.track(track).size();
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
    EXPECT_LT(keptKeys, originalKeys / 5);
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
    /* The unbound track and the scalar one are gone */
    ASSERT_EQ(retargeted.trackCount(), 2u);
    EXPECT_EQ(retargeted.dataFlags(), Trade::DataFlags{});
    EXPECT_EQ(retargeted.data().data(), animation.data().data());
    EXPECT_EQ(retargeted.duration(), (Range1D{0.0f, 3.0f}));

    EXPECT_EQ(retargeted.trackTarget(0), 4u);
    EXPECT_EQ(retargeted.trackTargetName(0), AnimationTrackTarget::Translation3D);
    EXPECT_EQ(retargeted.track(0).interpolation(), Interpolation::Constant);
    EXPECT_EQ(retargeted.track(0).before(), Extrapolation::Extrapolated);
    EXPECT_EQ(retargeted.track(0).after(), Extrapolation::DefaultConstructed);
    EXPECT_EQ(retargeted.track(0).keys().data(), animation.track(0).keys().data());
    EXPECT_EQ(retargeted.track<Vector3>(0).at(0.5f), Vector3{});

    EXPECT_EQ(retargeted.trackTarget(1), 7u);
    EXPECT_EQ(retargeted.trackType(1), AnimationTrackType::Quaternion);
    EXPECT_EQ(retargeted.track(1).values().data(), animation.track(2).values().data());
    EXPECT_EQ(retargeted.track<Quaternion>(1).at(1.0f), rotations[1]);

    const Data::Id five[]{Data::Id(1), Data::Id(2), Data::Id(3), Data::Id(4), Data::Id(5)};
    ZE_EXPECT_ABORT(Data::retargetAnimation(animation, five),
                    "retargetAnimation(): newTargets is required to have an element per track: "
                    "Got 5 but expected 4");
}

} // namespace
} // namespace ZarvikEngine
