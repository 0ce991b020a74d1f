#include "Commands.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <nlohmann/json.hpp>

#include "SampleAssetFile.h"
#include "SceneChunk.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/DebugString.h"

namespace ZarvikEngine::Tool {

namespace {

using namespace Data;

/* "Trade::MeshAttribute::Position VertexFormat::Vector3, ..." with array sizes */
std::string attributes(std::span<const MeshData::MeshAttributeData32> entries) {
    std::vector<std::string> names;
    for (const MeshData::MeshAttributeData32& entry : entries)
        names.push_back(
            fmt::format("{} {}{}", debugString(entry.name), debugString(entry.format),
                        entry.arraySize ? fmt::format("[{}]", entry.arraySize) : std::string{}));
    return fmt::format("{}", fmt::join(names, ", "));
}

std::string compression(std::uint8_t bits) {
    if (!bits)
        return {};
    return fmt::format(", {} compressed", bits == MeshData::CompressedVertexData ? "vertex data"
                                          : bits == MeshData::CompressedIndexData
                                              ? "index data"
                                              : "vertex and index data");
}

/* What a listing says of a record: a line of text, and for --json the decoded header values */
struct Described {
    std::string text;
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
};

nlohmann::ordered_json attributesJson(std::span<const MeshData::MeshAttributeData32> entries) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const MeshData::MeshAttributeData32& entry : entries)
        list.push_back({{"name", debugString(entry.name)},
                        {"format", debugString(entry.format)},
                        {"arraySize", entry.arraySize}});
    return list;
}

nlohmann::ordered_json idsJson(std::span<const Id> ids) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Id id : ids)
        list.push_back(std::uint16_t(id));
    return list;
}

std::vector<std::string> strings(const StringArrayView& view) {
    return {view.begin(), view.end()};
}

std::string idsText(std::span<const Id> ids) {
    std::vector<std::string> names;
    for (const Id id : ids)
        names.push_back(debugString(id));
    return fmt::format("{}", fmt::join(names, ", "));
}

/* The records of a file that validated */
struct Describe {
    Described operator()(const HeaderData& record) const {
        const HeaderData::Header& header = record.header();
        return {fmt::format("{} chunks, largest {} bytes", header.chunkCount, header.maxChunkSize),
                {{"chunkCount", header.chunkCount}, {"maxChunkSize", header.maxChunkSize}}};
    }

    Described operator()(const MeshData& record) const {
        const MeshData::Header& header = record.header();
        const Vector3& center = header.boundingSphere.center();
        return {fmt::format("{} vertices, {}, attributes {}, bounding sphere at {} radius {}{}",
                            header.vertexCount,
                            header.indexCount ? fmt::format("{} indices of {}", header.indexCount,
                                                            debugString(header.indexType))
                                              : std::string{"not indexed"},
                            attributes(record.attributeData()), debugString(center),
                            header.boundingSphere.radius(), compression(header.compression)),
                {{"vertexCount", header.vertexCount},
                 {"indexCount", header.indexCount},
                 {"indexType", debugString(header.indexType)},
                 {"attributes", attributesJson(record.attributeData())},
                 {"boundingSphere",
                  {{"center", {center.x, center.y, center.z}},
                   {"radius", header.boundingSphere.radius()}}},
                 {"vertexDataSize", header.vertexDataSize},
                 {"indexDataSize", header.indexDataSize},
                 {"compression", header.compression}}};
    }

    Described operator()(const MorphTargetData& record) const {
        const MorphTargetData::Header& header = record.header();
        return {fmt::format("{} targets of {} vertices ({}), attributes {}{}", header.targetCount,
                            header.vertexCount, fmt::join(record.targetNames(), ", "),
                            attributes(record.attributeData()),
                            header.compressed ? ", compressed" : ""),
                {{"targetCount", header.targetCount},
                 {"vertexCount", header.vertexCount},
                 {"targetNames", strings(record.targetNames())},
                 {"attributes", attributesJson(record.attributeData())},
                 {"compressed", bool(header.compressed)}}};
    }

    Described operator()(const SkinData& record) const {
        return {fmt::format("{} joints driven by {}", record.header(), idsText(record.joints())),
                {{"jointCount", record.header()}, {"joints", idsJson(record.joints())}}};
    }

