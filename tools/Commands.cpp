#include "Commands.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

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

/* One-line summaries of the records, for a file that validated */
struct Summary {
    std::string operator()(const HeaderData& record) const {
        return fmt::format("{} chunks, largest {} bytes", record.header().chunkCount,
                           record.header().maxChunkSize);
    }

    std::string operator()(const MeshData& record) const {
        const MeshData::Header& header = record.header();
        return fmt::format(
            "{} vertices, {}, attributes {}, bounding sphere at {} radius {}{}", header.vertexCount,
            header.indexCount
                ? fmt::format("{} indices of {}", header.indexCount, debugString(header.indexType))
                : std::string{"not indexed"},
            attributes(record.attributeData()), debugString(header.boundingSphere.center()),
            header.boundingSphere.radius(), compression(header.compression));
    }

    std::string operator()(const MorphTargetData& record) const {
        return fmt::format(
            "{} targets of {} vertices ({}), attributes {}{}", record.header().targetCount,
            record.header().vertexCount, fmt::join(record.targetNames(), ", "),
            attributes(record.attributeData()), record.header().compressed ? ", compressed" : "");
    }

    std::string operator()(const SkinData& record) const {
        std::vector<std::string> joints;
        for (const Id joint : record.joints())
            joints.push_back(debugString(joint));
        return fmt::format("{} joints driven by {}", record.header(), fmt::join(joints, ", "));
    }

    std::string operator()(const ImageData& record) const {
        const Vector3i& size = record.header().size;
        if (record.compressed())
            return fmt::format("{}x{}x{}, {} tiles", size.x, size.y, size.z,
                               record.header().tileCount);
        return fmt::format("{}x{}x{}, file \"{}\"", size.x, size.y, size.z, record.path());
    }

    std::string operator()(const ImageTileData& record) const {
        return fmt::format("hash {}, value {}, flag {}, {} bytes of tile data", record.hash(),
                           record.header().value, record.header().flag, record.data().size());
    }

    std::string operator()(const TextureData& record) const {
        const TextureData::Header& header = record.header();
        return fmt::format("image {}, second index {}, filters {} {} {}, wrapping {} {} {}",
                           header.image, header.secondIndex, debugString(header.minificationFilter),
                           debugString(header.magnificationFilter),
                           debugString(header.mipmapFilter), debugString(header.wrapping[0]),
                           debugString(header.wrapping[1]), debugString(header.wrapping[2]));
    }

    std::string operator()(const ProbeData& record) const {
        return fmt::format("base size {}x{}, {}, {} bytes of pixels", record.baseSize().x,
                           record.baseSize().y, debugString(record.format()), record.data().size());
    }

    std::string operator()(const MaterialData& record) const {
        return fmt::format("definition {}, {} bytes of parameters", record.header(),
                           record.materialData().size());
    }

    std::string operator()(const ShaderData& record) const {
        const ShaderData::Header& header = record.header();
        return fmt::format("stage {}, type {}, flags {:#06x}, \"{}\", GLSL of {} characters, {}",
                           unsigned(header.stage), unsigned(header.type),
                           std::uint16_t(header.flags), record.name(), record.code().size(),
                           header.wgslCodeSize
                               ? fmt::format("WGSL \"{}\" of {} characters", record.wgslName(),
                                             record.codeWGSL().size())
                               : std::string{"no WGSL"});
    }

    std::string operator()(const PipelineData& record) const {
        const std::vector<std::string_view> features = record.enabledFeatures();
        return fmt::format("\"{}\", indices {} and {}, {} enabled features{}{}", record.name(),
                           record.header().firstIndex, record.header().secondIndex, features.size(),
                           features.empty() ? "" : ": ", fmt::join(features, ", "));
    }

    std::string operator()(const RenderingData& record) const {
        return fmt::format("{} bytes after the renderer's header", record.data().size());
    }

    std::string operator()(const DrawData&) const { return "draw settings"; }

    std::string operator()(const PhysXData& record) const {
        return fmt::format("type {}, value {}, {} bytes of physics data",
                           unsigned(record.header().type), record.header().value,
                           record.data().size());
    }

    std::string operator()(const FontData& record) const {
        return fmt::format("compiled font of {} glyphs and {} curves, font file of {} bytes",
                           record.header().glyphCount, record.header().curveCount,
                           record.header().fontFileSize);
    }

    std::string operator()(const LanguageData& record) const {
        return fmt::format("\"{}\" ({}), {} terms", record.name(), record.code(),
                           record.termCount());
    }

    std::string operator()(const LocaleData& record) const {
        std::vector<std::string> languages;
        for (std::size_t i = 0; i != record.header().localeCount; ++i)
            languages.push_back(
                fmt::format("{} \"{}\" in {}", record.code(i), record.name(i), record.file(i)));
        return fmt::format("{} languages{}{}, {} term links", languages.size(),
                           languages.empty() ? "" : ": ", fmt::join(languages, ", "),
                           record.header().linkCount);
    }

    std::string operator()(const AnimationData& record) const {
        const AnimationData::Header& header = record.header();
        return fmt::format("{} tracks over {} s, {}, {} events{}{}", header.trackCount,
                           header.duration, header.quantized ? "quantized" : "full precision",
                           header.eventCount, header.eventCount ? ": " : "",
                           fmt::join(record.eventNames(), ", "));
    }

    std::string operator()(const AnimationTargetsData& record) const {
        std::vector<std::string> targets;
        for (const Id target : record.targets())
            targets.push_back(debugString(target));
        return fmt::format("{} targets: {}", targets.size(), fmt::join(targets, ", "));
    }

    std::string operator()(const AnimationGraphData& record) const {
        const AnimationGraph graph = record.graph();
        return fmt::format("{} nodes: {} output, {} sample, {} blend, {} float, {} 1D weights",
                           graph.nodeCount(), graph.outputNodeCount(), graph.sampleNodeCount(),
                           graph.blendNodeCount(), graph.floatNodeCount(),
                           graph.weightNode1DCount());
    }
};

/* Summaries of chunks without a record type */
std::string unreadSummary(const AssetChunkView& chunk) {
    switch (chunk.header().magic) {
    case Magic::External:
        /* Validation saw the zero byte at the end */
        return fmt::format("external file \"{}\"", chunk.data().data());
    case Magic::Scene: {
        const SceneReadResult read = readSceneData(chunk.data());
        if (!read.scene)
            return "scene data that zarvik can't read: " + read.error;
        const Scene& scene = *read.scene;
        return fmt::format("{} objects, {} meshes, {} skins, {} cameras, {} lights",
                           scene.objects.size(), scene.meshes.size(), scene.skins.size(),
                           scene.cameras.size(), scene.lights.size());
    }
    case Magic::JsParams:
        return "script parameters";
    default:
        return "not checked";
    }
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
    const AssetFileValidation validation = validateAssetFile(file);
    if (!validation.valid()) {
        reportError(name, *validation.error);
        return Failure;
    }
    for (const std::string& warning : validation.warnings)
        Warning{} << "zarvik:" << name << Debug::nospace << ":" << warning;

    Debug{} << name << Debug::nospace << ": valid asset file of" << file.size() << "bytes";
    std::size_t index = 0;
    for (AssetChunkView chunk{file};; chunk = chunk.next(), ++index) {
        std::string summary;
        if (!visitRecord(chunk, [&](const auto& record) { summary = Summary{}(record); }))
            summary = unreadSummary(chunk);
        Debug{} << "chunk" << index << chunk.header().magic << Debug::nospace << ","
                << chunk.header().size << "bytes:" << summary;
        if (!chunk.hasNext())
            break;
    }
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
