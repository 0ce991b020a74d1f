#include "SampleAssetFile.h"

#include "TileHash.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/AnimationGraph.h"
#include "ZarvikEngine/Data/AssetData.h"
#include "ZarvikEngine/Data/ImageRecords.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Hash.h"
#include "ZarvikEngine/Shaders/MaterialDefinition.h"
#include "ZarvikEngine/Skeletal/RawAnimation.h"
#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"

namespace ZarvikEngine::Tool {

namespace {

using namespace Data;
using Trade::MeshAttribute;
using Trade::MeshAttributeData;

/* Bytes of an array of trivially copyable values */
template<class T>
std::vector<char> bytesOf(const std::vector<T>& values) {
    std::vector<char> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

/* Four corners per face of a cube from -1 to 1, each face facing along one axis */
std::vector<Vector3> cubePositions() {
    std::vector<Vector3> positions;
    for (int face = 0; face != 6; ++face) {
        const int axis = face / 2;
        Vector3 normal{}, u{}, v{};
        normal[axis] = face % 2 ? -1.0f : 1.0f;
        u[(axis + 1) % 3] = 1.0f;
        v[(axis + 2) % 3] = 1.0f;
        for (int corner = 0; corner != 4; ++corner)
            positions.push_back(normal + (corner & 1 ? u : -u) + (corner & 2 ? v : -v));
    }
    return positions;
}

/* Interleaved position, normal and texture coordinates, 16-bit indices */
void appendCube(std::vector<char>& file) {
    struct Vertex {
        Vector3 position;
        Vector3 normal;
        Vector2 textureCoordinates;
    };
    const std::vector<Vector3> positions = cubePositions();
    std::vector<Vertex> vertices;
    std::vector<std::uint16_t> indices;
    for (std::size_t i = 0; i != positions.size(); ++i) {
        const int face = int(i / 4);
        Vector3 normal{};
        normal[face / 2] = face % 2 ? -1.0f : 1.0f;
        vertices.push_back({positions[i], normal, Vector2{float(i & 1), float(i >> 1 & 1)}});
    }
    for (std::uint16_t face = 0; face != 6; ++face)
        for (const std::uint16_t corner : {0, 1, 3, 0, 3, 2})
            indices.push_back(std::uint16_t(face * 4 + corner));

    const std::uint32_t count = std::uint32_t(vertices.size());
    const Trade::MeshData mesh{
        MeshPrimitive::Triangles,
        bytesOf(indices),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 0, std::uint32_t(indices.size())},
        bytesOf(vertices),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3,
                           offsetof(Vertex, position), count, sizeof(Vertex)},
         MeshAttributeData{MeshAttribute::Normal, VertexFormat::Vector3, offsetof(Vertex, normal),
                           count, sizeof(Vertex)},
         MeshAttributeData{MeshAttribute::TextureCoordinates, VertexFormat::Vector2,
                           offsetof(Vertex, textureCoordinates), count, sizeof(Vertex)}}};
    createMeshChunk(mesh, {}, {}, boundingSphere(StridedArrayView1D<const Vector3>{positions}),
                    file);
}

/* Two targets of the cube: inflated, and squashed along Y */
void appendCubeMorphTargets(std::vector<char>& file) {
    std::vector<Trade::MeshData> targets;
    for (const Vector3& scale : {Vector3{1.25f}, Vector3{1.0f, 0.5f, 1.0f}}) {
        std::vector<Vector3> positions = cubePositions();
        for (Vector3& position : positions)
            position *= scale;
        const std::uint32_t count = std::uint32_t(positions.size());
        targets.emplace_back(
            MeshPrimitive::Triangles, bytesOf(positions),
            std::vector<MeshAttributeData>{MeshAttributeData{
                MeshAttribute::Position, VertexFormat::Vector3, 0, count, sizeof(Vector3)}});
    }
    const MorphTargetSet set{fromStrings(std::vector<std::string_view>{"inflate", "squash"}),
                             std::move(targets)};
    AssetChunk::create(MorphTargetData::magic, createMorphTargetData(set, {}), file);
}

