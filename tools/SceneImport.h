#ifndef ZarvikEngine_Tools_SceneImport_h
#define ZarvikEngine_Tools_SceneImport_h

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "SceneChunk.h"
#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Function.h"
#include "ZarvikEngine/Tools/ImportedSceneCache.h"
#include "ZarvikEngine/Trade/AbstractImporter.h"

namespace ZarvikEngine::Tool {

/* Counts "stage 12/40" on standard error, when that is a terminal, once a stage has taken a
   second, then every second */
class Progress {
public:
    Progress(std::string_view stage, std::size_t total);

    void advance();

private:
    using Clock = std::chrono::steady_clock;

    std::string _stage;
    std::size_t _total, _done{};
    bool _terminal;
    Clock::time_point _start, _lastPrint;
};

/* What went into the file */
struct ImportCounts {
    std::size_t objects{}, meshes{}, meshesSkipped{}, vertices{}, indices{}, morphTargetSets{},
        skins{}, skinsSkipped{}, animations{}, animationsSkipped{}, animationTracks{}, images{},
        imagesSkipped{}, imageTiles{}, textures{}, texturesSkipped{}, materials{},
        materialsSkipped{}, fonts{}, fontsSkipped{}, cameras{}, lights{};
};

/* Writes what a cached scene holds into an asset file, stage by stage: each resource kind in
   its records, then the scene itself. Indices between records (a texture's image, a scene
   mesh's material) count the records written, so resources that can't be written leave no
   holes. */
class SceneImport {
public:
    /* Fails, after reporting why, when the scene has more objects than an asset file's scene
       holds */
    static std::optional<SceneImport> create(ImportedSceneCache& cache,
                                             const ImportOptions& options);

    void writeMeshes(std::vector<char>& file);
    void writeSkins(std::vector<char>& file);
    void writeAnimations(std::vector<char>& file);
    void writeImages(std::vector<char>& file);
    void writeTextures(std::vector<char>& file);
    void writeMaterials(std::vector<char>& file);
    void writeFonts(std::vector<char>& file);
    void writeScene(std::vector<char>& file);

    const ImportCounts& counts() const { return _counts; }

private:
    SceneImport(ImportedSceneCache& cache, const ImportOptions& options);

    /* The record index of each resource written, -1 for those that weren't */
    using RecordIndices = std::vector<std::int32_t>;

    void writeMorphTargets(const Trade::MeshData& mesh, std::string_view name,
                           std::vector<char>& file);
    /* A texture attribute of a material as its record index, -1 when there is none */
    std::int32_t textureRecord(const Trade::MaterialData& material, Trade::MaterialAttribute name,
                               std::string_view materialName) const;

    ImportedSceneCache* _cache;
    const ImportOptions* _options;
    /* By object id, InvalidId for objects outside the scene */
    std::vector<Data::Id> _ids;
    RecordIndices _meshRecords, _skinRecords, _imageRecords, _textureRecords, _materialRecords;
    ImportCounts _counts;
};

/* The asset file of the scene of an opened importer, in memory: the scene cached, each stage
   written, the header updated and the whole validated; the importer is closed once the
   cache holds everything. What single resources report through Error goes to the warning
   output, as the import goes on without them. Nothing, after an error naming the source,
   when the scene can't be cached or written or the file doesn't validate. stageDone hears
   the name of each stage as it ends: "cache", then those of the writing ones. */
std::optional<std::vector<char>> importIntoMemory(Trade::AbstractImporter& importer,
                                                  const ImportOptions& options,
                                                  ImportCounts& counts,
                                                  const Function<void(const char*)>& stageDone);

} // namespace ZarvikEngine::Tool

#endif
