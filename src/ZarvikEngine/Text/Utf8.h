#ifndef ZarvikEngine_Text_Utf8_h
#define ZarvikEngine_Text_Utf8_h

#include <cstddef>
#include <string_view>

namespace ZarvikEngine::Text {

/* One character of UTF-8 text */
struct DecodedCharacter {
    /* U+FFFD for a byte that doesn't start a well-formed character */
    char32_t character;
    /* Bytes it takes, at least 1 */
    std::size_t length;
};

/* The character starting at a byte offset below the text's size. Bytes that don't start a
   well-formed character (overlong, a surrogate, beyond U+10FFFF, cut short) are one U+FFFD
   each, so that any bytes can be read to their end. */
DecodedCharacter decodeUtf8(std::string_view utf8, std::size_t offset);

} // namespace ZarvikEngine::Text

#endif
