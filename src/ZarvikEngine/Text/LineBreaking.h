#ifndef ZarvikEngine_Text_LineBreaking_h
#define ZarvikEngine_Text_LineBreaking_h

#include <cstdint>
#include <string_view>
#include <vector>

namespace ZarvikEngine::Text {

enum class LineBreak : std::uint8_t {
    /* Not between two characters, or where the lines may not part */
    None,
    /* A line may end after this byte */
    Allowed,
    /* A line ends after this byte: a line feed or paragraph separator, or the end of text */
    Mandatory
};

/* The line breaks of UTF-8 text by the Unicode line breaking algorithm (with libunibreak,
   which follows Unicode 6.2), one per byte for the place after it. Regional indicators
   break as letters do. Bytes that aren't well-formed UTF-8 are each a U+FFFD, as
   decodeUtf8() reads them. */
std::vector<LineBreak> lineBreaks(std::string_view utf8);

} // namespace ZarvikEngine::Text

#endif
