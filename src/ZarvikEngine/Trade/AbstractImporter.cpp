#include "ZarvikEngine/Trade/AbstractImporter.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace ZarvikEngine::Trade {

AbstractImporter::~AbstractImporter() = default;

void AbstractImporter::checkOpened(const char* function) const {
    ZE_ASSERT(doIsOpened(), "Trade::AbstractImporter::" << Debug::nospace << function
                                                        << Debug::nospace << "(): no file opened");
}

template<class Count>
void AbstractImporter::checkIndex(const char* function, std::uint64_t id,
                                  Count (AbstractImporter::*count)() const) const {
    checkOpened(function);
    const std::uint64_t entries = (this->*count)();
    ZE_ASSERT(id < entries, "Trade::AbstractImporter::"
                                << Debug::nospace << function << Debug::nospace << "(): index" << id
                                << "out of range for" << entries << "entries");
}

bool AbstractImporter::openFile(const std::filesystem::path& filename) {
    close();
    return doOpenFile(filename);
}

bool AbstractImporter::doOpenFile(const std::filesystem::path& filename) {
    std::ifstream file{filename, std::ios::binary};
    std::vector<char> data{std::istreambuf_iterator<char>{file}, {}};
    if (!file.is_open() || file.bad()) {
        Error{} << "Trade::AbstractImporter::openFile(): cannot read" << filename.string();
        return false;
    }
    return doOpenData(data);
}

bool AbstractImporter::openData(std::span<const char> data) {
    close();
    return doOpenData(data);
}

void AbstractImporter::close() {
    if (doIsOpened())
        doClose();
}

std::optional<std::uint32_t> AbstractImporter::defaultScene() const {
    checkOpened("defaultScene");
    return doDefaultScene();
}

std::optional<std::uint32_t> AbstractImporter::doDefaultScene() const {
    return std::nullopt;
}

std::uint32_t AbstractImporter::sceneCount() const {
    checkOpened("sceneCount");
    return doSceneCount();
}

std::uint32_t AbstractImporter::doSceneCount() const {
    return 0;
}

std::string AbstractImporter::sceneName(std::uint32_t id) const {
    checkIndex("sceneName", id, &AbstractImporter::doSceneCount);
    return doSceneName(id);
}

std::string AbstractImporter::doSceneName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<SceneData> AbstractImporter::scene(std::uint32_t id) {
    checkIndex("scene", id, &AbstractImporter::doSceneCount);
    return doScene(id);
}

