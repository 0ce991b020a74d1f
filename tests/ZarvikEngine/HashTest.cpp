#include <cstdint>
#include <string_view>

#include <gtest/gtest.h>

#include "ZarvikEngine/Hash.h"

namespace ZarvikEngine {
namespace {

using namespace std::string_literals;

/* Reference values from independent implementations of the published algorithms. Prefixes
   of one text cover every tail length of both word sizes; bytes above 127 in the tail must
   not be sign-extended. */
struct Expected {
    std::string_view data;
    unsigned int hash32;
    std::uint64_t hash64;
};

constexpr Expected Vectors[]{
    {"", 0x00000000u, 0x0000000000000000ull},
    {"a", 0x92685f5eu, 0x071717d2d36b6b11ull},
    {"ab", 0x1aa14063u, 0x62be85b2fe53d1f8ull},
    {"abc", 0x13577c9bu, 0x9cc9c33498a95efbull},
    {"abcd", 0x26873021u, 0xec1044c45cc5097aull},
    {"abcde", 0x5f09a8deu, 0x1182974836d6dbb7ull},
    {"abcdefg", 0xf9a1cef3u, 0x241aa52b0a62005dull},
    {"abcdefgh", 0x042287e6u, 0xafdb0257ff41aa98ull},
    {"abcdefghi", 0xf0319aa7u, 0xc9b9d84356146ac2ull},
    {"abcdefghijklmno", 0xa9554d67u, 0xfdaac8a629dcd46aull},
    {"abcdefghijklmnop", 0x42191d71u, 0xd41a085973d213baull},
    {"abcdefghijklmnopq", 0x7ad1dc7bu, 0x0f996a806d240427ull},
    {"The quick brown fox jumps over the lazy dog", 0x212729d0u, 0x5589ca33042a861bull},
    {"\xff\x80\x01", 0x1abf8b4cu, 0xbf3856231e6e8ec5ull},
    {"\x80\xfe\xff\x7f\x90\xa0\xb0", 0xc21f15aeu, 0x0af0a5bee3312496ull},
};

TEST(Hash, MatchesReferenceValues) {
    for (const Expected& expected : Vectors) {
        SCOPED_TRACE(expected.data);
        EXPECT_EQ(hash<unsigned int>(expected.data), expected.hash32);
        EXPECT_EQ(hash<std::uint64_t>(expected.data), expected.hash64);
    }

    /* A copy at an odd address hashes the same, and a zero byte is data like any other */
    alignas(8) char storage[20]{};
    const std::string_view text = Vectors[11].data;
    std::copy(text.begin(), text.end(), storage + 3);
    EXPECT_EQ(hash<unsigned int>(std::span{storage + 3, text.size()}), Vectors[11].hash32);
    EXPECT_EQ(hash<std::uint64_t>(std::span{storage + 3, text.size()}), Vectors[11].hash64);
    EXPECT_NE(hash<unsigned int>("abc\0"s), Vectors[3].hash32);
    EXPECT_NE(hash<std::uint64_t>("abc\0"s), Vectors[3].hash64);
}

} // namespace
} // namespace ZarvikEngine
