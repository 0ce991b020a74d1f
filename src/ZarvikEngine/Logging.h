#ifndef ZarvikEngine_Logging_h
#define ZarvikEngine_Logging_h

#include <cstdint>
#include <ctime>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

enum class LogLevel { Info, Warn, Error };

Debug& operator<<(Debug& debug, LogLevel value);

/* Receives one line without its newline; the view is valid only during the call */
using LogCallback = void (*)(std::string_view, void*);

/* Stamps the message with the local date and time and the level, and writes the line to the
   console (standard output for Info, standard error otherwise), the open log file and the
   log callback. Takes no lock: each destination gets the line in one write. */
void log(LogLevel level, std::string_view message);

/* Opens "<directory>/ZarvikEditor-<local date and time>.log" as the log file, replacing (and
   closing) any earlier one, and closes it at process exit */
void openLogFile(std::string_view directory);

/* Closes the log file, if one is open */
void closeLogFile();

/* A null callback turns delivery to the callback off */
void setLogCallback(LogCallback callback, void* userData);
std::pair<LogCallback, void*> getLogCallback();

namespace Implementation {
/* The line log() writes for a message at the given local time, newline included */
std::string formatLogLine(LogLevel level, std::string_view message, const std::tm& time,
                          int milliseconds);
/* The path openLogFile() opens at the given local time */
std::string formatLogFileName(std::string_view directory, const std::tm& time);
} // namespace Implementation

/* Stream buffer that hands each completed line to a callback. It has no put area, so every
   character arrives in overflow(); a line longer than size - 1 characters is delivered in
   pieces of size - 1, and text after the last newline waits for more. */
class LineCallbackBuffer : public std::streambuf {
public:
    LineCallbackBuffer(LogCallback callback, void* userData, std::uint64_t size);
    LineCallbackBuffer(const LineCallbackBuffer&) = delete;
    LineCallbackBuffer& operator=(const LineCallbackBuffer&) = delete;
    LineCallbackBuffer(LineCallbackBuffer&& other) noexcept;
    LineCallbackBuffer& operator=(LineCallbackBuffer&& other) noexcept;
    ~LineCallbackBuffer() override = default;

protected:
    int_type overflow(int_type c) override;

private:
    std::vector<char> _buffer;
    std::size_t _position{};
    LogCallback _callback;
    void* _userData;
};

/* Sends everything the calling thread prints through Debug, Warning and Error to log() with
   the matching level while it lives; nested scopes restore the outer redirection */
class LoggingScope {
public:
    LoggingScope();
    ~LoggingScope();
    LoggingScope(const LoggingScope&) = delete;
    LoggingScope& operator=(const LoggingScope&) = delete;

private:
    struct Streams;

    /* Declaration order makes the redirections end (Error, Warning, Debug) before the
       streams they point to go away */
    std::unique_ptr<Streams> _streams;
    Debug _debug;
    Warning _warning;
    Error _error;
};

} // namespace ZarvikEngine

#endif
