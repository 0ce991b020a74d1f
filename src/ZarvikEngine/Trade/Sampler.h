#ifndef ZarvikEngine_Trade_Sampler_h
#define ZarvikEngine_Trade_Sampler_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

/* Texture sampler state. The numbering is stored in asset files; unlike the format enums these
   start at zero, which is a sensible default. */

enum class SamplerFilter : std::uint32_t {
    Nearest = 0,
    Linear,
};

enum class SamplerMipmap : std::uint32_t {
    /* Only the base level is sampled */
    Base = 0,
    Nearest,
    Linear,
};

enum class SamplerWrapping : std::uint32_t {
    Repeat = 0,
    MirroredRepeat,
    ClampToEdge,
    ClampToBorder,
    MirrorClampToEdge,
};

/* "SamplerFilter::Linear" or "SamplerFilter(7)" */
Debug& operator<<(Debug& debug, SamplerFilter value);
Debug& operator<<(Debug& debug, SamplerMipmap value);
Debug& operator<<(Debug& debug, SamplerWrapping value);

} // namespace ZarvikEngine

#endif
