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

#include <gtest/gtest.h>

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

} // namespace ZarvikEngine::Tool

#endif