/* A 5 × 5 grid in the XZ plane with its attributes one after the other: positions, then
   normalized 8-bit colors; 8-bit indices */
void appendGrid(std::vector<char>& file) {
    constexpr int Size = 5;
    std::vector<Vector3> positions;
    std::vector<std::array<std::uint8_t, 4>> colors;
    for (int z = 0; z != Size; ++z)
        for (int x = 0; x != Size; ++x) {
            positions.push_back({float(x) - 2.0f, 0.0f, float(z) - 2.0f});
            colors.push_back({std::uint8_t(x * 63), std::uint8_t(z * 63), 128, 255});
        }
    std::vector<std::uint8_t> indices;
    for (int z = 0; z != Size - 1; ++z)
        for (int x = 0; x != Size - 1; ++x) {
            const int first = z * Size + x;
            for (const int corner : {0, 1, Size + 1, 0, Size + 1, Size})
                indices.push_back(std::uint8_t(first + corner));
        }

    std::vector<char> vertexData = bytesOf(positions);
    const std::size_t colorOffset = vertexData.size();
    const std::vector<char> colorData = bytesOf(colors);
    vertexData.insert(vertexData.end(), colorData.begin(), colorData.end());
    const std::uint32_t count = std::uint32_t(positions.size());
    const Trade::MeshData mesh{
        MeshPrimitive::Triangles,
        bytesOf(indices),
        Trade::MeshIndexData{MeshIndexType::UnsignedByte, 0, std::uint32_t(indices.size())},
        std::move(vertexData),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3, 0, count,
                           sizeof(Vector3)},
         MeshAttributeData{MeshAttribute::Color, VertexFormat::Vector4ubNormalized, colorOffset,
                           count, 4}}};
    createMeshChunk(mesh, {}, {}, boundingSphere(StridedArrayView1D<const Vector3>{positions}),
                    file);
}

/* A ribbon of three quads along Y bent by two joints, not indexed: quantized positions, four
   joint ids and four normalized weights per vertex */
void appendSkinnedRibbon(std::vector<char>& file) {
    struct Vertex {
        std::int16_t position[3];
        std::uint8_t padding[2];
        std::uint8_t jointIds[4];
        std::uint8_t weights[4];
    };
    std::vector<Vertex> vertices;
    std::vector<Vector3> positions;
    for (int quad = 0; quad != 3; ++quad)
        for (const auto& [x, y] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}) {
            const Vector3 position{float(x) - 0.5f, float(quad + y) / 3.0f, 0.0f};
            positions.push_back(position);
            /* The upper joint takes over along the ribbon */
            const auto upper = std::uint8_t(255 * (quad + y) / 3);
            Vertex vertex{};
            for (int i = 0; i != 3; ++i)
                vertex.position[i] = std::int16_t(std::lround(position[i] * 32767.0f));
            vertex.jointIds[1] = 1;
            vertex.weights[0] = std::uint8_t(255 - upper);
            vertex.weights[1] = upper;
            vertices.push_back(vertex);
        }
    const std::uint32_t count = std::uint32_t(vertices.size());
    const Trade::MeshData mesh{
        MeshPrimitive::Triangles,
        bytesOf(vertices),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3sNormalized,
                           offsetof(Vertex, position), count, sizeof(Vertex)},
         MeshAttributeData{MeshAttribute::JointIds, VertexFormat::UnsignedByte,
                           offsetof(Vertex, jointIds), count, sizeof(Vertex), 4},
         MeshAttributeData{MeshAttribute::Weights, VertexFormat::UnsignedByteNormalized,
                           offsetof(Vertex, weights), count, sizeof(Vertex), 4}}};
    createMeshChunk(mesh, {}, {}, boundingSphere(StridedArrayView1D<const Vector3>{positions}),
                    file);

    /* The lower joint at the origin, the upper one halfway up; objects 1 and 2 drive them */
    const DualQuaternion inverseBindPoses[]{DualQuaternion{},
                                            dualQuaternionFromTranslation({0.0f, -0.5f, 0.0f})};
    const Vector3 scalings[]{Vector3{1.0f}, Vector3{1.0f}};
    const Id joints[]{Id(1), Id(2)};
    AssetChunk::create(SkinData::magic, createSkinData(inverseBindPoses, scalings, joints), file);
}