    Described operator()(const ImageData& record) const {
        const Vector3i& size = record.header().size;
        nlohmann::ordered_json fields{{"size", {size.x, size.y, size.z}},
                                      {"compressed", record.compressed()}};
        if (record.compressed()) {
            fields["tileCount"] = record.header().tileCount;
            return {fmt::format("{}x{}x{}, {} tiles", size.x, size.y, size.z,
                                record.header().tileCount),
                    fields};
        }
        fields["path"] = record.path();
        return {fmt::format("{}x{}x{}, file \"{}\"", size.x, size.y, size.z, record.path()),
                fields};
    }

    Described operator()(const ImageTileData& record) const {
        return {fmt::format("hash {}, value {}, flag {}, {} bytes of tile data", record.hash(),
                            record.header().value, record.header().flag, record.data().size()),
                {{"hash", record.hash()},
                 {"value", record.header().value},
                 {"flag", record.header().flag},
                 {"dataSize", record.data().size()}}};
    }

    Described operator()(const TextureData& record) const {
        const TextureData::Header& header = record.header();
        return {fmt::format("image {}, second index {}, filters {} {} {}, wrapping {} {} {}",
                            header.image, header.secondIndex,
                            debugString(header.minificationFilter),
                            debugString(header.magnificationFilter),
                            debugString(header.mipmapFilter), debugString(header.wrapping[0]),
                            debugString(header.wrapping[1]), debugString(header.wrapping[2])),
                {{"image", header.image},
                 {"secondIndex", header.secondIndex},
                 {"minificationFilter", debugString(header.minificationFilter)},
                 {"magnificationFilter", debugString(header.magnificationFilter)},
                 {"mipmapFilter", debugString(header.mipmapFilter)},
                 {"wrapping",
                  {debugString(header.wrapping[0]), debugString(header.wrapping[1]),
                   debugString(header.wrapping[2])}}}};
    }

    Described operator()(const ProbeData& record) const {
        return {fmt::format("base size {}x{}, {}, {} bytes of pixels", record.baseSize().x,
                            record.baseSize().y, debugString(record.format()),
                            record.data().size()),
                {{"baseSize", {record.baseSize().x, record.baseSize().y}},
                 {"format", debugString(record.format())},
                 {"dataSize", record.data().size()}}};
    }

    Described operator()(const MaterialData& record) const {
        return {fmt::format("definition {}, {} bytes of parameters", record.header(),
                            record.materialData().size()),
                {{"definition", record.header()}, {"parameterSize", record.materialData().size()}}};
    }

    Described operator()(const ShaderData& record) const {
        const ShaderData::Header& header = record.header();
        nlohmann::ordered_json fields{{"stage", unsigned(header.stage)},
                                      {"type", unsigned(header.type)},
                                      {"flags", std::uint16_t(header.flags)},
                                      {"name", record.name()},
                                      {"glslSize", record.code().size()}};
        if (header.wgslCodeSize) {
            fields["wgslName"] = record.wgslName();
            fields["wgslSize"] = record.codeWGSL().size();
        }
        return {fmt::format("stage {}, type {}, flags {:#06x}, \"{}\", GLSL of {} characters, {}",
                            unsigned(header.stage), unsigned(header.type),
                            std::uint16_t(header.flags), record.name(), record.code().size(),
                            header.wgslCodeSize
                                ? fmt::format("WGSL \"{}\" of {} characters", record.wgslName(),
                                              record.codeWGSL().size())
                                : std::string{"no WGSL"}),
                fields};
    }

    Described operator()(const PipelineData& record) const {
        const std::vector<std::string_view> features = record.enabledFeatures();
        return {fmt::format("\"{}\", indices {} and {}, {} enabled features{}{}", record.name(),
                            record.header().firstIndex, record.header().secondIndex,
                            features.size(), features.empty() ? "" : ": ",
                            fmt::join(features, ", ")),
                {{"name", record.name()},
                 {"firstIndex", record.header().firstIndex},
                 {"secondIndex", record.header().secondIndex},
                 {"enabledFeatures", features}}};
    }

    Described operator()(const RenderingData& record) const {
        return {fmt::format("{} bytes after the renderer's header", record.data().size()),
                {{"dataSize", record.data().size()}}};
    }

    Described operator()(const DrawData&) const { return {"draw settings"}; }

    Described operator()(const PhysXData& record) const {
        return {fmt::format("type {}, value {}, {} bytes of physics data",
                            unsigned(record.header().type), record.header().value,
                            record.data().size()),
                {{"type", unsigned(record.header().type)},
                 {"value", record.header().value},
                 {"dataSize", record.data().size()}}};
    }

