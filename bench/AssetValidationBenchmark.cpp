#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"

namespace ZarvikEngine::Data {
namespace {

constexpr std::size_t RecordCount = 100000;

using Trade::MeshAttribute;
using Trade::MeshAttributeData;

std::vector<char> chunk(Magic magic, std::span<const char> payload) {
    std::vector<char> bytes;
    AssetChunk::create(magic, payload, bytes);
    return bytes;
}

/* 24 vertices of position, normal and texture coordinates, 36 16-bit indices */
Trade::MeshData litMesh() {
    constexpr std::uint32_t Count = 24;
    return Trade::MeshData{
        MeshPrimitive::Triangles,
        std::vector<char>(36 * 2),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 0, 36},
        std::vector<char>(Count * 32),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3, 0, Count, 32},
         MeshAttributeData{MeshAttribute::Normal, VertexFormat::Vector3, 12, Count, 32},
         MeshAttributeData{MeshAttribute::TextureCoordinates, VertexFormat::Vector2, 24, Count,
                           32}}};
}

/* 18 vertices of quantized position, joint ids and weights, not indexed */
Trade::MeshData skinnedMesh() {
    constexpr std::uint32_t Count = 18;
    return Trade::MeshData{
        MeshPrimitive::Triangles,
        std::vector<char>(Count * 16),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3sNormalized, 0, Count, 16},
         MeshAttributeData{MeshAttribute::JointIds, VertexFormat::UnsignedByte, 8, Count, 16, 4},
         MeshAttributeData{MeshAttribute::Weights, VertexFormat::UnsignedByteNormalized, 12, Count,
                           16, 4}}};
}

std::vector<char> language(std::size_t termCount) {
    std::vector<std::string> strings;
    for (std::size_t i = 0; i != termCount; ++i) {
        strings.push_back("term" + std::to_string(i));
        strings.push_back("The text of term " + std::to_string(i));
    }
    return createLanguageData("English", "en", std::uint32_t(termCount), fromStrings(strings));
}

/* One chunk of each checked record type, some in two sizes; the file cycles through them */
std::vector<std::vector<char>> chunks() {
    std::vector<std::vector<char>> chunks(3);
    createMeshChunk(litMesh(), {}, {}, {}, chunks[0]);
    createMeshChunk(skinnedMesh(), {}, {}, {}, chunks[1]);
    const std::string hash(ImageData::HashSize, 'h');
    createImageTileChunk(hash, std::vector<char>(1024), false, 0, chunks[2]);

    std::vector<Trade::MeshData> targets;
    for (int i = 0; i != 2; ++i)
        targets.emplace_back(MeshPrimitive::Triangles, std::vector<char>(24 * 12),
                             std::vector<MeshAttributeData>{MeshAttributeData{
                                 MeshAttribute::Position, VertexFormat::Vector3, 0, 24, 12}});
    const MorphTargetSet targetSet{fromStrings(std::vector<std::string_view>{"smile", "blink"}),
                                   std::move(targets)};
    const std::vector<DualQuaternion> poses(20);
    const std::vector<Vector3> scalings(20, Vector3{1.0f});
    const std::vector<Id> joints(20, Id(1));
    const std::vector<std::string> hashes(4, hash);
    std::vector<Image2D> levels;
    levels.emplace_back(PixelFormat::RGBA8Unorm, Vector2i{16}, std::vector<char>(16 * 16 * 4));
    const std::pair<std::string, std::string> codesAndFiles[]{{"en", "en.zvk"}, {"de", "de.zvk"}};
    const std::string_view names[]{"English", "Deutsch"};
    const std::string_view linkedTerms[]{"title", "subtitle", "footer"};
    const LocaleLinkHeader links[3]{};

    for (const auto& [magic, payload] : std::initializer_list<std::pair<Magic, std::vector<char>>>{
             {Magic::MorphTarget, createMorphTargetData(targetSet, {})},
             {Magic::Skin, createSkinData(poses, scalings, joints)},
             {Magic::Image, createImageData({256, 256, 1}, "textures/image.png")},
             {Magic::Image, createImageData({512, 512, 1}, hashes)},
             {Magic::Texture, createTextureData(1, 0, {}, {}, {}, {})},
             {Magic::Probe, createProbeData(levels)},
             {Magic::Material, createMaterialData(1, {}, {std::vector<char>(48, 'p')})},
             {Magic::Shader,
              createShaderData("Lit.frag", {std::string(1500, 'g'), std::string(1200, 'w')}, {}, {},
                               {}, true, "main")},
             {Magic::Shader,
              createShaderData("Flat.vert", {std::string(300, 'g'), {}}, {}, {}, {}, false, {})},
             {Magic::Pipeline, createPipelineData("Lit", {}, 0,
                                                  fromStrings(std::vector<std::string_view>{
                                                      "DEPTH_TEST", "CULL_BACK", "BLEND"}),
                                                  1)},
             {Magic::Rendering, std::vector<char>(260)},
             {Magic::Draw, createDrawData({})},
             {Magic::PhysX, createPhysXData({}, 1, std::vector<char>(120))},
             {Magic::Font, createFontData(Text::writeFont({{0.73f, 0.93f, -0.24f, 2048.0f, 0.0f},
                                                           {},
                                                           {},
                                                           {},
                                                           {},
                                                           std::vector<char>(400)}))},
             {Magic::Language, language(4)},
             {Magic::Language, language(40)},
             {Magic::Locale, createLocaleData(codesAndFiles, names, linkedTerms, links)}})
        chunks.push_back(chunk(magic, payload));
    return chunks;
}

std::vector<char> mixedFile() {
    const std::vector<std::vector<char>> prototypes = chunks();
    std::vector<char> file;
    appendHeaderData(file);
    for (std::size_t i = 0; i != RecordCount; ++i) {
        const std::vector<char>& chunk = prototypes[i % prototypes.size()];
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    updateHeaderData(file);
    return file;
}

void BM_AssetFileValidate(benchmark::State& state) {
    const std::vector<char> file = mixedFile();
    for (auto _ : state) {
        AssetFileValidation validation = validateAssetFile(file);
        if (!validation.valid())
            state.SkipWithError(validation.error->c_str());
        benchmark::DoNotOptimize(validation);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(file.size()));
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(RecordCount));
}
BENCHMARK(BM_AssetFileValidate)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace ZarvikEngine::Data
