#include "ZarvikEngine/Debug.h"

#include <cstdlib>
#include <iostream>

#include <fmt/format.h>

namespace ZarvikEngine {

namespace {

/* Per-thread redirection of each kind of output. Unset means the process default. */
struct ThreadOutput {
    std::ostream* stream;
    bool set;
};

thread_local ThreadOutput threadOutputs[3]{};

std::ostream* defaultOutput(std::uint8_t kind) {
    return kind == 0 ? &std::cout : &std::cerr;
}

std::ostream* currentOutput(std::uint8_t kind) {
    const ThreadOutput& output = threadOutputs[kind];
    return output.set ? output.stream : defaultOutput(kind);
}

} // namespace

std::ostream* Debug::output() {
    return currentOutput(0);
}

std::ostream* Warning::output() {
    return currentOutput(1);
}

std::ostream* Error::output() {
    return currentOutput(2);
}

Debug& Debug::nospace(Debug& debug) {
    debug._noSpace = true;
    return debug;
}

Debug& Debug::newline(Debug& debug) {
    debug._line += '\n';
    debug._noSpace = true;
    return debug;
}

Debug::Debug() : Debug{Kind::Debug} {}

Debug::Debug(std::ostream* output) : Debug{Kind::Debug, output} {}

Debug::Debug(Kind kind) : _kind{kind}, _output{currentOutput(std::uint8_t(kind))} {}

Debug::Debug(Kind kind, std::ostream* output) : _kind{kind}, _redirected{true}, _output{output} {
    ThreadOutput& current = threadOutputs[std::uint8_t(kind)];
    _previousOutput = currentOutput(std::uint8_t(kind));
    current = {output, true};
}

Debug::~Debug() {
    flush();
    if (_redirected)
        threadOutputs[std::uint8_t(_kind)] = {_previousOutput, true};
}

void Debug::flush() {
    if (!_line.empty() && _output) {
        _line += '\n';
        _output->write(_line.data(), std::streamsize(_line.size()));
        _output->flush();
    }
    _line.clear();
}

Debug& Debug::print(std::string_view text) {
    if (!_noSpace)
        _line += ' ';
    _noSpace = false;
    _line += text;
    return *this;
}

Debug& Debug::operator<<(const char* value) {
    return print(value ? std::string_view{value} : std::string_view{});
}

Debug& Debug::operator<<(std::string_view value) {
    return print(value);
}

Debug& Debug::operator<<(const void* value) {
    return print(fmt::format("{}", value));
}

Debug& Debug::operator<<(std::nullptr_t) {
    return print("nullptr");
}

Debug& Debug::operator<<(bool value) {
    return print(value ? "true" : "false");
}

Debug& Debug::operator<<(char value) {
    return print(std::string_view{&value, 1});
}

Debug& Debug::operator<<(long long value) {
    return print(fmt::format("{}", value));
}

Debug& Debug::operator<<(unsigned long long value) {
    return print(fmt::format("{}", value));
}

Debug& Debug::operator<<(float value) {
    return print(fmt::format("{:.6g}", value));
}

Debug& Debug::operator<<(double value) {
    return print(fmt::format("{:.15g}", value));
}

Fatal::~Fatal() {
    flush();
    std::abort();
}

Debug& printEnum(Debug& debug, std::string_view typeName, std::string_view valueName,
                 long long value) {
    if (!valueName.empty())
        return debug.print(fmt::format("{}::{}", typeName, valueName));
    return debug.print(fmt::format("{}({})", typeName, value));
}

namespace Implementation {

namespace {

/* Inline functions of the headers expand __FILE__ with the include path of whoever compiles
   them, so the location is cut at the library's own folder to read the same for every
   caller */
std::string location(std::string_view file, int line) {
    constexpr std::string_view Folder = "ZarvikEngine/";
    for (std::size_t found = file.rfind(Folder); found != std::string_view::npos;
         found = found ? file.rfind(Folder, found - 1) : std::string_view::npos) {
        if (found == 0 || file[found - 1] == '/') {
            file.remove_prefix(found);
            break;
        }
    }
    return fmt::format("{}:{}", file, line);
}

} // namespace

void assertionFailed(const char* expression, const char* file, int line) {
    Fatal{} << "Assertion" << expression << "failed at" << location(file, line);
    __builtin_unreachable();
}

void unreachable(const char* file, int line) {
    Fatal{} << "Reached unreachable code at" << location(file, line);
    __builtin_unreachable();
}

} // namespace Implementation

} // namespace ZarvikEngine
