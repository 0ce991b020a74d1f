#include "ZarvikEngine/Utils/Preprocessor.h"

#include <cstring>

#include <fmt/format.h>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Utils {

namespace {

using Kind = Token::Kind;

bool isDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

/* An optional leading -, decimal digits (possibly none) and an optional u or i suffix */
bool isNumber(std::string_view text) {
    if (text.starts_with('-'))
        text.remove_prefix(1);
    if (text.ends_with('u') || text.ends_with('i'))
        text.remove_suffix(1);
    return isDigits(text);
}

int numberValue(std::string_view text) {
    if (!text.empty() && (text.back() < '0' || text.back() > '9'))
        text.remove_suffix(1);
    const bool negative = text.starts_with('-');
    if (negative)
        text.remove_prefix(1);
    if (!isDigits(text))
        return 0;
    /* Wraps around like the 32-bit arithmetic of the shaders it is for */
    std::uint32_t value = 0;
    for (char c : text)
        value = value * 10 + std::uint32_t(c - '0');
    return int(negative ? 0u - value : value);
}

bool endsLine(const Token& token) {
    return token.kind == Kind::LineBreak || token.kind == Kind::End;
}

/* Past the rest of the line and its line break (LF, CR or CR LF) */
const char* afterLine(const char* p, const char* end) {
    while (p != end && *p != '\n' && *p != '\r')
        ++p;
    if (p != end && *p == '\r')
        ++p;
    if (p != end && *p == '\n')
        ++p;
    return p;
}

/* The text up to the line break, a CR of a CR LF excluded */
std::string_view restOfLine(const char* p, const char* end) {
    const void* lineBreak = std::memchr(p, '\n', end - p);
    const char* last = lineBreak ? static_cast<const char*>(lineBreak) : end;
    if (last != p && lineBreak && last[-1] == '\r')
        --last;
    return {p, std::size_t(last - p)};
}

/* Skips what a short-circuited operand would have read: up to the end of the line, or an
   unmatched closing parenthesis */
void skipOperand(Token& token) {
    int open = 0;
    while (!endsLine(token) && token.kind != Kind::CommentStart) {
        if (token.kind == Kind::OpenParenthesis)
            ++open;
        else if (token.kind == Kind::CloseParenthesis && open-- == 0)
            break;
        token = token.next();
    }
}

/* The #if levels: a level's inactive bit is set while its lines are skipped, its taken bit
   once one of its branches was active, so that nothing after that branch turns active again */
class Branches {
public:
    Branches() = default;
    /* The views point at this object's own words */
    Branches(const Branches&) = delete;
    Branches& operator=(const Branches&) = delete;

    unsigned depth() const { return _depth; }
    bool skipping() const { return _depth && !_inactive.isRangeClear(0, _depth - 1); }
    bool taken() const { return _taken[_depth - 1]; }

    void open(bool active) {
        ++_depth;
        set(active);
    }
    /* Decides the innermost level's current branch */
    void set(bool active) {
        _inactive.set(_depth - 1, !active);
        _taken.set(_depth - 1, active || _taken[_depth - 1]);
    }
    void close() { _taken.unset(--_depth); }

private:
    unsigned _inactiveWord{}, _takenWord{};
    BitSetView _inactive{{&_inactiveWord, 1}, 32};
    BitSetView _taken{{&_takenWord, 1}, 32};
    unsigned _depth{};
};

} // namespace

Preprocessor& Preprocessor::operator<<(std::string_view source) {
    std::string out;
    out.reserve(source.size() + 1);
    if (std::optional<std::string> error = process(source, out))
        setInvalid(*error);
    else
        _output = std::move(out);
    return *this;
}

Preprocessor& Preprocessor::operator<<(std::string&& source) {
    _keptSources.push_back(std::make_unique<const std::string>(std::move(source)));
    return *this << std::string_view{*_keptSources.back()};
}

Preprocessor& Preprocessor::setInvalid(std::string_view message) {
    Error{} << message;
    _valid = false;
    return *this;
}

