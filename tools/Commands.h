#ifndef ZarvikEngine_Tools_Commands_h
#define ZarvikEngine_Tools_Commands_h

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Tools/MeshFormat.h"

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

/* inspect() as one JSON document: {"file", "bytes", "warnings": [text], "chunks": [{"index",
   "magic", "magicValue", "size", "paddedSize", "summary" (the listing's text), "fields" (the
   record's decoded header values)}]}; the same failures */
int inspectJson(const std::string& path);
int inspectAssetFileJson(std::string_view name, std::span<const char> file);

/* Compiles a TrueType or OpenType font into an asset file of one font record. A file that
   can't be read or compiled gives one message naming it and Failure, and no output. */
int font(const std::string& source, const std::string& output);
/* The compiled font of a TrueType or OpenType file, or nothing after reporting why */
std::optional<std::vector<char>> compileFontFile(const std::string& source);

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

struct ImportOptions {
    std::string source, output;
    /* The vertex layout of every mesh (positions and normals always), empty for what each mesh
       has */
    MeshDataFlags layout;
    /* Generated where a mesh has none */
    bool tangents = false;
    /* Vertex attributes and animation keys at full precision instead of quantized */
    bool fullPrecision = false;
    /* Images are cut into square tiles of this size with this border on every side */
    std::int32_t tileSize = 256;
    std::int32_t tileBorder = 2;
    /* Mip levels kept per image, the whole chain when 0 */
    std::uint32_t mipLevels = 0;
    /* TrueType or OpenType fonts for the scene's text, which scene files can't name, each
       compiled into a font record */
    std::vector<std::string> fonts;
    bool json = false;
};

/* Imports the scene file into an asset file that validates, printing progress and warnings on
   standard error and a summary (with json, one JSON document) on standard output. A file that
   can't be imported gives one message naming it and the reason, leaves no output file behind
   and returns Failure. */
int importScene(const ImportOptions& options);

/* For the commands: the whole file, or nothing after reporting why */
std::optional<std::vector<char>> readFile(const std::string& path);
/* "zarvik: path: message" through Error */
void reportError(std::string_view name, std::string_view message);
/* Writes the file next to its destination and moves it there, so that a failed write leaves
   nothing behind; reports why it couldn't */
bool writeFile(const std::string& path, std::span<const char> data);

} // namespace ZarvikEngine::Tool

#endif
