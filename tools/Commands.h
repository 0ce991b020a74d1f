#ifndef ZarvikEngine_Tools_Commands_h
#define ZarvikEngine_Tools_Commands_h

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ZarvikEngine::Tool {

/* Exit statuses of the commands */
enum ExitStatus : int { Success = 0, Failure = 1, Usage = 2 };

/* Validates the file and lists every chunk with a one-line summary of its record through
   Debug, chunks that nothing checks with a warning. A file that can't be read or isn't valid
   gives one message through Error, nothing through Debug, and Failure. */
int inspect(const std::string& path);

/* Lists the chunks of bytes that validate, as inspect() does for a file; name is what the
   messages call them */
int inspectAssetFile(std::string_view name, std::span<const char> file);

/* Writes sampleAssetFile() to path */
int sample(const std::string& path);

struct PlayOptions {
    std::string path;
    unsigned frames = 60;
    double fps = 60.0;
    bool json = false;
};

/* Plays every animation graph of the file on a scene with an object per animated target and
   prints, per frame, the objects that moved and the events that fired; with json, one JSON
   document instead (see the README). A file that can't be read, isn't valid or has nothing
   to play gives one message through Error and Failure. */
int play(const PlayOptions& options);

/* For the commands: the whole file, or nothing after reporting why */
std::optional<std::vector<char>> readFile(const std::string& path);
/* "zarvik: path: message" through Error */
void reportError(std::string_view name, std::string_view message);

} // namespace ZarvikEngine::Tool

#endif
