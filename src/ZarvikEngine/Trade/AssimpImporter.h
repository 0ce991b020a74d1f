#ifndef ZarvikEngine_Trade_AssimpImporter_h
#define ZarvikEngine_Trade_AssimpImporter_h

#include <memory>
#include <string_view>

#include "ZarvikEngine/Trade/AbstractImporter.h"

namespace ZarvikEngine::Trade {

/* Every scene format assimp reads, glTF aside. Files are read with polygons triangulated,
   primitives sorted into one type per mesh, identical vertices joined and assimp's own
   validation on; normals and tangents are taken as the file has them, never generated. Files
   of skeletons and animations alone (BVH) have no meshes rather than ones made up for them.

   Objects are all of assimp's nodes, numbered depth-first in pre-order: object 0 is assimp's
   root node, synthetic for many formats, kept because it carries the file's axis and unit
   conversion and can be the target of animations and skins. One scene holds them all. Skins,
   cameras, lights and animation tracks refer to nodes by name; the first node of a name in
   that order is the one meant.

   Meshes have an UnsignedInt index buffer and planar attributes: Position, Normal, Tangent
   and Bitangent as Vector3, a Vector2 TextureCoordinates per set (the third component of 3D
   coordinates dropped), a Vector4 Color per set, and for skinned meshes UnsignedShort JointIds
   and Float Weights arrays of 4·⌈most influences on a vertex ÷ 4⌉ elements, joint ids being
   indices into the mesh's skin, one skin per skinned mesh, named after the mesh.

   Textures are the distinct (image, wrapping) pairs that materials use, images the distinct
   files or embedded textures those refer to, named by the reference the material gives.
   External images are looked up relative to the scene file's directory; uncompressed embedded
   ones become RGBA8Unorm with the first row at the bottom, like decoded files.

   Camera fields of view and spot light cone angles are full angles, as assimp's readers
   deliver them, whatever its documentation says. A camera's or light's own position and
   direction relative to its node are not taken over.

   Assimp logs nothing unless the application creates its logger; its OpenGEX reader alone
   writes to the standard error on some malformed files. */
class AssimpImporter final : public AbstractImporter {
public:
    AssimpImporter();
    ~AssimpImporter() override;

    /* Whether assimp reads files with this extension, given with or without the dot, in any
       case. False for gltf and glb, which the glTF importer takes. */
    static bool canOpen(std::string_view extension);

private:
    struct State;

    bool doIsOpened() const override;
    bool doOpenFile(const std::filesystem::path& filename) override;
    bool doOpenData(std::span<const char> data) override;
    void doClose() override;

    std::optional<std::uint32_t> doDefaultScene() const override;
    std::uint32_t doSceneCount() const override;
    std::string doSceneName(std::uint32_t id) const override;
    std::optional<SceneData> doScene(std::uint32_t id) override;
    std::uint64_t doObjectCount() const override;
    std::string doObjectName(std::uint64_t id) const override;
    std::uint32_t doImage2DCount() const override;
    std::string doImage2DName(std::uint32_t id) const override;
    std::optional<ImageData2D> doImage2D(std::uint32_t id) override;
    std::uint32_t doTextureCount() const override;
    std::string doTextureName(std::uint32_t id) const override;
    std::optional<TextureData> doTexture(std::uint32_t id) override;
    std::uint32_t doMaterialCount() const override;
    std::string doMaterialName(std::uint32_t id) const override;
    std::optional<MaterialData> doMaterial(std::uint32_t id) override;
    std::uint32_t doMeshCount() const override;
    std::string doMeshName(std::uint32_t id) const override;
    std::optional<MeshData> doMesh(std::uint32_t id) override;
    std::uint32_t doSkin3DCount() const override;
    std::string doSkin3DName(std::uint32_t id) const override;
    std::optional<SkinData3D> doSkin3D(std::uint32_t id) override;
    std::uint32_t doCameraCount() const override;
    std::string doCameraName(std::uint32_t id) const override;
    std::optional<CameraData> doCamera(std::uint32_t id) override;
    std::uint32_t doLightCount() const override;
    std::string doLightName(std::uint32_t id) const override;
    std::optional<LightData> doLight(std::uint32_t id) override;
    std::uint32_t doAnimationCount() const override;
    std::string doAnimationName(std::uint32_t id) const override;
    std::optional<AnimationData> doAnimation(std::uint32_t id) override;

    /* Checks what the counts and names rely on, and numbers nodes, skins and textures */
    bool finishOpening(const char* function);

    std::unique_ptr<State> _state;
};

} // namespace ZarvikEngine::Trade

#endif
