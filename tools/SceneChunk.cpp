#include "SceneChunk.h"

#include <cstring>

#include <fmt/format.h>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Tool {

namespace {

constexpr std::uint32_t Version = 1;

struct Header {
    std::uint32_t version, objectCount, meshCount, skinCount, cameraCount, lightCount, nameDataSize,
        reserved;
};
static_assert(sizeof(Header) == 32);

struct ObjectRecord {
    std::uint16_t parent, padding;
    float translation[3], rotation[4], scaling[3];
};
static_assert(sizeof(ObjectRecord) == 44);

struct MeshRecord {
    std::uint16_t object, padding;
    std::uint32_t mesh;
    std::int32_t material;
};
static_assert(sizeof(MeshRecord) == 12);

struct SkinRecord {
    std::uint16_t object, padding;
    std::uint32_t skin;
};
static_assert(sizeof(SkinRecord) == 8);

struct CameraRecord {
    std::uint16_t object;
    std::uint8_t type, padding;
    float fov, aspectRatio, near, far, size[2];
    std::uint32_t reserved;
};
static_assert(sizeof(CameraRecord) == 32);

struct LightRecord {
    std::uint16_t object;
    std::uint8_t type, padding;
    float color[3], intensity, range, attenuation[3], innerConeAngle, outerConeAngle;
};
static_assert(sizeof(LightRecord) == 44);

template<class T>
void append(std::vector<char>& data, const T& value) {
    const auto* bytes = reinterpret_cast<const char*>(&value);
    data.insert(data.end(), bytes, bytes + sizeof(T));
}

/* Reads records front to back, failing once something doesn't fit */
class Reader {
public:
    explicit Reader(std::span<const char> data) : _data{data} {}

    template<class T>
    bool read(std::size_t count, std::vector<T>& out) {
        if (count > (_data.size() - _offset) / sizeof(T))
            return false;
        out.resize(count);
        if (count) /* an empty vector's data() may be null */
            std::memcpy(out.data(), _data.data() + _offset, count * sizeof(T));
        _offset += count * sizeof(T);
        return true;
    }

    std::span<const char> rest() const { return _data.subspan(_offset); }

private:
    std::span<const char> _data;
    std::size_t _offset{};
};

} // namespace

std::vector<char> createSceneData(const Scene& scene) {
    ZE_ASSERT(scene.objects.size() <= 0xffff,
              "Tool::createSceneData(): too many objects," << scene.objects.size());
    std::string names;
    for (std::size_t i = 0; i != scene.objects.size(); ++i) {
        const SceneObject& object = scene.objects[i];
        ZE_ASSERT(object.parent == Data::InvalidId || std::size_t(object.parent) < i,
                  "Tool::createSceneData(): object" << i << "comes before its parent");
        ZE_ASSERT(object.name.find('\0') == std::string::npos,
                  "Tool::createSceneData(): the name of object" << i << "has a zero byte");
        names += object.name;
        names += '\0';
    }
    names.resize((names.size() + 3) / 4 * 4);

    std::vector<char> data;
    append(data,
           Header{Version, std::uint32_t(scene.objects.size()), std::uint32_t(scene.meshes.size()),
                  std::uint32_t(scene.skins.size()), std::uint32_t(scene.cameras.size()),
                  std::uint32_t(scene.lights.size()), std::uint32_t(names.size()), 0});
    for (const SceneObject& object : scene.objects) {
        const Quaternion& r = object.rotation;
        append(data,
               ObjectRecord{std::uint16_t(object.parent),
                            0,
                            {object.translation.x, object.translation.y, object.translation.z},
                            {r.x, r.y, r.z, r.w},
                            {object.scaling.x, object.scaling.y, object.scaling.z}});
    }
    for (const SceneMesh& mesh : scene.meshes)
        append(data, MeshRecord{std::uint16_t(mesh.object), 0, mesh.mesh, mesh.material});
    for (const SceneSkin& skin : scene.skins)
        append(data, SkinRecord{std::uint16_t(skin.object), 0, skin.skin});
    for (const SceneCamera& camera : scene.cameras)
        append(data, CameraRecord{std::uint16_t(camera.object),
                                  std::uint8_t(camera.type),
                                  0,
                                  camera.fov,
                                  camera.aspectRatio,
                                  camera.near,
                                  camera.far,
                                  {camera.size.x, camera.size.y},
                                  0});
    for (const SceneLight& light : scene.lights)
        append(data, LightRecord{std::uint16_t(light.object),
                                 std::uint8_t(light.type),
                                 0,
                                 {light.color.x, light.color.y, light.color.z},
                                 light.intensity,
                                 light.range,
                                 {light.attenuation.x, light.attenuation.y, light.attenuation.z},
                                 light.innerConeAngle,
                                 light.outerConeAngle});
    data.insert(data.end(), names.begin(), names.end());
    return data;
}

