#ifndef ZarvikEngine_Tools_TileHash_h
#define ZarvikEngine_Tools_TileHash_h

#include <cstdint>
#include <span>
#include <string>

#include <fmt/format.h>

#include "ZarvikEngine/Hash.h"

namespace ZarvikEngine::Tool {

/* The name of an image tile in the files the tools write: the 64-bit hash of its bytes
   followed by their count, 32 hexadecimal digits */
inline std::string tileHash(std::span<const char> data) {
    return fmt::format("{:016x}{:016x}", hash<std::uint64_t>(data), data.size());
}

} // namespace ZarvikEngine::Tool

#endif
