#ifndef ZarvikEngine_Data_Id_h
#define ZarvikEngine_Data_Id_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Data {

/* Stable 16-bit name of a scene-graph object or of a component in a manager: a recycled
   slot number without generation bits. Id 0 is the scene root. */
enum class Id : std::uint16_t {};

/* Stored in an Id → index map for a deleted Id, and for an unbound animation track */
constexpr std::uint16_t InvalidIndex = 0xFFFF;
constexpr Id InvalidId = Id(0xFFFF);

/* Prints "Id(12)" */
inline Debug& operator<<(Debug& debug, Id id) {
    return debug << "Id(" << Debug::nospace << unsigned(id) << Debug::nospace << ")";
}

} // namespace ZarvikEngine::Data

#endif
