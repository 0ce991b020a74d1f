#include "ZarvikEngine/Logging.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include <fmt/format.h>

namespace ZarvikEngine {

namespace {

/* Process-wide, set up by the host before it starts threads */
std::FILE* logFile = nullptr;
LogCallback logCallback = nullptr;
void* logCallbackUserData = nullptr;

std::string_view levelText(LogLevel level) {
    switch (level) {
    case LogLevel::Info:
        return "info";
    case LogLevel::Warn:
        return "warn";
    case LogLevel::Error:
        return "error";
    }
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::tm localTime(std::time_t seconds) {
    std::tm time{};
    localtime_r(&seconds, &time);
    return time;
}

} // namespace

Debug& operator<<(Debug& debug, LogLevel value) {
    std::string_view name;
    switch (value) {
    case LogLevel::Info:
        name = "Info";
        break;
    case LogLevel::Warn:
        name = "Warn";
        break;
    case LogLevel::Error:
        name = "Error";
        break;
    }
    return printEnum(debug, "LogLevel", name, int(value));
}

namespace Implementation {

std::string formatLogLine(LogLevel level, std::string_view message, const std::tm& time,
                          int milliseconds) {
    return fmt::format("[{}-{:02}-{:02} {:02}:{:02}:{:02}.{:03}][{}] {}\n", time.tm_year + 1900,
                       time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                       milliseconds, levelText(level), message);
}

std::string formatLogFileName(std::string_view directory, const std::tm& time) {
    return fmt::format("{}/ZarvikEditor-{}-{:02}-{:02}-{:02}-{:02}-{:02}.log", directory,
                       time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_hour,
                       time.tm_min, time.tm_sec);
}

} // namespace Implementation

void log(LogLevel level, std::string_view message) {
    /* One clock reading for both the seconds and the milliseconds, so they never disagree */
    const auto now = std::chrono::system_clock::now();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    const std::string line = Implementation::formatLogLine(
        level, message, localTime(std::chrono::system_clock::to_time_t(now)), int(milliseconds));

    std::FILE* const console = level == LogLevel::Info ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), console);
    std::fflush(console);
    if (logFile)
        std::fwrite(line.data(), 1, line.size(), logFile);
    if (logCallback)
        logCallback(std::string_view{line}.substr(0, line.size() - 1), logCallbackUserData);
}

void openLogFile(std::string_view directory) {
    closeLogFile();
    const std::string path =
        Implementation::formatLogFileName(directory, localTime(std::time(nullptr)));
    logFile = std::fopen(path.c_str(), "wb");
    if (!logFile) {
        Error{} << "Could not create log file" << path;
        return;
    }
    [[maybe_unused]] static const bool closedAtExit = std::atexit(closeLogFile) == 0;
}

void closeLogFile() {
    if (logFile) {
        std::fclose(logFile);
        logFile = nullptr;
    }
}

void setLogCallback(LogCallback callback, void* userData) {
    logCallback = callback;
    logCallbackUserData = userData;
}

std::pair<LogCallback, void*> getLogCallback() {
    return {logCallback, logCallbackUserData};
}

LineCallbackBuffer::LineCallbackBuffer(LogCallback callback, void* userData, std::uint64_t size)
    : _buffer(size), _callback{callback}, _userData{userData} {
    /* Room for at least one character and the terminator */
    ZE_INTERNAL_ASSERT(size >= 2);
}

LineCallbackBuffer::LineCallbackBuffer(LineCallbackBuffer&& other) noexcept
    : std::streambuf{other}, _buffer{std::move(other._buffer)}, _position{other._position},
      _callback{other._callback}, _userData{other._userData} {}

LineCallbackBuffer& LineCallbackBuffer::operator=(LineCallbackBuffer&& other) noexcept {
    std::streambuf::operator=(other);
    _buffer.swap(other._buffer);
    _position = other._position;
    _callback = other._callback;
    _userData = other._userData;
    return *this;
}

LineCallbackBuffer::int_type LineCallbackBuffer::overflow(int_type c) {
    /* End of file is a flush request, and there is nothing to flush */
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return 0;

    const std::size_t position = _position++;
    if (traits_type::to_char_type(c) == '\n') {
        _buffer[position] = '\0';
        _callback({_buffer.data(), position}, _userData);
        _position = 0;
    } else {
        _buffer[position] = traits_type::to_char_type(c);
    }

    if (_position == _buffer.size() - 1) {
        _buffer[_position] = '\0';
        _callback({_buffer.data(), _position}, _userData);
        _position = 0;
    }
    return 0;
}

struct LoggingScope::Streams {
    static constexpr std::uint64_t BufferSize = 32768;

    LineCallbackBuffer infoBuffer{[](std::string_view line, void*) { log(LogLevel::Info, line); },
                                  nullptr, BufferSize};
    LineCallbackBuffer warningBuffer{
        [](std::string_view line, void*) { log(LogLevel::Warn, line); }, nullptr, BufferSize};
    LineCallbackBuffer errorBuffer{[](std::string_view line, void*) { log(LogLevel::Error, line); },
                                   nullptr, BufferSize};
    std::ostream info{&infoBuffer};
    std::ostream warning{&warningBuffer};
    std::ostream error{&errorBuffer};
};

LoggingScope::LoggingScope()
    : _streams{std::make_unique<Streams>()}, _debug{&_streams->info}, _warning{&_streams->warning},
      _error{&_streams->error} {}

LoggingScope::~LoggingScope() = default;

} // namespace ZarvikEngine
