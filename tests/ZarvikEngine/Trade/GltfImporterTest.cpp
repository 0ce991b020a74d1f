#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Trade/GltfImporter.h"

namespace ZarvikEngine::Trade {
namespace {

constexpr int Byte = 5120, UnsignedByte = 5121, Short = 5122, UnsignedShort = 5123, Float = 5126;

/* The bytes of a buffer, each array added at a four-byte boundary */
struct Bin {
    std::vector<char> bytes;

    template<class T>
    std::size_t add(std::span<const T> values) {
        bytes.resize((bytes.size() + 3) & ~std::size_t{3});
        const std::size_t offset = bytes.size();
        const auto* begin = reinterpret_cast<const char*>(values.data());
        bytes.insert(bytes.end(), begin, begin + values.size_bytes());
        return offset;
    }
    template<class T>
    std::size_t add(std::initializer_list<T> values) {
        return add(std::span<const T>{values.begin(), values.size()});
    }
};

/* A file of the given top-level properties and the bytes as buffer 0 in a data URI */
std::string gltf(const Bin& bin, std::string_view properties) {
    return fmt::format(R"({{"asset":{{"version":"2.0"}},"buffers":[{{"byteLength":{},)"
                       R"("uri":"data:application/octet-stream;base64,{}"}}],{}}})",
                       bin.bytes.size(), Test::base64(bin.bytes), properties);
}

/* A GLB container of the JSON and the binary chunk */
std::vector<char> glb(std::string json, std::vector<char> bin) {
    json.resize((json.size() + 3) & ~std::size_t{3}, ' ');
    bin.resize((bin.size() + 3) & ~std::size_t{3});
    std::vector<char> out;
    const auto word = [&](std::uint32_t value) {
        out.insert(out.end(), reinterpret_cast<const char*>(&value),
                   reinterpret_cast<const char*>(&value) + 4);
    };
    out.insert(out.end(), {'g', 'l', 'T', 'F'});
    word(2);
    word(std::uint32_t(12 + 8 + json.size() + 8 + bin.size()));
    word(std::uint32_t(json.size()));
    word(0x4E4F534A);
    out.insert(out.end(), json.begin(), json.end());
    word(std::uint32_t(bin.size()));
    word(0x004E4942);
    out.insert(out.end(), bin.begin(), bin.end());
    return out;
}

/* A 1×1 RGB image */
constexpr char Ppm[] = "P6\n1 1\n255\n\xff\x80\x01";

std::unique_ptr<GltfImporter> open(std::span<const char> file) {
    auto importer = std::make_unique<GltfImporter>();
    EXPECT_TRUE(importer->openData(file));
    return importer;
}

/* What the function prints as errors */
template<class F>
std::string errorsOf(F&& function) {
    std::ostringstream out;
    {
        Error redirect{&out};
        function();
    }
    return out.str();
}

template<class T>
std::vector<T> values(const MeshData& mesh, MeshAttribute name, std::int32_t morphTarget = -1) {
    const auto view = mesh.attribute<T>(name, 0, morphTarget);
    return {view.begin(), view.end()};
}

TEST(GltfImporterTest, OpeningFailures) {
    std::string deep = R"({"asset":{"version":"2.0"},"extras":)";
    deep += std::string(300, '[') + std::string(300, ']') + "}";
    const std::pair<std::string, std::string> cases[]{
        {"", "JSON string too short."},
        {std::string{"glTF\x02\0\0\0", 8}, "Too short data size for glTF Binary."},
        {R"({"asset":{"version":"1.0"}})", "unsupported glTF version 1.0"},
        {R"({"asset":{"version":"2.0"},"extensionsRequired":["KHR_draco_mesh_compression"]})",
         "required extension KHR_draco_mesh_compression is not supported"},
        {R"({"asset":{"version":"2.0"},"scenes":[{}],"scene":1})",
         "default scene 1 out of range for 1 scenes"},
        {deep, "JSON nested deeper than 256 levels"},
    };
    for (const auto& [file, message] : cases) {
        GltfImporter importer;
        EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer.openData(file)); }),
                  "Trade::GltfImporter::openData(): " + message + "\n");
        EXPECT_FALSE(importer.isOpened());
    }
    GltfImporter importer;
    const std::string parseError =
        errorsOf([&] { importer.openData(std::string{R"({"asset":])"}); });
    EXPECT_TRUE(parseError.starts_with("Trade::GltfImporter::openData(): [json.exception"));
    EXPECT_EQ(std::count(parseError.begin(), parseError.end(), '\n'), 1);
    EXPECT_EQ(errorsOf([&] { importer.openFile("/nonexistent/scene.gltf"); }),
              "Trade::GltfImporter::openFile(): cannot read /nonexistent/scene.gltf\n");
}

TEST(GltfImporterTest, ExternalFilesAndContainers) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / fmt::format("GltfImporterTest-{}", ::getpid());
    std::filesystem::create_directories(directory);
    const auto write = [&](const char* name, std::span<const char> data) {
        std::ofstream{directory / name, std::ios::binary}.write(data.data(),
                                                                std::streamsize(data.size()));
    };
    Bin bin;
    bin.add<float>({1, 2, 3, 4, 5, 6, 7, 8, 9});
    const std::size_t image = bin.add(std::span<const char>{Ppm, sizeof(Ppm) - 1});
    const std::string body = fmt::format(
        R"("bufferViews":[{{"buffer":0,"byteLength":36}},{{"buffer":0,"byteOffset":{},)"
        R"("byteLength":{}}}],"accessors":[{{"bufferView":0,"componentType":5126,"count":3,)"
        R"("type":"VEC3"}}],"meshes":[{{"primitives":[{{"attributes":{{"POSITION":0}}}}]}}])",
        image, sizeof(Ppm) - 1);
    const std::string external =
        fmt::format(
            R"({{"asset":{{"version":"2.0"}},"buffers":[{{"byteLength":{},)"
            R"("uri":"data.bin"}}],"images":[{{"uri":"image.ppm"}},{{"uri":"missing.ppm"}}],)",
            bin.bytes.size()) +
        body + "}";
    write("data.bin", bin.bytes);
    write("image.ppm", {Ppm, sizeof(Ppm) - 1});
    write("scene.gltf", external);
    write("broken.gltf",
          std::string{
              R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":4,"uri":"nothere.bin"}]})"});

    const auto checkMesh = [](GltfImporter& importer) {
        const std::optional<MeshData> mesh = importer.mesh(0);
        ASSERT_TRUE(mesh);
        EXPECT_EQ(values<Vector3>(*mesh, MeshAttribute::Position),
                  (std::vector<Vector3>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
    };
    const auto checkImage = [](GltfImporter& importer, std::uint32_t id) {
        const std::optional<ImageData2D> image = importer.image2D(id);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), Vector2i(1, 1));
        EXPECT_EQ(std::string(image->data().data(), 3), "\xff\x80\x01");
    };

    /* Files next to the opened one */
    GltfImporter importer;
    ASSERT_TRUE(importer.openFile(directory / "scene.gltf"));
    checkMesh(importer);
    checkImage(importer, 0);
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer.image2D(1)); }),
              "Trade::GltfImporter::image2D(): cannot read external image missing.ppm\n");
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer.openFile(directory / "broken.gltf")); }),
              "Trade::GltfImporter::openFile(): cannot read external buffer " +
                  (directory / "nothere.bin").string() + "\n");

    /* Without a file there is nowhere to look */
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer.openData(external)); }),
              "Trade::GltfImporter::openData(): external buffer data.bin can't be loaded when "
              "opening data from memory\n");
    ASSERT_TRUE(importer.openData(gltf(
        bin, R"("images":[{"uri":"image.ppm"},{"bufferView":1,"mimeType":"image/png"}],)" + body)));
    checkMesh(importer);
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer.image2D(0)); }),
              "Trade::GltfImporter::image2D(): external image image.ppm can't be loaded when "
              "opening data from memory\n");
    checkImage(importer, 1);

    /* The same in a container, with the image in a buffer view */
    const std::vector<char> container =
        glb(fmt::format(R"({{"asset":{{"version":"2.0"}},"buffers":[{{"byteLength":{}}}],)"
                        R"("images":[{{"bufferView":1,"mimeType":"image/png"}}],)",
                        bin.bytes.size()) +
                body + "}",
            bin.bytes);
    ASSERT_TRUE(importer.openData(container));
    checkMesh(importer);
    checkImage(importer, 0);
    std::filesystem::remove_all(directory);
}

