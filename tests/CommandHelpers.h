#ifndef ZarvikEngine_Tests_CommandHelpers_h
#define ZarvikEngine_Tests_CommandHelpers_h

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

/* Running the reference tools that tests compare against (GCC's cpp, glslangValidator, ...) */
namespace ZarvikEngine::Test {

/* What a shell command printed on its standard output and error, and its exit status */
struct CommandOutput {
    int status;
    std::string output;
};

inline CommandOutput runCommand(const std::string& command) {
    CommandOutput result{-1, {}};
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe));)
            result.output.append(buffer, read);
        result.status = ::pclose(pipe);
    }
    return result;
}

/* Runs the command on a temporary file with the text, named after name (tools such as
   glslangValidator go by the extension) */
inline CommandOutput runOnTemporaryFile(const std::string& command, std::string_view name,
                                        std::string_view text) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("zarvik-" + std::to_string(::getpid()) + "-" + std::string{name});
    std::ofstream{path, std::ios::binary} << text;
    CommandOutput result = runCommand(command + " " + path.string());
    std::filesystem::remove(path);
    return result;
}

} // namespace ZarvikEngine::Test

#endif