/* Two clips of the ribbon's joints, a sway and a bend, the objects they animate, and a graph
   blending them by a parameter */
void appendRibbonAnimations(std::vector<char>& file) {
    const Id targets[]{Id(1), Id(2)};
    for (const bool fullPrecision : {false, true}) {
        Skeletal::RawAnimation clip;
        clip.duration = 2.0f;
        clip.tracks.resize(2);
        for (int key = 0; key != 5; ++key) {
            const float time = 0.5f * float(key);
            const Rad angle{(fullPrecision ? 0.6f : 0.3f) * std::sin(3.14159265f * time)};
            clip.tracks[0].translations.push_back({time, {0.1f * float(angle), 0.0f, 0.0f}});
            clip.tracks[1].rotations.push_back({time, rotation(angle, {0.0f, 0.0f, 1.0f})});
        }
        clip.tracks[1].translations.push_back({0.0f, {0.0f, 0.5f, 0.0f}});
        const float eventKeys[]{0.5f, 1.5f};
        const std::string_view eventNames[]{"left", "right"};
        AssetChunk::create(
            AnimationData::magic,
            createAnimationData(clip, eventKeys, fromStrings(eventNames), fullPrecision), file);
        AssetChunk::create(AnimationTargetsData::magic, createAnimationTargetsData(0, targets),
                           file);
    }
    const std::uint16_t clips[]{0, 1};
    const float speeds[]{1.0f, 1.0f};
    AssetChunk::create(AnimationGraphData::magic,
                       createAnimationGraphData(createAnimation1DBlendGraph(clips, speeds, 0.5f)),
                       file);
}

/* An image stored as a file, and a tiled one with its tiles and a texture sampling it */
void appendImages(std::vector<char>& file) {
    AssetChunk::create(ImageData::magic, createImageData({256, 256, 1}, "textures/checker.png"),
                       file);

    /* Four tiles of stand-in block data, each named by a 64-bit hash of its bytes followed by
       their count */
    std::vector<std::vector<char>> tiles;
    std::vector<std::string> hashes;
    for (int tile = 0; tile != 4; ++tile) {
        std::vector<char> data(64 + 16 * tile);
        for (std::size_t i = 0; i != data.size(); ++i)
            data[i] = char(i * 7 + std::size_t(tile) * 31);
        hashes.push_back(tileHash(data));
        tiles.push_back(std::move(data));
    }
    AssetChunk::create(ImageData::magic, createImageData({512, 512, 1}, hashes), file);
    for (std::size_t tile = 0; tile != tiles.size(); ++tile)
        createImageTileChunk(hashes[tile], tiles[tile], tile == 0, std::uint32_t(tile), file);
    AssetChunk::create(TextureData::magic,
                       createTextureData(1, 0, SamplerFilter::Linear, SamplerFilter::Linear,
                                         SamplerMipmap::Linear,
                                         {SamplerWrapping::Repeat, SamplerWrapping::Repeat,
                                          SamplerWrapping::ClampToEdge}),
                       file);
}

/* Two levels of a probe: a sky gradient of 8 × 8 pixels and its 4 × 4 reduction */
void appendProbe(std::vector<char>& file) {
    std::vector<Image2D> levels;
    for (const int size : {8, 4}) {
        std::vector<char> pixels;
        for (int y = 0; y != size; ++y)
            for (int x = 0; x != size; ++x)
                for (const int channel : {64, 128, 255 * y / (size - 1), 255})
                    pixels.push_back(char(channel));
        levels.emplace_back(PixelFormat::RGBA8Unorm, Vector2i{size}, std::move(pixels));
    }
    AssetChunk::create(ProbeData::magic, createProbeData(levels), file);
}

