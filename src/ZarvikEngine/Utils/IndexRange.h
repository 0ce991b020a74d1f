#ifndef ZarvikEngine_Utils_IndexRange_h
#define ZarvikEngine_Utils_IndexRange_h

#include <cstdint>

namespace ZarvikEngine::Utils {

/* Half-open index range [begin, end); an empty range is written as (0, 0) */
template<class T>
struct IndexRange {
    T begin{};
    T end{};

    constexpr T size() const { return T(end - begin); }
    constexpr bool empty() const { return begin == end; }
    constexpr bool contains(T index) const { return index >= begin && index < end; }
    constexpr bool operator==(const IndexRange&) const = default;
};

} // namespace ZarvikEngine::Utils

#endif
