#include <filesystem>
#include <map>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stb_image_write.h>

#include "Commands.h"
#include "GltfFile.h"
#include "SceneChunk.h"
#include "ToolTestHelpers.h"
#include "ZarvikEngine/Data/AnimationRecords.h"
#include "ZarvikEngine/Data/AssetData.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Data/ImageRecords.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Data/RenderingRecords.h"
#include "ZarvikEngine/Text/Font.h"

namespace ZarvikEngine::Tool {
namespace {

using namespace Data;

constexpr int Float = 5126, UnsignedShort = 5123, UnsignedByte = 5121;

/* The payloads of a file by magic, in file order */
std::map<Magic, std::vector<std::span<const char>>> chunksOf(std::span<const char> file) {
    std::map<Magic, std::vector<std::span<const char>>> chunks;
    for (AssetChunkView chunk{file};; chunk = chunk.next()) {
        chunks[chunk.header().magic].push_back(chunk.data());
        if (!chunk.hasNext())
            break;
    }
    return chunks;
}

std::vector<char> readBytes(const std::string& path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

/* An 8 × 8 PNG of one color */
std::vector<char> pngOfColor(std::uint8_t red) {
    std::vector<std::uint8_t> pixels(8 * 8 * 4);
    for (std::size_t i = 0; i != pixels.size(); i += 4) {
        pixels[i] = red;
        pixels[i + 3] = 255;
    }
    std::vector<char> png;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            auto& out = *static_cast<std::vector<char>*>(context);
            out.insert(out.end(), static_cast<char*>(data), static_cast<char*>(data) + size);
        },
        &png, 8, 8, 4, pixels.data(), 32);
    return png;
}

/* A leg of two joints bending at the knee, skinning a strip of four triangles, with a
   textured material, a stepping hip and a bending knee. Nodes: root (0) holding the body (1)
   and the hip (2), the knee (3) under the hip. */
std::string skinnedLeg() {
    GltfFile gltf;
    const std::size_t positions = gltf.accessor(
        std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 2, 0, 1, 2, 0}, "VEC3", Float);
    gltf.json["accessors"][positions]["min"] = {0, 0, 0};
    gltf.json["accessors"][positions]["max"] = {1, 2, 0};
    /* Facing +Z, kept as they are */
    std::vector<float> facing(18, 0.0f);
    for (std::size_t i = 2; i < 18; i += 3)
        facing[i] = 1.0f;
    const std::size_t normals = gltf.accessor(facing, "VEC3", Float);
    const std::size_t coordinates =
        gltf.accessor(std::vector<float>{0, 0, 1, 0, 0, 0.5f, 1, 0.5f, 0, 1, 1, 1}, "VEC2", Float);
    const std::size_t joints =
        gltf.accessor(std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0,
                                                0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
                      "VEC4", UnsignedByte);
    const std::size_t weights =
        gltf.accessor(std::vector<float>{1,    0,    0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0,
                                         0.5f, 0.5f, 0, 0, 1, 0, 0, 0, 1,    0,    0, 0},
                      "VEC4", Float);
    const std::size_t indices = gltf.accessor(
        std::vector<std::uint16_t>{0, 1, 3, 0, 3, 2, 2, 3, 5, 2, 5, 4}, "SCALAR", UnsignedShort);
    const std::size_t inverseBinds =
        gltf.accessor(std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0,  0, 1,
                                         1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1},
                      "MAT4", Float);
    const std::size_t times = gltf.accessor(std::vector<float>{0.0f, 0.5f, 1.0f}, "SCALAR", Float);
    const float s = std::sin(0.4f), c = std::cos(0.4f);
    const std::size_t bends =
        gltf.accessor(std::vector<float>{0, 0, 0, 1, s, 0, 0, c, 0, 0, 0, 1}, "VEC4", Float);
    const std::size_t stepTimes = gltf.accessor(std::vector<float>{0.0f, 0.5f}, "SCALAR", Float);
    const std::size_t steps =
        gltf.accessor(std::vector<float>{0, 0, 0, 0, 0.25f, 0}, "VEC3", Float);

    gltf.json["meshes"] = {{{"name", "leg"},
                            {"primitives",
                             {{{"attributes",
                                {{"POSITION", positions},
                                 {"NORMAL", normals},
                                 {"TEXCOORD_0", coordinates},
                                 {"JOINTS_0", joints},
                                 {"WEIGHTS_0", weights}}},
                               {"indices", indices},
                               {"material", 0}}}}}};
    gltf.json["materials"] = {{{"name", "skin"},
                               {"pbrMetallicRoughness",
                                {{"baseColorFactor", {1.0, 0.5, 0.25, 1.0}},
                                 {"baseColorTexture", {{"index", 0}}},
                                 {"metallicFactor", 0.0},
                                 {"roughnessFactor", 0.75}}}}};
    gltf.json["textures"] = {{{"source", 0}, {"sampler", 0}}};
    gltf.json["samplers"] = {{{"magFilter", 9728}, {"minFilter", 9985}, {"wrapS", 33071}}};
    gltf.json["images"] = {
        {{"uri", "data:image/png;base64," + Test::base64(pngOfColor(200))}, {"name", "red"}}};
    gltf.json["skins"] = {{{"joints", {2, 3}}, {"inverseBindMatrices", inverseBinds}}};
    gltf.json["nodes"] = {{{"name", "root"}, {"children", {1, 2}}},
                          {{"name", "body"}, {"mesh", 0}, {"skin", 0}},
                          {{"name", "hip"}, {"children", {3}}},
                          {{"name", "knee"}, {"translation", {0, 1, 0}}}};
    gltf.json["scenes"] = {{{"nodes", {0}}}};
    gltf.json["scene"] = 0;
    gltf.json["animations"] = {
        {{"name", "walk"},
         {"samplers",
          {{{"input", times}, {"output", bends}, {"interpolation", "LINEAR"}},
           {{"input", stepTimes}, {"output", steps}, {"interpolation", "STEP"}}}},
         {"channels",
          {{{"sampler", 0}, {"target", {{"node", 3}, {"path", "rotation"}}}},
           {{"sampler", 1}, {"target", {{"node", 2}, {"path", "translation"}}}}}}}};
    return gltf.text();
}

