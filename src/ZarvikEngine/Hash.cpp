#include "ZarvikEngine/Hash.h"

#include <cstring>

namespace ZarvikEngine {

namespace {

/* Native reads; both algorithms are defined on little-endian words */
template<class T>
T load(const unsigned char* data) {
    T value;
    std::memcpy(&value, data, sizeof(T));
    return value;
}

/* The last size % sizeof(word) bytes as a little-endian number */
template<class T>
T tail(const unsigned char* data, std::size_t size) {
    T value = 0;
    for (std::size_t i = size; i-- != 0;)
        value = (value << 8) | data[i];
    return value;
}

} // namespace

template<>
unsigned int hash<unsigned int>(std::span<const char> data) {
    constexpr std::uint32_t m = 0x5bd1e995;
    constexpr int r = 24;

    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t size = data.size();
    std::uint32_t h = std::uint32_t(size);
    for (; size >= 4; bytes += 4, size -= 4) {
        std::uint32_t k = load<std::uint32_t>(bytes);
        k *= m;
        k ^= k >> r;
        k *= m;
        h *= m;
        h ^= k;
    }
    if (size) {
        h ^= tail<std::uint32_t>(bytes, size);
        h *= m;
    }

    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    return h;
}

template<>
std::uint64_t hash<std::uint64_t>(std::span<const char> data) {
    constexpr std::uint64_t m = 0xc6a4a7935bd1e995ull;
    constexpr int r = 47;

    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t size = data.size();
    std::uint64_t h = size * m;
    for (; size >= 8; bytes += 8, size -= 8) {
        std::uint64_t k = load<std::uint64_t>(bytes);
        k *= m;
        k ^= k >> r;
        k *= m;
        h ^= k;
        h *= m;
    }
    if (size) {
        h ^= tail<std::uint64_t>(bytes, size);
        h *= m;
    }

    h ^= h >> r;
    h *= m;
    h ^= h >> r;
    return h;
}

} // namespace ZarvikEngine
