#ifndef ZarvikEngine_Tests_TestHelpers_h
#define ZarvikEngine_Tests_TestHelpers_h

#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace ZarvikEngine::Test {

/* A regular expression matching the text literally as one whole line of output */
inline std::string wholeLine(std::string_view text) {
    std::string pattern = "(^|\n)";
    for (char c : text) {
        if (std::string_view{"\\^$.|?*+()[]{}"}.find(c) != std::string_view::npos)
            pattern += '\\';
        pattern += c;
    }
    pattern += '\n';
    return pattern;
}

} // namespace ZarvikEngine::Test

/* The statement aborts, printing exactly this message as one line */
#define ZE_EXPECT_ABORT(statement, message)                                                        \
    EXPECT_DEATH(statement, ::ZarvikEngine::Test::wholeLine(message))

#endif
