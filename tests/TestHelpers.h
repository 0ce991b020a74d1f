#ifndef ZarvikEngine_Tests_TestHelpers_h
#define ZarvikEngine_Tests_TestHelpers_h

#include <cstdint>
#include <span>
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

/* Bytes as base64 text with padding, for data URIs of files made in a test */
inline std::string base64(std::span<const char> data) {
    constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        std::uint32_t bits = std::uint32_t(std::uint8_t(data[i])) << 16;
        if (i + 1 < data.size())
            bits |= std::uint32_t(std::uint8_t(data[i + 1])) << 8;
        if (i + 2 < data.size())
            bits |= std::uint8_t(data[i + 2]);
        out += Alphabet[bits >> 18 & 63];
        out += Alphabet[bits >> 12 & 63];
        out += i + 1 < data.size() ? Alphabet[bits >> 6 & 63] : '=';
        out += i + 2 < data.size() ? Alphabet[bits & 63] : '=';
    }
    return out;
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
