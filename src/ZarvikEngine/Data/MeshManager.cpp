#include "ZarvikEngine/Data/MeshManager.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(MeshManager::Header) == 8, "the header is an exchange format");
static_assert(sizeof(MeshManager::WeightRange) == 4, "weight ranges are an exchange format");
static_assert(sizeof(ScalingPadded) == 32, "scalings are uploaded as they are");

namespace {
/* Weight ranges index the pool with 16 bits */
constexpr std::size_t MaxWeightCount = 65535;
} // namespace

MeshManager::MeshManager(unsigned short capacity, unsigned short groupCount)
    : GroupedComponentManager{sizeof(Header), groupCount} {
    allocate(capacity);
}

MeshManager::MeshManager(std::vector<char>&& block) : GroupedComponentManager{sizeof(Header)} {
    create(std::move(block));
}

void MeshManager::allocate(unsigned short capacity, unsigned short groupCount,
                           std::uint32_t morphTargetWeightsCapacity) {
    const std::uint32_t oldCapacity = meshHeader().morphTargetWeightsCapacity;
    ZE_ASSERT(morphTargetWeightsCapacity >= oldCapacity,
              "MeshManager::allocate(): Cannot shrink the morph target weight pool from"
                  << oldCapacity << "to" << morphTargetWeightsCapacity << "floats");
    mutableMeshHeader().morphTargetWeightsCapacity = morphTargetWeightsCapacity;
    GroupedComponentManager::allocate(capacity, groupCount);
}

std::size_t MeshManager::regionsSize(unsigned short capacity, unsigned short groupCount,
                                     std::uint32_t morphTargetWeightsCapacity) {
    /* Four 16-bit columns and the 4-byte weight ranges: 12 bytes per slot */
    return groupsDataSize(groupCount, capacity) + 12 * std::size_t(capacity) +
           sizeof(float) * std::size_t(morphTargetWeightsCapacity);
}

std::size_t MeshManager::componentDataSize(unsigned short capacity) const {
    return regionsSize(capacity, groupsCount(), meshHeader().morphTargetWeightsCapacity);
}

std::optional<std::string> MeshManager::validate(std::span<const char> data) {
    return validateBlock(
        "MeshManager", data, sizeof(GroupsHeader) + sizeof(Header),
        [](std::span<const char> data, unsigned short capacity) {
            return regionsSize(capacity, groupsCountOf(data),
                               Validation::read<Header>(data.data() + extraHeaderOffset())
                                   .morphTargetWeightsCapacity);
        },
        MeshManager{0, 1});
}

std::optional<std::string> MeshManager::validateRegions() const {
    if (auto problem = GroupedComponentManager::validateRegions())
        return problem;
    const std::size_t count = meshHeader().morphTargetWeightsCount;
    if (count > meshHeader().morphTargetWeightsCapacity)
        return fmt::format("{} morph target weights in a pool of {}", count,
                           meshHeader().morphTargetWeightsCapacity);

    /* Resizing a slice moves the ones behind it, which is only sound when the slices of the
       components tile the used pool and an empty one is (0, 0) */
    std::vector<WeightRange> slices;
    for (unsigned short index = 0; index != capacity(); ++index) {
        const WeightRange range = _weightRanges[index];
        const bool empty = range.min() == 0 && range.max() == 0;
        const bool inPool = range.min() < range.max() && range.max() <= count;
        if (!(empty || (index < size() && inPool)))
            return fmt::format("component index {} has morph target weights {} to {} of {}", index,
                               range.min(), range.max(), count);
        if (!empty)
            slices.push_back(range);
    }
    std::sort(slices.begin(), slices.end(),
              [](const WeightRange& a, const WeightRange& b) { return a.min() < b.min(); });
    std::size_t end = 0;
    for (const WeightRange& slice : slices) {
        if (slice.min() != end)
            return fmt::format("morph target weights {} to {} overlap or leave a gap", slice.min(),
                               slice.max());
        end = slice.max();
    }
    if (end != count)
        return fmt::format("the morph target weights of the components end at {}, not {}", end,
                           count);
    return {};
}