TEST(GltfImporterTest, AttributeFormats) {
    struct Case {
        const char* attribute;
        const char* type;
        int componentType;
        bool normalized;
        bool morphTarget;
        VertexFormat expected;
        const char* message;
    };
    using VF = VertexFormat;
    const Case cases[]{
        {"POSITION", "VEC3", Float, false, false, VF::Vector3, nullptr},
        {"POSITION", "VEC3", Byte, false, false, VF::Vector3b, nullptr},
        {"POSITION", "VEC3", Byte, true, false, VF::Vector3bNormalized, nullptr},
        {"POSITION", "VEC3", UnsignedByte, false, false, VF::Vector3ub, nullptr},
        {"POSITION", "VEC3", UnsignedByte, true, false, VF::Vector3ubNormalized, nullptr},
        {"POSITION", "VEC3", Short, false, false, VF::Vector3s, nullptr},
        {"POSITION", "VEC3", Short, true, false, VF::Vector3sNormalized, nullptr},
        {"POSITION", "VEC3", UnsignedShort, false, false, VF::Vector3us, nullptr},
        {"POSITION", "VEC3", UnsignedShort, true, false, VF::Vector3usNormalized, nullptr},
        {"NORMAL", "VEC3", Byte, true, false, VF::Vector3bNormalized, nullptr},
        {"NORMAL", "VEC3", Short, true, false, VF::Vector3sNormalized, nullptr},
        {"TANGENT", "VEC4", Float, false, false, VF::Vector4, nullptr},
        {"TANGENT", "VEC4", Byte, true, false, VF::Vector4bNormalized, nullptr},
        {"TANGENT", "VEC4", Short, true, false, VF::Vector4sNormalized, nullptr},
        {"TEXCOORD_0", "VEC2", Float, false, false, VF::Vector2, nullptr},
        {"TEXCOORD_0", "VEC2", Byte, false, false, VF::Vector2b, nullptr},
        {"TEXCOORD_0", "VEC2", Byte, true, false, VF::Vector2bNormalized, nullptr},
        {"TEXCOORD_0", "VEC2", UnsignedByte, false, false, VF::Vector2ub, nullptr},
        {"TEXCOORD_0", "VEC2", UnsignedByte, true, false, VF::Vector2ubNormalized, nullptr},
        {"TEXCOORD_0", "VEC2", Short, false, false, VF::Vector2s, nullptr},
        {"TEXCOORD_0", "VEC2", Short, true, false, VF::Vector2sNormalized, nullptr},
        {"TEXCOORD_0", "VEC2", UnsignedShort, false, false, VF::Vector2us, nullptr},
        {"TEXCOORD_0", "VEC2", UnsignedShort, true, false, VF::Vector2usNormalized, nullptr},
        {"COLOR_0", "VEC3", UnsignedByte, true, false, VF::Vector3ubNormalized, nullptr},
        {"COLOR_0", "VEC4", UnsignedShort, true, false, VF::Vector4usNormalized, nullptr},
        {"COLOR_0", "VEC4", Float, false, false, VF::Vector4, nullptr},
        {"POSITION", "VEC3", Short, true, true, VF::Vector3sNormalized, nullptr},
        {"NORMAL", "VEC3", Byte, true, true, VF::Vector3bNormalized, nullptr},
        {"TANGENT", "VEC3", Float, false, true, VF::Vector3, nullptr},
        {"NORMAL",
         "VEC3",
         UnsignedByte,
         true,
         false,
         {},
         "unsupported NORMAL format VEC3 of normalized UNSIGNED_BYTE"},
        {"POSITION", "VEC2", Float, false, false, {}, "unsupported POSITION format VEC2 of FLOAT"},
        {"TEXCOORD_1",
         "VEC2",
         Float,
         true,
         false,
         {},
         "unsupported TEXCOORD_1 format VEC2 of normalized FLOAT"},
        {"COLOR_0",
         "VEC4",
         Byte,
         true,
         false,
         {},
         "unsupported COLOR_0 format VEC4 of normalized BYTE"},
        {"JOINTS_0", "VEC4", Float, false, false, {}, "unsupported JOINTS_0 format VEC4 of FLOAT"},
        {"POSITION",
         "VEC3",
         UnsignedByte,
         false,
         true,
         {},
         "unsupported morph target 0 POSITION format VEC3 of UNSIGNED_BYTE"},
        {"TANGENT",
         "VEC4",
         Float,
         false,
         true,
         {},
         "unsupported morph target 0 TANGENT format VEC4 of FLOAT"},
    };
    /* Three elements 16 bytes apart, each byte its own offset */
    Bin bin;
    for (char i = 0; i != 48; ++i)
        bin.bytes.push_back(i);
    for (const Case& c : cases) {
        SCOPED_TRACE(
            fmt::format("{} {} {} {}", c.attribute, c.type, c.componentType, c.normalized));
        const std::string attributes = fmt::format(R"({{"{}":0}})", c.attribute);
        const std::string file = gltf(
            bin, fmt::format(R"("bufferViews":[{{"buffer":0,"byteLength":48,"byteStride":16}}],)"
                             R"("accessors":[{{"bufferView":0,"componentType":{},"normalized":{},)"
                             R"("count":3,"type":"{}"}}],"meshes":[{{"primitives":[{{)"
                             R"("attributes":{},"targets":[{}]}}]}}])",
                             c.componentType, c.normalized, c.type,
                             c.morphTarget ? "{}" : attributes, c.morphTarget ? attributes : ""));
        auto importer = open(file);
        std::optional<MeshData> mesh;
        const std::string errors = errorsOf([&] { mesh = importer->mesh(0); });
        if (c.message) {
            EXPECT_FALSE(mesh);
            EXPECT_EQ(errors, std::string{"Trade::GltfImporter::mesh(): "} + c.message + "\n");
            continue;
        }
        ASSERT_TRUE(mesh) << errors;
        ASSERT_EQ(mesh->attributeCount(), 1u);
        EXPECT_EQ(mesh->attributeFormat(0), c.expected);
        EXPECT_EQ(mesh->attributeMorphTargetId(0), c.morphTarget ? 0 : -1);
        const auto rows = mesh->attribute(0);
        ASSERT_EQ(rows.size()[0], 3u);
        for (std::size_t i = 0; i != 3; ++i)
            for (std::size_t j = 0; j != rows.size()[1]; ++j)
                EXPECT_EQ(rows[i][j], char(16 * i + j));
    }
}

