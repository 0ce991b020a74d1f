#include <gtest/gtest.h>

#include <sstream>

#include "MeshTestHelpers.h"
#include "ZarvikEngine/Tools/ImportedSceneCache.h"
#include "ZarvikEngine/Tools/MeshTools.h"

namespace ZarvikEngine {
namespace {

using Test::indexedMeshWith;
using Test::meshWith;
using Trade::MeshAttribute;

/* An importer over scenes and resources that the test makes; a null entry fails to load */
class TestImporter final : public Trade::AbstractImporter {
public:
    std::vector<std::string> objectNames;
    std::vector<std::function<std::optional<Trade::SceneData>()>> scenes;
    std::optional<std::uint32_t> defaultSceneId;
    std::vector<std::string> imageNames, meshNames;
    std::vector<bool> imageLoads;
    std::vector<std::function<std::optional<Trade::MeshData>()>> meshes;
    std::uint32_t lights = 0;

private:
    bool doIsOpened() const override { return true; }
    bool doOpenData(std::span<const char>) override { return true; }
    void doClose() override {}

    std::optional<std::uint32_t> doDefaultScene() const override { return defaultSceneId; }
    std::uint32_t doSceneCount() const override { return std::uint32_t(scenes.size()); }
    std::optional<Trade::SceneData> doScene(std::uint32_t id) override { return scenes[id](); }
    std::uint64_t doObjectCount() const override { return objectNames.size(); }
    std::string doObjectName(std::uint64_t id) const override { return objectNames[id]; }

    std::uint32_t doImage2DCount() const override { return std::uint32_t(imageNames.size()); }
    std::string doImage2DName(std::uint32_t id) const override { return imageNames[id]; }
    std::optional<Trade::ImageData2D> doImage2D(std::uint32_t id) override {
        if (!imageLoads[id])
            return std::nullopt;
        return Trade::ImageData2D{
            Image2D{PixelFormat::RGBA8Unorm, Vector2i{1, 1}, std::vector<char>(4, char(id))}};
    }

    std::uint32_t doMeshCount() const override { return std::uint32_t(meshes.size()); }
    std::string doMeshName(std::uint32_t id) const override { return meshNames[id]; }
    std::optional<Trade::MeshData> doMesh(std::uint32_t id) override { return meshes[id](); }

