#include "ZarvikEngine/Text/LineBreaking.h"

#include <linebreak.h>

#include <string>

namespace ZarvikEngine::Text {

namespace {

/* libunibreak 1.1 aborts on an assertion at a regional indicator (U+1F1E6 to U+1F1FF), so
   each is given to it as a letter of the same UTF-8 length, U+1D400: between two of them
   neither breaks. Characters are found as its decoder finds them, which takes the length
   from the lead byte alone and ignores the continuation bytes' top bits, so that no byte
   sequence it would read as a regional indicator gets through. */
std::string withoutRegionalIndicators(std::string_view utf8) {
    std::string out{utf8};
    for (std::size_t i = 0; i < out.size();) {
        const std::uint8_t lead = std::uint8_t(out[i]);
        if (lead < 0xc2 || lead > 0xf4) {
            ++i;
        } else if (lead < 0xe0) {
            i += 2;
        } else if (lead < 0xf0) {
            i += 3;
        } else {
            if (i + 4 > out.size())
                break;
            const auto continuation = [&](std::size_t at) { return char32_t(out[at] & 0x3f); };
            const char32_t c = char32_t(lead & 0x07) << 18 | continuation(i + 1) << 12 |
                               continuation(i + 2) << 6 | continuation(i + 3);
            if (c >= U'\U0001F1E6' && c <= U'\U0001F1FF')
                out.replace(i, 4, "\xf0\x9d\x90\x80");
            i += 4;
        }
    }
    return out;
}

} // namespace

std::vector<LineBreak> lineBreaks(std::string_view utf8) {
    /* The library's tables are built once, before the first text */
    static const bool initialized = (init_linebreak(), true);
    static_cast<void>(initialized);
    const std::string text = withoutRegionalIndicators(utf8);
    std::vector<char> breaks(text.size());
    set_linebreaks_utf8(reinterpret_cast<const utf8_t*>(text.data()), text.size(), nullptr,
                        breaks.data());
    std::vector<LineBreak> out(utf8.size(), LineBreak::None);
    for (std::size_t i = 0; i != breaks.size(); ++i) {
        if (breaks[i] == LINEBREAK_MUSTBREAK)
            out[i] = LineBreak::Mandatory;
        else if (breaks[i] == LINEBREAK_ALLOWBREAK)
            out[i] = LineBreak::Allowed;
    }
    /* Text ends its line even where it stops inside a character */
    if (!out.empty())
        out.back() = LineBreak::Mandatory;
    return out;
}

} // namespace ZarvikEngine::Text