    Described operator()(const FontData& record) const {
        const auto& header = record.header();
        return {fmt::format("compiled font of {} glyphs and {} curves, font file of {} bytes",
                            header.glyphCount, header.curveCount, header.fontFileSize),
                {{"glyphCount", header.glyphCount},
                 {"curveCount", header.curveCount},
                 {"fontFileSize", header.fontFileSize}}};
    }

    Described operator()(const LanguageData& record) const {
        return {
            fmt::format("\"{}\" ({}), {} terms", record.name(), record.code(), record.termCount()),
            {{"name", record.name()}, {"code", record.code()}, {"termCount", record.termCount()}}};
    }

    Described operator()(const LocaleData& record) const {
        std::vector<std::string> languages;
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i != record.header().localeCount; ++i) {
            languages.push_back(
                fmt::format("{} \"{}\" in {}", record.code(i), record.name(i), record.file(i)));
            list.push_back(
                {{"code", record.code(i)}, {"name", record.name(i)}, {"file", record.file(i)}});
        }
        return {fmt::format("{} languages{}{}, {} term links", languages.size(),
                            languages.empty() ? "" : ": ", fmt::join(languages, ", "),
                            record.header().linkCount),
                {{"languages", list}, {"linkCount", record.header().linkCount}}};
    }

    Described operator()(const AnimationData& record) const {
        const AnimationData::Header& header = record.header();
        return {fmt::format("{} tracks over {} s, {}, {} events{}{}", header.trackCount,
                            header.duration, header.quantized ? "quantized" : "full precision",
                            header.eventCount, header.eventCount ? ": " : "",
                            fmt::join(record.eventNames(), ", ")),
                {{"trackCount", header.trackCount},
                 {"duration", header.duration},
                 {"quantized", bool(header.quantized)},
                 {"events", strings(record.eventNames())}}};
    }

    Described operator()(const AnimationTargetsData& record) const {
        return {fmt::format("{} targets: {}", record.targets().size(), idsText(record.targets())),
                {{"targets", idsJson(record.targets())}}};
    }

    Described operator()(const AnimationGraphData& record) const {
        const AnimationGraph graph = record.graph();
        return {fmt::format("{} nodes: {} output, {} sample, {} blend, {} float, {} 1D weights",
                            graph.nodeCount(), graph.outputNodeCount(), graph.sampleNodeCount(),
                            graph.blendNodeCount(), graph.floatNodeCount(),
                            graph.weightNode1DCount()),
                {{"nodeCount", graph.nodeCount()},
                 {"outputNodes", graph.outputNodeCount()},
                 {"sampleNodes", graph.sampleNodeCount()},
                 {"blendNodes", graph.blendNodeCount()},
                 {"floatNodes", graph.floatNodeCount()},
                 {"weightNodes1D", graph.weightNode1DCount()}}};
    }
};

/* Chunks without a record type */
Described describeUnread(const AssetChunkView& chunk) {
    switch (chunk.header().magic) {
    case Magic::External: {
        /* Validation saw the zero byte at the end */
        const std::string path = chunk.data().data();
        return {fmt::format("external file \"{}\"", path), {{"path", path}}};
    }
    case Magic::Scene: {
        const SceneReadResult read = readSceneData(chunk.data());
        if (!read.scene)
            return {"scene data that zarvik can't read: " + read.error, {{"error", read.error}}};
        const Scene& scene = *read.scene;
        return {fmt::format("{} objects, {} meshes, {} skins, {} cameras, {} lights",
                            scene.objects.size(), scene.meshes.size(), scene.skins.size(),
                            scene.cameras.size(), scene.lights.size()),
                {{"objects", scene.objects.size()},
                 {"meshes", scene.meshes.size()},
                 {"skins", scene.skins.size()},
                 {"cameras", scene.cameras.size()},
                 {"lights", scene.lights.size()}}};
    }
    case Magic::JsParams:
        return {"script parameters"};
    default:
        return {"not checked"};
    }
}

Described describe(const AssetChunkView& chunk) {
    Described described;
    if (!visitRecord(chunk, [&](const auto& record) { described = Describe{}(record); }))
        described = describeUnread(chunk);
    return described;
}

/* The file's validation, or nothing after reporting why it failed */
std::optional<AssetFileValidation> validated(std::string_view name, std::span<const char> file) {
    AssetFileValidation validation = validateAssetFile(file);
    if (!validation.valid()) {
        reportError(name, *validation.error);
        return std::nullopt;
    }
    return validation;
}

} // namespace