    std::uint32_t doLightCount() const override { return lights; }
    std::optional<Trade::LightData> doLight(std::uint32_t) override {
        return Trade::LightData{Trade::LightType::Point, {}};
    }
};

struct Output {
    std::ostringstream text;
    Warning redirectWarning{&text};
    Error redirectError{&text};
};

TEST(ImportedSceneCache, ResourcesGetTheirNamesOrNumberedOnes) {
    TestImporter importer;
    importer.imageNames = {"sky", "", "wall", ""};
    importer.imageLoads = {true, false, true, true};
    importer.meshNames = {""};
    importer.meshes = {[] { return std::optional<Trade::MeshData>{}; }};
    importer.lights = 2;

    ImportedSceneCache cache;
    cache.cacheResources(importer);
    EXPECT_EQ(cache.imageNames, (std::vector<std::string>{"sky", "image_1", "wall", "image_3"}));
    ASSERT_EQ(cache.images.size(), 4u);
    EXPECT_TRUE(cache.images[0] && cache.images[2] && cache.images[3]);
    EXPECT_FALSE(cache.images[1]);
    EXPECT_EQ(cache.images[3]->data()[0], 3);
    EXPECT_EQ(cache.meshNames, std::vector<std::string>{"mesh_0"});
    EXPECT_FALSE(cache.meshes[0]);
    EXPECT_EQ(cache.lights.size(), 2u);
    EXPECT_TRUE(cache.textures.empty() && cache.textureNames.empty() && cache.animations.empty());

    /* Moving keeps everything */
    ImportedSceneCache moved = std::move(cache);
    EXPECT_EQ(moved.imageNames.size(), 4u);
    EXPECT_EQ(moved.lights.size(), 2u);
}

TEST(ImportedSceneCache, SceneFailures) {
    TestImporter importer;
    {
        Output output;
        EXPECT_FALSE(ImportedSceneCache{}.cacheScene(importer));
        EXPECT_EQ(output.text.str(), "No scene found in file\n");
    }
    importer.scenes = {[] { return std::optional<Trade::SceneData>{}; }};
    {
        Output output;
        EXPECT_FALSE(ImportedSceneCache{}.cacheScene(importer));
        EXPECT_EQ(output.text.str(), "Cannot load scene\n");
    }
    importer.scenes = {[] { return Trade::SceneData{0, false, {}}; }};
    {
        Output output;
        EXPECT_FALSE(ImportedSceneCache{}.cacheScene(importer));
        EXPECT_EQ(output.text.str(), "Scene is not 3D\n");
    }
}

TEST(ImportedSceneCache, SceneHierarchyTransformsAndAssignments) {
    /*  0 root       5 root
        ├─ 2         └─ 1
        │  └─ 4
        └─ 3
        Object 6 isn't in the scene; object 4 has a mirroring matrix. */
    TestImporter importer;
    importer.objectNames = {"body", "", "arm", "", "hand", "lamp", "unused"};
    const Matrix4 handMatrix = translationMatrix({1.0f, 2.0f, 3.0f}) *
                               rotationMatrix(Rad{0.5f}, glm::normalize(Vector3{1, 1, 0})) *
                               glm::scale(Matrix4{1.0f}, Vector3{-2.0f, 3.0f, 0.5f});
    const Quaternion armRotation = rotation(Rad{1.0f}, {0.0f, 0.0f, 1.0f});
    importer.scenes = {[] {
                           return Trade::SceneData{0, true, {}};
                       },
                       [&] {
                           Trade::SceneFields fields;
                           fields.parents = {{0, -1}, {2, 0}, {4, 2}, {3, 0}, {5, -1}, {1, 5}};
                           fields.trs = {{2, {0.0f, 1.0f, 0.0f}, armRotation, {1, 1, 2}}};
                           fields.matrices = {{4, handMatrix}};
                           fields.meshesMaterials = {{0, 3, 1}, {0, 4, -1}, {4, 0, 0}};
                           fields.skins = {{0, 0}};
                           fields.cameras = {{3, 1}};
                           fields.lights = {{5, 0}};
                           return Trade::SceneData{7, true, std::move(fields)};
                       }};
    importer.defaultSceneId = 1;

    ImportedSceneCache cache;
    ASSERT_TRUE(cache.cacheScene(importer));
    EXPECT_EQ(cache.objectOrder, (std::vector<std::uint32_t>{0, 2, 4, 3, 5, 1}));
    EXPECT_EQ(cache.rootChildren, (std::vector<std::uint32_t>{0, 5}));
    EXPECT_EQ(cache.objectParents, (std::vector<std::int64_t>{-1, 5, 0, 0, 2, -1, -1}));
    /* Unnamed objects of the walk get names unique among them; the unused one keeps none */
    EXPECT_EQ(cache.objectNames[0], "body");
    EXPECT_EQ(cache.objectNames[3], "object_3");
    EXPECT_EQ(cache.objectNames[1], "object_5");
    EXPECT_EQ(cache.objectNames[6], "unused");

    ASSERT_EQ(cache.transforms.size(), 2u);
    EXPECT_EQ(cache.transforms[0].object, 2u);
    EXPECT_EQ(cache.transforms[0].scaling, (Vector3{1, 1, 2}));
    EXPECT_TRUE(fuzzyEqual(cache.transforms[0].rotation, armRotation));
    const ImportedTransform& hand = cache.transforms[1];
    EXPECT_EQ(hand.object, 4u);
    const Matrix4 recomposed = translationMatrix(hand.translation) * rotationMatrix(hand.rotation) *
                               glm::scale(Matrix4{1.0f}, hand.scaling);
    for (int column = 0; column != 4; ++column)
        for (int row = 0; row != 4; ++row)
            EXPECT_NEAR(recomposed[column][row], handMatrix[column][row], 1e-5f);
    EXPECT_TRUE(isNormalized(hand.rotation));

    using MeshMaterial = ImportedAssignment<std::pair<std::uint32_t, std::int32_t>>;
    EXPECT_EQ(cache.meshMaterials,
              (std::vector<MeshMaterial>{{0, {3, 1}}, {0, {4, -1}}, {4, {0, 0}}}));
    EXPECT_EQ(cache.skinAssignments, (std::vector<ImportedAssignment<std::uint32_t>>{{0, 0}}));
    EXPECT_EQ(cache.cameraAssignments, (std::vector<ImportedAssignment<std::uint32_t>>{{3, 1}}));
    EXPECT_EQ(cache.lightAssignments, (std::vector<ImportedAssignment<std::uint32_t>>{{5, 0}}));
}

TEST(ImportedSceneCache, CanConvertMesh) {
    Output output;
    EXPECT_FALSE(ImportedSceneCache::canConvertMesh(
        meshWith({{MeshAttribute::Position, VertexFormat::Vector3}}, 2, MeshPrimitive::Lines)));
    EXPECT_FALSE(ImportedSceneCache::canConvertMesh(
        meshWith({{MeshAttribute::Normal, VertexFormat::Vector3}}, 3)));
    EXPECT_TRUE(ImportedSceneCache::canConvertMesh(meshWith(
        {{MeshAttribute::Position, VertexFormat::Vector3}}, 3, MeshPrimitive::TriangleFan)));
    EXPECT_EQ(output.text.str(),
              "[SceneLoader] Skipping mesh: Only triangle primitives are supported\n"
              "[SceneLoader] Skipping mesh: Missing position attribute\n");
}

/* A sphere with its normals and texture coordinates, without tangents */
Trade::MeshData sphereWithoutTangents() {
    const Test::Shape shape = Test::sphereShape(12, 8);
    Trade::MeshData mesh =
        indexedMeshWith({{MeshAttribute::Position, VertexFormat::Vector3},
                         {MeshAttribute::Normal, VertexFormat::Vector3},
                         {MeshAttribute::TextureCoordinates, VertexFormat::Vector2}},
                        std::uint32_t(shape.positions.size()), shape.indices);
    for (std::uint32_t i = 0; i != shape.positions.size(); ++i) {
        mesh.mutableAttribute<Vector3>(MeshAttribute::Position)[i] = shape.positions[i];
        mesh.mutableAttribute<Vector3>(MeshAttribute::Normal)[i] = shape.normals[i];
        mesh.mutableAttribute<Vector2>(MeshAttribute::TextureCoordinates)[i] =
            shape.textureCoordinates[i];
    }
    return mesh;
}

TEST(ImportedSceneCache, ConvertMeshGeneratesRequestedTangents) {
    const Trade::MeshData mesh = sphereWithoutTangents();
    Output output;
    const Trade::MeshData converted = ImportedSceneCache::convertMesh(
        mesh,
        MeshDataFlag::Positions | MeshDataFlag::Normals | MeshDataFlag::TextureCoordinates |
            MeshDataFlag::Tangents,
        "sphere");
    EXPECT_EQ(output.text.str(),
              "[SceneLoader] Unsupported/missing tangents in mesh sphere, generating\n");
    EXPECT_EQ(getMeshFlags(converted), MeshDataFlag::Positions | MeshDataFlag::Normals |
                                           MeshDataFlag::TextureCoordinates |
                                           MeshDataFlag::Tangents);

    /* The same tangents as generating them on the engine layout directly */
    Trade::MeshData expected = cloneMeshData(getMeshFlags(converted), mesh);
    MeshTools::generateTangents(expected);
    const auto tangents = converted.attribute<Vector4>(MeshAttribute::Tangent);
    const auto expectedTangents = expected.attribute<Vector4>(MeshAttribute::Tangent);
    for (std::size_t i = 0; i != tangents.size(); ++i)
        ASSERT_EQ(tangents[i], expectedTangents[i]) << i;
    EXPECT_EQ(converted.vertexData().size(), expected.vertexData().size());
    EXPECT_TRUE(std::equal(converted.indexData().begin(), converted.indexData().end(),
                           expected.indexData().begin()));

    /* Flags left empty take what the mesh has, which has no tangents to want */
    Output quiet;
    const Trade::MeshData plain = ImportedSceneCache::convertMesh(mesh, {}, "sphere");
    EXPECT_EQ(quiet.text.str(), "");
    EXPECT_EQ(getMeshFlags(plain),
              MeshDataFlag::Positions | MeshDataFlag::Normals | MeshDataFlag::TextureCoordinates);
}

TEST(ImportedSceneCache, ConvertMeshUnpacksCastsAndGenerates) {
    /* Quantized positions and texture coordinates, three-component 8-bit colors, normals in a
       format the layouts can't take, a triangle strip of four vertices */
    Trade::MeshData mesh = meshWith({{MeshAttribute::Position, VertexFormat::Vector3sNormalized},
                                     {MeshAttribute::Normal, VertexFormat::Vector3ub},
                                     {MeshAttribute::TextureCoordinates, VertexFormat::Vector2us},
                                     {MeshAttribute::Color, VertexFormat::Vector3ubNormalized}},
                                    4, MeshPrimitive::TriangleStrip);
    const Vector3s positions[]{{0, 0, 0}, {32767, 0, 0}, {0, 32767, 0}, {32767, 32767, 0}};
    for (std::uint32_t i = 0; i != 4; ++i) {
        mesh.mutableAttribute<Vector3s>(MeshAttribute::Position)[i] = positions[i];
        mesh.mutableAttribute<Vector2us>(MeshAttribute::TextureCoordinates)[i] =
            Vector2us(i, 2 * i);
        mesh.mutableAttribute<Vector3ub>(MeshAttribute::Color)[i] = Vector3ub(255, 0, 51 * i);
    }

    Output output;
    const Trade::MeshData converted = ImportedSceneCache::convertMesh(mesh, {}, "strip");
    EXPECT_EQ(output.text.str(),
              "[SceneLoader] Unsupported/missing normals in mesh strip, generating\n");
    EXPECT_EQ(converted.primitive(), MeshPrimitive::Triangles);
    ASSERT_EQ(converted.indexCount(), 6u);
    EXPECT_EQ(converted.attribute<Vector3>(MeshAttribute::Position)[3], (Vector3{1, 1, 0}));
    EXPECT_EQ(converted.attribute<Vector2>(MeshAttribute::TextureCoordinates)[3], (Vector2{3, 6}));
    EXPECT_EQ(converted.attribute<Vector4>(MeshAttribute::Color)[2], (Vector4{1, 0, 0.4f, 1}));
    /* Both triangles keep their winding, facing +Z */
    for (std::uint32_t i = 0; i != 4; ++i)
        EXPECT_TRUE(
            fuzzyEqual(converted.attribute<Vector3>(MeshAttribute::Normal)[i], Vector3{0, 0, 1}))
            << i;

    /* Unnamed meshes convert silently */
    Output quiet;
    ImportedSceneCache::convertMesh(mesh, {}, {});
    EXPECT_EQ(quiet.text.str(), "");
}

TEST(ImportedSceneCache, ConvertMeshSkinning) {
    /* 32-bit joint ids of twelve influences, byte weights */
    Trade::MeshData mesh = indexedMeshWith<std::uint16_t>(
        {{MeshAttribute::Position, VertexFormat::Vector3},
         {MeshAttribute::Normal, VertexFormat::Vector3},
         {MeshAttribute::JointIds, VertexFormat::UnsignedInt, 12},
         {MeshAttribute::Weights, VertexFormat::UnsignedByteNormalized, 12}},
        3, {0, 1, 2, 0});
    for (std::uint32_t i = 0; i != 3; ++i)
        for (std::uint32_t j = 0; j != 12; ++j) {
            mesh.mutableAttribute<std::uint32_t[]>(MeshAttribute::JointIds)[i][j] = 1000 * i + j;
            mesh.mutableAttribute<std::uint8_t[]>(MeshAttribute::Weights)[i][j] =
                std::uint8_t(j == 0 ? 255 : 0);
        }

    Output output;
    const Trade::MeshData converted = ImportedSceneCache::convertMesh(mesh, {}, "skinned");
    EXPECT_EQ(output.text.str(),
              "[SceneLoader] Skinning attributes have more than 8 elements for mesh skinned, only "
              "importing the first 8\n"
              "[SceneLoader] Casting joint ids down to UnsignedShort. If the skeleton has more "
              "than 65535 bones, this is will lose information.\n");
    /* Whole triangles only */
    EXPECT_EQ(converted.indexCount(), 3u);
    ASSERT_EQ(converted.attributeFormat(converted.attributeId(MeshAttribute::JointIds)),
              VertexFormat::UnsignedShort);
    const auto joints = converted.attribute<std::uint16_t[]>(MeshAttribute::JointIds);
    const auto weights = converted.attribute<float[]>(MeshAttribute::Weights);
    ASSERT_EQ(joints.size()[1], 8u);
    for (std::uint32_t j = 0; j != 8; ++j) {
        EXPECT_EQ(joints[2][j], 2000 + j);
        EXPECT_EQ(weights[2][j], j == 0 ? 1.0f : 0.0f);
    }
}

TEST(ImportedSceneCache, ConvertMeshJoinsTangentsAndDropsWhatItCantTake) {
    Trade::MeshData mesh = meshWith({{MeshAttribute::Position, VertexFormat::Vector3},
                                     {MeshAttribute::Normal, VertexFormat::Vector3},
                                     {MeshAttribute::Tangent, VertexFormat::Vector3},
                                     {MeshAttribute::Bitangent, VertexFormat::Vector3},
                                     {MeshAttribute::TextureCoordinates, VertexFormat::Vector3},
                                     {MeshAttribute::Color, VertexFormat::Vector2}},
                                    3);
    for (std::uint32_t i = 0; i != 3; ++i) {
        mesh.mutableAttribute<Vector3>(MeshAttribute::Normal)[i] = {0, 0, 1};
        mesh.mutableAttribute<Vector3>(MeshAttribute::Tangent)[i] = {1, 0, 0};
        mesh.mutableAttribute<Vector3>(MeshAttribute::Bitangent)[i] = {0, i == 1 ? -1.0f : 1.0f, 0};
    }

    Output output;
    const Trade::MeshData converted = ImportedSceneCache::convertMesh(
        mesh,
        MeshDataFlag::Positions | MeshDataFlag::Normals | MeshDataFlag::Tangents |
            MeshDataFlag::TextureCoordinates | MeshDataFlag::Colors,
        "panel");
    EXPECT_EQ(output.text.str(),
              "[SceneLoader] Unsupported texture coordinates format in mesh panel, ignoring\n"
              "[SceneLoader] Unsupported colors format in mesh panel, ignoring\n");
    EXPECT_EQ(getMeshFlags(converted),
              MeshDataFlag::Positions | MeshDataFlag::Normals | MeshDataFlag::Tangents);
    EXPECT_EQ(converted.attribute<Vector4>(MeshAttribute::Tangent)[0], (Vector4{1, 0, 0, 1}));
    EXPECT_EQ(converted.attribute<Vector4>(MeshAttribute::Tangent)[1], (Vector4{1, 0, 0, -1}));

    /* Tangents that would need texture coordinates to be generated are left out */
    Output withoutCoordinates;
    const Trade::MeshData untangented = ImportedSceneCache::convertMesh(
        meshWith({{MeshAttribute::Position, VertexFormat::Vector3}}, 3),
        MeshDataFlag::Positions | MeshDataFlag::Normals | MeshDataFlag::Tangents, "flat");
    EXPECT_EQ(withoutCoordinates.text.str(),
              "[SceneLoader] Unsupported/missing normals in mesh flat, generating\n"
              "[SceneLoader] Cannot generate tangents without texture coordinates in mesh flat, "
              "ignoring\n");
    EXPECT_EQ(getMeshFlags(untangented), MeshDataFlag::Positions | MeshDataFlag::Normals);
}

TEST(ImportedSceneCache, ConvertMeshKeepsMeshesWithUnusablePositions) {
    Trade::MeshData mesh = meshWith({{MeshAttribute::Position, VertexFormat::Vector2}}, 3);
    mesh.mutableAttribute<Vector2>(MeshAttribute::Position)[1] = {4.0f, 5.0f};
    Output output;
    const Trade::MeshData kept = ImportedSceneCache::convertMesh(mesh, {}, "flat");
    EXPECT_EQ(output.text.str(), "[SceneLoader] Skipping mesh flat: Unsupported position format "
                                 "VertexFormat::Vector2\n");
    EXPECT_EQ(kept.attributeFormat(0), VertexFormat::Vector2);
    EXPECT_EQ(kept.attribute<Vector2>(MeshAttribute::Position)[1], (Vector2{4.0f, 5.0f}));
}

TEST(ImportedSceneCacheDeathTest, ConvertMeshNeedsOwnedData) {
    Trade::MeshData owned = indexedMeshWith<std::uint16_t>(
        {{MeshAttribute::Position, VertexFormat::Vector3}}, 3, {0, 1, 2});
    const Trade::MeshData viewedVertices{MeshPrimitive::Triangles,
                                         Trade::DataStorage::view(owned.vertexData()),
                                         Trade::attributeLayout(owned)};
    const Trade::MeshData viewedIndices{
        MeshPrimitive::Triangles, Trade::DataStorage::view(owned.indexData()),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 0, 3},
        Trade::copy(owned).releaseVertexData(), Trade::attributeLayout(owned)};
    EXPECT_DEATH(ImportedSceneCache::convertMesh(viewedVertices, {}, {}),
                 "SceneLoader::addMesh\\(\\): MeshData vertex data is not owned");
    EXPECT_DEATH(ImportedSceneCache::convertMesh(viewedIndices, {}, {}),
                 "SceneLoader::addMesh\\(\\): MeshData index data is not owned");
}

} // namespace
} // namespace ZarvikEngine
