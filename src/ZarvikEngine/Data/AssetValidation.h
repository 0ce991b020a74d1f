#ifndef ZarvikEngine_Data_AssetValidation_h
#define ZarvikEngine_Data_AssetValidation_h

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/AnimationGraphRecords.h"
#include "ZarvikEngine/Data/AnimationRecords.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/ImageRecords.h"
#include "ZarvikEngine/Data/LocalizationRecords.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Data/RenderingRecords.h"

namespace ZarvikEngine::Data {

/* What validateAssetFile() found */
struct AssetFileValidation {
    /* Set when the file must not be read; names the chunk (index and magic) and the problem */
    std::optional<std::string> error;
    /* One line per chunk whose magic no record type of this library has. Such chunks are
       framed like any other, so walking the file steps over them; their payload isn't
       checked and nothing here reads it. */
    std::vector<std::string> warnings;

    bool valid() const { return !error; }
};

/* Checks bytes from outside the process before any view is built on them: alignment, chunk
   framing, the header record first with its fixed words and finalised counts, and every
   record by its magic. When the file is valid, walking its chunks with AssetChunkView and
   calling any reader of any record (with indices below the counts the record states) neither
   aborts nor reads outside the file. Never aborts itself. */
AssetFileValidation validateAssetFile(std::span<const char> file);

namespace Implementation {

template<class... Records>
struct RecordTypes {
    using Validator = std::optional<std::string> (*)(std::span<const char>);

    /* The record type's validate(), or nullptr when none has this magic */
    static Validator validator(Magic magic) {
        Validator found = nullptr;
        ((magic == Records::magic && (found = &Records::validate)) || ...);
        return found;
    }

    template<class Visitor>
    static bool visit(const AssetChunkView& chunk, Visitor& visitor) {
        const Magic magic = chunk.header().magic;
        return ((magic == Records::magic && (visitor(chunk.as<Records>()), true)) || ...);
    }
};

/* Every record type with readers. A new one is added here, with a static magic and a static
   validate(payload), and is then checked and dispatched; the visitors (the zarvik tool's
   summaries, the fuzz target's reader) need an overload for it. */
using CheckedRecords =
    RecordTypes<MeshData, MorphTargetData, SkinData, ImageData, ImageTileData, TextureData,
                ProbeData, MaterialData, ShaderData, PipelineData, RenderingData, DrawData,
                PhysXData, FontData, LanguageData, LocaleData, AnimationData, AnimationTargetsData,
                AnimationGraphData>;

} // namespace Implementation

/* Calls visitor with the chunk's payload as its record view (HeaderData included) and returns
   true, or returns false when no record type has the chunk's magic. The chunk must belong to
   a file that validateAssetFile() accepted. */
template<class Visitor>
bool visitRecord(const AssetChunkView& chunk, Visitor&& visitor) {
    if (chunk.header().magic == HeaderData::magic) {
        visitor(chunk.as<HeaderData>());
        return true;
    }
    return Implementation::CheckedRecords::visit(chunk, visitor);
}

} // namespace ZarvikEngine::Data

#endif
