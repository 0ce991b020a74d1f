#ifndef ZarvikEngine_Tools_SceneChunk_h
#define ZarvikEngine_Tools_SceneChunk_h

/* The payload of the Scene chunk that zarvik import writes: the object hierarchy with local
   transforms and names, and what is attached to the objects. Objects are numbered in
   depth-first pre-order, which are the Ids that skins and animation targets of the same file
   use, so a parent always comes before its children. Meshes, skins and materials are indices
   among the file's chunks of their kind. Layout (little-endian):

     Header, 32 bytes: version (u32, 1), objectCount, meshCount, skinCount, cameraCount,
       lightCount, nameDataSize (all u32), reserved u32 0
     objectCount × 44 bytes: parent Id (u16, 0xffff under the scene root), padding u16,
       translation (3 × f32), rotation (x, y, z, w f32), scaling (3 × f32)
     meshCount × 12 bytes: object Id (u16), padding u16, mesh (u32), material (i32, -1 none)
     skinCount × 8 bytes: object Id (u16), padding u16, skin (u32)
     cameraCount × 32 bytes: object Id (u16), Trade::CameraType (u8), padding u8, horizontal
       fov in radians, aspect ratio, near, far, orthographic width and height (f32 each), 4
       zero bytes
     lightCount × 44 bytes: object Id (u16), Trade::LightType (u8), padding u8, color
       (3 × f32), intensity, range, constant, linear and quadratic attenuation, inner and outer
       cone angle in radians (f32 each)
     nameDataSize bytes: objectCount names, each followed by a zero byte, then zero padding to
       a multiple of four */

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/CameraData.h"
#include "ZarvikEngine/Trade/LightData.h"

namespace ZarvikEngine::Tool {

struct SceneObject {
    /* InvalidId under the scene root */
    Data::Id parent = Data::InvalidId;
    Vector3 translation{0.0f};
    Quaternion rotation;
    Vector3 scaling{1.0f};
    std::string name;
};

struct SceneMesh {
    Data::Id object;
    std::uint32_t mesh;
    std::int32_t material;
};

struct SceneSkin {
    Data::Id object;
    std::uint32_t skin;
};

struct SceneCamera {
    Data::Id object;
    Trade::CameraType type;
    float fov, aspectRatio, near, far;
    Vector2 size;
};

struct SceneLight {
    Data::Id object;
    Trade::LightType type;
    Color3 color;
    float intensity, range;
    Vector3 attenuation;
    float innerConeAngle, outerConeAngle;
};

struct Scene {
    std::vector<SceneObject> objects;
    std::vector<SceneMesh> meshes;
    std::vector<SceneSkin> skins;
    std::vector<SceneCamera> cameras;
    std::vector<SceneLight> lights;
};

/* The payload. At most 65535 objects, each parent before its children, names without zero
   bytes. */
std::vector<char> createSceneData(const Scene& scene);

/* The scene of a payload, or a message naming what is wrong with it: sizes, parents that
   don't come before their children, object Ids out of range, unterminated names */
struct SceneReadResult {
    std::optional<Scene> scene;
    std::string error;
};
SceneReadResult readSceneData(std::span<const char> payload);

} // namespace ZarvikEngine::Tool

#endif