TEST(GltfImporterTest, PrimitivesSparseAndSkinningSets) {
    Bin bin;
    const std::size_t positions = bin.add<float>({0, 0, 0, 1, 1, 1, 2, 2, 2});
    const std::size_t sparseIndices = bin.add<std::uint16_t>({2, 0});
    const std::size_t sparseValues = bin.add<float>({9, 8, 7, 6, 5, 4});
    const std::size_t joints0 = bin.add<std::uint8_t>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const std::size_t joints1 = bin.add<std::uint16_t>({500, 6, 7, 8, 0, 0, 0, 0, 1, 1, 1, 1});
    const std::size_t weights0 = bin.add<std::uint8_t>({255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0});
    const std::size_t weights1 = bin.add<float>({0.5f, 0.25f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    const std::size_t weights2 = bin.add<std::uint16_t>({65535, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0});
    const std::size_t indices = bin.add<std::uint8_t>({0, 1, 2, 2, 1, 0});
    const std::size_t end = bin.bytes.size();
    const auto view = [](std::size_t from, std::size_t to) {
        return fmt::format(R"({{"buffer":0,"byteOffset":{},"byteLength":{}}})", from, to - from);
    };
    const std::string file = gltf(
        bin,
        fmt::format(
            R"("bufferViews":[{},{},{},{},{},{},{},{},{}],"accessors":[)"
            R"({{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","sparse":{{"count":1,)"
            R"("indices":{{"bufferView":1,"componentType":5123}},"values":{{"bufferView":2}}}}}},)"
            R"({{"componentType":5126,"count":3,"type":"VEC3","sparse":{{"count":2,)"
            R"("indices":{{"bufferView":1,"componentType":5123}},"values":{{"bufferView":2}}}}}},)"
            R"({{"bufferView":3,"componentType":5121,"count":3,"type":"VEC4"}},)"
            R"({{"bufferView":4,"componentType":5123,"count":3,"type":"VEC4"}},)"
            R"({{"bufferView":5,"componentType":5121,"normalized":true,"count":3,"type":"VEC4"}},)"
            R"({{"bufferView":6,"componentType":5126,"count":3,"type":"VEC4"}},)"
            R"({{"bufferView":7,"componentType":5123,"normalized":true,"count":3,"type":"VEC4"}},)"
            R"({{"bufferView":8,"componentType":5121,"count":6,"type":"SCALAR"}},)"
            R"({{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","sparse":{{"count":1,)"
            R"("indices":{{"bufferView":2,"componentType":5125}},"values":{{"bufferView":2}}}}}}],)"
            R"("meshes":[{{"name":"first","primitives":[)"
            R"({{"attributes":{{"POSITION":0,"JOINTS_1":3,"JOINTS_0":2,"WEIGHTS_0":4,)"
            R"("WEIGHTS_1":5,"_BATCHID":0,"TEXCOORD":1}},"indices":7,"mode":6,)"
            R"("targets":[{{"NORMAL":1}},{{"POSITION":0,"COLOR_0":1}}]}},)"
            R"({{"attributes":{{"POSITION":0,"WEIGHTS_0":4,"WEIGHTS_1":6}},"mode":1}}]}},)"
            R"({{"name":"second","primitives":[{{"attributes":{{"POSITION":8}}}}]}}])",
            view(positions, sparseIndices), view(sparseIndices, sparseValues),
            view(sparseValues, joints0), view(joints0, joints1), view(joints1, weights0),
            view(weights0, weights1), view(weights1, weights2), view(weights2, indices),
            view(indices, end)));
    auto importer = open(file);
    ASSERT_EQ(importer->meshCount(), 3u);
    EXPECT_EQ(importer->meshName(0), "first");
    EXPECT_EQ(importer->meshName(1), "first");
    EXPECT_EQ(importer->meshName(2), "second");

    const std::optional<MeshData> first = importer->mesh(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->primitive(), MeshPrimitive::TriangleFan);
    ASSERT_TRUE(first->isIndexed());
    EXPECT_EQ(first->indexType(), MeshIndexType::UnsignedByte);
    const auto indexView = first->indices<std::uint8_t>();
    EXPECT_EQ(std::vector<std::uint8_t>(indexView.begin(), indexView.end()),
              (std::vector<std::uint8_t>{0, 1, 2, 2, 1, 0}));
    /* Unknown attributes and morph target colors are left out */
    ASSERT_EQ(first->attributeCount(), 5u);
    EXPECT_EQ(first->vertexData().size(), 36u + 48 + 96 + 36 + 36);
    EXPECT_EQ(values<Vector3>(*first, MeshAttribute::Position),
              (std::vector<Vector3>{{0, 0, 0}, {1, 1, 1}, {9, 8, 7}}));
    EXPECT_EQ(values<Vector3>(*first, MeshAttribute::Normal, 0),
              (std::vector<Vector3>{{6, 5, 4}, {0, 0, 0}, {9, 8, 7}}));
    EXPECT_EQ(values<Vector3>(*first, MeshAttribute::Position, 1),
              (std::vector<Vector3>{{0, 0, 0}, {1, 1, 1}, {9, 8, 7}}));
    EXPECT_FALSE(first->hasAttribute(MeshAttribute::Color, 1));
    /* Sets joined in set order, the narrower ones widened */
    EXPECT_EQ(first->attributeFormat(first->attributeId(MeshAttribute::JointIds)),
              VertexFormat::UnsignedShort);
    EXPECT_EQ(first->attributeArraySize(first->attributeId(MeshAttribute::JointIds)), 8u);
    const auto joints = first->attribute<std::uint16_t[]>(MeshAttribute::JointIds);
    EXPECT_EQ(std::vector<std::uint16_t>(joints[0].begin(), joints[0].end()),
              (std::vector<std::uint16_t>{1, 2, 3, 4, 500, 6, 7, 8}));
    EXPECT_EQ(joints[2][7], 1);
    const auto weights = first->attribute<float[]>(MeshAttribute::Weights);
    EXPECT_EQ(std::vector<float>(weights[0].begin(), weights[0].end()),
              (std::vector<float>{1, 0, 0, 0, 0.5f, 0.25f, 0, 0}));
    EXPECT_EQ(weights[2][2], 1.0f);
    EXPECT_EQ(weights[2][7], 1.0f);

    const std::optional<MeshData> second = importer->mesh(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->primitive(), MeshPrimitive::Lines);
    EXPECT_FALSE(second->isIndexed());
    EXPECT_EQ(second->attributeFormat(second->attributeId(MeshAttribute::Weights)),
              VertexFormat::UnsignedShortNormalized);
    const auto wideWeights = second->attribute<std::uint16_t[]>(MeshAttribute::Weights);
    EXPECT_EQ(std::vector<std::uint16_t>(wideWeights[1].begin(), wideWeights[1].end()),
              (std::vector<std::uint16_t>{0, 65535, 0, 0, 1, 0, 0, 0}));

    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->mesh(2)); }),
              "Trade::GltfImporter::mesh(): sparse index 1091567616 of accessor 8 out of range "
              "for 3 elements\n");
}