std::optional<std::string> Preprocessor::process(std::string_view source, std::string& out) {
    const char* p = source.data();
    const char* const end = p + source.size();
    Branches branches;
    bool skipping = false;
    /* Whether substitution reached its limit, so that it is reported once */
    bool cut = false;
    for (;;) {
        /* Text up to the next directive: comments are copied whole, so that a # inside one
           is no directive, and identifiers are substituted when asked to */
        const char* const afterWhitespace = skipWhitespace(p, end);
        if (!afterWhitespace)
            return "Preprocess: found unclosed multiline comment";
        if (!skipping)
            out.append(p, std::size_t(afterWhitespace - p));
        p = afterWhitespace;
        if (p == end)
            return {};
        if (*p != '#') {
            /* Only identifiers are substituted, and only one a symbol starts like can be one */
            if (!skipping && _substitute && _symbolInitials[static_cast<unsigned char>(*p)]) {
                const Token token = scanToken(p, end, false);
                substituteInto(out, token.text(), source.size() + MaxExpansionSize, cut);
                p = token.end();
                continue;
            }
            /* Nothing but a comment or a directive stops a plain run of text */
            const char* runEnd;
            if (!skipping && _substitute) {
                runEnd = plainCodeEnd(p, end);
            } else {
                runEnd = p + 1;
                while (runEnd != end && *runEnd != '#' && *runEnd != '/')
                    ++runEnd;
            }
            if (!skipping)
                out.append(p, std::size_t(runEnd - p));
            p = runEnd;
            continue;
        }

        const Token name = scanToken(p + 1, end);
        if (name.kind != Kind::Identifier)
            return "Preprocessor: no identifier found after #";
        const std::string_view directive = name.text();
        const char* lineRest = name.end();
        if (directive == "else" || directive == "endif") {
            if (!branches.depth())
                return fmt::format("Preprocessor: found #{} without #if or #ifdef", directive);
            if (directive == "else")
                branches.set(!branches.taken());
            else
                branches.close();
        } else if (directive == "ifdef" || directive == "ifndef") {
            const Token id = name.next();
            if (id.kind != Kind::Identifier)
                return fmt::format("Preprocessor: expected an identifier after #{}", directive);
            branches.open(isDefined(id.text()) == (directive == "ifdef"));
            lineRest = id.end();
        } else if (directive == "define" && !skipping) {
            const Token id = name.next();
            if (id.kind != Kind::Identifier)
                return "Preprocessor: expected an identifier after #define";
            if (id.end() != end && *id.end() == '(') {
                /* Function-like: left to the shader compiler */
                out += '#';
                ++p;
                continue;
            }
            const Token first = id.next();
            const std::string_view text =
                endsLine(first) ? std::string_view{} : restOfLine(first.begin, end);
            Definition definition{text, 0, false};
            if (first.kind == Kind::Identifier && endsLine(first.next()) &&
                isNumber(first.text())) {
                definition.value = numberValue(first.text());
                definition.hasInteger = true;
            }
            _symbols.insert_or_assign(std::string{id.text()}, definition);
            _symbolInitials.set(static_cast<unsigned char>(id.text().front()));
            lineRest = text.empty() ? first.begin : text.data() + text.size();
        } else if (directive == "elif" && !branches.depth()) {
            return "Preprocessor: found #elif without #if or #ifdef";
        } else if (directive == "if" || (directive == "elif" && !branches.taken())) {
            Token token = name.next();
            Result<int> value = evalExpression(token);
            if (value && !endsLine(token))
                value = Result<int>::failure("Unexpected token " + token.describe());
            if (!value)
                Warning{} << fmt::format("Preprocessor: failed to parse #{}. {}. Skipping "
                                         "evaluation.",
                                         directive, value.error());
            const bool active = value && *value != 0;
            if (directive == "if")
                branches.open(active);
            else
                branches.set(active);
        } else if (directive == "elif") {
            /* An earlier branch of this level was active */
            branches.set(false);
        } else {
            /* Passed through, or skipped with the rest of an inactive branch */
            if (!skipping)
                out += '#';
            ++p;
            continue;
        }

        if (branches.depth() >= MaxBranchDepth)
            return fmt::format("Preprocessor: exceeding max branch depth of {}", MaxBranchDepth);
        p = afterLine(lineRest, end);
        skipping = branches.skipping();
    }
}

const char* Preprocessor::plainCodeEnd(const char* p, const char* end) const {
    bool inName = !endsIdentifier(p, end);
    for (++p; p != end && *p != '#' && *p != '/'; ++p) {
        if (endsIdentifier(p, end))
            inName = false;
        else if (!inName && _symbolInitials[static_cast<unsigned char>(*p)])
            break;
        else
            inName = true;
    }
    return p;
}

void Preprocessor::substituteInto(std::string& out, std::string_view name, std::size_t limit,
                                  bool& cut) const {
    const auto found = _symbols.find(name);
    /* Past the limit names stay as they are, so that definitions that multiply each other
       can't take all memory */
    if (found != _symbols.end() && out.size() <= limit)
        expandInto(out, name, found->second.text, 0, limit);
    else
        out += name;
    if (out.size() > limit && !cut) {
        Warning{} << "Preprocessor: expansion of" << name << "cut short at" << limit << "bytes";
        cut = true;
    }
}

std::optional<int> Preprocessor::resolveValue(std::string_view name) const {
    Token token{Kind::Identifier, name.data(), name.size(), name.data() + name.size()};
    const Result<int> value = evalIdentifier(token, false);
    if (!value)
        return {};
    return *value;
}

Result<int> Preprocessor::evalExpression(Token& token) const {
    Result<int> value = evalComparison(token);
    /* Evaluated right to left, a && b || c is a && (b || c): once a right-hand side is
       evaluated, the result is its truth, and a short circuit leaves the value as it is */
    bool chained = false;
    while (value && token.kind == Kind::Logical) {
        const bool isAnd = token.text() == "&&";
        token = token.next();
        if (isAnd != (*value != 0)) {
            skipOperand(token);
            break;
        }
        value = evalComparison(token);
        chained = true;
    }
    if (value && chained)
        return int(*value != 0);
    return value;
}

