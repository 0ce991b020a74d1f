#ifndef ZarvikEngine_Tests_Tools_ToolTestHelpers_h
#define ZarvikEngine_Tests_Tools_ToolTestHelpers_h

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Tool {

/* What a command printed, and its status */
struct Output {
    int status;
    std::string out;
    std::string err;
};

template<class Command>
Output capture(Command command) {
    std::ostringstream out, err;
    int status;
    {
        Debug redirectOut{&out};
        Warning redirectWarnings{&err};
        Error redirectErr{&err};
        status = command();
    }
    return {status, out.str(), err.str()};
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in{text};
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

inline std::string temporaryPath(const std::string& name) {
    return testing::TempDir() + "zarvik-" + std::to_string(getpid()) + "-" + name;
}

inline void write(const std::string& path, std::span<const char> bytes) {
    std::ofstream{path, std::ios::binary}.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readText(const std::string& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

/* A shell command's exit status, or -1 when it didn't exit normally (a crash) */
inline int runShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/* What the executable printed, and its exit status */
inline Output runExecutableOutput(const std::string& arguments) {
    const std::string out = temporaryPath("stdout"), err = temporaryPath("stderr");
    const int status = runShell(ZARVIK_EXECUTABLE " " + arguments + " >" + out + " 2>" + err);
    return {status, readText(out), readText(err)};
}

inline int runExecutable(const std::string& arguments) {
    return runExecutableOutput(arguments).status;
}

/* zarvik inspect --json of a valid file, checked to parse with Python's own parser and to say
   what the text listing says, chunk by chunk */
inline nlohmann::json jsonListingOf(const std::string& path) {
    const Output json = runExecutableOutput("inspect --json " + path);
    EXPECT_EQ(json.status, Success) << path;
    EXPECT_EQ(json.err, "") << path;
    const std::string saved = temporaryPath("listing.json");
    std::ofstream{saved} << json.out;
    EXPECT_EQ(runShell("python3 -c 'import json, sys; json.load(open(sys.argv[1]))' " + saved), 0)
        << path;

    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["file"], path);
    Output text;
    {
        std::ostringstream out, err;
        Debug redirectOut{&out};
        Warning redirectWarnings{&err};
        text.status = inspect(path);
        text.out = out.str();
    }
    const std::vector<std::string> listed = lines(text.out);
    EXPECT_EQ(document["chunks"].size() + 1, listed.size()) << path;
    for (std::size_t i = 0; i < document["chunks"].size() && i + 1 < listed.size(); ++i) {
        const nlohmann::json& chunk = document["chunks"][i];
        EXPECT_EQ(chunk["index"], i);
        EXPECT_GE(chunk["paddedSize"], chunk["size"]);
        EXPECT_EQ(listed[i + 1],
                  fmt::format("chunk {} {}, {} bytes: {}", i, chunk["magic"].get<std::string>(),
                              chunk["size"].get<std::uint32_t>(),
                              chunk["summary"].get<std::string>()));
    }
    return document;
}

} // namespace ZarvikEngine::Tool

#endif