TEST(ZarvikImport, SkinnedAnimatedModelBecomesACompleteFile) {
    const std::string source = temporaryPath("leg.gltf"), output = temporaryPath("leg.zvk");
    const std::string text = skinnedLeg();
    write(source, text);
    ImportOptions options;
    options.source = source;
    options.output = output;
    options.json = true;
    const Output imported = capture([&] { return importScene(options); });
    ASSERT_EQ(imported.status, Success) << imported.err;
    EXPECT_EQ(imported.err, "");

    const std::vector<char> file = readBytes(output);
    ASSERT_TRUE(validateAssetFile(file).valid());
    const auto chunks = chunksOf(file);
    ASSERT_EQ(chunks.at(Magic::Mesh).size(), 1u);
    ASSERT_EQ(chunks.at(Magic::Skin).size(), 1u);
    ASSERT_EQ(chunks.at(Magic::Animation).size(), 1u);
    ASSERT_EQ(chunks.at(Magic::Image).size(), 1u);
    ASSERT_EQ(chunks.at(Magic::Texture).size(), 1u);
    ASSERT_EQ(chunks.at(Magic::Material).size(), 1u);
    ASSERT_EQ(chunks.at(Magic::Scene).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(output + ".partial"));

    /* The hierarchy in depth-first order, names and transforms kept */
    const SceneReadResult read = readSceneData(chunks.at(Magic::Scene)[0]);
    ASSERT_TRUE(read.scene) << read.error;
    const Scene& scene = *read.scene;
    ASSERT_EQ(scene.objects.size(), 4u);
    const std::string names[]{"root", "body", "hip", "knee"};
    const Id parents[]{InvalidId, Id(0), Id(0), Id(2)};
    for (std::size_t i = 0; i != 4; ++i) {
        EXPECT_EQ(scene.objects[i].name, names[i]);
        EXPECT_EQ(scene.objects[i].parent, parents[i]);
    }
    EXPECT_EQ(scene.objects[3].translation, (Vector3{0, 1, 0}));
    EXPECT_EQ(scene.objects[3].scaling, (Vector3{1.0f}));
    ASSERT_EQ(scene.meshes.size(), 1u);
    EXPECT_EQ(scene.meshes[0].object, Id(1));
    EXPECT_EQ(scene.meshes[0].mesh, 0u);
    EXPECT_EQ(scene.meshes[0].material, 0);
    ASSERT_EQ(scene.skins.size(), 1u);
    EXPECT_EQ(scene.skins[0].object, Id(1));
    EXPECT_EQ(jsonListingOf(output)["chunks"].back()["fields"]["objects"], 4);
    const Output inspected = capture([&] { return inspect(output); });
    EXPECT_NE(inspected.out.find(": 4 objects, 1 meshes, 1 skins, 0 cameras, 0 lights\n"),
              std::string::npos)
        << inspected.out;

    /* Quantized layout with tangents only when asked for */
    const MeshData mesh{chunks.at(Magic::Mesh)[0]};
    EXPECT_EQ(mesh.header().vertexCount, 6u);
    EXPECT_EQ(mesh.header().indexCount, 12u);
    const Trade::MeshData unpacked = mesh.meshCopy();
    EXPECT_EQ(getMeshFlags(unpacked), MeshDataFlag::Positions | MeshDataFlag::Normals |
                                          MeshDataFlag::TextureCoordinates |
                                          MeshDataFlag::Skinning);
    EXPECT_EQ(unpacked.attributeFormat(unpacked.attributeId(Trade::MeshAttribute::Normal)),
              VertexFormat::Vector3sNormalized);
    EXPECT_EQ(unpacked.attribute<Vector3>(Trade::MeshAttribute::Position)[5], (Vector3{1, 2, 0}));
    EXPECT_EQ(unpacked.attribute<std::uint16_t[]>(Trade::MeshAttribute::JointIds)[2][1], 1);

    /* Joints are the scene's Ids; the inverse bind pose of the knee moves down by one */
    const SkinData skin{chunks.at(Magic::Skin)[0]};
    EXPECT_EQ(std::vector<Id>(skin.joints().begin(), skin.joints().end()),
              (std::vector<Id>{Id(2), Id(3)}));
    EXPECT_TRUE(fuzzyEqual(translation(skin.inverseBindPose()[1]), Vector3{0, -1, 0}));

    /* The step holds until just before the next key; the knee keeps its translation */
    const AnimationData animation{chunks.at(Magic::Animation)[0]};
    const Skeletal::RawAnimation raw = animation.rawAnimation();
    const AnimationTargetsData targets{chunks.at(Magic::AnimationTargets)[0]};
    ASSERT_EQ(targets.targets().size(), 2u);
    ASSERT_EQ(raw.tracks.size(), 2u);
    const std::size_t hip = targets.targets()[0] == Id(2) ? 0 : 1;
    EXPECT_EQ(targets.targets()[1 - hip], Id(3));
    const auto& hipKeys = raw.tracks[hip].translations;
    ASSERT_EQ(hipKeys.size(), 3u);
    EXPECT_NEAR(hipKeys[1].time, 0.5f, 1e-4f);
    EXPECT_LT(hipKeys[1].time, 0.5f);
    EXPECT_EQ(hipKeys[1].value, (Vector3{0.0f}));
    ASSERT_EQ(raw.tracks[1 - hip].translations.size(), 1u);
    EXPECT_NEAR(raw.tracks[1 - hip].translations[0].value.y, 1.0f, 1e-3f);
    EXPECT_GE(raw.tracks[1 - hip].rotations.size(), 3u);

    /* One level of 8 × 8 pixels per mip, one tile each */
    const ImageData image{chunks.at(Magic::Image)[0]};
    EXPECT_EQ(image.header().size, (Vector3i{8, 8, 4}));
    EXPECT_EQ(image.header().tileCount, 4u);
    const TextureData texture{chunks.at(Magic::Texture)[0]};
    EXPECT_EQ(texture.header().image, 0);
    EXPECT_EQ(texture.header().minificationFilter, SamplerFilter::Linear);
    EXPECT_EQ(texture.header().magnificationFilter, SamplerFilter::Nearest);
    EXPECT_EQ(texture.header().mipmapFilter, SamplerMipmap::Nearest);
    EXPECT_EQ(texture.header().wrapping[0], SamplerWrapping::ClampToEdge);
    const MaterialData material{chunks.at(Magic::Material)[0]};
    EXPECT_EQ(material.header(), 0);
    float baseColor[4];
    std::int32_t baseColorTexture;
    std::memcpy(baseColor, material.materialData().data(), sizeof(baseColor));
    std::memcpy(&baseColorTexture, material.materialData().data() + 16, 4);
    EXPECT_EQ(baseColor[1], 0.5f);
    EXPECT_EQ(baseColorTexture, 0);

    /* The summary counts what was written */
    const nlohmann::json summary = nlohmann::json::parse(imported.out);
    EXPECT_EQ(summary["objects"], 4);
    EXPECT_EQ(summary["meshes"]["written"], 1);
    EXPECT_EQ(summary["meshes"]["vertices"], 6);
    EXPECT_EQ(summary["animations"]["written"], 1);
    EXPECT_EQ(summary["images"]["tiles"], 4);
    EXPECT_EQ(summary["bytes"], file.size());
    EXPECT_EQ(summary["warnings"].size(), 0u);
    EXPECT_TRUE(summary["seconds"].contains("meshes"));

    /* Asked for tangents, the mesh gains them with a warning naming it */
    options.tangents = true;
    options.json = false;
    const Output withTangents = capture([&] { return importScene(options); });
    ASSERT_EQ(withTangents.status, Success);
    EXPECT_EQ(withTangents.err,
              "[SceneLoader] Unsupported/missing tangents in mesh leg, generating\n");
    EXPECT_NE(withTangents.out.find("1 warnings"), std::string::npos) << withTangents.out;
    const std::vector<char> withTangentsBytes = readBytes(output);
    const MeshData tangentMesh{chunksOf(withTangentsBytes).at(Magic::Mesh)[0]};
    EXPECT_TRUE(getMeshFlags(tangentMesh.meshCopy()) >= MeshDataFlag::Tangents);
}