void MeshManager::doInit() {
    GroupedComponentManager::doInit();
    const std::size_t n = capacity();
    partition().reserveRegions(6);
    _meshes = partition().addRegion<std::uint16_t>(block(), n);
    _materials = partition().addRegion<std::uint16_t>(block(), n);
    _skins = partition().addRegion<std::uint16_t>(block(), n);
    _morphTargets = partition().addRegion<std::uint16_t>(block(), n);
    _weightRanges = partition().addAlignedRegion<WeightRange>(block(), n);
    _weights =
        partition().addAlignedRegion<float>(block(), meshHeader().morphTargetWeightsCapacity);

    /* Growth keeps what the runtime arrays hold; new transformations are identities */
    _transformations.resize(n);
    _scalings.resize(n);
    _userData.resize(n);
    _userFlags.resize(n);
    /* Marking may have grown the dirty bits beyond the capacity */
    if (_meshDirty.size() < n)
        _meshDirty.resize(n);
}

void MeshManager::copy(unsigned short source, unsigned short destination) {
    _transformations[destination] = _transformations[source];
    _scalings[destination] = _scalings[source];
    _meshes[destination] = _meshes[source];
    _materials[destination] = _materials[source];
    _skins[destination] = _skins[source];
    _morphTargets[destination] = _morphTargets[source];
    setMorphTargetWeights(destination, morphTargetWeights(source));
    _userData[destination] = _userData[source];
    _userFlags.set(destination, _userFlags[source]);
    /* Last, as it may move an active destination */
    GroupedComponentManager::copy(source, destination);
}

unsigned short MeshManager::updateSubgroup(unsigned short index) {
    const unsigned short wanted = _skins[index] || _morphTargets[index] ? 1 : 0;
    if (wanted == subgroup(index))
        return index;
    return setGroup(index, group(index), wanted);
}

unsigned short MeshManager::setSkin(unsigned short index, std::uint16_t skin) {
    if (_skins[index] == skin)
        return index;
    _skins[index] = skin;
    return updateSubgroup(index);
}

unsigned short MeshManager::setMorphTargets(unsigned short index, std::uint16_t morphTargets) {
    if (_morphTargets[index] == morphTargets)
        return index;
    _morphTargets[index] = morphTargets;
    return updateSubgroup(index);
}

std::span<float> MeshManager::morphTargetWeights(unsigned short index) {
    const WeightRange range = _weightRanges[index];
    return _weights.subspan(range.min(), range.size());
}

std::span<const float> MeshManager::morphTargetWeights(unsigned short index) const {
    const WeightRange range = _weightRanges[index];
    return _weights.subspan(range.min(), range.size());
}

void MeshManager::setMorphTargetWeightsCount(unsigned short index, std::size_t count) {
    const WeightRange range = _weightRanges[index];
    const std::ptrdiff_t delta = std::ptrdiff_t(count) - range.size();
    if (!delta)
        return;

    const std::size_t oldCount = meshHeader().morphTargetWeightsCount;
    const std::size_t newCount = oldCount + delta;
    ZE_ASSERT(newCount <= MaxWeightCount,
              "MeshManager::setMorphTargetWeightsCount(): Can't have more than"
                  << MaxWeightCount << "morph target weights, got" << newCount);
    mutableMeshHeader().morphTargetWeightsCount = std::uint32_t(newCount);
    if (newCount > meshHeader().morphTargetWeightsCapacity)
        allocate(capacity(), groupsCount(), std::uint32_t(newCount));

    /* A component without weights gets its slice at the end of the pool */
    if (range.size() == 0) {
        _weightRanges[index] = {std::uint16_t(oldCount), std::uint16_t(newCount)};
        std::fill_n(_weights.begin() + oldCount, count, 0.0f);
        return;
    }

    /* The slices behind this one move along, the pool staying without gaps */
    const std::size_t end = range.max();
    std::memmove(_weights.data() + end + delta, _weights.data() + end,
                 (oldCount - end) * sizeof(float));
    if (delta > 0)
        std::fill_n(_weights.begin() + end, delta, 0.0f);
    for (std::size_t k = 0; k != _weightRanges.size(); ++k) {
        WeightRange& other = _weightRanges[k];
        if (k != index && other.min() > range.min()) {
            other.min() = std::uint16_t(other.min() + delta);
            other.max() = std::uint16_t(other.max() + delta);
        }
    }
    _weightRanges[index] =
        count ? WeightRange{range.min(), std::uint16_t(end + delta)} : WeightRange{};
}

void MeshManager::setMorphTargetWeights(unsigned short index, std::span<const float> weights) {
    /* Weights taken from the pool itself would move while it is rearranged */
    const std::less<const float*> before;
    if (!before(weights.data(), _weights.data()) &&
        before(weights.data(), _weights.data() + _weights.size())) {
        const std::vector<float> copied{weights.begin(), weights.end()};
        return setMorphTargetWeights(index, copied);
    }
    setMorphTargetWeightsCount(index, weights.size());
    std::copy(weights.begin(), weights.end(), morphTargetWeights(index).begin());
}

