#ifndef ZarvikEngine_DebugString_h
#define ZarvikEngine_DebugString_h

#include <sstream>
#include <string>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

/* What Debug prints for a value, such as "Magic::Mesh", without the statement's newline */
template<class T>
std::string debugString(const T& value) {
    std::ostringstream out;
    Debug{&out} << value;
    std::string text = std::move(out).str();
    text.pop_back();
    return text;
}

} // namespace ZarvikEngine

#endif
