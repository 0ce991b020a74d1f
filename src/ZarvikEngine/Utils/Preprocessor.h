#ifndef ZarvikEngine_Utils_Preprocessor_h
#define ZarvikEngine_Utils_Preprocessor_h

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ZarvikEngine/Utils/Result.h"
#include "ZarvikEngine/Utils/Token.h"

namespace ZarvikEngine::Utils {

/* A small C-style preprocessor for GLSL and WGSL sources. It resolves #ifdef, #ifndef, #if,
   #elif, #else, #endif and object-like #define, and passes every other directive (#version,
   #line, #include, #undef, function-like #define, ...) through to the shader compiler.
   Defines persist across inputs, so a prelude of defines governs the sources streamed after
   it. Expressions have no arithmetic: numbers, names, defined, ! and unary -, parentheses,
   one comparison, and && and || of equal precedence grouping to the right. Handled directive
   lines vanish with their line breaks. */
class Preprocessor {
public:
    struct Definition {
        /* View into the source that defined it, up to the line break; empty when nothing
           follows the name */
        std::string_view text;
        std::int32_t value;
        /* The whole definition is one number, stored in value */
        bool hasInteger;
    };

    struct NameHash : std::hash<std::string_view> {
        using is_transparent = void;
    };
    using SymbolTable = std::unordered_map<std::string, Definition, NameHash, std::equal_to<>>;

    /* Nesting of #if levels that is an error */
    static constexpr unsigned MaxBranchDepth = 32;
    /* Limits that keep hostile sources from exhausting the stack, time or memory */
    static constexpr int MaxExpressionDepth = 256;
    static constexpr int MaxIdentifierEvaluations = 65536;
    /* Growth of one expansion, or of a source's output over its size, past which names are
       no longer substituted */
    static constexpr std::size_t MaxExpansionSize = 1 << 20;

    /* With substitute, identifiers in active code are replaced by their definitions,
       recursively */
    explicit Preprocessor(bool substitute = false) : _substitute{substitute} {}

    Preprocessor(Preprocessor&&) noexcept = default;
    Preprocessor& operator=(Preprocessor&&) noexcept = default;
    Preprocessor(const Preprocessor&) = delete;
    Preprocessor& operator=(const Preprocessor&) = delete;

    /* Processes one source. Definitions keep views into it, so it has to outlive their use. */
    Preprocessor& operator<<(std::string_view source);
    Preprocessor& operator<<(const char* source) { return *this << std::string_view{source}; }
    /* Keeps the source for the definitions that point into it */
    Preprocessor& operator<<(std::string&& source);

    /* Result of the last input that succeeded */
    std::string_view output() const { return _output; }
    /* False for good after any error */
    bool isValid() const { return _valid; }
    bool isDefined(std::string_view name) const { return _symbols.contains(name); }
    const SymbolTable& symbols() const { return _symbols; }

    /* The value of a name (or number); empty when undefined or not evaluable */
    std::optional<int> resolveValue(std::string_view name) const;

    /* Prints the message as an error and makes the preprocessor invalid */
    Preprocessor& setInvalid(std::string_view message);

    /* Evaluation steps of #if expressions; each advances the token past what it read */
    Result<int> evalExpression(Token& token) const;
    Result<int> evalScalarExpression(Token& token) const;
    Result<int> evalIdentifier(Token& token, bool allowUndefined) const;
    static Result<int> evalComparator(std::string_view op, int a, int b);
    /* The name with its definition substituted: itself when undefined, the definition text
       without substitution, else the definition's tokens expanded recursively, with one space
       where the definition had space or comments between two tokens */
    std::string expandIdentifier(std::string_view name) const;

private:
    /* A scalar and at most one comparison */
    Result<int> evalComparison(Token& token) const;
    /* From position, which holds no symbol's initial, the end of the code that substitution
       leaves as it is: before a directive, a comment or a name that starts like a symbol */
    const char* plainCodeEnd(const char* position, const char* end) const;
    /* Appends name, which starts like a symbol, substituted in code, or as it is once out is longer
       than limit; warns the first time that happens, as cut tells */
    void substituteInto(std::string& out, std::string_view name, std::size_t limit,
                        bool& cut) const;
    /* Appends the expansion of name, whose definition is text; names are left as they are
       once out is longer than limit. Returns whether that happened. */
    bool expandInto(std::string& out, std::string_view name, std::string_view text, int depth,
                    std::size_t limit) const;
    /* The error message, if any */
    std::optional<std::string> process(std::string_view source, std::string& out);

    bool _substitute;
    bool _valid{true};
    /* Behind pointers, so that views into them survive growth of the list */
    std::vector<std::unique_ptr<const std::string>> _keptSources;
    std::string _output;
    SymbolTable _symbols;
    /* First characters of the symbols' names */
    std::bitset<256> _symbolInitials;
    /* Scratch state of the evaluation in progress */
    mutable int _expressionDepth{};
    mutable int _identifierEvaluations{};
};

} // namespace ZarvikEngine::Utils

#endif
