#ifndef ZarvikEngine_Trade_GltfImporter_h
#define ZarvikEngine_Trade_GltfImporter_h

#include <memory>

#include "ZarvikEngine/Trade/AbstractImporter.h"

namespace ZarvikEngine::Trade {

/* glTF 2.0 importer for .gltf (JSON with buffers and images in data: URIs or in files next to
   it) and .glb (binary container); openData() tells them apart by the GLB magic.

   Objects are the file's nodes and scenes its scenes. Each primitive of a file's mesh is a
   mesh of its own, in file order, named after the file's mesh. Vertex attributes keep the
   file's formats, normalized and KHR_mesh_quantization ones included; sparse accessors are
   materialized and every JOINTS_n (WEIGHTS_n) set of a primitive is joined into one array
   attribute. Materials, textures, images (decoded on load), skins, cameras, lights
   (KHR_lights_punctual) and node transformation animations are imported too.

   Everything coming from the file is validated before use: a loader that finds a problem
   prints one error line, "Trade::GltfImporter::<loader>(): <reason>", and returns nothing. */
class GltfImporter final : public AbstractImporter {
public:
    GltfImporter();
    ~GltfImporter() override;

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

    /* External files are looked up in the directory, nowhere without one */
    bool open(std::span<const char> data, const std::optional<std::string>& directory,
              const char* function);

    std::unique_ptr<State> _state;
};

} // namespace ZarvikEngine::Trade

#endif