void appendMaterial(std::vector<char>& file) {
    using Shaders::MaterialDefinition;
    const MaterialDefinition definition{
        "pbr",
        fromStrings(std::vector<std::string_view>{"baseColor", "metallicRoughness",
                                                  "baseColorTexture", "flags"}),
        {{MaterialDefinition::DataType::Float, 4, {}},
         {MaterialDefinition::DataType::HalfFloat, 2, {}},
         {MaterialDefinition::DataType::Sampler, 1, {}},
         {MaterialDefinition::DataType::UnsignedInt, 1, {}}}};
    /* Each parameter's bytes hold its number, so that the layout shows in a hex dump */
    Shaders::Material material{std::vector<char>(definition.size())};
    for (std::size_t i = 0; i != definition.paramCount(); ++i)
        std::fill_n(material.data.begin() + std::ptrdiff_t(definition.paramOffset(i)),
                    definition.paramSize(i), char(i + 1));
    AssetChunk::create(MaterialData::magic, createMaterialData(0, {}, material), file);
}

void appendShaderAndPipeline(std::vector<char>& file) {
    const ShaderSources sources{
        "#version 300 es\n"
        "in vec3 position;\n"
        "uniform mat4 transformation;\n"
        "void main() { gl_Position = transformation*vec4(position, 1.0); }\n",
        "@group(0) @binding(0) var<uniform> transformation: mat4x4f;\n"
        "@vertex fn main(@location(0) position: vec3f) -> @builtin(position) vec4f {\n"
        "    return transformation*vec4f(position, 1.0);\n"
        "}\n"};
    AssetChunk::create(ShaderData::magic,
                       createShaderData("Flat.vert", sources, {}, Shaders::ShaderType(0),
                                        Shaders::ShaderStage(1), true, "main"),
                       file);
    AssetChunk::create(
        PipelineData::magic,
        createPipelineData("Flat", {}, 0,
                           fromStrings(std::vector<std::string_view>{"DEPTH_TEST", "CULL_BACK"}),
                           0),
        file);
}

void appendLocalization(std::vector<char>& file) {
    AssetChunk::create(LanguageData::magic,
                       createLanguageData("English", "en", 2,
                                          fromStrings(std::vector<std::string_view>{
                                              "greeting", "Hello", "farewell", "Goodbye"})),
                       file);
    AssetChunk::create(LanguageData::magic,
                       createLanguageData("Deutsch", "de", 2,
                                          fromStrings(std::vector<std::string_view>{
                                              "greeting", "Hallo", "farewell", "Tschüss"})),
                       file);
    const std::pair<std::string, std::string> codesAndFiles[]{{"en", "sample-en.zvk"},
                                                              {"de", "sample-de.zvk"}};
    const std::string_view names[]{"English", "Deutsch"};
    const std::string_view linkedTerms[]{"greeting"};
    /* A text component bound to its term */
    const LocaleLinkHeader links[]{{0, 2, 0, 0}};
    AssetChunk::create(LocaleData::magic,
                       createLocaleData(codesAndFiles, names, linkedTerms, links), file);
}

} // namespace

std::vector<char> sampleAssetFile() {
    std::vector<char> file;
    appendHeaderData(file);
    appendCube(file);
    appendCubeMorphTargets(file);
    appendGrid(file);
    appendSkinnedRibbon(file);
    appendRibbonAnimations(file);
    appendImages(file);
    appendProbe(file);
    appendMaterial(file);
    appendShaderAndPipeline(file);
    appendLocalization(file);
    updateHeaderData(file);
    return file;
}

} // namespace ZarvikEngine::Tool
