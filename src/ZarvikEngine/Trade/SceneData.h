#ifndef ZarvikEngine_Trade_SceneData_h
#define ZarvikEngine_Trade_SceneData_h

#include <cstdint>
#include <span>
#include <vector>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Trade {

/* What a scene stores about its objects. The numbering is the one asset tools exchange; zero
   is reserved as invalid. */
enum class SceneField : std::uint32_t {
    Parent = 1,
    Transformation,
    Translation,
    Rotation,
    Scaling,
    Mesh,
    MeshMaterial,
    Light,
    Camera,
    Skin,
};

/* "Trade::SceneField::Parent" or "Trade::SceneField(12)" */
Debug& operator<<(Debug& debug, SceneField value);

/* The parent of an object in the hierarchy, -1 for objects directly under the scene root */
struct SceneParent {
    std::uint64_t object;
    std::int64_t parent;
};

/* A transformation given as translation, rotation and scaling */
struct SceneTrs {
    std::uint64_t object;
    Vector3 translation;
    Quaternion rotation;
    Vector3 scaling{1.0f};
};

/* A transformation given as a matrix */
struct SceneMatrix {
    std::uint64_t object;
    Matrix4 transformation;
};

/* A mesh drawn at an object, with its material or -1 */
struct SceneMeshMaterial {
    std::uint64_t object;
    std::uint32_t mesh;
    std::int32_t material;
};

/* A skin, camera or light attached to an object, by its index among the importer's */
struct SceneAttachment {
    std::uint64_t object;
    std::uint32_t index;
};

/* The fields of a scene, each a list of per-object entries. An empty list is a field the
   scene doesn't have. */
struct SceneFields {
    std::vector<SceneParent> parents;
    std::vector<SceneTrs> trs;
    std::vector<SceneMatrix> matrices;
    std::vector<SceneMeshMaterial> meshesMaterials;
    std::vector<SceneAttachment> skins;
    std::vector<SceneAttachment> cameras;
    std::vector<SceneAttachment> lights;
};

/* One scene of an imported file: which objects it holds, in what hierarchy, where they are and
   what is attached to them. Objects are the importer's object ids. An object has at most one
   parent entry and at most one transformation, either TRS or a matrix. Move-only. */
class SceneData {
public:
    /* Every object id must be below mappingBound and every parent be -1 or an object with a
       parent entry of its own */
    SceneData(std::uint64_t mappingBound, bool is3D, SceneFields&& fields);

    SceneData(const SceneData&) = delete;
    SceneData(SceneData&&) noexcept = default;
    SceneData& operator=(const SceneData&) = delete;
    SceneData& operator=(SceneData&&) noexcept = default;

    /* Object ids are below this */
    std::uint64_t mappingBound() const { return _mappingBound; }
    bool is3D() const { return _is3D; }

    /* Whether the field has any entry; Translation, Rotation and Scaling go together */
    bool hasField(SceneField field) const;

    std::span<const SceneParent> parents() const { return _fields.parents; }
    std::span<const SceneTrs> trs() const { return _fields.trs; }
    std::span<const SceneMatrix> matrices() const { return _fields.matrices; }
    std::span<const SceneMeshMaterial> meshesMaterials() const { return _fields.meshesMaterials; }
    std::span<const SceneAttachment> skins() const { return _fields.skins; }
    std::span<const SceneAttachment> cameras() const { return _fields.cameras; }
    std::span<const SceneAttachment> lights() const { return _fields.lights; }

private:
    std::uint64_t _mappingBound;
    bool _is3D;
    SceneFields _fields;
};

} // namespace ZarvikEngine::Trade

#endif