Matrix4 MeshManager::absoluteTransformationAsMatrix(unsigned short index) const {
    return scaledMatrix(_transformations[index], _scalings[index].scaling);
}

void MeshManager::markMeshDirty(unsigned short index) {
    _meshDirty.setSafe(index);
    changedGroups().setAll();
}

void MeshManager::updateTransformation(unsigned short index, const SceneGraph& sceneGraph) {
    if (_skins[index]) {
        _transformations[index] = DualQuaternion{};
        _scalings[index].scaling = Vector3{1.0f};
    } else {
        const unsigned short object = sceneGraph.toIndex(this->object(index));
        _transformations[index] = sceneGraph.absoluteTransformation(object);
        _scalings[index].scaling = sceneGraph.absoluteScaling(object);
    }
    _scalings[index].material = float(_materials[index]);
}

void MeshManager::updateComponent(unsigned short index) {
    ZE_ASSERT(sceneGraph(), "MeshManager::update(): Manager is not registered in a scene graph");
    updateTransformation(index, *sceneGraph());
}

void MeshManager::doUpdate() {
    ZE_ASSERT(sceneGraph(), "MeshManager::update(): Manager is not registered in a scene graph");
    /* Active components are the groups' ranges, one after another */
    const SceneGraph& graph = *sceneGraph();
    for (unsigned short index = 0; index != activeCount(); ++index)
        updateTransformation(index, graph);
}

void MeshManager::doDelete(unsigned short index) {
    GroupedComponentManager::doDelete(index);
    _skins[index] = 0;
    _morphTargets[index] = 0;
    setMorphTargetWeightsCount(index, 0);
    _meshes[index] = 0;
    _materials[index] = 0;
    /* The slot's next component starts clean */
    _userData[index] = 0;
    _userFlags.unset(index);
    _meshDirty.unset(index);
}

void MeshManager::doAppend(const SparseArray& other) {
    GroupedComponentManager::doAppend(other);
    /* Managers are matched by name, so the other one is a mesh manager too */
    const auto& meshes = static_cast<const MeshManager&>(other);
    const unsigned short begin = size();

    /* Grown once for all appended weights */
    std::size_t weightCount = meshHeader().morphTargetWeightsCount;
    for (unsigned short i = 0; i != meshes.size(); ++i)
        weightCount += meshes._weightRanges[i].size();
    if (weightCount > meshHeader().morphTargetWeightsCapacity)
        allocate(capacity(), groupsCount(), std::uint32_t(weightCount));

    for (unsigned short i = 0; i != meshes.size(); ++i) {
        const unsigned short k = begin + i;
        _meshes[k] = meshes._meshes[i];
        _materials[k] = meshes._materials[i];
        _skins[k] = meshes._skins[i];
        _morphTargets[k] = meshes._morphTargets[i];
        setMorphTargetWeights(k, meshes.morphTargetWeights(i));
    }
}

void MeshManager::doSwap(unsigned short a, unsigned short b) {
    GroupedComponentManager::doSwap(a, b);
    std::swap(_meshes[a], _meshes[b]);
    std::swap(_materials[a], _materials[b]);
    std::swap(_skins[a], _skins[b]);
    std::swap(_morphTargets[a], _morphTargets[b]);
    std::swap(_weightRanges[a], _weightRanges[b]);
    std::swap(_transformations[a], _transformations[b]);
    std::swap(_scalings[a], _scalings[b]);
    std::swap(_userData[a], _userData[b]);
    _userFlags.swap(a, b);
    _meshDirty.swap(a, b);
}

void MeshManager::doMove(unsigned short from, unsigned short to) {
    Utils::moveDataRange(_meshes, from, 1, to);
    Utils::moveDataRange(_materials, from, 1, to);
    Utils::moveDataRange(_skins, from, 1, to);
    Utils::moveDataRange(_morphTargets, from, 1, to);
    Utils::moveDataRange(_weightRanges, from, 1, to);
    Utils::moveDataRange(std::span{_transformations}, from, 1, to);
    Utils::moveDataRange(std::span{_scalings}, from, 1, to);
    Utils::moveDataRange(std::span{_userData}, from, 1, to);
    moveBit(_userFlags, from, to);
    moveBit(_meshDirty, from, to);
}

} // namespace ZarvikEngine::Data