TEST(ZarvikImport, FontsGivenForTheSceneBecomeFontRecords) {
    GltfFile gltf;
    gltf.json["nodes"] = {{{"name", "label"}}};
    gltf.json["scenes"] = {{{"nodes", {0}}}};
    gltf.json["scene"] = 0;
    const std::string source = temporaryPath("label.gltf");
    write(source, gltf.text());
    const std::string missing = temporaryPath("missing.ttf");
    ImportOptions options;
    options.source = source;
    options.output = temporaryPath("label.zvk");
    options.fonts = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", missing};
    options.json = true;
    const Output result = capture([&] { return importScene(options); });
    ASSERT_EQ(result.status, Success) << result.err;
    /* A font that can't be read is a warning; the import goes on without it */
    const nlohmann::json summary = nlohmann::json::parse(result.out);
    EXPECT_EQ(summary["fonts"], (nlohmann::json{{"written", 1}, {"skipped", 1}}));
    ASSERT_EQ(summary["warnings"].size(), 1u);
    EXPECT_NE(summary["warnings"][0].get<std::string>().find(missing), std::string::npos);

    const std::vector<char> file = readBytes(options.output);
    ASSERT_FALSE(validateAssetFile(file).error);
    const auto fonts = chunksOf(file)[FontData::magic];
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(Text::FontView{FontData{fonts[0]}.data()}.header().height(),
              Text::FontView{*compileFontFile(options.fonts[0])}.header().height());
}

