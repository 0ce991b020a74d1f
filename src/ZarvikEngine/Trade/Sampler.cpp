#include "ZarvikEngine/Trade/Sampler.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine {

namespace {

/* Indexed by value */
constexpr std::string_view FilterNames[]{"Nearest", "Linear"};
constexpr std::string_view MipmapNames[]{"Base", "Nearest", "Linear"};
constexpr std::string_view WrappingNames[]{"Repeat", "MirroredRepeat", "ClampToEdge",
                                           "ClampToBorder", "MirrorClampToEdge"};

template<std::size_t size>
Debug& print(Debug& debug, std::string_view typeName, const std::string_view (&names)[size],
             std::uint32_t value) {
    return printEnum(debug, typeName, value < size ? names[value] : "", value);
}

} // namespace

Debug& operator<<(Debug& debug, SamplerFilter value) {
    return print(debug, "SamplerFilter", FilterNames, std::uint32_t(value));
}

Debug& operator<<(Debug& debug, SamplerMipmap value) {
    return print(debug, "SamplerMipmap", MipmapNames, std::uint32_t(value));
}

Debug& operator<<(Debug& debug, SamplerWrapping value) {
    return print(debug, "SamplerWrapping", WrappingNames, std::uint32_t(value));
}

} // namespace ZarvikEngine