Result<int> Preprocessor::evalComparison(Token& token) const {
    Result<int> value = evalScalarExpression(token);
    if (!value || token.kind != Kind::Comparator)
        return value;
    const std::string_view op = token.text();
    token = token.next();
    const Result<int> rhs = evalScalarExpression(token);
    if (!rhs)
        return rhs;
    return evalComparator(op, *value, *rhs);
}

Result<int> Preprocessor::evalScalarExpression(Token& token) const {
    if (!_expressionDepth)
        _identifierEvaluations = 0;
    struct DepthGuard {
        int& depth;
        ~DepthGuard() { --depth; }
    } guard{++_expressionDepth};
    if (_expressionDepth > MaxExpressionDepth)
        return Result<int>::failure(
            fmt::format("Expression nested deeper than {} levels", MaxExpressionDepth));

    if (token.kind == Kind::Identifier && token.text() == "defined") {
        token = token.next();
        const bool parenthesized = token.kind == Kind::OpenParenthesis;
        if (parenthesized)
            token = token.next();
        if (token.kind != Kind::Identifier)
            return Result<int>::failure("Expected an identifier in defined");
        const int value = isDefined(token.text());
        token = token.next();
        if (parenthesized) {
            if (token.kind != Kind::CloseParenthesis)
                return Result<int>::failure("Expected closing parenthesis in defined(id)");
            token = token.next();
        }
        return value;
    }
    if (token.kind == Kind::Identifier)
        return evalIdentifier(token, true);
    if (token.kind == Kind::Unary && token.text() != "+") {
        const bool negate = token.text() == "-";
        token = token.next();
        const Result<int> operand = evalScalarExpression(token);
        if (!operand)
            return operand;
        return negate ? int(0u - unsigned(*operand)) : int(*operand == 0);
    }
    if (token.kind == Kind::OpenParenthesis) {
        token = token.next();
        const Result<int> value = evalExpression(token);
        if (!value)
            return value;
        if (token.kind != Kind::CloseParenthesis)
            return Result<int>::failure("Expected closing parenthesis in expression");
        token = token.next();
        return value;
    }
    return Result<int>::failure("Unexpected token " + token.describe());
}

Result<int> Preprocessor::evalIdentifier(Token& token, bool allowUndefined) const {
    const std::string_view name = token.text();
    token = token.next();
    if (isNumber(name))
        return numberValue(name);
    const auto found = _symbols.find(name);
    if (found == _symbols.end()) {
        if (allowUndefined)
            return 0;
        return Result<int>::failure(fmt::format("Identifier doesn't evaluate to a value {}", name));
    }
    if (found->second.hasInteger)
        return found->second.value;
    if (++_identifierEvaluations > MaxIdentifierEvaluations)
        return Result<int>::failure(
            fmt::format("Expression expands more than {} identifiers", MaxIdentifierEvaluations));
    const std::string expansion = expandIdentifier(name);
    Token expansionToken = scanToken(expansion);
    return evalExpression(expansionToken);
}

Result<int> Preprocessor::evalComparator(std::string_view op, int a, int b) {
    if (op == "==")
        return int(a == b);
    if (op == "!=")
        return int(a != b);
    if (op == "<")
        return int(a < b);
    if (op == ">")
        return int(a > b);
    if (op == "<=")
        return int(a <= b);
    if (op == ">=")
        return int(a >= b);
    return Result<int>::failure(fmt::format("Unsupported operator {}", op));
}

std::string Preprocessor::expandIdentifier(std::string_view name) const {
    const auto found = _symbols.find(name);
    if (found == _symbols.end())
        return std::string{name};
    if (!_substitute)
        return std::string{found->second.text};
    std::string out;
    if (expandInto(out, name, found->second.text, 0, MaxExpansionSize))
        Warning{} << "Preprocessor: expansion of" << name << "cut short at" << MaxExpansionSize
                  << "bytes";
    return out;
}

bool Preprocessor::expandInto(std::string& out, std::string_view name, std::string_view text,
                              int depth, std::size_t limit) const {
    bool cut = false;
    /* Pieces are apart where the definition had space or comments between them, so that
       "1.5" or "a.b" stay what they are */
    const char* previousEnd = nullptr;
    for (Token token = scanToken(text); !endsLine(token); token = token.next()) {
        if (previousEnd && token.begin != previousEnd)
            out += ' ';
        previousEnd = token.end();
        const std::string_view piece = token.text();
        const auto found = _symbols.find(piece);
        /* Names that would expand forever, or without bound, stay as they are */
        if (piece == name || found == _symbols.end() || depth == MaxExpressionDepth ||
            out.size() > limit) {
            cut |= out.size() > limit;
            out += piece;
        } else {
            cut |= expandInto(out, piece, found->second.text, depth + 1, limit);
        }
    }
    return cut;
}

} // namespace ZarvikEngine::Utils
