#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationImport.h"

namespace ZarvikEngine::Data {
namespace {

using Skeletal::RawAnimation;
using Trade::AnimationTrackData;
using Trade::AnimationTrackTarget;
using Interpolation = ZarvikEngine::Animation::Interpolation;

Quaternion around(float degrees, const Vector3& axis) {
    return rotation(Rad{Deg{degrees}}, axis);
}

/* Angle between two rotations, whatever the signs of the quaternions */
float angleBetween(const Quaternion& a, const Quaternion& b) {
    return 2.0f * std::acos(std::min(std::abs(glm::dot(a, b)), 1.0f));
}

template<class T, std::size_t size>
StridedArrayView1D<const T> view(const T (&array)[size]) {
    return {array, size, sizeof(T)};
}

/* The keys of the imported tracks, read in place */
struct Keys {
    float firstTimes[2]{0.0f, 1.0f};
    Vector3 firstTranslations[2]{{1.0f, 0.0f, 0.0f}, {2.0f, 0.0f, 0.0f}};
    float turnTimes[1]{0.5f};
    Quaternion turns[1]{quaternionFromXyzw(0.0f, 0.6f, 0.0f, 0.8f)};
    float laterTimes[3]{0.0f, 0.5f, 3.0f};
    Vector3 laterTranslations[3]{Vector3{7.0f}, Vector3{8.0f}, Vector3{9.0f}};
    float unboundTimes[1]{4.0f};
    Vector3 unboundScalings[1]{Vector3{2.0f}};
    Vector2 flatTranslations[1]{{1.0f, 2.0f}};
    Vector3 scalings[1]{Vector3{3.0f}};
};

Trade::AnimationData importedAnimation(const Range1D& duration) {
    std::vector<char> bytes(sizeof(Keys));
    new (bytes.data()) Keys{};
    const Keys& keys = *reinterpret_cast<const Keys*>(bytes.data());
    std::vector<AnimationTrackData> tracks{
        {AnimationTrackTarget::Translation3D, 0, view(keys.firstTimes),
         view(keys.firstTranslations), Interpolation::Linear},
        {AnimationTrackTarget::Rotation3D, 0, view(keys.turnTimes), view(keys.turns),
         Interpolation::Linear},
        /* Animates the translation of the same object as the first one, and wins */
        {AnimationTrackTarget::Translation3D, 0, view(keys.laterTimes),
         view(keys.laterTranslations), Interpolation::Constant},
        {AnimationTrackTarget::Scaling3D, 0, view(keys.unboundTimes), view(keys.unboundScalings),
         Interpolation::Linear},
        {AnimationTrackTarget::Translation2D, 0, view(keys.turnTimes), view(keys.flatTranslations),
         Interpolation::Linear},
        {AnimationTrackTarget::Scaling3D, 0, view(keys.turnTimes), view(keys.scalings),
         Interpolation::Linear}};
    return Trade::AnimationData{std::move(bytes), std::move(tracks), duration};
}

TEST(AnimationImport, EachObjectBecomesOneTrack) {
    const std::uint16_t targets[]{5, 3, 5, InvalidIndex, 8, 8};
    const auto [animation, ids] = convertToOzzData(importedAnimation({0.0f, 2.0f}), targets);

    /* In order of first appearance; the unbound track gives nothing */
    EXPECT_EQ(ids, (std::vector<Id>{Id(5), Id(3), Id(8)}));
    ASSERT_EQ(animation.tracks.size(), 3u);
    /* The declared range ends before the winning track's last key */
    EXPECT_EQ(animation.duration, 3.0f);

    const RawAnimation::Track &five = animation.tracks[0], &three = animation.tracks[1],
                              &eight = animation.tracks[2];
    ASSERT_EQ(five.translations.size(), 3u);
    EXPECT_EQ(five.translations[2].time, 3.0f);
    EXPECT_EQ(five.translations[2].value, Vector3{9.0f});
    EXPECT_TRUE(five.rotations.empty() && five.scales.empty());
    /* Only rotated */
    EXPECT_TRUE(three.translations.empty() && three.scales.empty());
    ASSERT_EQ(three.rotations.size(), 1u);
    EXPECT_EQ(three.rotations[0].time, 0.5f);
    EXPECT_EQ(three.rotations[0].value, quaternionFromXyzw(0.0f, 0.6f, 0.0f, 0.8f));
    /* A 2D translation is no translation */
    EXPECT_TRUE(eight.translations.empty());
    ASSERT_EQ(eight.scales.size(), 1u);
    EXPECT_EQ(eight.scales[0].value, Vector3{3.0f});

    /* A longer declared range is kept */
    EXPECT_EQ(convertToOzzData(importedAnimation({1.0f, 5.0f}), targets).first.duration, 5.0f);
    const std::uint16_t unbound[6]{InvalidIndex, InvalidIndex, InvalidIndex,
                                   InvalidIndex, InvalidIndex, InvalidIndex};
    EXPECT_TRUE(convertToOzzData(importedAnimation({0.0f, 2.0f}), unbound).first.tracks.empty());
    const auto [none, noTargets] = convertToOzzData(Trade::AnimationData{{}, {}}, {});
    EXPECT_TRUE(none.tracks.empty());
    EXPECT_EQ(none.duration, 1.0f);

    ZE_EXPECT_ABORT_PREFIX(
        convertToOzzData(importedAnimation({0.0f, 2.0f}), std::span{targets}.first(5)),
        "Assertion anim.trackCount() == inTargets.size() failed at "
        "ZarvikEngine/Data/AnimationImport.cpp:");
}

/* A hip bobbing up and down while it walks forward along z and sways along x */
RawAnimation walkCycle() {
    RawAnimation animation;
    animation.tracks.resize(2);
    for (int i = 0; i != 5; ++i) {
        const float time = 0.25f * float(i);
        const float bob = std::sin(time * 6.2831853f);
        animation.tracks[1].translations.push_back(
            {time, {0.05f * bob, 1.0f + 0.1f * bob, 2.0f * time}});
        animation.tracks[1].rotations.push_back({time, around(10.0f * bob, {1.0f, 0.0f, 0.0f})});
    }
    animation.tracks[0].scales = {{0.0f, Vector3{2.0f}}};
    return animation;
}

TEST(AnimationImport, RotationsAreSubdividedForNormalizedLerp) {
    const Quaternion start = rotation(Rad{0.0f}, {0.0f, 1.0f, 0.0f});
    const Quaternion quarter = rotation(Rad{glm::half_pi<float>()}, {0.0f, 1.0f, 0.0f});
    /* The same turn the long way round in quaternion space */
    const Quaternion quarterFlipped =
        -rotation(Rad{glm::half_pi<float>() + 0.1f}, {0.0f, 1.0f, 0.0f});
    Skeletal::RawAnimation animation;
    animation.duration = 3.0f;
    animation.tracks.resize(1);
    animation.tracks[0].rotations = {{0.0f, start},
                                     {1.0f, quarter},
                                     {2.0f, quarterFlipped},
                                     {3.0f, Quaternion{NAN, NAN, NAN, NAN}}};
    subdivideRotations(animation, 0.25f);

    const std::vector<Skeletal::RawAnimation::RotationKey>& keys = animation.tracks[0].rotations;
    /* A quarter turn in seven parts, the small turn and the NaN key left alone */
    ASSERT_EQ(keys.size(), 10u);
    EXPECT_FLOAT_EQ(keys[3].time, 3.0f / 7.0f);
    EXPECT_EQ(keys[7].time, 1.0f);
    EXPECT_EQ(keys[8].time, 2.0f);
    for (std::size_t i = 0; i + 1 < 8; ++i) {
        /* Normalized lerp between neighbours stays within 1e-4 of the spherical path */
        for (const float t : {0.25f, 0.5f, 0.75f}) {
            const Quaternion nlerp =
                glm::normalize(keys[i].value * (1.0f - t) + keys[i + 1].value * t);
            const float time = keys[i].time + (keys[i + 1].time - keys[i].time) * t;
            const Quaternion slerp = slerpShortestPath(start, quarter, time);
            /* From the chord, which keeps its precision for small angles */
            const Quaternion difference =
                glm::dot(nlerp, slerp) < 0.0f ? nlerp + slerp : nlerp - slerp;
            EXPECT_LT(4.0f * std::asin(glm::length(glm::vec4{difference.x, difference.y,
                                                             difference.z, difference.w}) /
                                       2.0f),
                      1e-4f)
                << i << " " << t;
        }
    }
}

TEST(AnimationImport, RootMotionTakesTheSelectedAxes) {
    const RawAnimation original = walkCycle();
    const std::vector<RawAnimation::TranslationKey>& hipKeys = original.tracks[1].translations;
    RawAnimation animation = walkCycle();
    std::vector<Id> targets{Id(4), Id(9)};
    RootMotionConfig config;
    config.track = 1;
    config.translationAxes = 2;
    generateRootMotion(animation, targets, config);

    /* The vertical motion goes to a new root track, the hip keeps its first height */
    EXPECT_EQ(targets, (std::vector<Id>{Id(0), Id(4), Id(9)}));
    ASSERT_EQ(animation.tracks.size(), 3u);
    const RawAnimation::Track &root = animation.tracks[0], &hip = animation.tracks[2];
    ASSERT_EQ(root.translations.size(), 5u);
    ASSERT_EQ(hip.translations.size(), 5u);
    for (std::size_t k = 0; k != 5; ++k) {
        const Vector3& before = hipKeys[k].value;
        EXPECT_EQ(root.translations[k].time, hipKeys[k].time);
        EXPECT_EQ(root.translations[k].value, (Vector3{0.0f, before.y, 0.0f}));
        EXPECT_EQ(hip.translations[k].time, hipKeys[k].time);
        EXPECT_EQ(hip.translations[k].value, (Vector3{before.x, hipKeys[0].value.y, before.z}));
    }
    /* No rotation is taken: the root gets identity, the hip keeps its keys */
    ASSERT_EQ(root.rotations.size(), 1u);
    EXPECT_EQ(root.rotations[0].value, Quaternion{});
    ASSERT_EQ(root.scales.size(), 1u);
    EXPECT_EQ(root.scales[0].value, Vector3{1.0f});
    EXPECT_EQ(hip.rotations.size(), 5u);
    EXPECT_EQ(animation.tracks[1].scales[0].value, Vector3{2.0f});

    /* Everything: the source keeps a copy of its first keys */
    animation = walkCycle();
    targets = {Id(4), Id(9)};
    config.translationAxes = config.rotationAxes = 7;
    generateRootMotion(animation, targets, config);
    EXPECT_EQ(animation.tracks[0].translations.size(), 5u);
    EXPECT_EQ(animation.tracks[0].rotations[3].value, original.tracks[1].rotations[3].value);
    ASSERT_EQ(animation.tracks[2].translations.size(), 1u);
    EXPECT_EQ(animation.tracks[2].translations[0].value, hipKeys[0].value);
    ASSERT_EQ(animation.tracks[2].rotations.size(), 1u);
    EXPECT_EQ(animation.tracks[2].rotations[0].time, 0.0f);

    /* Nothing: a root track of identity keys is inserted all the same */
    animation = walkCycle();
    targets = {Id(4), Id(9)};
    config = RootMotionConfig{};
    generateRootMotion(animation, targets, config);
    EXPECT_EQ(targets, (std::vector<Id>{Id(0), Id(4), Id(9)}));
    ASSERT_EQ(animation.tracks.size(), 3u);
    ASSERT_EQ(animation.tracks[0].translations.size(), 1u);
    EXPECT_EQ(animation.tracks[0].translations[0].value, Vector3{});
    EXPECT_EQ(animation.tracks[0].rotations.size(), 1u);
    EXPECT_EQ(animation.tracks[0].scales.size(), 1u);
    EXPECT_EQ(animation.tracks[2].translations.size(), 5u);

    /* No tracks, no root motion */
    RawAnimation empty;
    std::vector<Id> none;
    generateRootMotion(empty, none, config);
    EXPECT_TRUE(empty.tracks.empty());
    EXPECT_TRUE(none.empty());

    config.track = 3;
    ZE_EXPECT_ABORT(generateRootMotion(animation, targets, config),
                    "generateRootMotion(): track 3 out of range for 3 tracks");
    config.track = 0;
    targets.pop_back();
    ZE_EXPECT_ABORT(generateRootMotion(animation, targets, config),
                    "generateRootMotion(): expected 3 targets but got 2");
}

TEST(AnimationImport, RootMotionSplitsRotationsIntoAngles) {
    /* A turn about y, starting at 30°: the heading goes to the root, the source keeps 30° */
    RawAnimation animation;
    animation.tracks.resize(1);
    for (const float degrees : {30.0f, 90.0f, 150.0f, 170.0f, -120.0f})
        animation.tracks[0].rotations.push_back(
            {float(animation.tracks[0].rotations.size()) * 0.2f, around(degrees, {0, 1, 0})});
    const RawAnimation original = animation;
    std::vector<Id> targets{Id(1)};
    RootMotionConfig config;
    config.track = 0;
    config.rotationAxes = 1;
    generateRootMotion(animation, targets, config);
    for (std::size_t k = 0; k != 5; ++k) {
        EXPECT_LT(angleBetween(animation.tracks[1].rotations[k].value,
                               original.tracks[0].rotations[0].value),
                  1.0e-3f);
        EXPECT_LT(angleBetween(animation.tracks[0].rotations[k].value,
                               original.tracks[0].rotations[k].value),
                  1.0e-3f);
    }

    /* Heading and bank of a combined rotation: the root takes the bank only, and both halves
       compose back to the original */
    const Quaternion heading = around(40.0f, {0, 1, 0}), attitude = around(20.0f, {0, 0, 1}),
                     bank = around(-25.0f, {1, 0, 0});
    animation.tracks = {RawAnimation::Track{}};
    animation.tracks[0].rotations = {{0.0f, Quaternion{}}, {1.0f, heading * attitude * bank}};
    targets = {Id(1)};
    config.rotationAxes = 4;
    generateRootMotion(animation, targets, config);
    EXPECT_LT(angleBetween(animation.tracks[0].rotations[1].value, bank), 1.0e-3f);
    EXPECT_LT(angleBetween(animation.tracks[1].rotations[1].value, heading * attitude), 1.0e-3f);
    EXPECT_LT(angleBetween(animation.tracks[0].rotations[0].value, Quaternion{}), 1.0e-3f);
}

} // namespace
} // namespace ZarvikEngine::Data
