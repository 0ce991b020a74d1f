#ifndef ZarvikEngine_Tests_Data_AssetTestHelpers_h
#define ZarvikEngine_Tests_Data_AssetTestHelpers_h

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace ZarvikEngine::Test {

/* Expected record bytes, spelled out field by field in file order (little-endian) without
   going through the structures the writers use */
class Bytes {
public:
    Bytes& u8(std::uint8_t value) { return fill(1, value); }
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

/* A copy with value written little-endian over the bytes at offset */
/* Bytes after the end, as an outside writer might leave */
inline std::vector<char> appended(std::vector<char> bytes, std::string_view tail) {
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

template<class T>
std::vector<char> patched(std::vector<char> bytes, std::size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
    return bytes;
}
inline std::vector<char> patched(std::vector<char> bytes, std::size_t offset, const Bytes& with) {
    const std::vector<char> replacement = with;
    std::memcpy(bytes.data() + offset, replacement.data(), replacement.size());
    return bytes;
}

/* Each payload gets its message from Record::validate(), "accepted" standing for none */
template<class Record>
void expectValidationErrors(
    std::initializer_list<std::pair<std::vector<char>, const char*>> cases) {
    for (const auto& [payload, message] : cases)
        EXPECT_EQ(Record::validate(payload).value_or("accepted"), message);
}

/* Reads every byte of the values, so that the sanitizer build sees reads outside them */
inline volatile unsigned byteSum;
template<class T>
void touch(std::span<const T> values) {
    for (const char byte :
         std::span{reinterpret_cast<const char*>(values.data()), values.size_bytes()})
        byteSum = byteSum + unsigned(byte);
}

/* What Record::validate() has to do with bytes from outside: accept the writer's payload,
   reject every prefix shorter than truncatedUpTo (the whole payload unless the record's data
   runs to the end of the chunk) with a message, and for each byte set to or flipped by a few
   values either reject the payload or leave one that read() takes without aborting or
   reading outside it (which the sanitizer build checks). Returns how many were accepted. */
template<class Record, class Read>
std::size_t expectValidationGuardsReaders(const std::vector<char>& payload, Read read,
                                          std::size_t truncatedUpTo = std::size_t(-1)) {
    EXPECT_EQ(Record::validate(payload), std::nullopt);
    for (std::size_t size = 0; size != std::min(truncatedUpTo, payload.size()); ++size)
        EXPECT_TRUE(Record::validate(std::span{payload}.first(size))) << "prefix of " << size;
    std::size_t accepted = 0;
    for (std::size_t i = 0; i != payload.size(); ++i)
        for (const std::uint8_t value : {0x00, 0x01, 0x02, 0x03, 0x04, 0x10, 0x7f, 0x80, 0xff})
            for (const bool flip : {false, true}) {
                std::vector<char> corrupted = payload;
                corrupted[i] = char(flip ? corrupted[i] ^ value : value);
                if (Record::validate(corrupted))
                    continue;
                ++accepted;
                read(std::span<const char>{corrupted});
            }
    return accepted;
}

/* Storage for chunks with a payload address that is 4-byte aligned, as files are read into */
struct alignas(4) AlignedBuffer {
    char bytes[256];
};

} // namespace ZarvikEngine::Test

#endif
