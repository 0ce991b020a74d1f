#ifndef ZarvikEngine_Debug_h
#define ZarvikEngine_Debug_h

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <type_traits>

namespace ZarvikEngine {

/* Stream-like output for one statement: operands are separated by single spaces and the
   statement ends with one newline, written with a single write when the object dies.
   Constructing one with an explicit stream makes that stream the calling thread's default
   for this kind of output until the object is destroyed (nullptr silences it). */
class Debug {
public:
    /* Output modifier: no space before the next operand */
    static Debug& nospace(Debug& debug);
    /* Output modifier: a line break instead of the next space */
    static Debug& newline(Debug& debug);

    /* The calling thread's current stream, nullptr when silenced */
    static std::ostream* output();

    Debug();
    explicit Debug(std::ostream* output);
    Debug(const Debug&) = delete;
    Debug& operator=(const Debug&) = delete;
    ~Debug();

    Debug& operator<<(Debug& (*modifier)(Debug&)) { return modifier(*this); }
    Debug& operator<<(const char* value);
    Debug& operator<<(std::string_view value);
    Debug& operator<<(const std::string& value) { return *this << std::string_view{value}; }
    Debug& operator<<(const void* value);
    Debug& operator<<(std::nullptr_t);
    Debug& operator<<(bool value);
    Debug& operator<<(char value);
    Debug& operator<<(signed char value) { return *this << static_cast<long long>(value); }
    Debug& operator<<(unsigned char value) {
        return *this << static_cast<unsigned long long>(value);
    }
    Debug& operator<<(short value) { return *this << static_cast<long long>(value); }
    Debug& operator<<(unsigned short value) {
        return *this << static_cast<unsigned long long>(value);
    }
    Debug& operator<<(int value) { return *this << static_cast<long long>(value); }
    Debug& operator<<(unsigned int value) {
        return *this << static_cast<unsigned long long>(value);
    }
    Debug& operator<<(long value) { return *this << static_cast<long long>(value); }
    Debug& operator<<(unsigned long value) {
        return *this << static_cast<unsigned long long>(value);
    }
    Debug& operator<<(long long value);
    Debug& operator<<(unsigned long long value);
    Debug& operator<<(float value);
    Debug& operator<<(double value);

    /* Appends text as one operand: a separating space first unless suppressed */
    Debug& print(std::string_view text);

protected:
    enum class Kind : std::uint8_t { Debug, Warning, Error };
    Debug(Kind kind);
    Debug(Kind kind, std::ostream* output);

    /* Writes the statement so far, if any, with its newline */
    void flush();

private:
    Kind _kind;
    bool _redirected{};
    bool _noSpace{true};
    std::ostream* _output;
    std::ostream* _previousOutput{};
    std::string _line;
};

/* Like Debug, to standard error by default */
class Warning : public Debug {
public:
    /* The calling thread's current stream for warnings, nullptr when silenced */
    static std::ostream* output();

    Warning() : Debug{Kind::Warning} {}
    explicit Warning(std::ostream* output) : Debug{Kind::Warning, output} {}
};

/* Like Debug, to standard error by default */
class Error : public Debug {
public:
    /* The calling thread's current stream for errors, nullptr when silenced */
    static std::ostream* output();

    Error() : Debug{Kind::Error} {}
    explicit Error(std::ostream* output) : Debug{Kind::Error, output} {}
};

/* Prints like Error, then aborts the process */
class Fatal : public Error {
public:
    Fatal() = default;
    ~Fatal();
};

/* Lets a temporary take operands of types that only have free printing functions */
template<class T>
Debug& operator<<(Debug&& debug, const T& value) {
    return static_cast<Debug&>(debug) << value;
}

/* Prints "TypeName::Value", or "TypeName(number)" when the value has no name */
Debug& printEnum(Debug& debug, std::string_view typeName, std::string_view valueName,
                 long long value);

/* Prints each set bit of a flag set as its enumerator, joined by "|", or emptyText when no
   bit is set */
template<class Set>
Debug& printEnumSet(Debug& debug, Set value, std::string_view emptyText) {
    using Bits = std::make_unsigned_t<typename Set::UnderlyingType>;
    auto bits = Bits(typename Set::UnderlyingType(value));
    if (!bits)
        return debug << emptyText;
    for (bool first = true; bits; bits = Bits(bits & (bits - 1)), first = false) {
        if (!first)
            debug << Debug::nospace << "|" << Debug::nospace;
        debug << typename Set::Type(bits & Bits(~bits + 1));
    }
    return debug;
}

namespace Implementation {
[[noreturn]] void assertionFailed(const char* expression, const char* file, int line);
[[noreturn]] void unreachable(const char* file, int line);
} // namespace Implementation

} // namespace ZarvikEngine

/* Programming error check: prints the streamed message through Error and aborts. Stays on
   in every build type. */
#define ZE_ASSERT(condition, message)                                                              \
    do {                                                                                           \
        if (!(condition)) [[unlikely]] {                                                           \
            ::ZarvikEngine::Fatal{} << message;                                                    \
            /* Fatal aborts; saying so lets the compiler trust the condition afterwards */         \
            __builtin_unreachable();                                                               \
        }                                                                                          \
    } while (false)

/* Programming error in a branch that must not be reached, with a message */
#define ZE_ASSERT_UNREACHABLE(message)                                                             \
    do {                                                                                           \
        ::ZarvikEngine::Fatal{} << message;                                                        \
        __builtin_unreachable();                                                                   \
    } while (false)

/* Internal invariant: "Assertion <expr> failed at <file>:<line>" */
#define ZE_INTERNAL_ASSERT(expression)                                                             \
    do {                                                                                           \
        if (!(expression)) [[unlikely]]                                                            \
            ::ZarvikEngine::Implementation::assertionFailed(#expression, __FILE__, __LINE__);      \
    } while (false)

/* "Reached unreachable code at <file>:<line>" */
#define ZE_INTERNAL_ASSERT_UNREACHABLE()                                                           \
    ::ZarvikEngine::Implementation::unreachable(__FILE__, __LINE__)

#endif
