#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "FontTestHelpers.h"
#include "ZarvikEngine/Text/Shaper.h"

namespace ZarvikEngine::Text {
namespace {

/* Texts in several scripts: kerning and a ligature, joining Arabic, Hebrew, a cluster of
   combining marks, Greek, Cyrillic, Armenian, Georgian and a script the font lacks */
const char* const Texts[]{"AVA office Wave",
                          "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 \xd8\xa8\xd8\xa7\xd9\x84"
                          "\xd8\xb9\xd8\xa7\xd9\x84\xd9\x85",
                          "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d \xd7\xa2\xd7\x95\xd7\x9c\xd7\x9d",
                          "e\xcc\x81\xcc\x83x q\xcc\xa3\xcc\x87",
                          "\xce\x9a\xce\xb1\xce\xbb\xce\xb7\xce\xbc\xce\xad\xcf\x81\xce\xb1",
                          "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82",
                          "\xd4\xb2\xd5\xa1\xd6\x80\xd5\xa5\xd6\x82",
                          "\xe1\x83\x92\xe1\x83\x90\xe1\x83\x9b\xe1\x83\x90\xe1\x83\xa0",
                          "\xe0\xb9\x84\xe0\xb8\x97\xe0\xb8\xa2"};

/* One line of hb-shape's output, "[gid=cluster@x,y+advance|...]", in our form scaled to font
   units */
std::string fromReference(std::string line) {
    for (char& c : line)
        if (c == '[' || c == ']' || c == '|' || c == '=' || c == '@' || c == ',' || c == '+')
            c = ' ';
    return line;
}

std::string ours(const std::vector<ShapedGlyph>& glyphs, float unitsPerEm) {
    std::ostringstream out;
    for (const ShapedGlyph& glyph : glyphs) {
        const Vector2 offset = glm::round(glyph.offset * unitsPerEm);
        out << ' ' << glyph.glyph << ' ' << glyph.cluster;
        if (offset != Vector2{0.0f})
            out << ' ' << offset.x << ' ' << offset.y;
        out << ' ' << std::lround(glyph.advance.x * unitsPerEm);
        EXPECT_EQ(glyph.advance.y, 0.0f);
    }
    return out.str();
}

TEST(Shaper, AgreesWithHarfBuzzsOwnShaper) {
    const std::string texts = testing::TempDir() + "shaper-texts.txt";
    {
        std::ofstream file{texts};
        for (const char* text : Texts)
            file << text << '\n';
    }
    const std::string command =
        std::string{"hb-shape --no-glyph-names --utf8-clusters --text-file="} + texts + " " +
        ZarvikEngine::Test::DejaVuSans;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string output;
    char chunk[4096];
    for (std::size_t read; (read = std::fread(chunk, 1, sizeof(chunk), pipe));)
        output.append(chunk, read);
    ASSERT_EQ(pclose(pipe), 0) << command;

    const FontView font{ZarvikEngine::Test::compiledDejaVuSans()};
    Shaper shaper{font};
    std::istringstream lines{output};
    for (const char* text : Texts) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream expected{fromReference(line)},
            actual{ours(shaper.shape(text), font.header().unitsPerEm())};
        EXPECT_EQ(std::vector<std::string>(std::istream_iterator<std::string>{expected}, {}),
                  std::vector<std::string>(std::istream_iterator<std::string>{actual}, {}))
            << text;
    }
}

} // namespace
} // namespace ZarvikEngine::Text
