#ifndef ZarvikEngine_Trade_AbstractImporter_h
#define ZarvikEngine_Trade_AbstractImporter_h

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "ZarvikEngine/Trade/AnimationData.h"
#include "ZarvikEngine/Trade/CameraData.h"
#include "ZarvikEngine/Trade/ImageData.h"
#include "ZarvikEngine/Trade/LightData.h"
#include "ZarvikEngine/Trade/MaterialData.h"
#include "ZarvikEngine/Trade/MeshData.h"
#include "ZarvikEngine/Trade/SceneData.h"
#include "ZarvikEngine/Trade/SkinData.h"
#include "ZarvikEngine/Trade/TextureData.h"

namespace ZarvikEngine::Trade {

/* Reads a scene file: counts, names and loaders of the resources in it and its scenes. A
   backend implements the do*() functions; the public ones check that a file is open and the
   index is in range (programmer errors that abort) and return owned data. A loader that
   can't load an entry prints an error naming the importer and the problem, and returns
   nothing. Names are empty where the file gives none. */
class AbstractImporter {
public:
    virtual ~AbstractImporter();

    AbstractImporter(const AbstractImporter&) = delete;
    AbstractImporter& operator=(const AbstractImporter&) = delete;

    bool isOpened() const { return doIsOpened(); }

    /* Closes what was open first. Prints an error and returns false when the file can't be
       read or isn't one the importer understands. */
    bool openFile(const std::filesystem::path& filename);
    /* The same for bytes in memory, which are copied; files a scene refers to by relative
       path can't be found then */
    bool openData(std::span<const char> data);
    void close();

    /* The scene to show by default, if the file names one */
    std::optional<std::uint32_t> defaultScene() const;
    std::uint32_t sceneCount() const;
    std::string sceneName(std::uint32_t id) const;
    std::optional<SceneData> scene(std::uint32_t id);

    /* Objects of all scenes share one id space */
    std::uint64_t objectCount() const;
    std::string objectName(std::uint64_t id) const;

    std::uint32_t image2DCount() const;
    std::string image2DName(std::uint32_t id) const;
    std::optional<ImageData2D> image2D(std::uint32_t id);

    std::uint32_t textureCount() const;
    std::string textureName(std::uint32_t id) const;
    std::optional<TextureData> texture(std::uint32_t id);

    std::uint32_t materialCount() const;
    std::string materialName(std::uint32_t id) const;
    std::optional<MaterialData> material(std::uint32_t id);

    /* Each mesh has one primitive; a file's mesh of several primitives gives several meshes
       of the same name */
    std::uint32_t meshCount() const;
    std::string meshName(std::uint32_t id) const;
    std::optional<MeshData> mesh(std::uint32_t id);

    std::uint32_t skin3DCount() const;
    std::string skin3DName(std::uint32_t id) const;
    std::optional<SkinData3D> skin3D(std::uint32_t id);

    std::uint32_t cameraCount() const;
    std::string cameraName(std::uint32_t id) const;
    std::optional<CameraData> camera(std::uint32_t id);

    std::uint32_t lightCount() const;
    std::string lightName(std::uint32_t id) const;
    std::optional<LightData> light(std::uint32_t id);

    /* Tracks target the importer's object ids */
    std::uint32_t animationCount() const;
    std::string animationName(std::uint32_t id) const;
    std::optional<AnimationData> animation(std::uint32_t id);

protected:
    AbstractImporter() = default;

private:
    virtual bool doIsOpened() const = 0;
    /* By default reads the file and hands its bytes to doOpenData() */
    virtual bool doOpenFile(const std::filesystem::path& filename);
    virtual bool doOpenData(std::span<const char> data) = 0;
    virtual void doClose() = 0;

    /* Everything below is called only with a file open and an index in range; counts are 0
       and the other functions unreachable unless a backend overrides them */
    virtual std::optional<std::uint32_t> doDefaultScene() const;
    virtual std::uint32_t doSceneCount() const;
    virtual std::string doSceneName(std::uint32_t id) const;
    virtual std::optional<SceneData> doScene(std::uint32_t id);
    virtual std::uint64_t doObjectCount() const;
    virtual std::string doObjectName(std::uint64_t id) const;
    virtual std::uint32_t doImage2DCount() const;
    virtual std::string doImage2DName(std::uint32_t id) const;
    virtual std::optional<ImageData2D> doImage2D(std::uint32_t id);
    virtual std::uint32_t doTextureCount() const;
    virtual std::string doTextureName(std::uint32_t id) const;
    virtual std::optional<TextureData> doTexture(std::uint32_t id);
    virtual std::uint32_t doMaterialCount() const;
    virtual std::string doMaterialName(std::uint32_t id) const;
    virtual std::optional<MaterialData> doMaterial(std::uint32_t id);
    virtual std::uint32_t doMeshCount() const;
    virtual std::string doMeshName(std::uint32_t id) const;
    virtual std::optional<MeshData> doMesh(std::uint32_t id);
    virtual std::uint32_t doSkin3DCount() const;
    virtual std::string doSkin3DName(std::uint32_t id) const;
    virtual std::optional<SkinData3D> doSkin3D(std::uint32_t id);
    virtual std::uint32_t doCameraCount() const;
    virtual std::string doCameraName(std::uint32_t id) const;
    virtual std::optional<CameraData> doCamera(std::uint32_t id);
    virtual std::uint32_t doLightCount() const;
    virtual std::string doLightName(std::uint32_t id) const;
    virtual std::optional<LightData> doLight(std::uint32_t id);
    virtual std::uint32_t doAnimationCount() const;
    virtual std::string doAnimationName(std::uint32_t id) const;
    virtual std::optional<AnimationData> doAnimation(std::uint32_t id);

    void checkOpened(const char* function) const;
    /* Checks that a file is open, then that id is below the count the backend gives */
    template<class Count>
    void checkIndex(const char* function, std::uint64_t id,
                    Count (AbstractImporter::*count)() const) const;
};

} // namespace ZarvikEngine::Trade

#endif
