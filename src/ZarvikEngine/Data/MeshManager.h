#ifndef ZarvikEngine_Data_MeshManager_h
#define ZarvikEngine_Data_MeshManager_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Data/GroupedComponentManager.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Data {

/* World scaling and material index of a component, as written every frame for upload */
struct ScalingPadded {
    Vector3 scaling;
    /* The component's material index */
    float material{};
    float padding[4]{};
};

/* The mesh components of a scene: the mesh, material, skin and morph-target set each draws
   (indices into the scene's records, 0 for none) and its morph-target weights. Components
   are kept sorted into groups, each split into subgroup 0 (static meshes) and subgroup 1
   (meshes with a skin or morph targets), so that a renderer walks one index range per group
   and subgroup. Every update copies the world transformation and scaling of each active
   component's object into per-component arrays in the same order, ready for upload.

   Block: as GroupedComponentManager<2>, with Header after the groups header, then the mesh,
   material, skin and morph-target columns (2 bytes per slot each), the weight ranges (4 bytes
   per slot) and the weight pool (Header::morphTargetWeightsCapacity floats). The weight ranges
   of different components never overlap; a component without weights has the range (0, 0). */
class MeshManager : public GroupedComponentManager<2> {
public:
    struct Header {
        /* Weights in use in the pool */
        std::uint32_t morphTargetWeightsCount;
        /* Floats in the pool */
        std::uint32_t morphTargetWeightsCapacity;
    };

    using WeightRange = Range<1, std::uint16_t>;

    MeshManager(unsigned short capacity, unsigned short groupCount);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit MeshManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes, Id maps, groups,
       and weight ranges that tile the used part of the pool. Returns the first problem, or
       nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    using GroupedComponentManager::allocate;
    /* Grows to capacity slots, groupCount groups and a pool of morphTargetWeightsCapacity
       floats; none of them shrinks */
    void allocate(unsigned short capacity, unsigned short groupCount,
                  std::uint32_t morphTargetWeightsCapacity);

    std::string_view name() const override { return "mesh"; }
    std::size_t componentDataSize(unsigned short capacity) const override;
    /* Everything but the mesh dirty bit; an active destination moves into the source's group */
    void copy(unsigned short source, unsigned short destination) override;
    /* Copies the world transformation and scaling of the component's object, or the identity
       for a skinned one (its skin carries the pose), and its material */
    void updateComponent(unsigned short index) override;

    std::uint16_t& mesh(unsigned short index) { return _meshes[index]; }
    std::uint16_t& mesh(Id id) { return mesh(toIndex(id)); }
    std::uint16_t& material(unsigned short index) { return _materials[index]; }
    std::uint16_t& material(Id id) { return material(toIndex(id)); }
    std::uint16_t skin(unsigned short index) const { return _skins[index]; }
    std::uint16_t skin(Id id) const { return skin(toIndex(id)); }
    std::uint16_t morphTargets(unsigned short index) const { return _morphTargets[index]; }
    std::uint16_t morphTargets(Id id) const { return morphTargets(toIndex(id)); }

    /* Store the value and move the component into the subgroup it now belongs to; return its
       new index */
    unsigned short setSkin(unsigned short index, std::uint16_t skin);
    unsigned short setSkin(Id id, std::uint16_t skin) { return setSkin(toIndex(id), skin); }
    unsigned short setMorphTargets(unsigned short index, std::uint16_t morphTargets);
    unsigned short setMorphTargets(Id id, std::uint16_t morphTargets) {
        return setMorphTargets(toIndex(id), morphTargets);
    }

    /* The component's slice of the weight pool */
    std::span<float> morphTargetWeights(unsigned short index);
    std::span<float> morphTargetWeights(Id id) { return morphTargetWeights(toIndex(id)); }
    std::span<const float> morphTargetWeights(unsigned short index) const;
    std::span<const float> morphTargetWeights(Id id) const {
        return morphTargetWeights(toIndex(id));
    }
    WeightRange morphTargetWeightsRange(unsigned short index) const { return _weightRanges[index]; }
    WeightRange morphTargetWeightsRange(Id id) const {
        return morphTargetWeightsRange(toIndex(id));
    }
    /* Resizes the component's slice, moving the slices behind it; new weights are zero. The
       pool grows to exactly the size needed when full. */
    void setMorphTargetWeightsCount(unsigned short index, std::size_t count);
    void setMorphTargetWeightsCount(Id id, std::size_t count) {
        setMorphTargetWeightsCount(toIndex(id), count);
    }
    void setMorphTargetWeights(unsigned short index, std::span<const float> weights);
    void setMorphTargetWeights(Id id, std::span<const float> weights) {
        setMorphTargetWeights(toIndex(id), weights);
    }
    /* The used part of the pool */
    std::span<const float> morphTargetWeightsData() const {
        return _weights.first(meshHeader().morphTargetWeightsCount);
    }

    /* Rotation and translation of the last update, the columns scaled by its scaling */
    Matrix4 absoluteTransformationAsMatrix(unsigned short index) const;
    Matrix4 absoluteTransformationAsMatrix(Id id) const {
        return absoluteTransformationAsMatrix(toIndex(id));
    }

    const Header& meshHeader() const { return extraHeader<Header>(); }

    /* Set by the host when a component's mesh must be uploaded again; false beyond the bits */
    bool isMeshDirty(unsigned short index) const { return _meshDirty.isSetSafe(index); }
    /* Also marks every group changed */
    void markMeshDirty(unsigned short index);

    /* A value and a flag the host keeps per component (a draw slot, a visibility flag, …):
       not interpreted here, but copied and kept with the component when it moves */
    std::uint32_t& userData(unsigned short index) { return _userData[index]; }
    bool userFlag(unsigned short index) const { return _userFlags[index]; }
    void setUserFlag(unsigned short index, bool value) { _userFlags.set(index, value); }

    /* Entries of all components of a group, both subgroups */
    std::span<std::uint16_t> meshes(unsigned short group) { return ofGroup(_meshes, group); }
    std::span<std::uint16_t> materials(unsigned short group) { return ofGroup(_materials, group); }
    std::span<DualQuaternion> transformations(unsigned short group) {
        return ofGroup(std::span{_transformations}, group);
    }
    std::span<ScalingPadded> scalings(unsigned short group) {
        return ofGroup(std::span{_scalings}, group);
    }

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doDelete(unsigned short index) override;
    void doAppend(const SparseArray& other) override;
    void doUpdate() override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doMove(unsigned short from, unsigned short to) override;

private:
    static std::size_t regionsSize(unsigned short capacity, unsigned short groupCount,
                                   std::uint32_t morphTargetWeightsCapacity);
    Header& mutableMeshHeader() { return mutableExtraHeader<Header>(); }
    /* Moves the component into subgroup 1 when it has a skin or morph targets, else into 0 */
    unsigned short updateSubgroup(unsigned short index);
    void updateTransformation(unsigned short index, const SceneGraph& sceneGraph);

    std::span<std::uint16_t> _meshes;
    std::span<std::uint16_t> _materials;
    std::span<std::uint16_t> _skins;
    std::span<std::uint16_t> _morphTargets;
    std::span<WeightRange> _weightRanges;
    std::span<float> _weights;
    std::vector<DualQuaternion> _transformations;
    std::vector<ScalingPadded> _scalings;
    std::vector<std::uint32_t> _userData;
    BitSet _userFlags;
    BitSet _meshDirty;
};

} // namespace ZarvikEngine::Data

#endif