TEST(GltfImporterTest, MeshRejections) {
    Bin bin;
    bin.add<float>({0, 0, 0, 1, 1, 1, 2, 2, 2});
    bin.add<std::uint8_t>({0, 1, 3, 0});
    const std::pair<const char*, const char*> cases[]{
        {R"({"attributes":{"POSITION":0},"indices":1})", "index 3 out of range for 3 vertices"},
        {R"({"attributes":{"POSITION":2}})",
         "accessor 2 needs 48 bytes but buffer view 0 has only 36"},
        {R"({"attributes":{"POSITION":3}})",
         "buffer view 2 needs 100 bytes but buffer 0 has only 40"},
        {R"({"attributes":{"POSITION":0,"NORMAL":4}})", "NORMAL has 2 vertices but POSITION has 3"},
        {R"({"attributes":{"POSITION":9}})", "accessor 9 out of range for 8 accessors"},
        {R"({"attributes":{"POSITION":0},"indices":0})", "unsupported index format VEC3 of FLOAT"},
        {R"({"attributes":{"POSITION":0},"mode":9})", "unrecognized primitive mode 9"},
        {R"({"attributes":{"POSITION":5}})",
         "expected less than 4294967295 vertices but got 4611686018427387904"},
        {R"({"attributes":{"POSITION":6}})", "size of accessor 6 overflows"},
        {R"({"attributes":{"POSITION":7}})",
         "vertex data of 120000000 bytes is over the limit of 67108864 bytes for this file"},
    };
    std::string primitives;
    for (const auto& c : cases)
        primitives += (primitives.empty() ? "" : ",") + std::string{c.first};
    auto importer = open(gltf(
        bin,
        R"("bufferViews":[{"buffer":0,"byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":4},)"
        R"({"buffer":0,"byteLength":100}],"accessors":[)"
        R"({"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},)"
        R"({"bufferView":1,"componentType":5121,"count":3,"type":"SCALAR"},)"
        R"({"bufferView":0,"componentType":5126,"count":4,"type":"VEC3"},)"
        R"({"bufferView":2,"componentType":5126,"count":1,"type":"VEC3"},)"
        R"({"bufferView":0,"componentType":5126,"count":2,"type":"VEC3"},)"
        R"({"componentType":5126,"count":4611686018427387904,"type":"VEC3"},)"
        R"({"bufferView":0,"componentType":5126,"count":4611686018427387904,"type":"VEC3"},)"
        R"({"componentType":5126,"count":10000000,"type":"VEC3"}],)"
        R"("meshes":[{"primitives":[)" +
            primitives + "]}]"));
    ASSERT_EQ(importer->meshCount(), std::size(cases));
    for (std::uint32_t i = 0; i != importer->meshCount(); ++i)
        EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->mesh(i)); }),
                  std::string{"Trade::GltfImporter::mesh(): "} + cases[i].second + "\n");
}

TEST(GltfImporterTest, SceneHierarchy) {
    auto importer = open(std::string{R"({"asset":{"version":"2.0"},"scene":0,
        "scenes":[{"nodes":[3]},{"name":"main","nodes":[0]}],
        "nodes":[{"name":"root","children":[1,2],"translation":[1,2,3]},
                 {"name":"matrix","mesh":1,"matrix":[1,0,0,0,0,2,0,0,0,0,3,0,4,5,6,1]},
                 {"rotation":[0,0,1,0],"scale":[2,2,2],"skin":0,"camera":0,"children":[3],
                  "extensions":{"KHR_lights_punctual":{"light":0}}},
                 {"name":"leaf"},{"name":"outside"}],
        "meshes":[{"primitives":[{"attributes":{}}]},
                  {"primitives":[{"attributes":{},"material":0},{"attributes":{}}]}],
        "materials":[{}],"skins":[{"joints":[3]}],
        "cameras":[{"type":"perspective","perspective":{"yfov":1,"znear":1}}],
        "extensions":{"KHR_lights_punctual":{"lights":[{"type":"point"}]}}})"});
    EXPECT_EQ(importer->defaultScene(), 0u);
    ASSERT_EQ(importer->sceneCount(), 2u);
    EXPECT_EQ(importer->sceneName(1), "main");
    ASSERT_EQ(importer->objectCount(), 5u);
    EXPECT_EQ(importer->objectName(0), "root");
    EXPECT_EQ(importer->objectName(2), "");

    const std::optional<SceneData> scene = importer->scene(1);
    ASSERT_TRUE(scene);
    EXPECT_TRUE(scene->is3D());
    EXPECT_EQ(scene->mappingBound(), 5u);
    std::vector<std::pair<std::uint64_t, std::int64_t>> parents;
    for (const SceneParent& entry : scene->parents())
        parents.emplace_back(entry.object, entry.parent);
    EXPECT_EQ(parents, (decltype(parents){{0, -1}, {1, 0}, {2, 0}, {3, 2}}));
    ASSERT_EQ(scene->trs().size(), 2u);
    EXPECT_EQ(scene->trs()[0].object, 0u);
    EXPECT_EQ(scene->trs()[0].translation, Vector3(1, 2, 3));
    EXPECT_EQ(scene->trs()[0].rotation, Quaternion{});
    EXPECT_EQ(scene->trs()[0].scaling, Vector3(1.0f));
    EXPECT_EQ(scene->trs()[1].rotation, quaternionFromXyzw(0, 0, 1, 0));
    EXPECT_EQ(scene->trs()[1].translation, Vector3(0.0f));
    EXPECT_EQ(scene->trs()[1].scaling, Vector3(2.0f));
    ASSERT_EQ(scene->matrices().size(), 1u);
    EXPECT_EQ(scene->matrices()[0].object, 1u);
    EXPECT_EQ(scene->matrices()[0].transformation[1][1], 2.0f);
    EXPECT_EQ(scene->matrices()[0].transformation[3], Vector4(4, 5, 6, 1));
    /* Mesh ids count primitives */
    ASSERT_EQ(scene->meshesMaterials().size(), 2u);
    EXPECT_EQ(scene->meshesMaterials()[0].mesh, 1u);
    EXPECT_EQ(scene->meshesMaterials()[0].material, 0);
    EXPECT_EQ(scene->meshesMaterials()[1].mesh, 2u);
    EXPECT_EQ(scene->meshesMaterials()[1].material, -1);
    for (const auto& attachments : {scene->skins(), scene->cameras(), scene->lights()}) {
        ASSERT_EQ(attachments.size(), 1u);
        EXPECT_EQ(attachments[0].object, 2u);
        EXPECT_EQ(attachments[0].index, 0u);
    }
    EXPECT_EQ(importer->scene(0)->parents().size(), 1u);
}

