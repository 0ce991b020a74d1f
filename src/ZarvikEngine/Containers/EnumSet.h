#ifndef ZarvikEngine_Containers_EnumSet_h
#define ZarvikEngine_Containers_EnumSet_h

#include <type_traits>

namespace ZarvikEngine {

/* Set of flags of enum type T, stored in T's underlying integer */
template<class T>
class EnumSet {
public:
    using Type = T;
    using UnderlyingType = std::underlying_type_t<T>;

    constexpr EnumSet() noexcept = default;
    constexpr EnumSet(T value) noexcept : _value{UnderlyingType(value)} {}
    /* From raw bits, e.g. read from a file */
    constexpr explicit EnumSet(UnderlyingType value) noexcept : _value{value} {}

    constexpr bool operator==(const EnumSet&) const = default;

    /* Superset and subset tests */
    constexpr bool operator>=(EnumSet other) const { return (*this & other) == other; }
    constexpr bool operator<=(EnumSet other) const { return (*this & other) == *this; }

    constexpr EnumSet operator|(EnumSet other) const {
        return EnumSet{UnderlyingType(_value | other._value)};
    }
    constexpr EnumSet operator&(EnumSet other) const {
        return EnumSet{UnderlyingType(_value & other._value)};
    }
    constexpr EnumSet operator^(EnumSet other) const {
        return EnumSet{UnderlyingType(_value ^ other._value)};
    }
    constexpr EnumSet operator~() const { return EnumSet{UnderlyingType(~_value)}; }
    constexpr EnumSet& operator|=(EnumSet other) { return *this = *this | other; }
    constexpr EnumSet& operator&=(EnumSet other) { return *this = *this & other; }
    constexpr EnumSet& operator^=(EnumSet other) { return *this = *this ^ other; }

    constexpr explicit operator bool() const { return _value != 0; }
    constexpr explicit operator UnderlyingType() const { return _value; }

private:
    UnderlyingType _value{};
};

} // namespace ZarvikEngine

/* Lets two enumerators of a flag enum combine into its EnumSet */
#define ZE_ENUMSET_OPERATORS(Set)                                                                  \
    constexpr Set operator|(Set::Type a, Set::Type b) {                                            \
        return Set{a} | b;                                                                         \
    }                                                                                              \
    constexpr Set operator&(Set::Type a, Set::Type b) {                                            \
        return Set{a} & b;                                                                         \
    }                                                                                              \
    constexpr Set operator~(Set::Type a) {                                                         \
        return ~Set{a};                                                                            \
    }

#endif
