#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationRecords.h"
#include "ZarvikEngine/Skeletal/AnimationBuilder.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"

namespace ZarvikEngine::Data {
namespace {

using Skeletal::RawAnimation;
using Strings = std::vector<std::string_view>;

Quaternion aroundY(float degrees) {
    return rotation(Rad{Deg{degrees}}, {0.0f, 1.0f, 0.0f});
}

/* Two seconds, three tracks: a translation that peaks at one second, a quarter turn, and
   nothing */
RawAnimation threeTrackAnimation() {
    RawAnimation animation;
    animation.duration = 2.0f;
    animation.tracks.resize(3);
    animation.tracks[0].translations = {
        {0.0f, Vector3{}}, {1.0f, {2.0f, 4.0f, 6.0f}}, {2.0f, Vector3{}}};
    animation.tracks[1].rotations = {{0.0f, Quaternion{}}, {2.0f, aroundY(90.0f)}};
    return animation;
}

Skeletal::RuntimeAnimation build(const RawAnimation& animation) {
    return std::move(*Skeletal::AnimationBuilder{}(animation));
}

TEST(Animation, ClipIsBuiltFromEitherEncoding) {
    const float eventKeys[]{0.5f};
    for (const bool fullPrecision : {false, true}) {
        SCOPED_TRACE(fullPrecision);
        const std::vector<char> payload = createAnimationData(
            threeTrackAnimation(), eventKeys, fromStrings(Strings{"footstep"}), fullPrecision);
        ASSERT_EQ(AnimationData::validate(payload), std::nullopt);
        const Animation clip = AnimationData{payload}.animation();

        EXPECT_EQ(clip.duration(), 2.0f);
        EXPECT_EQ(clip.trackCount(), 3u);
        EXPECT_EQ(clip.soaTrackCount(), 1u);
        EXPECT_TRUE(clip.hasTranslations(0));
        EXPECT_FALSE(clip.hasTranslations(1));
        EXPECT_FALSE(clip.hasRotations(0));
        EXPECT_TRUE(clip.hasRotations(1));
        for (std::size_t i = 0; i != 32; ++i)
            EXPECT_FALSE(clip.hasScalings(i));
        ASSERT_EQ(clip.eventCount(), 1u);
        EXPECT_EQ(clip.eventKeys()[0], 0.5f);
        EXPECT_EQ(clip.eventNames().strings(), Strings{"footstep"});

        /* Halfway: the peak of track 0 (a quantized time is a tiny bit off the key) and half
           the turn of track 1; the empty track is the identity */
        Skeletal::SamplingContext context{clip.trackCount()};
        Skeletal::SoaTransform pose[1];
        const Skeletal::SamplingJob job{0.5f, clip.runtimeAnimation(), &context, pose};
        ASSERT_TRUE(job.run());
        const float tolerance = fullPrecision ? 1.0e-6f : 1.0e-3f;
        for (int i = 0; i != 3; ++i)
            EXPECT_NEAR(pose[0].translation.get(0)[i], 2.0f * float(i + 1), tolerance);
        const Quaternion half = pose[0].rotation.get(1);
        EXPECT_LT(2.0f * std::acos(std::min(std::abs(glm::dot(half, aroundY(45.0f))), 1.0f)),
                  5.0e-3f);
        EXPECT_EQ(pose[0].translation.get(2), Vector3{});
        EXPECT_EQ(pose[0].rotation.get(2), Quaternion{});
    }

    /* Keys that quantize to one time: at full precision they stay apart, quantized the
       build fails and the clip is empty */
    RawAnimation close;
    close.duration = 2.0f;
    close.tracks.resize(1);
    close.tracks[0].translations = {{1.0f, Vector3{}}, {1.00001f, Vector3{1.0f}}};
    EXPECT_EQ(AnimationData{createAnimationData(close, {}, {}, true)}.animation().trackCount(), 1u);
    std::ostringstream out;
    Error redirect{&out};
    const Animation empty = AnimationData{createAnimationData(close, {}, {}, false)}.animation();
    EXPECT_EQ(out.str(), "Failed to build runtime animation.\n");
    ASSERT_TRUE(empty.runtimeAnimation());
    EXPECT_EQ(empty.duration(), 0.0f);
    EXPECT_EQ(empty.trackCount(), 0u);
}

TEST(Animation, OwnsItsClipAndEvents) {
    const Animation empty;
    ASSERT_TRUE(empty.runtimeAnimation());
    EXPECT_EQ(empty.trackCount(), 0u);

    /* The events are copies */
    std::vector<float> keys{0.25f, 1.75f};
    StringArray names = fromStrings(Strings{"left", "right"});
    BitSet translations{3};
    translations.set(0);
    Animation clip{
        build(threeTrackAnimation()), std::move(translations), BitSet{3}, BitSet{3}, keys, names};
    keys[0] = 9.0f;
    names.set(0, "changed");
    EXPECT_EQ(clip.eventKeys()[0], 0.25f);
    EXPECT_EQ(clip.eventNames().strings(), (Strings{"left", "right"}));
    EXPECT_EQ(clip.eventNames().capacity(), 11u);

    /* Moving out leaves nothing behind, assigning swaps */
    Animation moved = std::move(clip);
    EXPECT_FALSE(clip.runtimeAnimation());
    EXPECT_EQ(clip.duration(), 0.0f);
    EXPECT_EQ(clip.soaTrackCount(), 0u);
    EXPECT_EQ(clip.eventCount(), 0u);
    Animation other{build(RawAnimation{})};
    other = std::move(moved);
    EXPECT_EQ(other.trackCount(), 3u);
    EXPECT_EQ(other.eventNames()[1], "right");
    EXPECT_TRUE(other.hasTranslations(0));
    EXPECT_EQ(moved.duration(), 1.0f);
    EXPECT_EQ(moved.trackCount(), 0u);
    EXPECT_EQ(moved.eventCount(), 0u);
}

TEST(AnimationDeathTest, ConstructionChecksSizes) {
    const float keys[]{0.5f};
    const StringArray names = fromStrings(Strings{"a"});
    const std::string sizes = "Size mismatch between size of track translation, rotation, scaling "
                              "BitSets and number of tracks in ozz::Animation";
    ZE_EXPECT_ABORT(
        (Animation{build(threeTrackAnimation()), BitSet{32}, BitSet{64}, BitSet{32}, keys, names}),
        sizes);
    ZE_EXPECT_ABORT(
        (Animation{build(threeTrackAnimation()), BitSet{}, BitSet{}, BitSet{}, keys, names}),
        sizes);
    ZE_EXPECT_ABORT(
        (Animation{build(threeTrackAnimation()), BitSet{3}, BitSet{3}, BitSet{3}, {}, names}),
        "Size mismatch between eventKeys and eventNames");
}

} // namespace
} // namespace ZarvikEngine::Data
