#include "ZarvikEngine/Text/LineBreaking.h"

#include <linebreak.h>

#include <string>

namespace ZarvikEngine::Text {

namespace {

/* libunibreak 1.1 aborts on an assertion at a regional indicator (U+1F1E6 to U+1F1FF), so
   each is given to it as a letter of the same UTF-8 length, U+1D400: between two of them
   neither breaks */
std::string withoutRegionalIndicators(std::string_view utf8) {
    std::string out{utf8};
    for (std::size_t i = 0; i + 3 < out.size(); ++i)
        if (out.compare(i, 3, "\xf0\x9f\x87") == 0 && std::uint8_t(out[i + 3]) >= 0xa6 &&
            std::uint8_t(out[i + 3]) <= 0xbf)
            out.replace(i, 4, "\xf0\x9d\x90\x80");
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
