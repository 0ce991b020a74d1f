#ifndef ZarvikEngine_Tools_ImportedSceneCache_h
#define ZarvikEngine_Tools_ImportedSceneCache_h

/* The first stage of importing a scene file: everything the importer holds pulled out into
   owned arrays with a name per entry, so that later stages no longer need the importer, and
   the conversion of imported meshes into the engine's vertex layouts */

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Tools/MeshFormat.h"
#include "ZarvikEngine/Trade/AbstractImporter.h"

namespace ZarvikEngine {

/* The local transformation of one object */
struct ImportedTransform {
    std::uint32_t object{};
    Vector3 translation{0.0f};
    Quaternion rotation;
    /* Zero until filled */
    Vector3 scaling{0.0f};
};

/* An object and what is attached to it */
template<class T>
using ImportedAssignment = std::pair<std::uint32_t, T>;

class ImportedSceneCache {
public:
    ImportedSceneCache() = default;
    ImportedSceneCache(const ImportedSceneCache&) = delete;
    ImportedSceneCache(ImportedSceneCache&&) noexcept = default;
    ImportedSceneCache& operator=(const ImportedSceneCache&) = delete;
    ImportedSceneCache& operator=(ImportedSceneCache&&) noexcept = default;

    /* Loads every image, texture, material, mesh, skin, camera, light and animation of the
       importer with its name ("mesh_3" and the like for unnamed ones). An entry the importer
       fails to load stays empty. */
    void cacheResources(Trade::AbstractImporter& importer);

    /* Loads the default scene (else scene 0) into the scene part. Prints an error and
       returns false when there is none, it can't be loaded or it isn't 3D. */
    bool cacheScene(Trade::AbstractImporter& importer);

    /* Whether convertMesh() can take the mesh: triangles, a strip or a fan, with positions.
       Prints a warning when not. */
    static bool canConvertMesh(const Trade::MeshData& mesh);

    /* The mesh in the engine's vertex layout of flags (everything the mesh has when empty)
       with positions and normals: attributes converted to floats, normals and tangents
       generated where missing or unusable, attributes that can't be taken over dropped, each
       with a warning when name isn't empty. A mesh whose positions can't be taken is returned
       as it is. The mesh must own its data and be one that canConvertMesh() accepts. */
    static Trade::MeshData convertMesh(const Trade::MeshData& mesh, MeshDataFlags flags,
                                       std::string_view name);

    std::vector<std::optional<Trade::ImageData2D>> images;
    std::vector<std::string> imageNames;
    std::vector<std::optional<Trade::TextureData>> textures;
    std::vector<std::string> textureNames;
    std::vector<std::optional<Trade::MaterialData>> materials;
    std::vector<std::string> materialNames;
    std::vector<std::optional<Trade::MeshData>> meshes;
    std::vector<std::string> meshNames;
    std::vector<std::optional<Trade::SkinData3D>> skins;
    std::vector<std::string> skinNames;
    std::vector<std::optional<Trade::CameraData>> cameras;
    std::vector<std::optional<Trade::LightData>> lights;
    std::vector<std::optional<Trade::AnimationData>> animations;
    std::vector<std::string> animationNames;

    /* By object id */
    std::vector<std::string> objectNames;
    /* Object ids in depth-first pre-order of the hierarchy */
    std::vector<std::uint32_t> objectOrder;
    /* By object id: the parent, -1 for objects without one and those outside the scene */
    std::vector<std::int64_t> objectParents;
    /* Objects without a parent, in the scene's order */
    std::vector<std::uint32_t> rootChildren;
    /* Objects with a transformation */
    std::vector<ImportedTransform> transforms;
    /* A mesh and its material (-1 for none) per entry; an object can have several */
    std::vector<ImportedAssignment<std::pair<std::uint32_t, std::int32_t>>> meshMaterials;
    std::vector<ImportedAssignment<std::uint32_t>> skinAssignments;
    std::vector<ImportedAssignment<std::uint32_t>> cameraAssignments;
    std::vector<ImportedAssignment<std::uint32_t>> lightAssignments;
};

} // namespace ZarvikEngine

#endif