TEST(GltfImporterTest, SceneRejections) {
    const std::pair<const char*, const char*> cases[]{
        {"[0,0]", "node 0 is listed twice as a root"},
        {"[0,2]", "node 1 is reached twice, as a child of node 0 and as a child of node 2"},
        {"[3]", "node 3 is reached twice, as a root and as a child of node 3"},
        {"[0,1]", "node 1 is reached twice, as a child of node 0 and as a root"},
        {"[4]", "child 9 of node 4 out of range for 9 nodes"},
        {"[12]", "root node 12 out of range for 9 nodes"},
        {"[5]", "mesh 7 of node 5 out of range for 0 meshes"},
        {"[6]", "skin 3 of node 6 out of range for 0 skins"},
        {"[7]", "expected 3 translation components of node 7 but got 2"},
        {"[8]", "light 2 of node 8 out of range for 0 lights"},
    };
    std::string scenes;
    for (const auto& c : cases)
        scenes += fmt::format(R"({}{{"nodes":{}}})", scenes.empty() ? "" : ",", c.first);
    auto importer = open(R"({"asset":{"version":"2.0"},"scenes":[)" + scenes +
                         R"(],"nodes":[{"children":[1]},{},{"children":[1]},{"children":[3]},
        {"children":[9]},{"mesh":7},{"skin":3},{"translation":[1,2]},
        {"extensions":{"KHR_lights_punctual":{"light":2}}}]})");
    for (std::uint32_t i = 0; i != std::size(cases); ++i)
        EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->scene(i)); }),
                  std::string{"Trade::GltfImporter::scene(): "} + cases[i].second + "\n");
}

