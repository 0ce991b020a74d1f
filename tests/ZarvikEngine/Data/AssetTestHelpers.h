#ifndef ZarvikEngine_Tests_Data_AssetTestHelpers_h
#define ZarvikEngine_Tests_Data_AssetTestHelpers_h

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ZarvikEngine::Test {

/* Expected record bytes, spelled out field by field in file order (little-endian) without
   going through the structures the writers use */
class Bytes {
public:
    Bytes& u8(std::uint8_t value) {
        _bytes.push_back(char(value));
        return *this;
    }
    Bytes& u16(std::uint16_t value) { return u8(std::uint8_t(value)).u8(std::uint8_t(value >> 8)); }
    Bytes& u32(std::uint32_t value) {
        return u16(std::uint16_t(value)).u16(std::uint16_t(value >> 16));
    }
    Bytes& i32(std::int32_t value) { return u32(std::uint32_t(value)); }
    /* The characters, no zero byte */
    Bytes& chars(std::string_view text) {
        _bytes.insert(_bytes.end(), text.begin(), text.end());
        return *this;
    }
    /* Text followed by one zero byte */
    Bytes& string(std::string_view text) { return chars(text).u8(0); }
    /* Text zero-filled to a field of size bytes */
    Bytes& field(std::string_view text, std::size_t size) {
        return chars(text).zeros(size - text.size());
    }
    Bytes& zeros(std::size_t count) { return fill(count, 0); }
    Bytes& fill(std::size_t count, std::uint8_t value) {
        _bytes.insert(_bytes.end(), count, char(value));
        return *this;
    }

    /* first, first + 1, ... wrapping around */
    Bytes& sequence(std::uint8_t first, std::size_t count) {
        for (std::size_t i = 0; i != count; ++i)
            u8(std::uint8_t(first + i));
        return *this;
    }

    operator std::vector<char>() const { return _bytes; }
    std::size_t size() const { return _bytes.size(); }

private:
    std::vector<char> _bytes;
};

inline std::vector<char> toVector(std::span<const char> bytes) {
    return {bytes.begin(), bytes.end()};
}

/* Storage for chunks with a payload address that is 4-byte aligned, as files are read into */
struct alignas(4) AlignedBuffer {
    char bytes[256];
};

} // namespace ZarvikEngine::Test

#endif