TEST(ZarvikImport, FilesThatCantBeImportedLeaveNothingBehind) {
    const std::string output = temporaryPath("failed.zvk");
    ImportOptions options;
    options.output = output;
    auto failure = [&](const std::string& source) {
        options.source = source;
        const Output result = capture([&] { return importScene(options); });
        EXPECT_EQ(result.status, Failure) << source;
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(output));
        EXPECT_FALSE(std::filesystem::exists(output + ".partial"));
        return result.err;
    };

    EXPECT_EQ(failure("notes.txt"), "zarvik: notes.txt: isn't a scene file this tool reads\n");
    const std::string missing = temporaryPath("missing.gltf");
    EXPECT_EQ(
        failure(missing).rfind("zarvik: " + missing + ": Trade::GltfImporter::openFile():", 0), 0u);

    GltfFile withoutScene;
    withoutScene.json["nodes"] = {{{"name", "lonely"}}};
    const std::string sceneless = temporaryPath("sceneless.gltf");
    write(sceneless, withoutScene.text());
    EXPECT_EQ(failure(sceneless), "zarvik: " + sceneless + ": No scene found in file\n");

    /* The executable says the same through its exit status */
    EXPECT_EQ(runExecutable("import " + sceneless + " " + output), Failure);
    EXPECT_EQ(runExecutable("import " + sceneless), Usage);
    EXPECT_EQ(runExecutable("import " + sceneless + " " + output + " --tile-size 0"), Usage);
    EXPECT_EQ(runExecutable("import " + sceneless + " " + output + " --layout normals,bones"),
              Usage);
    EXPECT_FALSE(std::filesystem::exists(output));
}

} // namespace
} // namespace ZarvikEngine::Tool