TEST(GltfImporterTest, MaterialsAndTextures) {
    auto importer = open(gltf(Bin{{Ppm, Ppm + sizeof(Ppm) - 1}}, R"(
        "bufferViews":[{"buffer":0,"byteLength":14}],"images":[{"bufferView":0,"mimeType":"image/png"}],
        "samplers":[{"minFilter":9728,"magFilter":9728,"wrapS":33071,"wrapT":33648},
                    {"minFilter":9984},{"minFilter":9985},{"minFilter":9986},{"minFilter":9987},
                    {"minFilter":9729,"magFilter":9729,"wrapS":10497},{"magFilter":1234}],
        "textures":[{"source":0},{"source":0,"sampler":0},{"source":0,"sampler":1},
                    {"source":0,"sampler":2},{"source":0,"sampler":3},{"source":0,"sampler":4},
                    {"source":0,"sampler":5},{"source":3},{"source":0,"sampler":9},
                    {"source":0,"sampler":6},{}],
        "materials":[
          {"pbrMetallicRoughness":{"baseColorFactor":[0.1,0.2,0.3,0.4],
             "baseColorTexture":{"index":0,"texCoord":1},"metallicFactor":0.25,
             "roughnessFactor":0.75,"metallicRoughnessTexture":{"index":1}},
           "normalTexture":{"index":2,"scale":0.5,"texCoord":2},
           "occlusionTexture":{"index":3,"strength":0.3},"emissiveFactor":[0.5,0.6,0.7],
           "emissiveTexture":{"index":4},"alphaMode":"MASK","doubleSided":true},
          {"alphaMode":"BLEND","extensions":{"KHR_materials_pbrSpecularGlossiness":{
             "diffuseFactor":[1,0.5,0.25,1],"specularFactor":[0.1,0.2,0.3],
             "glossinessFactor":0.4,"diffuseTexture":{"index":1},
             "specularGlossinessTexture":{"index":0,"texCoord":3}}}},
          {"pbrMetallicRoughness":{"baseColorFactor":[1,0,0,1]},
           "extensions":{"KHR_materials_unlit":{}}},
          {"pbrMetallicRoughness":{"baseColorTexture":{"index":11}}},
          {"alphaMode":"FOO"}])"));

    using MA = MaterialAttribute;
    const std::optional<MaterialData> pbr = importer->material(0);
    ASSERT_TRUE(pbr);
    EXPECT_EQ(pbr->types(), MaterialType::PbrMetallicRoughness);
    EXPECT_EQ(pbr->findAttribute<Vector4>(MA::BaseColor), Vector4(0.1f, 0.2f, 0.3f, 0.4f));
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::BaseColorTexture), 0u);
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::BaseColorTextureCoordinates), 1u);
    EXPECT_EQ(pbr->findAttribute<float>(MA::Metalness), 0.25f);
    EXPECT_EQ(pbr->findAttribute<float>(MA::Roughness), 0.75f);
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::MetalnessRoughnessTexture), 1u);
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::MetalnessRoughnessTextureCoordinates), 0u);
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::NormalTexture), 2u);
    EXPECT_EQ(pbr->findAttribute<float>(MA::NormalTextureScale), 0.5f);
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::NormalTextureCoordinates), 2u);
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::OcclusionTexture), 3u);
    EXPECT_EQ(pbr->findAttribute<float>(MA::OcclusionTextureStrength), 0.3f);
    EXPECT_EQ(pbr->findAttribute<Vector3>(MA::EmissiveColor), Vector3(0.5f, 0.6f, 0.7f));
    EXPECT_EQ(pbr->findAttribute<std::uint32_t>(MA::EmissiveTexture), 4u);
    EXPECT_EQ(pbr->alphaMode(), MaterialAlphaMode::Mask);
    EXPECT_EQ(pbr->alphaMask(), 0.5f);
    EXPECT_TRUE(pbr->isDoubleSided());

    const std::optional<MaterialData> specular = importer->material(1);
    ASSERT_TRUE(specular);
    EXPECT_EQ(specular->types(), MaterialType::PbrSpecularGlossiness);
    EXPECT_FALSE(specular->hasAttribute(MA::BaseColor));
    EXPECT_EQ(specular->findAttribute<Vector4>(MA::DiffuseColor), Vector4(1, 0.5f, 0.25f, 1));
    EXPECT_EQ(specular->findAttribute<Vector4>(MA::SpecularColor), Vector4(0.1f, 0.2f, 0.3f, 1));
    EXPECT_EQ(specular->findAttribute<float>(MA::Glossiness), 0.4f);
    EXPECT_EQ(specular->findAttribute<std::uint32_t>(MA::DiffuseTexture), 1u);
    EXPECT_EQ(specular->findAttribute<std::uint32_t>(MA::SpecularTexture), 0u);
    EXPECT_EQ(specular->findAttribute<std::uint32_t>("SpecularTextureCoordinates"), 3u);
    EXPECT_EQ(specular->alphaMode(), MaterialAlphaMode::Blend);

    const std::optional<MaterialData> unlit = importer->material(2);
    ASSERT_TRUE(unlit);
    EXPECT_EQ(unlit->types(), MaterialType::Flat);
    EXPECT_EQ(unlit->findAttribute<Vector4>(MA::BaseColor), Vector4(1, 0, 0, 1));
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->material(3)); }),
              "Trade::GltfImporter::material(): base color texture 11 out of range for 11 "
              "textures\n");
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->material(4)); }),
              "Trade::GltfImporter::material(): unrecognized alpha mode FOO\n");

    using F = SamplerFilter;
    using M = SamplerMipmap;
    using W = SamplerWrapping;
    const std::tuple<F, F, M, W, W> samplers[]{
        {F::Linear, F::Linear, M::Linear, W::Repeat, W::Repeat},
        {F::Nearest, F::Nearest, M::Base, W::ClampToEdge, W::MirroredRepeat},
        {F::Nearest, F::Linear, M::Nearest, W::Repeat, W::Repeat},
        {F::Linear, F::Linear, M::Nearest, W::Repeat, W::Repeat},
        {F::Nearest, F::Linear, M::Linear, W::Repeat, W::Repeat},
        {F::Linear, F::Linear, M::Linear, W::Repeat, W::Repeat},
        {F::Linear, F::Linear, M::Base, W::Repeat, W::Repeat},
    };
    for (std::uint32_t i = 0; i != std::size(samplers); ++i) {
        const std::optional<TextureData> texture = importer->texture(i);
        ASSERT_TRUE(texture);
        const auto& [minification, magnification, mipmap, wrapX, wrapY] = samplers[i];
        EXPECT_EQ(texture->type(), TextureType::Texture2D);
        EXPECT_EQ(texture->minificationFilter(), minification) << i;
        EXPECT_EQ(texture->magnificationFilter(), magnification) << i;
        EXPECT_EQ(texture->mipmapFilter(), mipmap) << i;
        EXPECT_EQ(texture->wrapping(), (std::array<W, 3>{wrapX, wrapY, W::Repeat})) << i;
        EXPECT_EQ(texture->image(), 0u);
    }
    const char* const textureErrors[]{
        "image 3 out of range for 1 images", "sampler 9 out of range for 7 samplers",
        "unrecognized magnification filter 1234", "the texture has no image"};
    for (std::uint32_t i = 0; i != std::size(textureErrors); ++i)
        EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->texture(7 + i)); }),
                  std::string{"Trade::GltfImporter::texture(): "} + textureErrors[i] + "\n");
    EXPECT_EQ(importer->image2D(0)->size(), Vector2i(1, 1));
}

TEST(GltfImporterTest, SkinsCamerasAndLights) {
    Bin bin;
    bin.add<float>({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1,
                    2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
    auto importer = open(gltf(bin, R"(
        "bufferViews":[{"buffer":0,"byteLength":128}],
        "accessors":[{"bufferView":0,"componentType":5126,"count":2,"type":"MAT4"},
                     {"bufferView":0,"componentType":5126,"count":1,"type":"MAT4"}],
        "nodes":[{},{},{}],
        "skins":[{"joints":[1,2],"inverseBindMatrices":0},{"joints":[0]},{"joints":[5]},
                 {"joints":[0,1],"inverseBindMatrices":1}],
        "cameras":[{"type":"perspective","perspective":{"yfov":0.5,"aspectRatio":2,"znear":0.1,"zfar":100}},
                   {"type":"perspective","perspective":{"yfov":1,"znear":0.5}},
                   {"type":"orthographic","orthographic":{"xmag":2,"ymag":3,"znear":0,"zfar":10}},
                   {"type":"perspective","perspective":{"yfov":4,"znear":0.1}}],
        "extensions":{"KHR_lights_punctual":{"lights":[
            {"type":"directional","color":[1,0.5,0.25],"intensity":3},
            {"type":"point","range":5},
            {"type":"spot","spot":{"innerConeAngle":0.25,"outerConeAngle":0.5}},
            {"type":"spot","spot":{"innerConeAngle":0.6,"outerConeAngle":0.5}}]}})"));

    const std::optional<SkinData3D> skin = importer->skin3D(0);
    ASSERT_TRUE(skin);
    EXPECT_EQ(std::vector<std::uint32_t>(skin->joints().begin(), skin->joints().end()),
              (std::vector<std::uint32_t>{1, 2}));
    ASSERT_EQ(skin->inverseBindMatrices().size(), 2u);
    EXPECT_EQ(skin->inverseBindMatrices()[0][3], Vector4(5, 6, 7, 1));
    Matrix4 scaling{2.0f};
    scaling[3][3] = 1.0f;
    EXPECT_EQ(skin->inverseBindMatrices()[1], scaling);
    const std::optional<SkinData3D> identity = importer->skin3D(1);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->inverseBindMatrices()[0], Matrix4{});
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->skin3D(2)); }),
              "Trade::GltfImporter::skin3D(): joint 5 out of range for 3 nodes\n");
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->skin3D(3)); }),
              "Trade::GltfImporter::skin3D(): expected 2 inverse bind matrices but got 1\n");

    const std::optional<CameraData> perspective = importer->camera(0);
    ASSERT_TRUE(perspective);
    EXPECT_EQ(perspective->type(), CameraType::Perspective3D);
    EXPECT_FLOAT_EQ(float(perspective->fov()), 2.0f * std::atan(std::tan(0.25f) * 2.0f));
    EXPECT_FLOAT_EQ(perspective->aspectRatio(), 2.0f);
    EXPECT_FLOAT_EQ(perspective->near(), 0.1f);
    EXPECT_EQ(perspective->far(), 100.0f);
    const std::optional<CameraData> defaults = importer->camera(1);
    ASSERT_TRUE(defaults);
    EXPECT_FLOAT_EQ(float(defaults->fov()), 1.0f);
    EXPECT_FLOAT_EQ(defaults->aspectRatio(), 1.0f);
    EXPECT_TRUE(std::isinf(defaults->far()));
    const std::optional<CameraData> orthographic = importer->camera(2);
    ASSERT_TRUE(orthographic);
    EXPECT_EQ(orthographic->type(), CameraType::Orthographic3D);
    EXPECT_EQ(orthographic->size(), Vector2(4, 6));
    EXPECT_EQ(orthographic->far(), 10.0f);
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->camera(3)); }),
              "Trade::GltfImporter::camera(): invalid perspective projection with yfov 4, aspect "
              "ratio 1, znear 0.1 and zfar inf\n");

    const std::optional<LightData> directional = importer->light(0);
    ASSERT_TRUE(directional);
    EXPECT_EQ(directional->type(), LightType::Directional);
    EXPECT_EQ(directional->color(), Color3(1, 0.5f, 0.25f));
    EXPECT_EQ(directional->intensity(), 3.0f);
    EXPECT_EQ(directional->attenuation(), Vector3(1, 0, 0));
    EXPECT_TRUE(std::isinf(directional->range()));
    const std::optional<LightData> point = importer->light(1);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->color(), Color3(1.0f));
    EXPECT_EQ(point->attenuation(), Vector3(1, 0, 1));
    EXPECT_EQ(point->range(), 5.0f);
    const std::optional<LightData> spot = importer->light(2);
    ASSERT_TRUE(spot);
    EXPECT_EQ(spot->type(), LightType::Spot);
    EXPECT_EQ(float(spot->innerConeAngle()), 0.5f);
    EXPECT_EQ(float(spot->outerConeAngle()), 1.0f);
    EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->light(3)); }),
              "Trade::GltfImporter::light(): expected spot cone angles 0 <= inner <= outer <= "
              "pi/2 but got 0.6 and 0.5\n");
}

