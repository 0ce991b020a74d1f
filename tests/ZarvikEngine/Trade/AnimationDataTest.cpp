#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Trade/AnimationData.h"

namespace ZarvikEngine::Trade {
namespace {

using Animation::Extrapolation;
using Animation::Interpolation;

TEST(AnimationData, EnumValuesAreTheStoredOnes) {
    EXPECT_EQ(unsigned(AnimationTrackType::Vector3), 11u);
    EXPECT_EQ(unsigned(AnimationTrackType::CubicHermiteQuaternion), 24u);
    EXPECT_EQ(animationTrackTypeSize(AnimationTrackType::BitVector3), 1u);
    EXPECT_EQ(animationTrackTypeSize(AnimationTrackType::CubicHermiteQuaternion), 48u);
    EXPECT_EQ(unsigned(AnimationTrackTarget::Scaling3D), 6u);
    EXPECT_EQ(unsigned(animationTrackTargetCustom(5)), 32773u);
    EXPECT_EQ(unsigned(Interpolation::Custom), 3u);
    EXPECT_EQ(unsigned(Extrapolation::DefaultConstructed), 2u);

    EXPECT_EQ(debugString(AnimationTrackType(25)), "Trade::AnimationTrackType(25)");
    EXPECT_EQ(debugString(animationTrackTargetCustom(3)), "Trade::AnimationTrackTarget::Custom(3)");
    EXPECT_EQ(debugString(Interpolation::Linear), "Animation::Interpolation::Linear");

    ZE_EXPECT_ABORT(animationTrackTargetCustom(32768),
                    "Trade::animationTrackTargetCustom(): index 32768 too large");
    ZE_EXPECT_ABORT(animationTrackTypeSize(AnimationTrackType(0)),
                    "Trade::animationTrackTypeSize(): invalid type Trade::AnimationTrackType(0)");
}

template<class T, std::size_t size>
StridedArrayView1D<const T> viewOf(const T (&data)[size]) {
    return std::span<const T>{data};
}

constexpr float Keys[]{1.0f, 2.0f, 4.0f};
constexpr float Values[]{10.0f, 20.0f, 0.0f};

Animation::TrackView<float> scalarTrack(Interpolation interpolation, Extrapolation before,
                                        Extrapolation after) {
    return {viewOf(Keys),  viewOf(Values),
            interpolation, Animation::interpolatorFor<float>(interpolation),
            before,        after};
}

TEST(AnimationData, TrackViewInterpolatesAndExtrapolates) {
    const auto linear =
        scalarTrack(Interpolation::Linear, Extrapolation::Extrapolated, Extrapolation::Constant);
    EXPECT_EQ(linear.duration(), (Range1D{1.0f, 4.0f}));
    const auto constant =
        scalarTrack(Interpolation::Constant, Extrapolation::Constant, Extrapolation::Extrapolated);
    const auto defaulted = scalarTrack(Interpolation::Linear, Extrapolation::DefaultConstructed,
                                       Extrapolation::Extrapolated);
    /* Before the first key: the first segment continued, the first value held, a default;
       after the last: the value held, a step function past its end, the segment continued */
    const struct {
        float time, linear, constant, defaulted;
    } Samples[]{{0.0f, 0.0f, 10.0f, 0.0f},    {1.5f, 15.0f, 10.0f, 15.0f},
                {1.99f, 19.9f, 10.0f, 19.9f}, {2.0f, 20.0f, 20.0f, 20.0f},
                {3.0f, 10.0f, 20.0f, 10.0f},  {4.0f, 0.0f, 0.0f, 0.0f},
                {6.0f, 0.0f, 0.0f, -20.0f}};
    for (const auto& sample : Samples) {
        EXPECT_FLOAT_EQ(linear.at(sample.time), sample.linear) << sample.time;
        EXPECT_EQ(constant.at(sample.time), sample.constant) << sample.time;
        EXPECT_FLOAT_EQ(defaulted.at(sample.time), sample.defaulted) << sample.time;
    }

    /* One key gives its value everywhere but where a default is asked for */
    const Animation::TrackView<float> single{
        std::span<const float>{Keys, 1}, std::span<const float>{Values, 1},
        Interpolation::Linear,           Animation::interpolatorFor<float>(Interpolation::Linear),
        Extrapolation::Extrapolated,     Extrapolation::DefaultConstructed};
    EXPECT_EQ(single.at(0.0f), 10.0f);
    EXPECT_EQ(single.at(1.5f), 0.0f);
    EXPECT_EQ(Animation::TrackView<float>{}.at(1.0f), 0.0f);

    ZE_EXPECT_ABORT(
        (Animation::TrackView<float>{viewOf(Keys).prefix(2), viewOf(Values), Interpolation::Linear,
                                     nullptr, Extrapolation::Constant, Extrapolation::Constant}),
        "Animation::TrackView: expected key and value view to have the same size but "
        "got 2 and 3");
    ZE_EXPECT_ABORT(Animation::interpolatorFor<float>(Interpolation::Spline),
                    "Animation::interpolatorFor(): can't deduce interpolator function for "
                    "Animation::Interpolation::Spline");
}

TEST(AnimationData, QuaternionTracksTakeTheShorterArc) {
    const Quaternion quarterTurn = rotation(Rad{glm::half_pi<float>()}, {0.0f, 1.0f, 0.0f});
    const float keys[]{0.0f, 1.0f};
    /* The same rotations, the second one negated: the long way round in 4D */
    const Quaternion values[]{Quaternion{}, -quarterTurn};
    const Animation::TrackView<Quaternion> track{
        viewOf(keys),
        viewOf(values),
        Interpolation::Linear,
        Animation::interpolatorFor<Quaternion>(Interpolation::Linear),
        Extrapolation::Constant,
        Extrapolation::Constant};
    const Quaternion eighthTurn = rotation(Rad{glm::quarter_pi<float>()}, {0.0f, 1.0f, 0.0f});
    const Quaternion half = track.at(0.5f);
    EXPECT_TRUE(fuzzyEqual(half, eighthTurn) || fuzzyEqual(half, -eighthTurn));
    EXPECT_EQ(track.at(1.0f), -quarterTurn);
    EXPECT_EQ(track.at(-1.0f), Quaternion{});
}

/* Two tracks interleaved in one block: time, translation, rotation per key */
struct Key {
    float time;
    Vector3 translation;
    Quaternion rotation;
};

std::vector<char> interleaved() {
    std::vector<char> data(3 * sizeof(Key));
    auto* keys = reinterpret_cast<Key*>(data.data());
    for (int i = 0; i != 3; ++i)
        keys[i] = {0.5f + float(i), Vector3{float(i)},
                   rotation(Rad{0.1f * float(i)}, {1.0f, 0.0f, 0.0f})};
    return data;
}

std::vector<AnimationTrackData> tracksOver(std::span<const char> data) {
    const auto* keys = reinterpret_cast<const Key*>(data.data());
    const StridedArrayView1D<const float> times{&keys->time, 3, sizeof(Key)};
    return {
        AnimationTrackData{AnimationTrackTarget::Translation3D, 17, times,
                           StridedArrayView1D<const Vector3>{&keys->translation, 3, sizeof(Key)},
                           Interpolation::Linear, Extrapolation::DefaultConstructed,
                           Extrapolation::Extrapolated},
        AnimationTrackData{AnimationTrackTarget::Rotation3D, 4, times.prefix(2),
                           StridedArrayView1D<const Quaternion>{&keys->rotation, 2, sizeof(Key)},
                           Interpolation::Constant}};
}

TEST(AnimationData, OwnsOrViewsTracksOverItsData) {
    std::vector<char> bytes = interleaved();
    const char* const address = bytes.data();
    const std::vector<AnimationTrackData> tracks = tracksOver(bytes);
    AnimationData owning{std::move(bytes), tracks};
    /* Moving keeps the track views valid */
    const AnimationData animation = std::move(owning);

    EXPECT_EQ(animation.dataFlags(), DataFlag::Owned | DataFlag::Mutable);
    EXPECT_EQ(animation.data().data(), address);
    /* Spanning all tracks' keys */
    EXPECT_EQ(animation.duration(), (Range1D{0.5f, 2.5f}));
    ASSERT_EQ(animation.trackCount(), 2u);
    EXPECT_EQ(animation.trackType(1), AnimationTrackType::Quaternion);
    EXPECT_EQ(animation.trackTargetName(1), AnimationTrackTarget::Rotation3D);
    EXPECT_EQ(animation.trackTarget(0), 17u);

    /* The strided views read the interleaved keys */
    const Animation::TrackView<Vector3> translation = animation.track<Vector3>(0);
    EXPECT_EQ(translation.at(0.0f), Vector3{});
    EXPECT_EQ(translation.at(1.0f), Vector3{0.5f});
    EXPECT_EQ(translation.at(3.5f), Vector3{3.0f});
    const Animation::TrackView<Quaternion> rotations = animation.track<Quaternion>(1);
    EXPECT_EQ(rotations.after(), Extrapolation::Constant);
    EXPECT_EQ(rotations.at(1.4f), Quaternion{});
    EXPECT_EQ(rotations.at(7.0f), rotations.values()[1]);

    /* A view of the same bytes, with an explicit duration */
    const AnimationData view{DataStorage::view(animation.data()), tracksOver(animation.data()),
                             Range1D{0.0f, 10.0f}};
    EXPECT_EQ(view.duration(), (Range1D{0.0f, 10.0f}));
    EXPECT_EQ(AnimationData({}, {}).duration(), Range1D{});
}

TEST(AnimationData, RejectsMisuse) {
    const std::vector<char> bytes = interleaved();
    const AnimationData animation{DataStorage::view(bytes), tracksOver(bytes)};
    AnimationData view{DataStorage::view(bytes), {}};

    ZE_EXPECT_ABORT(animation.track<Quaternion>(0),
                    "Trade::AnimationTrackData::view(): improper type requested for "
                    "Trade::AnimationTrackType::Vector3");
    ZE_EXPECT_ABORT(animation.track(2),
                    "Trade::AnimationData::track(): index 2 out of range for 2 tracks");
    ZE_EXPECT_ABORT(view.mutableData(), "Trade::AnimationData::mutableData(): data not mutable");

    /* Tracks have to lie inside the data they come with */
    ZE_EXPECT_ABORT((AnimationData{DataStorage::view(std::span{bytes}.first(sizeof(Key) * 2)),
                                   tracksOver(bytes)}),
                    "Trade::AnimationData: keys of track 0 are not contained in the data");
    /* The last key fits, the last translation ends 4 bytes past the end */
    ZE_EXPECT_ABORT((AnimationData{DataStorage::view(std::span{bytes}.first(sizeof(Key) * 2 + 12)),
                                   std::vector{tracksOver(bytes)[0]}}),
                    "Trade::AnimationData: values of track 0 are not contained in the data");
    const float keys[]{0.0f, 1.0f};
    ZE_EXPECT_ABORT(
        (AnimationTrackData{AnimationTrackTarget::Scaling3D, 0, viewOf(keys),
                            StridedArrayView1D<const Vector3>{}, Interpolation::Linear}),
        "Trade::AnimationTrackData: expected key and value view to have the same "
        "size but got 2 and 0");
}

} // namespace
} // namespace ZarvikEngine::Trade
