#ifndef ZarvikEngine_Utils_Align_h
#define ZarvikEngine_Utils_Align_h

#include <cstddef>

namespace ZarvikEngine::Utils {

/* n rounded up to a multiple of 4 */
constexpr std::size_t fourByteAlign(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

} // namespace ZarvikEngine::Utils

#endif
