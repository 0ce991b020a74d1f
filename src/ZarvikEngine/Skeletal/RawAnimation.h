#ifndef ZarvikEngine_Skeletal_RawAnimation_h
#define ZarvikEngine_Skeletal_RawAnimation_h

#include <cstddef>
#include <string>
#include <vector>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Skeletal {

/* The editable form of an animation: per track, three independent lists of keys (translation,
   rotation, scale), times in seconds. AnimationBuilder turns it into a RuntimeAnimation. */
struct RawAnimation {
    struct TranslationKey {
        float time{};
        Vector3 value{};
    };

    struct RotationKey {
        float time{};
        Quaternion value{};
    };

    struct ScaleKey {
        float time{};
        Vector3 value{1.0f};
    };

    /* The lists may have different lengths and different key times; an empty list means the
       identity for the whole clip */
    struct Track {
        std::vector<TranslationKey> translations;
        std::vector<RotationKey> rotations;
        std::vector<ScaleKey> scales;

        /* Every time in [0, duration] and strictly increasing within its list. NaN times fail;
           with an infinite duration only the order and the sign are checked. Key values are not
           checked. */
        bool validate(float duration) const;
    };

    /* The largest skeleton the runtime animates */
    static constexpr std::size_t MaxTracks = 1024;

    float duration = 1.0f;
    std::string name;
    std::vector<Track> tracks;

    std::size_t trackCount() const { return tracks.size(); }

    /* A finite duration above 0, at most MaxTracks tracks, every track valid. No tracks at all
       is valid. */
    bool validate() const;
};

} // namespace ZarvikEngine::Skeletal

#endif
