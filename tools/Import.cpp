#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "SceneImport.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Trade/ImporterForFile.h"

namespace ZarvikEngine::Tool {

namespace {

/* Lines written through it go on to another stream and are kept */
class LineLog : public std::streambuf {
public:
    /* Nothing goes on when forward is nullptr */
    explicit LineLog(std::ostream* forward) : _forward{forward} {}

    const std::vector<std::string>& lines() const { return _lines; }

private:
    int_type overflow(int_type character) override {
        if (character == traits_type::eof())
            return traits_type::not_eof(character);
        if (character == '\n') {
            if (_forward)
                *_forward << _line << '\n' << std::flush;
            _lines.push_back(std::move(_line));
            _line.clear();
        } else
            _line += char(character);
        return character;
    }

    std::ostream* _forward;
    std::string _line;
    std::vector<std::string> _lines;
};

/* What an operation printed through Error, without the final newline */
template<class Function>
std::string errorOf(Function function) {
    std::ostringstream text;
    {
        Error redirect{&text};
        function();
    }
    std::string message = text.str();
    while (!message.empty() && message.back() == '\n')
        message.pop_back();
    return message;
}

struct StageTime {
    std::string stage;
    double seconds;
};

class Stopwatch {
public:
    double lap() {
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - _last).count();
        _last = now;
        return seconds;
    }

private:
    std::chrono::steady_clock::time_point _last = std::chrono::steady_clock::now();
};

nlohmann::json countsJson(const ImportCounts& counts) {
    return {{"objects", counts.objects},
            {"meshes",
             {{"written", counts.meshes},
              {"skipped", counts.meshesSkipped},
              {"vertices", counts.vertices},
              {"indices", counts.indices},
              {"morphTargetSets", counts.morphTargetSets}}},
            {"skins", {{"written", counts.skins}, {"skipped", counts.skinsSkipped}}},
            {"animations",
             {{"written", counts.animations},
              {"skipped", counts.animationsSkipped},
              {"tracks", counts.animationTracks}}},
            {"images",
             {{"written", counts.images},
              {"skipped", counts.imagesSkipped},
              {"tiles", counts.imageTiles}}},
            {"textures", {{"written", counts.textures}, {"skipped", counts.texturesSkipped}}},
            {"materials", {{"written", counts.materials}, {"skipped", counts.materialsSkipped}}},
            {"fonts", {{"written", counts.fonts}, {"skipped", counts.fontsSkipped}}},
            {"cameras", counts.cameras},
            {"lights", counts.lights}};
}

void printSummary(const ImportOptions& options, const ImportCounts& counts, std::size_t fileSize,
                  const std::vector<std::string>& warnings, const std::vector<StageTime>& times) {
    double total = 0.0;
    for (const StageTime& time : times)
        total += time.seconds;
    if (options.json) {
        nlohmann::json seconds = nlohmann::json::object();
        for (const StageTime& time : times)
            seconds[time.stage] = time.seconds;
        seconds["total"] = total;
        nlohmann::json document{{"source", options.source},
                                {"output", options.output},
                                {"bytes", fileSize},
                                {"warnings", warnings},
                                {"seconds", seconds}};
        document.update(countsJson(counts));
        Debug{} << document.dump(2);
        return;
    }
    Debug{} << fmt::format("imported {} into {} ({} bytes) in {:.2f} s", options.source,
                           options.output, fileSize, total);
    Debug{} << fmt::format("  {} objects; {} meshes ({} skipped) of {} vertices and {} indices, "
                           "{} morph target sets; {} skins; {} animations ({} skipped) of {} "
                           "tracks",
                           counts.objects, counts.meshes, counts.meshesSkipped, counts.vertices,
                           counts.indices, counts.morphTargetSets, counts.skins, counts.animations,
                           counts.animationsSkipped, counts.animationTracks);
    Debug{} << fmt::format("  {} images ({} skipped) in {} tiles; {} textures; {} materials; {} "
                           "fonts ({} skipped); {} cameras; {} lights; {} warnings",
                           counts.images, counts.imagesSkipped, counts.imageTiles, counts.textures,
                           counts.materials, counts.fonts, counts.fontsSkipped, counts.cameras,
                           counts.lights, warnings.size());
    std::string stages;
    for (const StageTime& time : times)
        stages +=
            fmt::format("{}{} {:.3f} s", stages.empty() ? "" : ", ", time.stage, time.seconds);
    Debug{} << "  time:" << stages;
}

} // namespace

std::optional<std::vector<char>> importIntoMemory(Trade::AbstractImporter& importer,
                                                  const ImportOptions& options,
                                                  ImportCounts& counts,
                                                  const Function<void(const char*)>& stageDone) {
    /* What a single resource reports is a warning of the import, which goes on without it */
    ImportedSceneCache cache;
    {
        Error errorsAsWarnings{Warning::output()};
        cache.cacheResources(importer);
    }
    bool cached = false;
    if (const std::string error = errorOf([&] { cached = cache.cacheScene(importer); }); !cached) {
        reportError(options.source, error);
        return std::nullopt;
    }
    importer.close();
    stageDone("cache");

    std::optional<SceneImport> scene = SceneImport::create(cache, options);
    if (!scene)
        return std::nullopt;
    std::vector<char> file;
    Data::appendHeaderData(file);
    const std::pair<const char*, void (SceneImport::*)(std::vector<char>&)> stages[]{
        {"meshes", &SceneImport::writeMeshes},         {"skins", &SceneImport::writeSkins},
        {"animations", &SceneImport::writeAnimations}, {"images", &SceneImport::writeImages},
        {"textures", &SceneImport::writeTextures},     {"materials", &SceneImport::writeMaterials},
        {"fonts", &SceneImport::writeFonts},           {"scene", &SceneImport::writeScene}};
    for (const auto& [name, stage] : stages) {
        {
            Error errorsAsWarnings{Warning::output()};
            ((*scene).*stage)(file);
        }
        stageDone(name);
    }
    Data::updateHeaderData(file);
    counts = scene->counts();

    if (const std::optional<std::string> problem = Data::validateAssetFile(file).error) {
        reportError(options.source,
                    fmt::format("the imported file doesn't validate: {}", *problem));
        return std::nullopt;
    }
    return file;
}

int importScene(const ImportOptions& options) {
    std::unique_ptr<Trade::AbstractImporter> importer = Trade::importerForFile(options.source);
    if (!importer) {
        reportError(options.source, "isn't a scene file this tool reads");
        return Failure;
    }

    LineLog log{Warning::output()};
    std::ostream logStream{&log};
    Warning redirectWarnings{&logStream};
    Stopwatch stopwatch;
    std::vector<StageTime> times;

    bool opened = false;
    if (const std::string error = errorOf([&] { opened = importer->openFile(options.source); });
        !opened) {
        reportError(options.source, error.empty() ? "can't be opened" : error);
        return Failure;
    }
    times.push_back({"open", stopwatch.lap()});

    ImportCounts counts;
    const std::optional<std::vector<char>> file =
        importIntoMemory(*importer, options, counts, [&](const char* stage) {
            times.push_back({stage, stopwatch.lap()});
        });
    if (!file || !writeFile(options.output, *file))
        return Failure;
    times.push_back({"write", stopwatch.lap()});
    printSummary(options, counts, file->size(), log.lines(), times);
    return Success;
}

} // namespace ZarvikEngine::Tool
