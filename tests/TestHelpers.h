#ifndef ZarvikEngine_Tests_TestHelpers_h
#define ZarvikEngine_Tests_TestHelpers_h

#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace ZarvikEngine::Test {

/* A regular expression matching the text literally at the start of a line of output */
inline std::string linePrefix(std::string_view text) {
    std::string pattern = "(^|\n)";
    for (char c : text) {
        if (std::string_view{"\\^$.|?*+()[]{}"}.find(c) != std::string_view::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

/* A regular expression matching the text literally as one whole line of output */
inline std::string wholeLine(std::string_view text) {
    return linePrefix(text) + '\n';
}

} // namespace ZarvikEngine::Test

/* The statement aborts, printing exactly this message as one line */
#define ZE_EXPECT_ABORT(statement, message)                                                        \
    EXPECT_DEATH(statement, ::ZarvikEngine::Test::wholeLine(message))

/* The statement aborts, printing a line that starts with this text (for messages that end
   with a source location) */
#define ZE_EXPECT_ABORT_PREFIX(statement, prefix)                                                  \
    EXPECT_DEATH(statement, ::ZarvikEngine::Test::linePrefix(prefix))

#endif
