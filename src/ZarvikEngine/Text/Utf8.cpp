#include "ZarvikEngine/Text/Utf8.h"

#include <cstdint>

namespace ZarvikEngine::Text {

DecodedCharacter decodeUtf8(std::string_view utf8, std::size_t offset) {
    constexpr DecodedCharacter Invalid{U'\ufffd', 1};
    const auto byte = [&](std::size_t i) { return std::uint8_t(utf8[offset + i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80)
        return {lead, 1};
    /* The length and the range the second byte must lie in, which excludes overlong forms,
       surrogates and what lies past U+10FFFF */
    std::size_t length;
    std::uint8_t secondMin = 0x80, secondMax = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            secondMin = 0xa0;
        else if (lead == 0xed)
            secondMax = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            secondMin = 0x90;
        else if (lead == 0xf4)
            secondMax = 0x8f;
    } else {
        return Invalid;
    }
    if (offset + length > utf8.size() || byte(1) < secondMin || byte(1) > secondMax)
        return Invalid;
    char32_t c = lead & (0x7f >> length);
    for (std::size_t i = 1; i != length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return Invalid;
        c = c << 6 | (byte(i) & 0x3f);
    }
    return {c, length};
}

} // namespace ZarvikEngine::Text