std::optional<SceneData> AbstractImporter::doScene(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint64_t AbstractImporter::objectCount() const {
    checkOpened("objectCount");
    return doObjectCount();
}

std::uint64_t AbstractImporter::doObjectCount() const {
    return 0;
}

std::string AbstractImporter::objectName(std::uint64_t id) const {
    checkIndex("objectName", id, &AbstractImporter::doObjectCount);
    return doObjectName(id);
}

std::string AbstractImporter::doObjectName(std::uint64_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::image2DCount() const {
    checkOpened("image2DCount");
    return doImage2DCount();
}

std::uint32_t AbstractImporter::doImage2DCount() const {
    return 0;
}

std::string AbstractImporter::image2DName(std::uint32_t id) const {
    checkIndex("image2DName", id, &AbstractImporter::doImage2DCount);
    return doImage2DName(id);
}

std::string AbstractImporter::doImage2DName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<ImageData2D> AbstractImporter::image2D(std::uint32_t id) {
    checkIndex("image2D", id, &AbstractImporter::doImage2DCount);
    return doImage2D(id);
}

std::optional<ImageData2D> AbstractImporter::doImage2D(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::textureCount() const {
    checkOpened("textureCount");
    return doTextureCount();
}

std::uint32_t AbstractImporter::doTextureCount() const {
    return 0;
}

std::string AbstractImporter::textureName(std::uint32_t id) const {
    checkIndex("textureName", id, &AbstractImporter::doTextureCount);
    return doTextureName(id);
}

std::string AbstractImporter::doTextureName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<TextureData> AbstractImporter::texture(std::uint32_t id) {
    checkIndex("texture", id, &AbstractImporter::doTextureCount);
    return doTexture(id);
}

std::optional<TextureData> AbstractImporter::doTexture(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::materialCount() const {
    checkOpened("materialCount");
    return doMaterialCount();
}

std::uint32_t AbstractImporter::doMaterialCount() const {
    return 0;
}

std::string AbstractImporter::materialName(std::uint32_t id) const {
    checkIndex("materialName", id, &AbstractImporter::doMaterialCount);
    return doMaterialName(id);
}

std::string AbstractImporter::doMaterialName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<MaterialData> AbstractImporter::material(std::uint32_t id) {
    checkIndex("material", id, &AbstractImporter::doMaterialCount);
    return doMaterial(id);
}

std::optional<MaterialData> AbstractImporter::doMaterial(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::meshCount() const {
    checkOpened("meshCount");
    return doMeshCount();
}

std::uint32_t AbstractImporter::doMeshCount() const {
    return 0;
}

std::string AbstractImporter::meshName(std::uint32_t id) const {
    checkIndex("meshName", id, &AbstractImporter::doMeshCount);
    return doMeshName(id);
}

std::string AbstractImporter::doMeshName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<MeshData> AbstractImporter::mesh(std::uint32_t id) {
    checkIndex("mesh", id, &AbstractImporter::doMeshCount);
    return doMesh(id);
}

std::optional<MeshData> AbstractImporter::doMesh(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::skin3DCount() const {
    checkOpened("skin3DCount");
    return doSkin3DCount();
}

std::uint32_t AbstractImporter::doSkin3DCount() const {
    return 0;
}

std::string AbstractImporter::skin3DName(std::uint32_t id) const {
    checkIndex("skin3DName", id, &AbstractImporter::doSkin3DCount);
    return doSkin3DName(id);
}

std::string AbstractImporter::doSkin3DName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<SkinData3D> AbstractImporter::skin3D(std::uint32_t id) {
    checkIndex("skin3D", id, &AbstractImporter::doSkin3DCount);
    return doSkin3D(id);
}

std::optional<SkinData3D> AbstractImporter::doSkin3D(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::cameraCount() const {
    checkOpened("cameraCount");
    return doCameraCount();
}

std::uint32_t AbstractImporter::doCameraCount() const {
    return 0;
}

std::string AbstractImporter::cameraName(std::uint32_t id) const {
    checkIndex("cameraName", id, &AbstractImporter::doCameraCount);
    return doCameraName(id);
}

std::string AbstractImporter::doCameraName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<CameraData> AbstractImporter::camera(std::uint32_t id) {
    checkIndex("camera", id, &AbstractImporter::doCameraCount);
    return doCamera(id);
}

std::optional<CameraData> AbstractImporter::doCamera(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::lightCount() const {
    checkOpened("lightCount");
    return doLightCount();
}

std::uint32_t AbstractImporter::doLightCount() const {
    return 0;
}

std::string AbstractImporter::lightName(std::uint32_t id) const {
    checkIndex("lightName", id, &AbstractImporter::doLightCount);
    return doLightName(id);
}

std::string AbstractImporter::doLightName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<LightData> AbstractImporter::light(std::uint32_t id) {
    checkIndex("light", id, &AbstractImporter::doLightCount);
    return doLight(id);
}

std::optional<LightData> AbstractImporter::doLight(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::uint32_t AbstractImporter::animationCount() const {
    checkOpened("animationCount");
    return doAnimationCount();
}

std::uint32_t AbstractImporter::doAnimationCount() const {
    return 0;
}

std::string AbstractImporter::animationName(std::uint32_t id) const {
    checkIndex("animationName", id, &AbstractImporter::doAnimationCount);
    return doAnimationName(id);
}

std::string AbstractImporter::doAnimationName(std::uint32_t) const {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

std::optional<AnimationData> AbstractImporter::animation(std::uint32_t id) {
    checkIndex("animation", id, &AbstractImporter::doAnimationCount);
    return doAnimation(id);
}

std::optional<AnimationData> AbstractImporter::doAnimation(std::uint32_t) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

} // namespace ZarvikEngine::Trade
