#include "ZarvikEngine/Utils/Token.h"

#include <array>
#include <cstring>

namespace ZarvikEngine::Utils {

namespace {

using Kind = Token::Kind;

/* Characters that end an identifier: whitespace and the first characters of other kinds */
constexpr auto Delimiters = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : std::string_view{" \t\n*,.;[]/&|=+-!<>(){}\"#"})
        table[c] = true;
    return table;
}();

} // namespace

bool endsIdentifier(const char* p, const char* end) {
    if (*p == '\r')
        return p + 1 != end && p[1] == '\n';
    return Delimiters[static_cast<unsigned char>(*p)];
}

const char* skipWhitespace(const char* p, const char* end) {
    while (p != end) {
        if (*p == ' ' || *p == '\t') {
            ++p;
        } else if (*p == '/' && p + 1 != end && p[1] == '/') {
            const void* lineBreak = std::memchr(p, '\n', end - p);
            p = lineBreak ? static_cast<const char*>(lineBreak) : end;
            if (p != end && p[-1] == '\r')
                --p;
        } else if (*p == '/' && p + 1 != end && p[1] == '*') {
            const std::string_view rest{p + 2, std::size_t(end - p - 2)};
            const std::size_t close = rest.find("*/");
            if (close == std::string_view::npos)
                return nullptr;
            p += 2 + close + 2;
        } else {
            break;
        }
    }
    return p;
}

Token scanToken(const char* p, const char* end, bool skip) {
    if (skip) {
        const char* const skipped = skipWhitespace(p, end);
        p = skipped ? skipped : end;
    }
    const auto token = [&](Kind kind, std::size_t length) { return Token{kind, p, length, end}; };
    if (p == end)
        return token(Kind::End, 0);
    const char next = p + 1 != end ? p[1] : '\0';
    switch (*p) {
    case '*':
    case ',':
    case '.':
    case ';':
    case '[':
    case ']':
        return token(Kind::Operator, 1);
    case '/':
        return next == '/' || next == '*' ? token(Kind::CommentStart, 2) : token(Kind::Operator, 1);
    case '&':
    case '|':
        return next == *p ? token(Kind::Logical, 2) : token(Kind::Operator, 1);
    case '=':
        return next == '=' ? token(Kind::Comparator, 2) : token(Kind::Operator, 1);
    case '+':
    case '-':
        return next == *p ? token(Kind::Operator, 2) : token(Kind::Unary, 1);
    case '!':
        return next == '=' ? token(Kind::Comparator, 2) : token(Kind::Unary, 1);
    case '<':
    case '>':
        return token(Kind::Comparator, next == '=' ? 2 : 1);
    case '(':
        return token(Kind::OpenParenthesis, 1);
    case ')':
        return token(Kind::CloseParenthesis, 1);
    case '{':
        return token(Kind::OpenBrace, 1);
    case '}':
        return token(Kind::CloseBrace, 1);
    case '"':
        return token(Kind::Quote, 1);
    case '#':
        return token(Kind::Hash, 1);
    case '\n':
        return token(Kind::LineBreak, 1);
    case '\r':
        if (next == '\n')
            return token(Kind::LineBreak, 2);
        break;
    }
    const char* last = p + 1;
    while (last != end && !endsIdentifier(last, end))
        ++last;
    return token(Kind::Identifier, last - p);
}

Token Token::next(bool skip) const {
    return scanToken(end(), textEnd, skip);
}

std::string Token::describe() const {
    switch (kind) {
    case Kind::LineBreak:
        return "\\n";
    case Kind::End:
        return "\\0";
    default:
        return std::string{text()};
    }
}

} // namespace ZarvikEngine::Utils