SceneReadResult readSceneData(std::span<const char> payload) {
    Reader reader{payload};
    std::vector<Header> header;
    if (!reader.read(1, header))
        return {std::nullopt,
                fmt::format("scene data of {} bytes is too short for its header", payload.size())};
    if (header[0].version != Version)
        return {std::nullopt, fmt::format("unknown scene data version {}", header[0].version)};
    if (header[0].objectCount > 0xffff)
        return {std::nullopt, fmt::format("{} objects are too many", header[0].objectCount)};

    std::vector<ObjectRecord> objects;
    std::vector<MeshRecord> meshes;
    std::vector<SkinRecord> skins;
    std::vector<CameraRecord> cameras;
    std::vector<LightRecord> lights;
    std::vector<char> names;
    if (!reader.read(header[0].objectCount, objects) || !reader.read(header[0].meshCount, meshes) ||
        !reader.read(header[0].skinCount, skins) || !reader.read(header[0].cameraCount, cameras) ||
        !reader.read(header[0].lightCount, lights) || !reader.read(header[0].nameDataSize, names))
        return {std::nullopt,
                fmt::format("scene data of {} bytes is too short for its counts", payload.size())};
    if (!reader.rest().empty())
        return {std::nullopt, fmt::format("{} bytes after the scene data", reader.rest().size())};

    const std::uint32_t objectCount = header[0].objectCount;
    auto badObject = [&](std::uint16_t object) { return object >= objectCount; };

    Scene scene;
    std::size_t nameOffset = 0;
    for (std::uint32_t i = 0; i != objectCount; ++i) {
        const ObjectRecord& record = objects[i];
        if (record.parent != 0xffff && record.parent >= i)
            return {std::nullopt,
                    fmt::format("object {} comes before its parent {}", i, record.parent)};
        const auto end = std::find(names.begin() + std::ptrdiff_t(nameOffset), names.end(), '\0');
        if (end == names.end())
            return {std::nullopt, fmt::format("the name of object {} isn't terminated", i)};
        SceneObject& object = scene.objects.emplace_back();
        object.parent = Data::Id(record.parent);
        object.translation = {record.translation[0], record.translation[1], record.translation[2]};
        object.rotation = quaternion({record.rotation[0], record.rotation[1], record.rotation[2]},
                                     record.rotation[3]);
        object.scaling = {record.scaling[0], record.scaling[1], record.scaling[2]};
        object.name.assign(names.begin() + std::ptrdiff_t(nameOffset), end);
        nameOffset = std::size_t(end - names.begin()) + 1;
    }
    for (const MeshRecord& record : meshes) {
        if (badObject(record.object))
            return {std::nullopt,
                    fmt::format("a mesh is drawn at object {} of {}", record.object, objectCount)};
        scene.meshes.push_back({Data::Id(record.object), record.mesh, record.material});
    }
    for (const SkinRecord& record : skins) {
        if (badObject(record.object))
            return {std::nullopt, fmt::format("a skin is attached to object {} of {}",
                                              record.object, objectCount)};
        scene.skins.push_back({Data::Id(record.object), record.skin});
    }
    for (const CameraRecord& record : cameras) {
        if (badObject(record.object) ||
            record.type > std::uint8_t(Trade::CameraType::Perspective3D))
            return {std::nullopt, fmt::format("a camera at object {} of type {} is invalid",
                                              record.object, record.type)};
        scene.cameras.push_back({Data::Id(record.object), Trade::CameraType(record.type),
                                 record.fov, record.aspectRatio, record.near, record.far,
                                 Vector2{record.size[0], record.size[1]}});
    }
    for (const LightRecord& record : lights) {
        if (badObject(record.object) || record.type > std::uint8_t(Trade::LightType::Spot))
            return {std::nullopt, fmt::format("a light at object {} of type {} is invalid",
                                              record.object, record.type)};
        scene.lights.push_back(
            {Data::Id(record.object), Trade::LightType(record.type),
             Color3{record.color[0], record.color[1], record.color[2]}, record.intensity,
             record.range,
             Vector3{record.attenuation[0], record.attenuation[1], record.attenuation[2]},
             record.innerConeAngle, record.outerConeAngle});
    }
    return {std::move(scene), {}};
}

} // namespace ZarvikEngine::Tool
