#ifndef ZarvikEngine_Tools_Commands_h
#define ZarvikEngine_Tools_Commands_h

#include <span>
#include <string>
#include <string_view>

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

} // namespace ZarvikEngine::Tool

#endif
