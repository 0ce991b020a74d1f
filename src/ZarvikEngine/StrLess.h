#ifndef ZarvikEngine_StrLess_h
#define ZarvikEngine_StrLess_h

#include <string_view>

namespace ZarvikEngine {

/* Bytewise lexicographic ordering of strings for ordered containers. Transparent, so that a
   std::map<std::string, T, StrLess> is searched by std::string_view without a copy. */
struct StrLess {
    using is_transparent = void;

    bool operator()(std::string_view a, std::string_view b) const { return a < b; }
};

} // namespace ZarvikEngine

#endif
