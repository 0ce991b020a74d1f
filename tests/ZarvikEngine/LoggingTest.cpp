#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ZarvikEngine/Logging.h"

namespace ZarvikEngine {
namespace {

std::tm makeTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

/* The "[date time.milliseconds]" stamp log() would write at the given moment */
std::string stampAt(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm time{};
    localtime_r(&seconds, &time);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count() %
        1000;
    const std::string line =
        Implementation::formatLogLine(LogLevel::Info, "", time, int(milliseconds));
    return line.substr(0, line.find(']') + 1);
}

/* Collects every line given to the log callback, from any thread */
struct Collected {
    std::mutex mutex;
    std::vector<std::string> lines;

    static void callback(std::string_view line, void* userData) {
        auto& self = *static_cast<Collected*>(userData);
        std::lock_guard lock{self.mutex};
        self.lines.emplace_back(line);
    }
};

/* Log callback installed for one test, removed at its end */
class LogCallbackTest : public testing::Test {
protected:
    void SetUp() override { setLogCallback(Collected::callback, &collected); }
    void TearDown() override { setLogCallback(nullptr, nullptr); }

    Collected collected;
};

/* Whether text matches pattern, in which each # stands for one decimal digit */
bool matches(std::string_view text, std::string_view pattern) {
    return text.size() == pattern.size() &&
           std::equal(text.begin(), text.end(), pattern.begin(),
                      [](char c, char p) { return p == '#' ? c >= '0' && c <= '9' : c == p; });
}

const std::string Stamp = "[####-##-## ##:##:##.###]";

TEST(Logging, FormatsLinesAndFileNames) {
    const std::tm time = makeTime(2026, 1, 2, 3, 4, 5);
    EXPECT_EQ(Implementation::formatLogLine(LogLevel::Info, "hello", time, 6),
              "[2026-01-02 03:04:05.006][info] hello\n");
    /* Messages go in unchanged, embedded newlines included */
    EXPECT_EQ(Implementation::formatLogLine(LogLevel::Error, "two\nlines {}",
                                            makeTime(1999, 12, 31, 23, 59, 59), 0),
              "[1999-12-31 23:59:59.000][error] two\nlines {}\n");

    EXPECT_EQ(Implementation::formatLogFileName("/var/log/", makeTime(2027, 3, 14, 15, 9, 2)),
              "/var/log//ZarvikEditor-2027-03-14-15-09-02.log");

    std::ostringstream out;
    Debug{&out} << LogLevel::Info << LogLevel::Warn << LogLevel::Error << LogLevel(7);
    EXPECT_EQ(out.str(), "LogLevel::Info LogLevel::Warn LogLevel::Error LogLevel(7)\n");
}

TEST_F(LogCallbackTest, DeliversToConsoleFileAndCallback) {
    const std::filesystem::path directory =
        std::filesystem::path{testing::TempDir()} / "LoggingDeliversToConsoleFileAndCallback";
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    openLogFile(directory.string());

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const auto before = std::chrono::system_clock::now();
    log(LogLevel::Info, "hello");
    const auto after = std::chrono::system_clock::now();
    log(LogLevel::Warn, "");
    log(LogLevel::Error, "broken");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    closeLogFile();

    EXPECT_TRUE(matches(out, Stamp + "[info] hello\n")) << out;
    EXPECT_TRUE(matches(err, Stamp + "[warn] \n" + Stamp + "[error] broken\n")) << err;
    /* The stamp is the local time of the call, to the millisecond */
    const std::string stamp = out.substr(0, out.find(']') + 1);
    EXPECT_LE(stampAt(before), stamp);
    EXPECT_GE(stampAt(after), stamp);

    /* The callback gets each line without the newline, the file gets the same bytes in
       order */
    const std::size_t errorStart = err.find('\n') + 1;
    EXPECT_EQ(collected.lines, (std::vector<std::string>{
                                   out.substr(0, out.size() - 1), err.substr(0, errorStart - 1),
                                   err.substr(errorStart, err.size() - errorStart - 1)}));
    std::vector<std::filesystem::path> files{std::filesystem::directory_iterator{directory},
                                             std::filesystem::directory_iterator{}};
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(matches(files[0].filename().string(), "ZarvikEditor-####-##-##-##-##-##.log"));
    std::ostringstream contents;
    contents << std::ifstream{files[0], std::ios::binary}.rdbuf();
    EXPECT_EQ(contents.str(), out + err);

    std::filesystem::remove_all(directory);
}

TEST(Logging, ReportsUncreatableLogFile) {
    std::ostringstream errors;
    {
        Error redirect{&errors};
        openLogFile("/nonexistent-directory");
    }
    EXPECT_TRUE(matches(errors.str(), "Could not create log file /nonexistent-directory/"
                                      "ZarvikEditor-####-##-##-##-##-##.log\n"))
        << errors.str();
}

TEST(LineCallbackBuffer, SplitsLines) {
    std::vector<std::string> lines;
    const LogCallback collect = [](std::string_view line, void* userData) {
        /* Terminated, for callers that need a C string */
        EXPECT_EQ(line.data()[line.size()], '\0');
        static_cast<std::vector<std::string>*>(userData)->emplace_back(line);
    };

    LineCallbackBuffer buffer{collect, &lines, 8};
    std::ostream stream{&buffer};
    /* Lines longer than the buffer arrive in pieces of 7 */
    stream << "abcdefghij\n";
    EXPECT_EQ(lines, (std::vector<std::string>{"abcdefg", "hij"}));
    lines.clear();
    /* An exactly filled buffer goes out at once, the newline then ends an empty piece */
    stream << "\n1234567\n";
    EXPECT_EQ(lines, (std::vector<std::string>{"", "1234567", ""}));
    lines.clear();

    /* Unfinished text waits, also across moves of the buffer */
    stream << "unfi";
    stream.flush();
    EXPECT_TRUE(lines.empty());
    LineCallbackBuffer moved{std::move(buffer)};
    std::ostream movedStream{&moved};
    movedStream << "ni";
    std::vector<std::string> otherLines;
    LineCallbackBuffer assigned{collect, &otherLines, 8};
    assigned = std::move(moved);
    std::ostream assignedStream{&assigned};
    assignedStream << "shed\n";
    EXPECT_EQ(lines, (std::vector<std::string>{"unfinis", "hed"}));
    EXPECT_TRUE(otherLines.empty());
}

TEST_F(LogCallbackTest, ScopeRoutesThisThreadsOutputToLog) {
    std::ostringstream previous;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        Debug redirect{&previous};
        {
            LoggingScope scope;
            Debug{} << "debug" << 1;
            Warning{} << "careful";
            {
                LoggingScope inner;
                Error{} << "failed";
            }
            Debug{} << "after inner";
            /* Another thread keeps its own output */
            std::thread{[] { Debug{} << "elsewhere"; }}.join();
            /* One statement longer than a buffer is logged in pieces */
            Debug{} << std::string(40000, 'x');
        }
        Debug{} << "restored";
    }
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();

    ASSERT_EQ(collected.lines.size(), 6u);
    const std::string expected[]{"[info] debug 1",
                                 "[warn] careful",
                                 "[error] failed",
                                 "[info] after inner",
                                 "[info] " + std::string(32767, 'x'),
                                 "[info] " + std::string(7233, 'x')};
    for (std::size_t i = 0; i != 6; ++i)
        EXPECT_TRUE(matches(collected.lines[i], Stamp + expected[i]))
            << collected.lines[i].substr(0, 80);

    /* The console gets what log() prints, the other thread its own text */
    EXPECT_EQ(previous.str(), "restored\n");
    EXPECT_NE(out.find("\nelsewhere\n"), std::string::npos);
    EXPECT_EQ(out.find("careful"), std::string::npos);
    EXPECT_NE(err.find("[error] failed\n"), std::string::npos);
}

} // namespace
} // namespace ZarvikEngine
