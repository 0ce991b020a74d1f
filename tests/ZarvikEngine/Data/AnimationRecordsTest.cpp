#include <bit>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/AnimationRecords.h"

namespace ZarvikEngine::Data {
namespace {

using Skeletal::RawAnimation;
using Test::appended;
using Test::Bytes;
using Test::expectValidationErrors;
using Test::expectValidationGuardsReaders;
using Test::patched;
using Test::touch;

/* One step of a quantized rotation component */
constexpr float RotationStep = 1.414214f / 1023.0f;

Bytes& f32(Bytes& bytes, std::initializer_list<float> values) {
    for (const float value : values)
        bytes.u32(std::bit_cast<std::uint32_t>(value));
    return bytes;
}

/* Two seconds; track 0 has two translations and three rotations, track 1 one scale key */
RawAnimation twoTrackAnimation() {
    RawAnimation animation;
    animation.duration = 2.0f;
    animation.tracks.resize(2);
    animation.tracks[0].translations = {{0.5f, {1.0f, -2.0f, 0.5f}}, {2.0f, {}}};
    animation.tracks[0].rotations = {{0.0f, quaternionFromXyzw(0.0f, 0.0f, 0.0f, 1.0f)},
                                     {1.0f, quaternionFromXyzw(0.0f, 0.0f, 0.0f, -1.0f)},
                                     {2.0f, quaternionFromXyzw(0.0f, -0.8f, 0.0f, 0.6f)}};
    animation.tracks[1].scales = {{0.0f, Vector3{1.0f}}};
    return animation;
}

const StringArray& eventNames() {
    static const StringArray names = fromStrings(std::vector<std::string_view>{"step", "jump"});
    return names;
}
constexpr float EventKeys[]{0.25f, 1.5f};

TEST(AnimationRecords, QuantizedKeysAreLaidOutTrackAfterTrack) {
    EXPECT_EQ(createAnimationData(), std::vector<char>(Bytes{}.u32(0x3f800000).u16(1).zeros(10)));

    const std::vector<char> payload =
        createAnimationData(twoTrackAnimation(), EventKeys, eventNames(), false);
    Bytes expected;
    f32(expected, {2.0f}).u16(1).u16(2).u32(44).u32(2);
    /* Three rotations take 18 bytes and 2 of padding */
    expected.u32(0).u32(2).u32(3).u32(0).u32(36).u32(0).u32(0).u32(1);
    /* Translations: three half floats and the time of 0.5 s, rounded from 16383.75 */
    expected.u16(0x3c00).u16(0xc000).u16(0x3800).u16(16384).u16(0).u16(0).u16(0).u16(65535);
    /* Identity, stored as three components of 512 without the largest one, w (index 3);
       −1 is the same rotation; in the third the largest component is y (index 1), negative,
       so the rotation is negated and its x, w, z are stored */
    expected.u32(0xe0080200).u32(0xe0080200).u32(512 | 77 << 10 | 512 << 20 | 1u << 30);
    expected.u16(0).u16(32768).u16(65535).u16(0);
    expected.u16(0x3c00).u16(0x3c00).u16(0x3c00).u16(0);
    f32(expected, {0.25f, 1.5f}).string("step").string("jump");
    EXPECT_EQ(payload, std::vector<char>(expected));

    const AnimationData record{payload};
    EXPECT_EQ(record.tracksData().size(), 44u + 8u + 10u);
    EXPECT_EQ(std::vector<float>(record.eventKeys().begin(), record.eventKeys().end()),
              (std::vector<float>{0.25f, 1.5f}));
    EXPECT_EQ(record.eventNames().strings(), (std::vector<std::string_view>{"step", "jump"}));

    /* Halves of these values are exact; the third rotation decodes negated (the property test
       below covers the tolerances) */
    const RawAnimation decoded = record.rawAnimation();
    ASSERT_EQ(decoded.tracks.size(), 2u);
    EXPECT_EQ(decoded.tracks[0].translations[0].time, 16384.0f / 65535.0f * 2.0f);
    EXPECT_EQ(decoded.tracks[0].translations[0].value, (Vector3{1.0f, -2.0f, 0.5f}));
    EXPECT_TRUE(decoded.tracks[0].scales.empty());
    EXPECT_EQ(decoded.tracks[1].scales[0].value, Vector3{1.0f});

    /* Key values aren't validated, but what is written decodes: rotations without a
       direction become identity */
    RawAnimation odd = twoTrackAnimation();
    odd.tracks[0].rotations[0].value = quaternionFromXyzw(NAN, 0.0f, 0.0f, 1.0f);
    odd.tracks[0].rotations[1].value = quaternionFromXyzw(0.0f, INFINITY, 0.0f, 1.0f);
    const std::vector<char> oddPayload = createAnimationData(odd, {}, {}, false);
    ASSERT_EQ(AnimationData::validate(oddPayload), std::nullopt);
    EXPECT_NEAR(AnimationData{oddPayload}.rawAnimation().tracks[0].rotations[1].value.w, 1.0f,
                1.0e-5f);
}

TEST(AnimationRecords, FullPrecisionKeysRoundTripExactly) {
    RawAnimation animation = twoTrackAnimation();
    /* Values are stored as they are, even a rotation that isn't normalized */
    animation.tracks[0].rotations[1].value = quaternionFromXyzw(0.1f, 0.2f, 0.3f, 2.0f);
    animation.tracks[1].scales[0] = {1.25f, {1.0f / 3.0f, 1e-30f, -7.0f}};
    const std::vector<char> payload = createAnimationData(animation, EventKeys, eventNames(), true);

    /* Translations, rotations, then scales at full precision */
    Bytes expected;
    f32(expected, {2.0f}).u16(0).u16(2).u32(92 + 16).u32(2);
    expected.u32(0).u32(2).u32(3).u32(0).u32(92).u32(0).u32(0).u32(1);
    f32(expected, {0.5f, 1.0f, -2.0f, 0.5f, 2.0f, 0.0f, 0.0f, 0.0f});
    f32(expected, {0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.1f, 0.2f, 0.3f, 2.0f});
    f32(expected, {2.0f, 0.0f, -0.8f, 0.0f, 0.6f});
    f32(expected, {1.25f, 1.0f / 3.0f, 1e-30f, -7.0f, 0.25f, 1.5f}).string("step").string("jump");
    EXPECT_EQ(payload, std::vector<char>(expected));

    /* Every bit comes back: encoding the decoded animation gives the same bytes */
    const RawAnimation decoded = AnimationData{payload}.rawAnimation();
    EXPECT_EQ(decoded.tracks[0].rotations[1].value, quaternionFromXyzw(0.1f, 0.2f, 0.3f, 2.0f));
    EXPECT_EQ(createAnimationData(decoded, EventKeys, eventNames(), true), payload);
}

/* The index of the largest magnitude, the first one on ties */
int largestComponent(const Quaternion& q) {
    int largest = 0;
    for (int i = 1; i != 4; ++i)
        if (std::abs(q[i]) > std::abs(q[largest]))
            largest = i;
    return largest;
}

TEST(AnimationRecords, QuantizedKeysStayWithinTheirSteps) {
    std::mt19937 random{7};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    RawAnimation animation;
    animation.duration = 3.7f;
    /* Odd and even rotation counts, so that padding sits between tracks */
    for (std::size_t count : {31, 50, 1, 0, 17}) {
        RawAnimation::Track& track = animation.tracks.emplace_back();
        for (std::size_t k = 0; k != count; ++k) {
            const float time = animation.duration * float(k) / float(count);
            const Vector3 value{100.0f * unit(random), unit(random), 1.0e-3f * unit(random)};
            track.translations.push_back({time, value});
            track.scales.push_back({time, 2.0f * value});
            Quaternion rotation =
                quaternionFromXyzw(unit(random), unit(random), unit(random), unit(random));
            track.rotations.push_back({time, glm::normalize(rotation)});
        }
    }
    /* Ties go to the earlier component: x is kept positive here, negated there */
    animation.tracks[2].rotations[0].value = quaternionFromXyzw(0.5f, -0.5f, 0.5f, -0.5f);
    animation.tracks.back().rotations[0].value = quaternionFromXyzw(-0.5f, 0.5f, 0.5f, 0.5f);

    const std::vector<char> payload = createAnimationData(animation, {}, {}, false);
    ASSERT_FALSE(AnimationData::validate(payload));
    const AnimationData record{payload};
    /* 31 rotations: 248 + 248 + 186 + 2 bytes */
    EXPECT_EQ(record.tracks()[1].dataOffset, 684u);

    const RawAnimation decoded = record.rawAnimation();
    const float timeStep = animation.duration / 65535.0f;
    for (std::size_t i = 0; i != animation.tracks.size(); ++i) {
        const RawAnimation::Track& original = animation.tracks[i];
        const RawAnimation::Track& track = decoded.tracks[i];
        for (std::size_t k = 0; k != original.translations.size(); ++k) {
            const Vector3 value = original.translations[k].value;
            EXPECT_NEAR(track.translations[k].time, original.translations[k].time, timeStep);
            EXPECT_NEAR(track.scales[k].time, original.scales[k].time, timeStep);
            for (int c = 0; c != 3; ++c) {
                EXPECT_NEAR(track.translations[k].value[c], value[c],
                            std::abs(value[c]) / 2048.0f + 1.0e-7f);
                EXPECT_NEAR(track.scales[k].value[c], 2.0f * value[c],
                            std::abs(value[c]) / 1024.0f + 1.0e-7f);
            }
        }
        for (std::size_t k = 0; k != original.rotations.size(); ++k) {
            EXPECT_NEAR(track.rotations[k].time, original.rotations[k].time, timeStep);
            const Quaternion value = original.rotations[k].value;
            const int largest = largestComponent(value);
            const Quaternion expected = value[largest] < 0.0f ? -value : value;
            const Quaternion actual = track.rotations[k].value;
            EXPECT_NEAR(glm::dot(actual, actual), 1.0f, 1.0e-6f);
            /* Three components are rounded to the nearest step, the fourth is what the unit
               length leaves for it */
            for (int c = 0; c != 4; ++c)
                EXPECT_NEAR(actual[c], expected[c],
                            c == largest ? 1.5f * RotationStep : 0.5f * RotationStep + 1.0e-6f)
                    << "track " << i << " key " << k << " component " << c;
        }
    }
    EXPECT_GT(decoded.tracks[2].rotations[0].value.x, 0.49f);
    EXPECT_GT(decoded.tracks.back().rotations[0].value.x, 0.49f);
    EXPECT_LT(decoded.tracks.back().rotations[0].value.y, -0.49f);
}

TEST(AnimationRecordsDeathTest, WriterAndReaderRefuseMisuse) {
    {
        std::ostringstream out;
        Error redirect{&out};
        RawAnimation late = twoTrackAnimation();
        late.tracks[0].translations[1].time = 2.5f;
        EXPECT_TRUE(createAnimationData(late, {}, {}, false).empty());
        RawAnimation endless = twoTrackAnimation();
        endless.duration = std::numeric_limits<float>::infinity();
        EXPECT_TRUE(createAnimationData(endless, {}, {}, true).empty());
        RawAnimation tooMany;
        tooMany.tracks.resize(RawAnimation::MaxTracks + 1);
        EXPECT_TRUE(createAnimationData(tooMany, {}, {}, false).empty());
        const std::string message =
            "createAnimationData(): animation is empty or contains invalid key values.\n";
        /* Names come from imported files; the names end at the first empty one */
        EXPECT_TRUE(createAnimationData(twoTrackAnimation(), EventKeys,
                                        fromStrings(std::vector<std::string_view>{"step", ""}),
                                        false)
                        .empty());
        EXPECT_EQ(out.str(),
                  message + message + message + "createAnimationData(): event name 1 is empty.\n");
    }

    const RawAnimation animation = twoTrackAnimation();
    ZE_EXPECT_ABORT(createAnimationData(animation, EventKeys, StringArray{}, false),
                    "createAnimationData(): got 0 event names for 2 event keys");
    /* Three components of 0.707107 leave nothing for the fourth: its length is NaN */
    const std::vector<char> corrupt =
        patched(createAnimationData(animation, {}, {}, false), 16 + 32 + 16, 0x3fffffffu);
    ZE_EXPECT_ABORT_PREFIX(AnimationData{corrupt}.rawAnimation(),
                           "Quat not normalized, length is ");
}

TEST(AnimationRecords, ValidationRejectsWhatReadersCannotTake) {
    const std::vector<char> quantized =
        createAnimationData(twoTrackAnimation(), EventKeys, eventNames(), false);
    const std::vector<char> full =
        createAnimationData(twoTrackAnimation(), EventKeys, eventNames(), true);
    expectValidationErrors<AnimationData>({
        {createAnimationData(), "accepted"},
        {std::vector<char>(15), "payload of 15 bytes is smaller than the 16-byte header"},
        {patched(quantized, 4, std::uint16_t{2}), "quantized flag is 2 instead of 0 or 1"},
        {patched(quantized, 6, std::uint16_t{0xffff}),
         "65535 track headers run past the payload of 110 bytes"},
        {patched(quantized, 8, 0xffffffffu),
         "4294967295 bytes of tracks data run past the payload of 110 bytes"},
        {patched(quantized, 8, 48u), "48 bytes of tracks data hold 44 bytes of keys"},
        {patched(quantized, 32, 40u), "track 1 starts at 40 instead of 36"},
        /* Counts that would wrap 32 bits */
        {patched(quantized, 24, 0x40000000u),
         "keys of track 0 run past the 44 bytes of tracks data"},
        {patched(quantized, 12, 0x40000001u),
         "1073741825 event keys run past the payload of 110 bytes"},
        /* A third key takes the bytes of "step" */
        {patched(quantized, 12, 3u),
         "strings section of 6 bytes holds fewer than 3 zero-terminated strings"},
        /* Bytes after the last name, and an empty first name, which ends the names */
        {appended(quantized, "x"),
         "strings section of 11 bytes holds more than 2 zero-terminated strings"},
        {appended(quantized, std::string_view{"x\0", 2}),
         "strings section of 12 bytes holds more than 2 zero-terminated strings"},
        {patched(quantized, 100, '\0'),
         "strings section of 10 bytes holds more than 2 zero-terminated strings"},
        {patched(patched(quantized, 100, '\0'), 104, 'x'), "0 event names follow 2 event keys"},
        {patched(quantized, 64, 0x3fffffffu),
         "a rotation of track 0 doesn't decode to unit length"},
        /* At full precision rotations aren't decoded, so nothing is checked */
        {patched(full, 80, std::numeric_limits<float>::quiet_NaN()), "accepted"},
    });

    /* Keys that can't be built into a clip give an empty one */
    Error silence{nullptr};
    for (const std::vector<char>* payload : {&quantized, &full})
        EXPECT_GT(expectValidationGuardsReaders<AnimationData>(
                      *payload,
                      [](std::span<const char> bytes) {
                          const Animation clip = AnimationData{bytes}.animation();
                          EXPECT_TRUE(clip.trackCount() == 0 || clip.trackCount() == 2);
                      }),
                  0u);
}

TEST(AnimationRecords, TargetsAreIdsInTrackOrder) {
    const Id targets[]{Id(3), Id(0), Id(65535), Id(7), Id(3)};
    const std::vector<char> payload = createAnimationTargetsData(0xbeef, targets);
    EXPECT_EQ(payload,
              std::vector<char>(Bytes{}.u16(0xbeef).u16(5).u16(3).u16(0).u16(65535).u16(7).u16(3)));
    EXPECT_EQ(AnimationTargetsData::validate(patched(payload, 2, std::uint16_t{6})),
              "6 targets run past the payload of 14 bytes");
    expectValidationGuardsReaders<AnimationTargetsData>(
        payload, [](std::span<const char> bytes) { touch(AnimationTargetsData{bytes}.targets()); });

    const AnimationTargetsData record{payload};
    EXPECT_EQ(std::vector<Id>(record.targets().begin(), record.targets().end()),
              std::vector<Id>(std::begin(targets), std::end(targets)));
    EXPECT_TRUE(AnimationTargetsData{createAnimationTargetsData(1, {})}.targets().empty());

    const std::vector<Id> tooMany(65536);
    ZE_EXPECT_ABORT(createAnimationTargetsData(0, tooMany),
                    "createAnimationTargetsData(): can't store 65536 targets, at most 65535 fit");
}

} // namespace
} // namespace ZarvikEngine::Data
