#ifndef ZarvikEngine_Trade_WrappedEnum_h
#define ZarvikEngine_Trade_WrappedEnum_h

#include <cstdint>
#include <string_view>
#include <type_traits>

#include <fmt/format.h>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

/* Enums that can carry a value of a graphics API (a GL or Vulkan enum) with bit 31 set. Each
   such enum's header specializes this to true. */
template<class T>
inline constexpr bool IsImplementationSpecificWrappable = false;

template<class T>
concept ImplementationSpecificWrappable = IsImplementationSpecificWrappable<T>;

inline constexpr std::uint32_t ImplementationSpecificBit = 1u << 31;

/* Whether the value wraps an implementation-specific value */
template<ImplementationSpecificWrappable T>
constexpr bool isImplementationSpecific(T value) {
    return std::uint32_t(value) & ImplementationSpecificBit;
}

/* Wraps a raw implementation-specific value, which has to fit into 31 bits */
template<ImplementationSpecificWrappable T>
T wrapImplementationSpecific(std::uint32_t value) {
    ZE_ASSERT(!(value & ImplementationSpecificBit), "wrapImplementationSpecific(): value"
                                                        << fmt::format("{:#x}", value)
                                                        << "already wrapped or too large");
    return T(value | ImplementationSpecificBit);
}

/* The raw value a wrapped value carries */
template<ImplementationSpecificWrappable T>
std::uint32_t unwrapImplementationSpecific(T value) {
    ZE_ASSERT(isImplementationSpecific(value),
              "unwrapImplementationSpecific():" << value << "isn't wrapped");
    return std::uint32_t(value) & ~ImplementationSpecificBit;
}

namespace Implementation {

/* "Type::Name" for a named value, "Type::ImplementationSpecific(0x8d62)" for a wrapped one and
   "Type(123)" otherwise */
Debug& printWrappableEnum(Debug& debug, std::string_view typeName, std::string_view valueName,
                          std::uint32_t value);

/* The table index of a format that is neither wrapped nor unknown; aborts for those, naming
   the function and the property that was asked for */
template<ImplementationSpecificWrappable T>
std::uint32_t checkedFormatIndex(T format, bool known, const char* function, const char* property) {
    ZE_ASSERT(!isImplementationSpecific(format),
              function << Debug::nospace << "(): can't determine" << property
                       << "of an implementation-specific format"
                       << fmt::format("{:#x}", unwrapImplementationSpecific(format)));
    ZE_ASSERT(known, function << Debug::nospace << "(): invalid format" << format);
    return std::uint32_t(format) - 1;
}

} // namespace Implementation

} // namespace ZarvikEngine

#endif
