#include "ZarvikEngine/Text/LineBreaking.h"

#include <linebreak.h>

#include "ZarvikEngine/Text/Utf8.h"

namespace ZarvikEngine::Text {

std::vector<LineBreak> lineBreaks(std::string_view utf8) {
    /* The library's tables are built once, before the first text */
    static const bool initialized = (init_linebreak(), true);
    static_cast<void>(initialized);

    /* The library gets the characters decoded here: its own decoder reads some malformed
       bytes as characters it then asserts on */
    std::vector<utf32_t> characters;
    std::vector<std::size_t> lastBytes;
    characters.reserve(utf8.size());
    lastBytes.reserve(utf8.size());
    for (std::size_t i = 0; i != utf8.size();) {
        const DecodedCharacter decoded = decodeUtf8(utf8, i);
        char32_t c = decoded.character;
        /* It aborts at regional indicators, so they come as a letter, U+1D400, between two
           of which it doesn't break either; U+FFFF is its end of text */
        if (c >= U'\U0001F1E6' && c <= U'\U0001F1FF')
            c = U'\U0001D400';
        else if (c == U'\uffff')
            c = U'\ufffd';
        characters.push_back(utf32_t(c));
        i += decoded.length;
        lastBytes.push_back(i - 1);
    }
    std::vector<char> breaks(characters.size());
    set_linebreaks_utf32(characters.data(), characters.size(), nullptr, breaks.data());

    std::vector<LineBreak> out(utf8.size(), LineBreak::None);
    for (std::size_t i = 0; i != breaks.size(); ++i) {
        if (breaks[i] == LINEBREAK_MUSTBREAK)
            out[lastBytes[i]] = LineBreak::Mandatory;
        else if (breaks[i] == LINEBREAK_ALLOWBREAK)
            out[lastBytes[i]] = LineBreak::Allowed;
    }
    return out;
}

} // namespace ZarvikEngine::Text