/* The spline glTF defines, normalized for rotations */
template<std::size_t size>
glm::vec<size, float> hermite(std::span<const float> keys, std::span<const float> outputs,
                              float time) {
    std::size_t k = 0;
    while (k + 2 < keys.size() && time >= keys[k + 1])
        ++k;
    const float duration = keys[k + 1] - keys[k], t = (time - keys[k]) / duration;
    const auto at = [&](std::size_t key, std::size_t part) {
        glm::vec<size, float> v;
        for (std::size_t c = 0; c != size; ++c)
            v[int(c)] = outputs[(3 * key + part) * size + c];
        return v;
    };
    const float t2 = t * t, t3 = t2 * t;
    const glm::vec<size, float> value =
        (2 * t3 - 3 * t2 + 1) * at(k, 1) + (t3 - 2 * t2 + t) * duration * at(k, 2) +
        (-2 * t3 + 3 * t2) * at(k + 1, 1) + (t3 - t2) * duration * at(k + 1, 0);
    if constexpr (size == 4)
        return glm::normalize(value);
    else
        return value;
}

TEST(GltfImporterTest, Animations) {
    const std::vector<float> keys{0, 1, 3};
    const std::vector<float> cubic{0, 0, 0, 0, 0, 0, 3,  0, 0, /* a, v, b */
                                   1, 2, 0, 1, 1, 1, -4, 0, 0, /* of each key */
                                   0, 0, 9, 2, 0, 5, 0,  0, 0};
    const std::vector<float> cubicRotation{
        0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 0,  /* identity, spinning around y */
        0, 0, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0,  /* not unit, normalized after evaluation */
        0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0}; /* a half turn around x */
    Bin bin;
    const std::size_t times = bin.add<float>(keys);
    const std::size_t translations = bin.add<float>({1, 2, 3, 4, 5, 6, 7, 8, 9});
    const std::size_t rotations =
        bin.add<std::int16_t>({0, 0, 32767, 32767, 32767, 0, 0, 0, 0, -32768, 0, 0});
    const std::size_t spline = bin.add<float>(cubic);
    const std::size_t rotationSpline = bin.add<float>(cubicRotation);
    const std::size_t descending = bin.add<float>({0, 2, 1});
    const std::string views = fmt::format(
        R"("bufferViews":[{{"buffer":0,"byteLength":{}}}],"accessors":[)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5126,"count":3,"type":"SCALAR"}},)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5126,"count":3,"type":"VEC3"}},)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5122,"normalized":true,"count":3,"type":"VEC4"}},)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5126,"count":9,"type":"VEC3"}},)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5126,"count":9,"type":"VEC4"}},)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5126,"count":3,"type":"SCALAR"}},)"
        R"({{"bufferView":0,"byteOffset":{},"componentType":5126,"count":2,"type":"VEC3"}}],)",
        bin.bytes.size(), times, translations, rotations, spline, rotationSpline, descending,
        translations);
    auto importer = open(gltf(bin, views + R"("nodes":[{},{}],"animations":[
        {"samplers":[{"input":0,"output":1,"interpolation":"STEP"},{"input":0,"output":1},
                     {"input":0,"output":2},{"input":0,"output":3,"interpolation":"CUBICSPLINE"},
                     {"input":0,"output":4,"interpolation":"CUBICSPLINE"}],
         "channels":[{"sampler":0,"target":{"node":0,"path":"translation"}},
                     {"sampler":1,"target":{"node":1,"path":"scale"}},
                     {"sampler":2,"target":{"node":1,"path":"rotation"}},
                     {"sampler":3,"target":{"node":0,"path":"translation"}},
                     {"sampler":4,"target":{"node":0,"path":"rotation"}},
                     {"sampler":1,"target":{"node":0,"path":"weights"}}]},
        {"samplers":[{"input":5,"output":1}],"channels":[{"sampler":0,"target":{"node":0,"path":"scale"}}]},
        {"samplers":[{"input":0,"output":6}],"channels":[{"sampler":0,"target":{"node":0,"path":"scale"}}]},
        {"samplers":[{"input":0,"output":1}],"channels":[{"sampler":0,"target":{"node":7,"path":"scale"}}]}])"));

    std::ostringstream warnings;
    std::optional<AnimationData> animation;
    {
        Warning redirect{&warnings};
        animation = importer->animation(0);
    }
    ASSERT_TRUE(animation);
    EXPECT_EQ(warnings.str(), "Trade::GltfImporter::animation(): ignoring 1 channel of morph "
                              "target weights, which are not supported\n");
    ASSERT_EQ(animation->trackCount(), 5u);
    EXPECT_EQ(animation->duration(), Range1D(0.0f, 3.0f));
    EXPECT_EQ(animation->trackTargetName(1), AnimationTrackTarget::Scaling3D);
    EXPECT_EQ(animation->trackTarget(1), 1u);

    const auto step = animation->track<Vector3>(0);
    EXPECT_EQ(step.interpolation(), Animation::Interpolation::Constant);
    EXPECT_EQ(step.before(), Animation::Extrapolation::Constant);
    EXPECT_EQ(step.after(), Animation::Extrapolation::Constant);
    EXPECT_EQ(step.at(0.99f), Vector3(1, 2, 3));
    EXPECT_EQ(step.at(1.0f), Vector3(4, 5, 6));
    EXPECT_EQ(step.at(-1.0f), Vector3(1, 2, 3));
    const auto linear = animation->track<Vector3>(1);
    EXPECT_EQ(linear.interpolation(), Animation::Interpolation::Linear);
    EXPECT_EQ(linear.at(2.0f), Vector3(5.5f, 6.5f, 7.5f));
    EXPECT_EQ(linear.at(5.0f), Vector3(7, 8, 9));

    const auto rotation = animation->track<Quaternion>(2);
    EXPECT_EQ(animation->trackTargetName(2), AnimationTrackTarget::Rotation3D);
    EXPECT_TRUE(
        fuzzyEqual(rotation.values()[0], quaternionFromXyzw(0, 0, 0.70710678f, 0.70710678f)));
    EXPECT_EQ(rotation.values()[2], quaternionFromXyzw(0, -1, 0, 0));

    /* Resampled: the original keys kept, within the tolerance everywhere */
    const auto translation = animation->track<Vector3>(3);
    const auto turn = animation->track<Quaternion>(4);
    for (const auto* track : {&translation.keys(), &turn.keys()}) {
        EXPECT_GT(track->size(), 3u);
        EXPECT_NE(std::find(track->begin(), track->end(), 1.0f), track->end());
    }
    EXPECT_EQ(translation.at(1.0f), Vector3(1, 1, 1));
    EXPECT_EQ(translation.at(3.0f), Vector3(2, 0, 5));
    EXPECT_TRUE(fuzzyEqual(turn.at(1.0f), quaternionFromXyzw(0, 0.70710678f, 0, 0.70710678f)));
    /* Per component, relative to the values' magnitude, absolute below 1 */
    const auto deviation = [](auto a, auto b) {
        float largest = 0.0f, magnitude = 1.0f;
        for (int i = 0; i != a.length(); ++i) {
            largest = std::max(largest, std::abs(a[i] - b[i]));
            magnitude = std::max(magnitude, std::abs(b[i]));
        }
        return largest / magnitude;
    };
    float worst = 0.0f;
    for (float t = 0.0f; t <= 3.0f; t += 0.0001f) {
        worst = std::max(worst, deviation(translation.at(t), hermite<3>(keys, cubic, t)));
        const Vector4 rotated = hermite<4>(keys, cubicRotation, t);
        const Quaternion sampled = turn.at(t);
        const Vector4 got{sampled.x, sampled.y, sampled.z, sampled.w};
        worst = std::max(worst, std::min(deviation(got, rotated), deviation(-got, rotated)));
    }
    EXPECT_LT(worst, 1.0e-4f);
    EXPECT_GT(worst, 1.0e-5f);

    const char* const errors[]{"keys of sampler 0 are not strictly ascending at key 2",
                               "sampler 0 has 2 outputs for 3 keys",
                               "target node 7 of channel 0 out of range for 2 nodes"};
    for (std::uint32_t i = 0; i != std::size(errors); ++i)
        EXPECT_EQ(errorsOf([&] { EXPECT_FALSE(importer->animation(i + 1)); }),
                  std::string{"Trade::GltfImporter::animation(): "} + errors[i] + "\n");
}