void reportError(std::string_view name, std::string_view message) {
    Error{} << "zarvik:" << name << Debug::nospace << ":" << message;
}

std::optional<std::vector<char>> readFile(const std::string& path) {
    std::error_code code;
    const std::filesystem::file_status status = std::filesystem::status(path, code);
    if (code) {
        reportError(path, code.message());
        return {};
    }
    /* Directories, devices and pipes have no size to read up to */
    if (!std::filesystem::is_regular_file(status)) {
        reportError(path, "not a regular file");
        return {};
    }
    const std::uintmax_t size = std::filesystem::file_size(path, code);
    if (code) {
        reportError(path, code.message());
        return {};
    }
    std::ifstream in{path, std::ios::binary};
    if (!in) {
        reportError(path, std::strerror(errno));
        return {};
    }
    /* Allocated by new, so as aligned as chunks need */
    std::vector<char> data(size);
    if (!in.read(data.data(), std::streamsize(size))) {
        reportError(path, "can't read the whole file");
        return {};
    }
    return data;
}

int inspectAssetFile(std::string_view name, std::span<const char> file) {
    const std::optional<AssetFileValidation> validation = validated(name, file);
    if (!validation)
        return Failure;
    for (const std::string& warning : validation->warnings)
        Warning{} << "zarvik:" << name << Debug::nospace << ":" << warning;

    Debug{} << name << Debug::nospace << ": valid asset file of" << file.size() << "bytes";
    std::size_t index = 0;
    for (AssetChunkView chunk{file};; chunk = chunk.next(), ++index) {
        Debug{} << "chunk" << index << chunk.header().magic << Debug::nospace << ","
                << chunk.header().size << "bytes:" << describe(chunk).text;
        if (!chunk.hasNext())
            break;
    }
    return Success;
}

int inspectAssetFileJson(std::string_view name, std::span<const char> file) {
    const std::optional<AssetFileValidation> validation = validated(name, file);
    if (!validation)
        return Failure;
    nlohmann::ordered_json chunks = nlohmann::ordered_json::array();
    std::size_t index = 0;
    for (AssetChunkView chunk{file};; chunk = chunk.next(), ++index) {
        Described described = describe(chunk);
        chunks.push_back({{"index", index},
                          {"magic", debugString(chunk.header().magic)},
                          {"magicValue", std::uint32_t(chunk.header().magic)},
                          {"size", chunk.header().size},
                          {"paddedSize", chunk.totalSizeAligned() - sizeof(AssetChunkHeader)},
                          {"summary", std::move(described.text)},
                          {"fields", std::move(described.fields)}});
        if (!chunk.hasNext())
            break;
    }
    const nlohmann::ordered_json document{{"file", name},
                                          {"bytes", file.size()},
                                          {"warnings", validation->warnings},
                                          {"chunks", std::move(chunks)}};
    Debug{} << document.dump(2);
    return Success;
}

/* Writes the file next to its destination and moves it there, so that a failed write leaves
   nothing behind */
bool writeFile(const std::string& path, std::span<const char> data) {
    const std::filesystem::path temporary = path + ".partial";
    {
        std::ofstream out{temporary, std::ios::binary};
        out.write(data.data(), std::streamsize(data.size()));
        if (out.good()) {
            out.close();
            std::error_code error;
            std::filesystem::rename(temporary, path, error);
            if (!error)
                return true;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    reportError(path, "can't be written");
    return false;
}

int inspect(const std::string& path) {
    const std::optional<std::vector<char>> file = readFile(path);
    return file ? inspectAssetFile(path, *file) : Failure;
}

int inspectJson(const std::string& path) {
    const std::optional<std::vector<char>> file = readFile(path);
    return file ? inspectAssetFileJson(path, *file) : Failure;
}

int sample(const std::string& path) {
    const std::vector<char> file = sampleAssetFile();
    std::ofstream out{path, std::ios::binary};
    if (!out) {
        reportError(path, std::strerror(errno));
        return Failure;
    }
    if (!out.write(file.data(), std::streamsize(file.size())) || !out.flush()) {
        reportError(path, "can't write the whole file");
        return Failure;
    }
    Debug{} << "zarvik: wrote" << file.size() << "bytes of sample assets to" << path;
    return Success;
}

} // namespace ZarvikEngine::Tool
