#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZarvikEngine/Text/Utf8.h"

namespace ZarvikEngine::Text {
namespace {

std::u32string decoded(std::string_view utf8) {
    std::u32string out;
    for (std::size_t i = 0; i != utf8.size(); i += decodeUtf8(utf8, i).length)
        out += decodeUtf8(utf8, i).character;
    return out;
}

TEST(Utf8, DecodesWellFormedCharactersAndNothingElse) {
    EXPECT_EQ(decoded("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"), U"a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(decoded(std::string_view{"\0\x7f", 2}), (std::u32string{U'\0', U'\x7f'}));
    /* Overlong forms, a surrogate, past U+10FFFF, a stray continuation, bytes never used,
       a character cut short by a wrong byte and by the text's end: one U+FFFD per byte */
    EXPECT_EQ(decoded("\xc0\xaf"), U"\ufffd\ufffd");
    EXPECT_EQ(decoded("\xe0\x80\xaf"), U"\ufffd\ufffd\ufffd");
    EXPECT_EQ(decoded("\xed\xa0\x80"), U"\ufffd\ufffd\ufffd");
    EXPECT_EQ(decoded("\xf4\x90\x80\x80"), U"\ufffd\ufffd\ufffd\ufffd");
    EXPECT_EQ(decoded("\x80\xff"), U"\ufffd\ufffd");
    EXPECT_EQ(decoded("\xe2\x82z"), U"\ufffd\ufffdz");
    EXPECT_EQ(decoded("\xf0\x9f\x98"), U"\ufffd\ufffd\ufffd");
    /* The edges of what is allowed */
    EXPECT_EQ(decoded("\xed\x9f\xbf\xee\x80\x80\xf4\x8f\xbf\xbf"), U"\ud7ff\ue000\U0010FFFF");
}

} // namespace
} // namespace ZarvikEngine::Text