TEST(GltfImporterTest, InterfaceAssertions) {
    GltfImporter importer;
    ZE_EXPECT_ABORT(importer.mesh(0), "Trade::AbstractImporter::mesh(): no file opened");
    ASSERT_TRUE(importer.openData(std::string{R"({"asset":{"version":"2.0"},"meshes":[
        {"primitives":[{"attributes":{}},{"attributes":{}}]},{"primitives":[{"attributes":{}}]}]})"}));
    EXPECT_TRUE(importer.mesh(2));
    ZE_EXPECT_ABORT(importer.mesh(3),
                    "Trade::AbstractImporter::mesh(): index 3 out of range for 3 entries");
}

/* Real files from many exporters, broken ones among them: each loads, or each failure says why */
TEST(GltfImporterTest, Corpus) {
    const std::filesystem::path root{"/usr/share/assimp/models/glTF2"};
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << root << "is not installed";
    std::size_t files = 0, opened = 0, loaded = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator{root}) {
        if (entry.path().extension() != ".gltf" && entry.path().extension() != ".glb")
            continue;
        SCOPED_TRACE(entry.path().string());
        ++files;
        std::ostringstream errors, warnings;
        Error redirectErrors{&errors};
        Warning redirectWarnings{&warnings};
        std::size_t printed = 0;
        const auto check = [&](bool success) {
            const std::string text = errors.str();
            if (success) {
                EXPECT_EQ(text.size(), printed) << text.substr(printed);
                ++loaded;
            } else {
                EXPECT_TRUE(text.size() > printed && text.compare(printed, 7, "Trade::") == 0);
                EXPECT_EQ(text.back(), '\n');
            }
            printed = text.size();
        };
        GltfImporter importer;
        check(importer.openFile(entry.path()));
        if (!importer.isOpened())
            continue;
        ++opened;
        for (std::uint32_t i = 0; i != importer.sceneCount(); ++i)
            check(bool(importer.scene(i)));
        for (std::uint32_t i = 0; i != importer.meshCount(); ++i)
            check(bool(importer.mesh(i)));
        for (std::uint32_t i = 0; i != importer.image2DCount(); ++i)
            check(bool(importer.image2D(i)));
        for (std::uint32_t i = 0; i != importer.textureCount(); ++i)
            check(bool(importer.texture(i)));
        for (std::uint32_t i = 0; i != importer.materialCount(); ++i)
            check(bool(importer.material(i)));
        for (std::uint32_t i = 0; i != importer.skin3DCount(); ++i)
            check(bool(importer.skin3D(i)));
        for (std::uint32_t i = 0; i != importer.cameraCount(); ++i)
            check(bool(importer.camera(i)));
        for (std::uint32_t i = 0; i != importer.lightCount(); ++i)
            check(bool(importer.light(i)));
        for (std::uint32_t i = 0; i != importer.animationCount(); ++i)
            check(bool(importer.animation(i)));
    }
    EXPECT_GE(files, 40u);
    EXPECT_GE(opened, files * 3 / 4);
    EXPECT_GT(loaded, 300u);
}

} // namespace
} // namespace ZarvikEngine::Trade
