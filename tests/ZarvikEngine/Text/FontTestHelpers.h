#ifndef ZarvikEngine_Tests_Text_FontTestHelpers_h
#define ZarvikEngine_Tests_Text_FontTestHelpers_h

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZarvikEngine/Text/FontCompiler.h"

namespace ZarvikEngine::Test {

/* TrueType outlines from fonts-dejavu-core, CFF ones from fonts-freefont-otf */
constexpr char DejaVuSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr char FreeSans[] = "/usr/share/fonts/opentype/freefont/FreeSans.otf";

inline std::vector<char> readFile(const char* path) {
    std::ifstream file{path, std::ios::binary};
    EXPECT_TRUE(file) << path;
    return {std::istreambuf_iterator<char>{file}, {}};
}

/* Compiled once per test program */
inline const std::vector<char>& compiledDejaVuSans() {
    static const std::vector<char> font = *Text::compileFont(readFile(DejaVuSans));
    return font;
}

} // namespace ZarvikEngine::Test

#endif
