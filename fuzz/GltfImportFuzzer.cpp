/* Feeds arbitrary bytes to the glTF importer as a .gltf or .glb opened from memory and loads
   every scene and resource it lists, touching the ends of what each hands out. An abort, a
   sanitizer report, a leak, a hang or a runaway allocation is a finding. */

#include <cstddef>
#include <cstdint>
#include <span>

#include "ZarvikEngine/Trade/GltfImporter.h"

namespace {

using namespace ZarvikEngine;
using namespace ZarvikEngine::Trade;

/* Touches bytes so that the sanitizers see the reads; the sum keeps them from being optimised
   away */
struct Reader {
    void read(std::span<const char> bytes) {
        if (!bytes.empty())
            sum += std::uint8_t(bytes.front()) + std::uint8_t(bytes.back());
    }
    void readEnds(const StridedArrayView2D<const char>& rows) {
        if (rows.empty())
            return;
        for (const std::size_t row : {std::size_t{0}, rows.size()[0] - 1})
            for (std::size_t i = 0; i != rows.size()[1]; ++i)
                sum += std::uint8_t(rows[row][i]);
    }
    template<class V>
    void sample(const AnimationData& animation, std::uint32_t id) {
        const Animation::TrackView<V> track = animation.track<V>(id);
        const Range1D duration = animation.duration();
        for (const float time : {duration.min() - 1.0f, duration.min(),
                                 0.5f * (duration.min() + duration.max()), duration.max()})
            sum += std::uint32_t(track.at(time).x != 0.0f);
    }

    unsigned sum = 0;
};

volatile unsigned sink;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Error silenceErrors{nullptr};
    Warning silenceWarnings{nullptr};
    GltfImporter importer;
    if (!importer.openData({reinterpret_cast<const char*>(data), size}))
        return 0;

    Reader reader;
    for (std::uint32_t i = 0; i != importer.sceneCount(); ++i)
        if (const std::optional<SceneData> scene = importer.scene(i))
            reader.sum += std::uint32_t(scene->parents().size() + scene->trs().size() +
                                        scene->meshesMaterials().size());
    for (std::uint64_t i = 0; i != importer.objectCount(); ++i)
        reader.sum += std::uint32_t(importer.objectName(i).size());
    for (std::uint32_t i = 0; i != importer.meshCount(); ++i)
        if (const std::optional<MeshData> mesh = importer.mesh(i)) {
            if (mesh->isIndexed())
                reader.readEnds(mesh->indices());
            for (std::uint32_t id = 0; id != mesh->attributeCount(); ++id)
                reader.readEnds(mesh->attribute(id));
        }
    for (std::uint32_t i = 0; i != importer.image2DCount(); ++i)
        if (const std::optional<ImageData2D> image = importer.image2D(i))
            reader.read(image->data());
    for (std::uint32_t i = 0; i != importer.textureCount(); ++i)
        if (const std::optional<TextureData> texture = importer.texture(i))
            reader.sum += texture->image();
    for (std::uint32_t i = 0; i != importer.materialCount(); ++i)
        if (const std::optional<MaterialData> material = importer.material(i))
            reader.sum += material->attributeCount();
    for (std::uint32_t i = 0; i != importer.skin3DCount(); ++i)
        if (const std::optional<SkinData3D> skin = importer.skin3D(i))
            reader.sum += std::uint32_t(skin->joints().size());
    for (std::uint32_t i = 0; i != importer.cameraCount(); ++i)
        if (const std::optional<CameraData> camera = importer.camera(i))
            reader.sum += std::uint32_t(camera->near() > 0.0f);
    for (std::uint32_t i = 0; i != importer.lightCount(); ++i)
        if (const std::optional<LightData> light = importer.light(i))
            reader.sum += std::uint32_t(light->type());
    for (std::uint32_t i = 0; i != importer.animationCount(); ++i)
        if (const std::optional<AnimationData> animation = importer.animation(i))
            for (std::uint32_t id = 0; id != animation->trackCount(); ++id) {
                if (animation->trackType(id) == AnimationTrackType::Quaternion)
                    reader.sample<Quaternion>(*animation, id);
                else
                    reader.sample<Vector3>(*animation, id);
            }
    sink = reader.sum;
    return 0;
}
