#ifndef ZarvikEngine_Utils_Token_h
#define ZarvikEngine_Utils_Token_h

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ZarvikEngine::Utils {

/* One token of shader source text, as the preprocessor and the include listing see it. A zero
   byte is an ordinary character: the text ends where its view ends. */
struct Token {
    enum class Kind : std::uint8_t {
        /* * , . ; [ ] and a single / & | =, or a doubled ++ -- */
        Operator,
        /* && || */
        Logical,
        /* a single ! + - */
        Unary,
        /* == != < > <= >= */
        Comparator,
        OpenParenthesis,
        CloseParenthesis,
        OpenBrace,
        CloseBrace,
        Quote,
        Hash,
        /* Any other run of characters, numbers included */
        Identifier,
        /* // or the opening of a block comment */
        CommentStart,
        /* LF or CR LF */
        LineBreak,
        End,
    };

    Kind kind;
    const char* begin;
    std::size_t length;
    /* End of the text the token was scanned from */
    const char* textEnd;

    std::string_view text() const { return {begin, length}; }
    const char* end() const { return begin + length; }

    /* The token after this one */
    Token next(bool skipWhitespace = true) const;

    /* The text, with a line break shown as \n and the end as \0, for messages */
    std::string describe() const;
};

/* The token at position. With skipWhitespace, spaces, tabs and whole comments before it are
   skipped first, and a block comment that never closes gives the end. */
Token scanToken(const char* position, const char* end, bool skipWhitespace = true);
inline Token scanToken(std::string_view text, bool skipWhitespace = true) {
    return scanToken(text.data(), text.data() + text.size(), skipWhitespace);
}

/* Whether the character at position ends an identifier: whitespace, a line break or the
   first character of another kind of token */
bool endsIdentifier(const char* position, const char* end);

/* Past the spaces, tabs and comments at position; a line comment stops before its line
   break. nullptr when a block comment doesn't close. */
const char* skipWhitespace(const char* position, const char* end);

} // namespace ZarvikEngine::Utils

#endif
