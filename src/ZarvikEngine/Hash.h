#ifndef ZarvikEngine_Hash_h
#define ZarvikEngine_Hash_h

#include <cstdint>
#include <span>

namespace ZarvikEngine {

/* MurmurHash2 of the bytes with seed 0: hash<unsigned int> is the 32-bit MurmurHash2,
   hash<std::uint64_t> the 64-bit MurmurHash64A. Pass text as a std::string_view, so that a
   literal's terminating zero is not hashed. */
template<class T>
T hash(std::span<const char> data);

template<>
unsigned int hash<unsigned int>(std::span<const char> data);

template<>
std::uint64_t hash<std::uint64_t>(std::span<const char> data);

} // namespace ZarvikEngine

#endif
