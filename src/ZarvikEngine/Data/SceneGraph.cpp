#include "ZarvikEngine/Data/SceneGraph.h"

#include <algorithm>
#include <cstring>

#include <immintrin.h>

#include <fmt/format.h>

#include "ZarvikEngine/Data/ComponentManager.h"

namespace ZarvikEngine::Data {

namespace {

constexpr std::size_t HeaderSize = sizeof(SceneGraph::Header);
constexpr std::uint16_t DeletedIndex = InvalidIndex;
/* Free slots left by growth on the fly */
constexpr unsigned short OnTheFlyGrowth = 64;

std::size_t dirtyWordCount(std::size_t objectCapacity) {
    return (objectCapacity + 31) / 32;
}

/* One offset per Id plus the end, padded to an even count so the region stays 4-byte sized */
std::size_t componentOffsetCount(std::size_t objectCapacity) {
    return (objectCapacity + 2) & ~std::size_t{1};
}

template<class T>
void swapElements(std::span<T> data, std::size_t a, std::size_t b) {
    char element[sizeof(T)];
    char* bytes = reinterpret_cast<char*>(data.data());
    std::memcpy(element, bytes + a * sizeof(T), sizeof(T));
    std::memcpy(bytes + a * sizeof(T), bytes + b * sizeof(T), sizeof(T));
    std::memcpy(bytes + b * sizeof(T), element, sizeof(T));
}

/* A local scaling in lanes x, y, z of a register, read with the 4 bytes after it: those lie
   inside the block, as the local scalings are followed by the world scalings */
[[gnu::always_inline]] inline __m128 loadLocalScaling(const Vector3& scaling) {
    return _mm_loadu_ps(&scaling.x);
}

/* A world scaling in lanes x, y, z, lane w zero, read in the 8 and 4 bytes it is written in,
   so that a child right after its parent gets the values forwarded from the stores */
[[gnu::always_inline]] inline __m128 loadWorldScaling(const Vector3& scaling) {
    const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&scaling.x));
    return _mm_movelh_ps(xy, _mm_load_ss(&scaling.z));
}

/* x and y, then z: lane w would overwrite the next object's scaling */
[[gnu::always_inline]] inline void storeWorldScaling(Vector3& scaling, __m128 value) {
    _mm_storel_pi(reinterpret_cast<__m64*>(&scaling.x), value);
    _mm_store_ss(&scaling.z, _mm_movehl_ps(value, value));
}

/* The scaling, or exactly one when it is one under the fuzzy comparison, so that a parent
   whose scaling is one within the epsilon leaves its children's translations and scalings
   alone. A difference above 2.00002e-5 fails the relative test near one, so only scalings
   within 3e-5 of one but not equal to it need the full comparison. Lane w is zero. */
[[gnu::always_inline]] inline __m128 scalingOrOne(__m128 scaling) {
    /* In SSE registers: scalar absolute values and comparisons compile to branches that the
       mix of scalings in a scene makes unpredictable */
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 difference = _mm_andnot_ps(_mm_set1_ps(-0.0f), _mm_sub_ps(scaling, one));
    const unsigned near = _mm_movemask_ps(_mm_cmple_ps(difference, _mm_set1_ps(3.0e-5f))) & 7;
    const unsigned exact = _mm_movemask_ps(_mm_cmpeq_ps(difference, _mm_setzero_ps())) & 7;
    /* All lanes near and not all exact, as one comparison so that it stays one branch */
    if ((near << 3 | exact) - 0x38u < 0x7u) [[unlikely]] {
        float lanes[4];
        _mm_storeu_ps(lanes, scaling);
        if (fuzzyEqual(Vector3{lanes[0], lanes[1], lanes[2]}, Vector3{1.0f}))
            return _mm_set_ps(0.0f, 1.0f, 1.0f, 1.0f);
    }
    return scaling;
}

bool namesEqual(const char* storedName, const char* name) {
    return std::strncmp(storedName, name, 12) == 0;
}

} // namespace

std::size_t SceneGraph::dataSize(unsigned short objectCapacity,
                                 unsigned short componentManagerCount,
                                 unsigned short componentCapacity) {
    const std::size_t n = objectCapacity;
    return HeaderSize + 12 * std::size_t(componentManagerCount) + 100 * n + 4 * dirtyWordCount(n) +
           2 * componentOffsetCount(n) + 3 * std::size_t(componentCapacity);
}

SceneGraph::SceneGraph(unsigned short objectCapacity, unsigned short componentManagerCount,
                       unsigned short componentCapacity) {
    ZE_ASSERT(objectCapacity >= 1,
              "SceneGraph::SceneGraph(): the object capacity must hold at least the root");
    _data.assign(dataSize(objectCapacity, componentManagerCount, componentCapacity), 0);
    Header& header = *reinterpret_cast<Header*>(_data.data());
    header.objectCount = 1;
    header.componentManagerCount = componentManagerCount;
    header.unusedObjectCapacity = objectCapacity - 1;
    header.unusedComponentCapacity = componentCapacity;
    _componentManagers.assign(componentManagerCount, nullptr);
    init();
    setObjectDefaults(0, objectCapacity);
}

SceneGraph::SceneGraph(std::vector<char>&& data) : _data{std::move(data)} {
    init();
    _componentManagers.assign(header().componentManagerCount, nullptr);
    if (header().objectCount > 1)
        _changed.setRange(1, header().objectCount - 1);
}

SceneGraph::~SceneGraph() {
    for (ComponentManager* manager : _componentManagers)
        if (manager)
            manager->_sceneGraph = nullptr;
}

const SceneGraph::Header& SceneGraph::header() const {
    ZE_ASSERT(_data.size() >= HeaderSize, "SceneGraph::header(): Header not initialized.");
    return *reinterpret_cast<const Header*>(_data.data());
}

SceneGraph::Header& SceneGraph::mutableHeader() {
    return const_cast<Header&>(header());
}

void SceneGraph::init() {
    const Header& header = this->header();
    ZE_ASSERT(reinterpret_cast<std::uintptr_t>(_data.data()) % 4 == 0,
              "SceneGraph::init(): scenegraph data is not 4 byte aligned.");
    const std::size_t n = std::size_t(header.objectCount) + header.unusedObjectCapacity;
    const std::size_t k = std::size_t(header.componentCount) + header.unusedComponentCapacity;

    const std::span<char> block{_data.data() + HeaderSize, _data.size() - HeaderSize};
    _partition = Utils::MemoryPartition{12};
    _componentManagerNames =
        _partition.addRegion<char>(block, 12 * std::size_t(header.componentManagerCount));
    _objectData = _partition.addAlignedRegion<ObjectData>(block, n);
    _idToIndex = _partition.addRegion<std::uint16_t>(block, n);
    _indexToId = _partition.addRegion<Id>(block, n);
    const std::span<unsigned int> dirtyWords =
        _partition.addAlignedRegion<unsigned int>(block, dirtyWordCount(n));
    _dirty = BitSetView{dirtyWords, dirtyWords.size() * 32};
    _localTransformations = _partition.addAlignedRegion<DualQuaternion>(block, n);
    _absoluteTransformations = _partition.addAlignedRegion<DualQuaternion>(block, n);
    _localScalings = _partition.addAlignedRegion<Vector3>(block, n);
    _absoluteScalings = _partition.addAlignedRegion<Vector3>(block, n);
    _componentsOffsets = _partition.addAlignedRegion<std::uint16_t>(block, componentOffsetCount(n));
    _components = _partition.addAlignedRegion<Id>(block, k);
    _componentTypes = _partition.addRegion<std::uint8_t>(block, k);

    _changed = BitSet{n};

    Debug{} << "Create scenegraph with" << header.objectCount << "/" << n << "objects,"
            << _data.size() << "bytes";
}

void SceneGraph::setObjectDefaults(std::size_t first, std::size_t end) {
    std::fill(_localTransformations.begin() + first, _localTransformations.begin() + end,
              DualQuaternion{});
    std::fill(_absoluteTransformations.begin() + first, _absoluteTransformations.begin() + end,
              DualQuaternion{});
    std::fill(_localScalings.begin() + first, _localScalings.begin() + end, Vector3{1.0f});
    std::fill(_absoluteScalings.begin() + first, _absoluteScalings.begin() + end, Vector3{1.0f});
}

void SceneGraph::reallocateCapacity(unsigned short freeObjects, unsigned short freeComponents) {
    const Header& header = this->header();
    if (freeObjects == header.unusedObjectCapacity &&
        freeComponents == header.unusedComponentCapacity)
        return;
    ZE_ASSERT(freeObjects >= header.unusedObjectCapacity,
              "SceneGraph::reallocateCapacity(): shrinking memory is not implemented");
    ZE_ASSERT(freeComponents >= header.unusedComponentCapacity,
              "SceneGraph::reallocateCapacity(): shrinking memory for components is not "
              "implemented");
    const std::size_t newObjectCapacity = std::size_t(header.objectCount) + freeObjects;
    const std::size_t newComponentCapacity = std::size_t(header.componentCount) + freeComponents;
    ZE_ASSERT(newObjectCapacity <= MaxCapacity, "SceneGraph::reallocateCapacity(): can't hold"
                                                    << newObjectCapacity << "objects, the limit is"
                                                    << MaxCapacity);
    ZE_ASSERT(newComponentCapacity <= MaxCapacity,
              "SceneGraph::reallocateCapacity(): can't hold"
                  << newComponentCapacity << "components, the limit is" << MaxCapacity);

    const std::size_t oldObjectCapacity = capacity();
    const Utils::MemoryPartition oldPartition = _partition;
    _data.resize(dataSize((unsigned short)newObjectCapacity, header.componentManagerCount,
                          (unsigned short)newComponentCapacity));
    Header& grown = mutableHeader();
    grown.unusedObjectCapacity = freeObjects;
    grown.unusedComponentCapacity = freeComponents;
    init();
    Utils::moveRegions(oldPartition, _partition,
                       std::span<char>{_data.data() + HeaderSize, _data.size() - HeaderSize});

    setObjectDefaults(oldObjectCapacity, newObjectCapacity);
    std::fill(_componentsOffsets.begin() + oldObjectCapacity, _componentsOffsets.end(),
              grown.componentCount);
}

void SceneGraph::ensureAdditionalCapacityOf(unsigned short objects, unsigned short components,
                                            unsigned short minimumGrowth) {
    const Header& header = this->header();
    const std::size_t missingObjects =
        objects > header.unusedObjectCapacity ? objects - header.unusedObjectCapacity : 0;
    const std::size_t missingComponents = components > header.unusedComponentCapacity
                                              ? components - header.unusedComponentCapacity
                                              : 0;
    if (!missingObjects && !missingComponents)
        return;

    /* What is asked for must fit; the extra growth stops at the 16-bit limit */
    const std::size_t objectRoom = MaxCapacity - header.objectCount;
    const std::size_t componentRoom = MaxCapacity - header.componentCount;
    const std::size_t freeObjects = missingObjects + header.unusedObjectCapacity;
    const std::size_t freeComponents = missingComponents + header.unusedComponentCapacity;
    ZE_ASSERT(freeObjects <= objectRoom, "SceneGraph::ensureAdditionalCapacityOf(): can't hold"
                                             << header.objectCount + freeObjects
                                             << "objects, the limit is" << MaxCapacity);
    ZE_ASSERT(freeComponents <= componentRoom,
              "SceneGraph::ensureAdditionalCapacityOf(): can't hold"
                  << header.componentCount + freeComponents << "components, the limit is"
                  << MaxCapacity);
    reallocateCapacity(
        (unsigned short)std::max(freeObjects, std::min<std::size_t>(minimumGrowth, objectRoom)),
        (unsigned short)std::max(freeComponents,
                                 std::min<std::size_t>(minimumGrowth, componentRoom)));
}

Utils::IndexRange<unsigned short> SceneGraph::subtree(unsigned short index) const {
    const unsigned short descendants = _objectData[index].descendantCount;
    if (!descendants)
        return {};
    return {(unsigned short)(index + 1), (unsigned short)(index + 1 + descendants)};
}

Id SceneGraph::addObjectUnsafe(unsigned short parentIndex) {
    Header& header = mutableHeader();
    ZE_ASSERT(header.objectCount != 0,
              "SceneGraph::addObjectUnsafe(): There should always be a scene root");
    ZE_ASSERT(header.unusedObjectCapacity != 0,
              "SceneGraph::addObjectUnsafe(): capacity exhausted");
    --header.unusedObjectCapacity;
    const unsigned short index = header.objectCount++;

    /* Also for a slot never used, whose record a block from outside may have left filled */
    _objectData[index] = {};
    Id id = _indexToId[index];
    if (id != Id(0)) {
        /* A slot freed by a deletion gives back its old Id */
        _idToIndex[std::size_t(id)] = index;
        _localTransformations[index] = DualQuaternion{};
        _localScalings[index] = Vector3{1.0f};
        _dirty.set(index);
        _changed.set(index);
    } else {
        id = Id(index);
        _idToIndex[index] = index;
        _indexToId[index] = id;
        if (parentIndex != 0)
            _dirty.set(index);
        _changed.set(index);
    }

    _componentsOffsets[std::size_t(id)] = _componentsOffsets[std::size_t(id) + 1];

    _objectData[index].parent = parentIndex;
    ++_objectData[parentIndex].childCount;
    for (unsigned short ancestor = parentIndex;; ancestor = _objectData[ancestor].parent) {
        ++_objectData[ancestor].descendantCount;
        if (ancestor == 0)
            break;
    }

    _pendingDeletion.unsetSafe(std::size_t(id));
    return id;
}

Id SceneGraph::addObject(Id parent) {
    if (header().unusedObjectCapacity == 0) {
        const unsigned short growth = (unsigned short)std::min<std::size_t>(
            OnTheFlyGrowth, MaxCapacity - header().objectCount);
        ZE_ASSERT(growth,
                  "SceneGraph::addObject(): can't hold more than" << MaxCapacity << "objects");
        Warning{} << "SceneGraph::addObject(): on the fly allocation was required";
        reallocateCapacity(growth, header().unusedComponentCapacity);
    }
    ZE_ASSERT(isValid(parent), "SceneGraph::addObject(): parent was not valid");
    const unsigned short parentIndex = toIndex(parent);

    const Id id = addObjectUnsafe(parentIndex);
    const unsigned short last = header().objectCount - 1;
    const unsigned short target = parentIndex + _objectData[parentIndex].descendantCount;
    if (target < last) {
        /* Same result as swapping the new object down one place at a time */
        Utils::moveDataRange(_objectData, last, 1, target);
        Utils::moveDataRange(_localTransformations, last, 1, target);
        Utils::moveDataRange(_absoluteTransformations, last, 1, target);
        Utils::moveDataRange(_localScalings, last, 1, target);
        Utils::moveDataRange(_absoluteScalings, last, 1, target);
        Utils::moveDataRange(_indexToId, last, 1, target);
        moveBit(_dirty, last, target);
        moveBit(_changed, last, target);
        for (unsigned short j = target; j <= last; ++j)
            _idToIndex[std::size_t(_indexToId[j])] = j;
        for (unsigned short j = target; j <= last; ++j)
            if (_objectData[j].parent >= target)
                ++_objectData[j].parent;
    }
    return id;
}

void SceneGraph::swap(unsigned short a, unsigned short b) {
    ZE_ASSERT(a != 0 && b != 0, "SceneGraph::swap(): Root should never be swapped");
    swapElements(_objectData, a, b);
    swapElements(_localTransformations, a, b);
    swapElements(_absoluteTransformations, a, b);
    swapElements(_localScalings, a, b);
    swapElements(_absoluteScalings, a, b);
    std::swap(_idToIndex[std::size_t(_indexToId[a])], _idToIndex[std::size_t(_indexToId[b])]);
    std::swap(_indexToId[a], _indexToId[b]);
    _dirty.swap(a, b);
    _changed.swap(a, b);
}

void SceneGraph::moveObjectIndexRange(unsigned short begin, unsigned short count,
                                      unsigned short target) {
    ZE_ASSERT(begin != 0 && target != 0, "SceneGraph::moveObjectIndexRange(): Cannot move root");
    Utils::moveDataRange(_objectData, begin, count, target);
    Utils::moveDataRange(_localTransformations, begin, count, target);
    Utils::moveDataRange(_localScalings, begin, count, target);
    Utils::moveDataRange(_indexToId, begin, count, target);

    const std::size_t first = begin < target ? begin : target;
    const std::size_t end = begin < target ? target : std::size_t(begin) + count;
    for (std::size_t j = first; j != end; ++j)
        _idToIndex[std::size_t(_indexToId[j])] = (unsigned short)j;
    _dirty.setRange(first, end);
    _changed.setRange(first, end);
}

void SceneGraph::rebuildParents(unsigned short from) {
    const unsigned short count = header().objectCount;
    for (std::size_t q = from; q < count; ++q) {
        const std::size_t last = q + _objectData[q].descendantCount;
        for (std::size_t x = q + 1; x <= last; x += std::size_t(_objectData[x].descendantCount) + 1)
            _objectData[x].parent = (unsigned short)q;
    }
}

void SceneGraph::reparent(Id object, Id newParent) {
    const unsigned short index = toIndex(object);
    const unsigned short size = _objectData[index].descendantCount + 1;
    const unsigned short oldParent = _objectData[index].parent;
    const unsigned short parentIndex = toIndex(newParent);
    const unsigned short target = parentIndex + 1 + _objectData[parentIndex].descendantCount;

    /* Both walks stop at the lowest common ancestor, whose count doesn't change */
    --_objectData[oldParent].childCount;
    for (unsigned short current = oldParent; current != parentIndex;) {
        ObjectData& data = _objectData[current];
        if (current < parentIndex && parentIndex <= current + data.descendantCount)
            break;
        data.descendantCount -= size;
        current = data.parent;
    }
    ++_objectData[parentIndex].childCount;
    for (unsigned short current = parentIndex; current != oldParent;) {
        ObjectData& data = _objectData[current];
        if (current < oldParent && oldParent <= current + data.descendantCount)
            break;
        data.descendantCount += size;
        current = data.parent;
    }

    moveObjectIndexRange(index, size, target);
    rebuildParents(std::min(target, index));
    _objectData[toIndex(object)].parent = toIndex(newParent);
}

void SceneGraph::deleteObjects(Id id) {
    ZE_ASSERT(id != Id(0), "Deleting root is forbidden");
    if (pendingDeletion(id))
        return;
    ZE_ASSERT(std::size_t(id) < _idToIndex.size() && toIndex(id) != DeletedIndex,
              "Deleting already deleted object");
    unsigned short index = toIndex(id);
    const Id parentId = toId(_objectData[index].parent);
    const unsigned short count = _objectData[index].descendantCount + 1;

    /* Marked first: deletions that callbacks start inside the subtree return at once */
    for (unsigned short j = 0; j != count; ++j)
        _pendingDeletion.setSafe(std::size_t(_indexToId[index + j]));

    for (unsigned short j = 0; j != count; ++j) {
        const Id object = _indexToId[toIndex(id) + j];
        while (const unsigned short components = componentCount(object)) {
            const std::size_t last = _componentsOffsets[std::size_t(object)] + components - 1;
            const Id component = _components[last];
            const unsigned short managerIndex = _componentTypes[last];
            if (ComponentManager* manager = _componentManagers[managerIndex])
                manager->deleteComponent(manager->toIndex(component));
            removeComponent(object, managerIndex, component);
            if (onComponentDeleted)
                onComponentDeleted(managerIndex, component);
            /* A callback deleted an ancestor, which took this subtree with it */
            if (pendingDeletion(parentId))
                return;
        }
    }

    index = toIndex(id);
    if (onObjectsDeleted)
        onObjectsDeleted(_indexToId.subspan(index, count));

    const unsigned short parentIndex = _objectData[index].parent;
    --_objectData[parentIndex].childCount;
    for (unsigned short ancestor = parentIndex;; ancestor = _objectData[ancestor].parent) {
        _objectData[ancestor].descendantCount -= count;
        if (ancestor == 0)
            break;
    }

    Header& header = mutableHeader();
    moveObjectIndexRange(index, count, header.objectCount);
    for (std::size_t j = header.objectCount - count; j != header.objectCount; ++j)
        _idToIndex[std::size_t(_indexToId[j])] = DeletedIndex;
    header.objectCount -= count;
    header.unusedObjectCapacity += count;
    rebuildParents(index);
}

void SceneGraph::clearSafe() {
    while (_objectData[0].childCount)
        deleteObjects((unsigned short)1);
}

std::vector<Id> SceneGraph::cloneObject(Id source, Id newParent) {
    /* Taken before anything is inserted: the new parent may lie inside the source subtree */
    const unsigned short sourceIndex = toIndex(source);
    const unsigned short count = _objectData[sourceIndex].descendantCount + 1;
    struct Member {
        unsigned short parentPosition;
        DualQuaternion transformation;
        Vector3 scaling;
    };
    std::vector<Member> members;
    members.reserve(count);
    std::size_t componentTotal = 0;
    for (unsigned short j = 0; j != count; ++j) {
        const unsigned short index = sourceIndex + j;
        members.push_back({(unsigned short)(_objectData[index].parent - sourceIndex),
                           _localTransformations[index], _localScalings[index]});
        componentTotal += componentCount(toId(index));
    }
    ZE_ASSERT(componentTotal <= MaxCapacity,
              "SceneGraph::cloneObject(): can't hold" << componentTotal << "more components");

    ensureAdditionalCapacityOf(count, (unsigned short)componentTotal, 16);
    std::vector<Id> clones;
    clones.reserve(count);
    for (unsigned short j = 0; j != count; ++j) {
        const Id clone = addObject(j == 0 ? newParent : clones[members[j].parentPosition]);
        _localTransformations[toIndex(clone)] = members[j].transformation;
        _localScalings[toIndex(clone)] = members[j].scaling;
        clones.push_back(clone);
    }
    setDirty(clones[0]);
    return clones;
}

const DualQuaternion& SceneGraph::absoluteTransformationSafe(Id id) {
    computeAbsoluteTransformation(id);
    return absoluteTransformation(id);
}

const Vector3& SceneGraph::absoluteScalingSafe(Id id) {
    computeAbsoluteTransformation(id);
    return absoluteScaling(id);
}

Matrix4 SceneGraph::localTransformationAsMatrix(unsigned short index) const {
    return scaledMatrix(_localTransformations[index], _localScalings[index]);
}

Matrix4 SceneGraph::absoluteTransformationAsMatrix(unsigned short index) const {
    return scaledMatrix(_absoluteTransformations[index], _absoluteScalings[index]);
}

Matrix4 SceneGraph::absoluteTransformationAsMatrixSafe(unsigned short index) {
    computeAbsoluteTransformation(index);
    return absoluteTransformationAsMatrix(index);
}

namespace {

/* The arrays one world-transform update reads and writes, kept in registers across the loop */
struct TransformArrays {
    const SceneGraph::ObjectData* objects;
    const DualQuaternion* local;
    DualQuaternion* absolute;
    const Vector3* localScaling;
    Vector3* absoluteScaling;
};

/* The right-hand operand b of quaternionProduct() as it enters the sum
   a.w·b + a.x·x + a.y·y + a.z·z: b itself and its three signed permutations. Shuffles are
   what limits the update, so an operand used in several products is prepared once, and a
   conjugate from it by flipping signs. */
struct ProductTerms {
    __m128 b, x, y, z;
};

[[gnu::always_inline]] inline ProductTerms productTerms(__m128 b) {
    return {b,
            _mm_xor_ps(_mm_shuffle_ps(b, b, _MM_SHUFFLE(0, 1, 2, 3)),
                       _mm_set_ps(-0.0f, 0.0f, -0.0f, 0.0f)),
            _mm_xor_ps(_mm_shuffle_ps(b, b, _MM_SHUFFLE(1, 0, 3, 2)),
                       _mm_set_ps(-0.0f, -0.0f, 0.0f, 0.0f)),
            _mm_xor_ps(_mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1)),
                       _mm_set_ps(-0.0f, 0.0f, 0.0f, -0.0f))};
}

/* The terms of conj(b): the same lanes with other signs */
[[gnu::always_inline]] inline ProductTerms conjugateTerms(const ProductTerms& terms) {
    return {_mm_xor_ps(terms.b, _mm_set_ps(0.0f, -0.0f, -0.0f, -0.0f)),
            _mm_xor_ps(terms.x, _mm_set_ps(-0.0f, -0.0f, -0.0f, 0.0f)),
            _mm_xor_ps(terms.y, _mm_set_ps(-0.0f, -0.0f, 0.0f, -0.0f)),
            _mm_xor_ps(terms.z, _mm_set_ps(-0.0f, 0.0f, -0.0f, -0.0f))};
}

/* The Hamilton product of a with the operand of the terms, summed in pairs: a child waits
   for its parent's products, and two levels of additions are shorter than three */
[[gnu::always_inline]] inline __m128 product(__m128 w, __m128 x, __m128 y, __m128 z,
                                             const ProductTerms& b) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(w, b.b), _mm_mul_ps(x, b.x)),
                      _mm_add_ps(_mm_mul_ps(y, b.y), _mm_mul_ps(z, b.z)));
}

/* a read from memory, where AVX builds broadcast its components without a shuffle */
[[gnu::always_inline]] inline __m128 product(const Quaternion& a, const ProductTerms& b) {
    return product(_mm_set1_ps(a.w), _mm_set1_ps(a.x), _mm_set1_ps(a.y), _mm_set1_ps(a.z), b);
}

[[gnu::always_inline]] inline __m128 product(__m128 a, const ProductTerms& b) {
    return product(_mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 3, 3, 3)),
                   _mm_shuffle_ps(a, a, _MM_SHUFFLE(0, 0, 0, 0)),
                   _mm_shuffle_ps(a, a, _MM_SHUFFLE(1, 1, 1, 1)),
                   _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 2, 2, 2)), b);
}

/* absolute = parent × local, with the local translation scaled by the parent's world
   scaling, and the world scaling. The local transformation is rebuilt from its rotation and
   its scaled translation: with h = vec(local.dual ⊗ conj(local.real)) ∘ scaling, the half
   translation, its dual part is [h, 0] ⊗ local.real, and the product's dual part
   parent.real ⊗ [h, 0] ⊗ local.real + parent.dual ⊗ local.real is regrouped to save a
   quaternion product. Under a scaling of one this is the plain dual product for every rigid
   transformation (unit real part, dual part orthogonal to it); taking this form for every
   object, instead of branching on the scaling, spares the branch mispredictions that the
   mix of scaled and unscaled parents in a scene causes. */
[[gnu::always_inline]] inline void composeWorld(const DualQuaternion& parent, __m128 parentScaling,
                                                const DualQuaternion& local, __m128 localScaling,
                                                DualQuaternion& absolute,
                                                Vector3& absoluteScaling) {
    using namespace Implementation;
    const ProductTerms localReal = productTerms(load(local.real));
    /* Lane w of the parent's scaling is zero */
    const __m128 halfTranslation =
        _mm_mul_ps(product(local.dual, conjugateTerms(localReal)), parentScaling);
    _mm_storeu_ps(&absolute.real.x, product(parent.real, localReal));
    const __m128 dualLeft =
        _mm_add_ps(product(parent.real, productTerms(halfTranslation)), load(parent.dual));
    _mm_storeu_ps(&absolute.dual.x, product(dualLeft, localReal));
    storeWorldScaling(absoluteScaling, _mm_mul_ps(localScaling, parentScaling));
}

[[gnu::always_inline]] inline void updateObject(const TransformArrays arrays, std::size_t index) {
    const std::size_t parent = arrays.objects[index].parent;
    if (parent == 0) {
        /* The root's own transformation is never applied to other objects. Copied in the
           widths the children read, so that their loads are forwarded from these stores. */
        using Implementation::load;
        _mm_storeu_ps(&arrays.absolute[index].real.x, load(arrays.local[index].real));
        _mm_storeu_ps(&arrays.absolute[index].dual.x, load(arrays.local[index].dual));
        storeWorldScaling(arrays.absoluteScaling[index],
                          loadLocalScaling(arrays.localScaling[index]));
        return;
    }
    composeWorld(arrays.absolute[parent],
                 scalingOrOne(loadWorldScaling(arrays.absoluteScaling[parent])),
                 arrays.local[index], loadLocalScaling(arrays.localScaling[index]),
                 arrays.absolute[index], arrays.absoluteScaling[index]);
}

/* Updates the dirty objects below count, a 32-bit word of dirty bits at a time. Parents come
   before their children, so one pass in index order suffices. */
[[gnu::always_inline]] inline void updateDirtyObjectsKernel(const TransformArrays arrays,
                                                            std::span<const unsigned int> words,
                                                            std::size_t count) {
    for (std::size_t w = 0; w != words.size() && w * 32 < count; ++w) {
        unsigned int word = words[w];
        while (word) {
            const std::size_t index = w * 32 + std::size_t(std::countr_zero(word));
            if (index >= count)
                break;
            updateObject(arrays, index);
            word &= word - 1;
        }
    }
}

/* Two objects at once in AVX2, one in each 128-bit half of the registers. Every operation is
   that of composeWorld() lane by lane, without FMA, so each object gets the same bits. */
struct ProductTermsPair {
    __m256 b, x, y, z;
};

__attribute__((target("avx2"))) inline __m256 loadPair(const float* low, const float* high) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(low)), _mm_loadu_ps(high), 1);
}

__attribute__((target("avx2"))) inline void storePair(float* low, float* high, __m256 value) {
    _mm_storeu_ps(low, _mm256_castps256_ps128(value));
    _mm_storeu_ps(high, _mm256_extractf128_ps(value, 1));
}

__attribute__((target("avx2"))) inline ProductTermsPair productTermsPair(__m256 b) {
    return {b,
            _mm256_xor_ps(_mm256_shuffle_ps(b, b, _MM_SHUFFLE(0, 1, 2, 3)),
                          _mm256_set_ps(-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f)),
            _mm256_xor_ps(_mm256_shuffle_ps(b, b, _MM_SHUFFLE(1, 0, 3, 2)),
                          _mm256_set_ps(-0.0f, -0.0f, 0.0f, 0.0f, -0.0f, -0.0f, 0.0f, 0.0f)),
            _mm256_xor_ps(_mm256_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1)),
                          _mm256_set_ps(-0.0f, 0.0f, 0.0f, -0.0f, -0.0f, 0.0f, 0.0f, -0.0f))};
}

__attribute__((target("avx2"))) inline ProductTermsPair
conjugateTermsPair(const ProductTermsPair& terms) {
    return {
        _mm256_xor_ps(terms.b, _mm256_set_ps(0.0f, -0.0f, -0.0f, -0.0f, 0.0f, -0.0f, -0.0f, -0.0f)),
        _mm256_xor_ps(terms.x, _mm256_set_ps(-0.0f, -0.0f, -0.0f, 0.0f, -0.0f, -0.0f, -0.0f, 0.0f)),
        _mm256_xor_ps(terms.y, _mm256_set_ps(-0.0f, -0.0f, 0.0f, -0.0f, -0.0f, -0.0f, 0.0f, -0.0f)),
        _mm256_xor_ps(terms.z,
                      _mm256_set_ps(-0.0f, 0.0f, -0.0f, -0.0f, -0.0f, 0.0f, -0.0f, -0.0f))};
}

/* Each half's a, its components broadcast within the half */
__attribute__((target("avx2"))) inline __m256 productPair(__m256 a, const ProductTermsPair& b) {
    const __m256 w = _mm256_shuffle_ps(a, a, _MM_SHUFFLE(3, 3, 3, 3));
    const __m256 x = _mm256_shuffle_ps(a, a, _MM_SHUFFLE(0, 0, 0, 0));
    const __m256 y = _mm256_shuffle_ps(a, a, _MM_SHUFFLE(1, 1, 1, 1));
    const __m256 z = _mm256_shuffle_ps(a, a, _MM_SHUFFLE(2, 2, 2, 2));
    return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(w, b.b), _mm256_mul_ps(x, b.x)),
                         _mm256_add_ps(_mm256_mul_ps(y, b.y), _mm256_mul_ps(z, b.z)));
}

/* updateObject() of two objects of which neither is the other's parent, and whose parents
   aren't the root */
__attribute__((target("avx2"))) inline void
updateObjectPair(const TransformArrays arrays, std::size_t first, std::size_t second) {
    const DualQuaternion& parentA = arrays.absolute[arrays.objects[first].parent];
    const DualQuaternion& parentB = arrays.absolute[arrays.objects[second].parent];
    const DualQuaternion& localA = arrays.local[first];
    const DualQuaternion& localB = arrays.local[second];
    const __m256 parentScaling = _mm256_insertf128_ps(
        _mm256_castps128_ps256(
            scalingOrOne(loadWorldScaling(arrays.absoluteScaling[arrays.objects[first].parent]))),
        scalingOrOne(loadWorldScaling(arrays.absoluteScaling[arrays.objects[second].parent])), 1);

    const ProductTermsPair localReal = productTermsPair(loadPair(&localA.real.x, &localB.real.x));
    /* Lane w of the parents' scalings is zero */
    const __m256 halfTranslation = _mm256_mul_ps(
        productPair(loadPair(&localA.dual.x, &localB.dual.x), conjugateTermsPair(localReal)),
        parentScaling);
    const __m256 parentReal = loadPair(&parentA.real.x, &parentB.real.x);
    DualQuaternion& absoluteA = arrays.absolute[first];
    DualQuaternion& absoluteB = arrays.absolute[second];
    storePair(&absoluteA.real.x, &absoluteB.real.x, productPair(parentReal, localReal));
    const __m256 dualLeft =
        _mm256_add_ps(productPair(parentReal, productTermsPair(halfTranslation)),
                      loadPair(&parentA.dual.x, &parentB.dual.x));
    storePair(&absoluteA.dual.x, &absoluteB.dual.x, productPair(dualLeft, localReal));

    const __m256 worldScaling = _mm256_mul_ps(
        _mm256_insertf128_ps(_mm256_castps128_ps256(loadLocalScaling(arrays.localScaling[first])),
                             loadLocalScaling(arrays.localScaling[second]), 1),
        parentScaling);
    storeWorldScaling(arrays.absoluteScaling[first], _mm256_castps256_ps128(worldScaling));
    storeWorldScaling(arrays.absoluteScaling[second], _mm256_extractf128_ps(worldScaling, 1));
}

/* The dirty objects in index order as updateDirtyObjectsKernel() does, but an object that
   doesn't hang under the one before it waits for the next one to be updated together. The
   AVX2 instructions themselves save a fifth of the time, the pairs almost as much again. */
__attribute__((target("avx2"))) void updateDirtyObjectsAvx2(const TransformArrays arrays,
                                                            std::span<const unsigned int> words,
                                                            std::size_t count) {
    constexpr std::size_t None = ~std::size_t{};
    std::size_t waiting = None;
    for (std::size_t w = 0; w != words.size() && w * 32 < count; ++w) {
        for (unsigned int word = words[w]; word; word &= word - 1) {
            const std::size_t index = w * 32 + std::size_t(std::countr_zero(word));
            if (index >= count)
                break;
            const std::size_t parent = arrays.objects[index].parent;
            if (parent == 0) {
                updateObject(arrays, index);
            } else if (waiting == None) {
                waiting = index;
            } else if (parent == waiting) {
                updateObject(arrays, waiting);
                waiting = index;
            } else {
                updateObjectPair(arrays, waiting, index);
                waiting = None;
            }
        }
    }
    if (waiting != None)
        updateObject(arrays, waiting);
}

void updateDirtyObjectsBaseline(const TransformArrays arrays, std::span<const unsigned int> words,
                                std::size_t count) {
    updateDirtyObjectsKernel(arrays, words, count);
}

/* Takes the arrays by value: the SSE stores may alias anything, and a copy of the pointers
   that nothing else can reach stays in registers */
void updateDirtyObjects(const TransformArrays arrays, std::span<const unsigned int> words,
                        std::size_t count) {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    if (hasAvx2)
        updateDirtyObjectsAvx2(arrays, words, count);
    else
        updateDirtyObjectsBaseline(arrays, words, count);
}

} // namespace

void SceneGraph::computeAbsoluteTransformations() {
    const TransformArrays arrays{_objectData.data(), _localTransformations.data(),
                                 _absoluteTransformations.data(), _localScalings.data(),
                                 _absoluteScalings.data()};
    updateDirtyObjects(arrays, _dirty.data(), header().objectCount);
    _dirty.clear();
}

void SceneGraph::computeAbsoluteTransformation(unsigned short index) {
    if (!_dirty[index])
        return;
    std::vector<unsigned short> chain{index};
    while (true) {
        const unsigned short parent = _objectData[chain.back()].parent;
        if (parent == 0 || !_dirty[parent])
            break;
        chain.push_back(parent);
    }

    /* The same steps as the whole-scene update, so that both give the same bits */
    const TransformArrays arrays{_objectData.data(), _localTransformations.data(),
                                 _absoluteTransformations.data(), _localScalings.data(),
                                 _absoluteScalings.data()};
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        updateObject(arrays, *it);
        _dirty.unset(*it);
    }
}

void SceneGraph::copyObjectTransform(Id from, Id to) {
    _localTransformations[toIndex(to)] = _localTransformations[toIndex(from)];
    _localScalings[toIndex(to)] = _localScalings[toIndex(from)];
}

void SceneGraph::setDirty(unsigned short index) {
    const std::size_t last = std::size_t(index) + _objectData[index].descendantCount;
    _dirty.setRange(index, last);
    _changed.setRange(index, last);
}

void SceneGraph::setChildrenDirty(unsigned short index) {
    const std::size_t descendants = _objectData[index].descendantCount;
    if (!descendants)
        return;
    _dirty.setRange(std::size_t(index) + 1, std::size_t(index) + descendants);
    _changed.setRange(std::size_t(index) + 1, std::size_t(index) + descendants);
}

void SceneGraph::setChanged(unsigned short index) {
    _changed.setRange(index, std::size_t(index) + _objectData[index].descendantCount);
}

void SceneGraph::setComponentManager(unsigned int index, const char* name,
                                     ComponentManager* manager) {
    ZE_ASSERT(index < header().componentManagerCount,
              "SceneGraph::setComponentManager(): index larger than allocated component manager "
              "count");
    if (name) {
        const std::size_t length = std::strlen(name);
        ZE_ASSERT(length <= MaxComponentManagerNameLength,
                  "SceneGraph::setComponentManager(): name"
                      << name << "longer than limit of 11 characters");
        char* entry = _componentManagerNames.data() + 12 * std::size_t(index);
        std::memset(entry, 0, 12);
        std::memcpy(entry, name, length);
    }
    if (ComponentManager* previous = _componentManagers[index])
        previous->_sceneGraph = nullptr;
    _componentManagers[index] = manager;
    if (manager) {
        manager->_sceneGraph = this;
        manager->_index = (unsigned short)index;
    }
}

std::string_view SceneGraph::componentManagerName(unsigned short index) const {
    const char* entry = _componentManagerNames.data() + 12 * std::size_t(index);
    return {entry, strnlen(entry, 12)};
}

int SceneGraph::componentManagerIndex(const char* name) const {
    for (std::size_t i = 0; i != _componentManagers.size(); ++i)
        if (namesEqual(_componentManagerNames.data() + 12 * i, name))
            return int(i);
    return -1;
}

ComponentManager* SceneGraph::componentManager(const char* name) const {
    const int index = componentManagerIndex(name);
    return index < 0 ? nullptr : _componentManagers[index];
}

void SceneGraph::addComponent(Id objectId, unsigned short managerIndex, Id component) {
    if (header().unusedComponentCapacity == 0) {
        ZE_ASSERT(header().componentCount < MaxCapacity,
                  "SceneGraph::addComponent(): can't hold more than" << MaxCapacity
                                                                     << "components");
        Warning{} << "SceneGraph::addComponent(): on the fly allocation was required";
        ensureAdditionalCapacityOf(0, 1, OnTheFlyGrowth);
    }
    const std::size_t object = std::size_t(objectId);
    const std::size_t nextOffset = _componentsOffsets[object + 1];
    for (std::size_t j = object + 1; j != _componentsOffsets.size(); ++j)
        ++_componentsOffsets[j];

    const std::size_t capacity = _components.size();
    std::memmove(_components.data() + nextOffset + 1, _components.data() + nextOffset,
                 (capacity - 1 - nextOffset) * sizeof(Id));
    std::memmove(_componentTypes.data() + nextOffset + 1, _componentTypes.data() + nextOffset,
                 capacity - 1 - nextOffset);
    _components[nextOffset] = component;
    _componentTypes[nextOffset] = std::uint8_t(managerIndex);

    Header& header = mutableHeader();
    --header.unusedComponentCapacity;
    ++header.componentCount;
    /* Only the first 16 slots are representable */
    if (managerIndex < 16)
        _objectData[toIndex(objectId)].componentTypeMask |= std::uint16_t(1u << managerIndex);

    ZE_INTERNAL_ASSERT(_componentsOffsets[object + 1] == nextOffset + 1);
}

void SceneGraph::removeComponent(Id objectId, unsigned short managerIndex, Id component) {
    const std::size_t object = std::size_t(objectId);
    const std::size_t begin = _componentsOffsets[object];
    const std::size_t end = _componentsOffsets[object + 1];
    std::size_t position = begin;
    bool found = false;
    for (; position != end; ++position) {
        if (_componentTypes[position] == managerIndex && _components[position] == component) {
            found = true;
            break;
        }
    }
    ZE_INTERNAL_ASSERT(found);

    const std::size_t capacity = _components.size();
    std::memmove(_components.data() + position, _components.data() + position + 1,
                 (capacity - 1 - position) * sizeof(Id));
    std::memmove(_componentTypes.data() + position, _componentTypes.data() + position + 1,
                 capacity - 1 - position);
    _components[capacity - 1] = InvalidId;
    for (std::size_t j = object + 1; j != _componentsOffsets.size(); ++j)
        --_componentsOffsets[j];

    Header& header = mutableHeader();
    ++header.unusedComponentCapacity;
    --header.componentCount;
}

void SceneGraph::deleteComponent(unsigned short objectIndex, unsigned int managerIndex,
                                 Id component) {
    if (ComponentManager* manager = _componentManagers[managerIndex])
        manager->deleteComponent(manager->toIndex(component));
    removeComponent(objectIndex, (unsigned short)managerIndex, component);
    if (onComponentDeleted)
        onComponentDeleted((unsigned short)managerIndex, component);
}

void SceneGraph::deleteComponents(unsigned int managerIndex) {
    ComponentManager* manager = _componentManagers[managerIndex];
    /* Names belong to objects, not to components that come and go */
    if (!manager || manager->name() == "name")
        return;
    for (int index = int(manager->size()) - 1; index >= 0; --index) {
        /* A deletion callback may have removed more than one */
        if (index >= manager->size())
            continue;
        deleteComponent(toIndex(manager->object((unsigned short)index)), managerIndex,
                        manager->toId((unsigned short)index));
    }
}

void SceneGraph::deleteComponents() {
    for (unsigned int i = 0; i != _componentManagers.size(); ++i)
        deleteComponents(i);
}

std::vector<Id> SceneGraph::componentsOfType(Id object, unsigned short managerIndex) const {
    std::vector<Id> result;
    const std::span<const Id> ids = components(object);
    const std::span<const std::uint8_t> types = componentTypes(object);
    for (std::size_t i = 0; i != ids.size(); ++i)
        if (types[i] == managerIndex)
            result.push_back(ids[i]);
    return result;
}

void SceneGraph::activate() {
    ZE_ASSERT(!_activated, "scene graph is already active");
    _activated = true;
    for (ComponentManager* manager : _componentManagers)
        if (manager)
            manager->postActivate(Utils::IndexRange<unsigned short>{0, manager->activeCount()});
}

void SceneGraph::deactivate() {
    ZE_ASSERT(_activated, "scene graph is already inactive");
    for (ComponentManager* manager : _componentManagers)
        if (manager)
            manager->postDeactivate();
    _activated = false;
}

void SceneGraph::append(const SceneGraph& other, const Function<void()>& callback) {
    const std::size_t slotCount = _componentManagers.size();
    const std::size_t otherSlotCount = other._componentManagers.size();

    /* Managers are matched by name; counterpartOf[i] is the other graph's slot of slot i,
       slotOf[j] this graph's slot for the other's slot j */
    std::vector<int> counterpartOf(slotCount, -1);
    std::vector<int> slotOf(otherSlotCount, -1);
    std::vector<unsigned short> base(slotCount, 0);
    for (std::size_t i = 0; i != slotCount; ++i) {
        if (!_componentManagers[i])
            continue;
        base[i] = _componentManagers[i]->size();
        for (std::size_t j = 0; j != otherSlotCount; ++j) {
            if (other._componentManagers[j] &&
                namesEqual(other._componentManagerNames.data() + 12 * j,
                           _componentManagerNames.data() + 12 * i)) {
                counterpartOf[i] = int(j);
                if (slotOf[j] < 0)
                    slotOf[j] = int(i);
                break;
            }
        }
    }

    const unsigned short otherCount = other.size();
    ZE_ASSERT(std::size_t(size()) + otherCount <= MaxCapacity,
              "SceneGraph::append(): can't hold" << std::size_t(size()) + otherCount
                                                 << "objects, the limit is" << MaxCapacity);
    ZE_ASSERT(std::size_t(componentsSize()) + other.componentsSize() <= MaxCapacity,
              "SceneGraph::append(): can't hold"
                  << std::size_t(componentsSize()) + other.componentsSize()
                  << "components, the limit is" << MaxCapacity);
    const unsigned short first = size();
    ensureAdditionalCapacityOf(otherCount, other.componentsSize(), 16);

    for (unsigned short k = 0; k != otherCount; ++k) {
        const unsigned short index = first + k;
        ObjectData data = other._objectData[k];
        data.parent = k == 0 ? 0 : data.parent + first;
        /* Slot numbers differ between graphs; addComponent() below sets this graph's bits */
        data.componentTypeMask = 0;
        _objectData[index] = data;
        _localTransformations[index] = other._localTransformations[k];
        _localScalings[index] = other._localScalings[k];
        Id id = _indexToId[index];
        if (id == Id(0))
            id = Id(index);
        _indexToId[index] = id;
        _idToIndex[std::size_t(id)] = index;
        _pendingDeletion.unsetSafe(std::size_t(id));
    }
    _dirty.setRange(first, std::size_t(first) + otherCount);
    _changed.setRange(first, std::size_t(first) + otherCount);

    for (std::size_t i = 0; i != slotCount; ++i)
        if (counterpartOf[i] >= 0)
            _componentManagers[i]->append(*other._componentManagers[counterpartOf[i]], first);

    for (unsigned short k = 0; k != otherCount; ++k) {
        const Id source = other.toId(k);
        const Id object = toId(first + k);
        const std::span<const Id> sourceComponents = other.components(source);
        const std::span<const std::uint8_t> sourceTypes = other.componentTypes(source);
        for (std::size_t c = 0; c != sourceComponents.size(); ++c) {
            const int slot = slotOf[sourceTypes[c]];
            if (slot < 0)
                continue;
            const ComponentManager& otherManager = *other._componentManagers[sourceTypes[c]];
            ComponentManager& manager = *_componentManagers[slot];
            addComponent(object, (unsigned short)slot,
                         manager.toId(base[slot] + otherManager.toIndex(sourceComponents[c])));
        }
    }

    Header& header = mutableHeader();
    header.objectCount += otherCount;
    header.unusedObjectCapacity -= otherCount;
    ++_objectData[0].childCount;
    _objectData[0].descendantCount += otherCount;

    if (callback)
        callback();

    for (std::size_t i = 0; i != slotCount; ++i) {
        if (counterpartOf[i] < 0)
            continue;
        const ComponentManager& otherManager = *other._componentManagers[counterpartOf[i]];
        if (otherManager.name() == "name")
            continue;
        ComponentManager& manager = *_componentManagers[i];
        const unsigned short activeBefore = manager.activeCount();
        for (unsigned short t = 0; t != otherManager.activeCount(); ++t)
            manager.moveToActive(base[i] + t);
        if (_activated)
            manager.postActivate(
                Utils::IndexRange<unsigned short>{activeBefore, manager.activeCount()});
    }
}

std::optional<std::string> SceneGraph::validate(std::span<const char> data) {
    if (data.size() < HeaderSize)
        return fmt::format("SceneGraph::validate(): {} bytes can't hold the {}-byte header",
                           data.size(), HeaderSize);
    Header header;
    std::memcpy(&header, data.data(), HeaderSize);
    const std::size_t n = std::size_t(header.objectCount) + header.unusedObjectCapacity;
    const std::size_t k = std::size_t(header.componentCount) + header.unusedComponentCapacity;
    if (header.objectCount == 0)
        return std::string{"SceneGraph::validate(): there is no root object"};
    if (n > MaxCapacity || k > MaxCapacity)
        return fmt::format("SceneGraph::validate(): capacities of {} objects and {} components "
                           "exceed the limit of {}",
                           n, k, MaxCapacity);
    const std::size_t expectedSize =
        dataSize((unsigned short)n, header.componentManagerCount, (unsigned short)k);
    if (data.size() != expectedSize)
        return fmt::format("SceneGraph::validate(): expected {} bytes for {} objects, {} "
                           "managers and {} components, got {}",
                           expectedSize, n, header.componentManagerCount, k, data.size());

    /* Region offsets, as init() lays them out */
    const auto read16 = [&](std::size_t offset) {
        std::uint16_t value;
        std::memcpy(&value, data.data() + offset, 2);
        return value;
    };
    const std::size_t objectDataOffset =
        HeaderSize + 12 * std::size_t(header.componentManagerCount);
    const std::size_t idToIndexOffset = objectDataOffset + 8 * n;
    const std::size_t indexToIdOffset = idToIndexOffset + 2 * n;
    const std::size_t offsetsOffset = indexToIdOffset + 2 * n + 4 * dirtyWordCount(n) + 88 * n;
    const std::size_t componentsOffset = offsetsOffset + 2 * componentOffsetCount(n);
    const std::size_t typesOffset = componentsOffset + 2 * k;
    const auto record = [&](std::size_t index, std::size_t field) {
        return read16(objectDataOffset + 8 * index + 2 * field);
    };

    /* Manager names: zero-terminated within their 12 bytes and zero-filled after */
    for (std::size_t m = 0; m != header.componentManagerCount; ++m) {
        const char* name = data.data() + HeaderSize + 12 * m;
        const std::size_t length = strnlen(name, 12);
        if (length == 12 || std::any_of(name + length, name + 12, [](char c) { return c; }))
            return fmt::format("SceneGraph::validate(): the name of manager slot {} isn't "
                               "zero-terminated and zero-filled",
                               m);
    }

    /* Every Id is live in exactly one slot or reachable from exactly one free slot: a free
       slot hands out the Id parked in it, or its own index when it was never used */
    std::vector<bool> seen(n, false), liveIds(n, false);
    for (std::size_t i = 0; i != n; ++i) {
        const std::size_t parked = read16(indexToIdOffset + 2 * i);
        const bool live = i < header.objectCount;
        const std::size_t id = live || parked ? parked : i;
        if (id >= n || seen[id])
            return fmt::format("SceneGraph::validate(): the Id of object slot {} is out of range "
                               "or taken twice",
                               i);
        seen[id] = true;
        liveIds[id] = live;
        const std::size_t index = read16(idToIndexOffset + 2 * id);
        const std::size_t expected = live ? i : parked ? DeletedIndex : 0;
        if (index != expected)
            return fmt::format("SceneGraph::validate(): Id {} maps to index {}, expected {}", id,
                               index, expected);
    }
    if (read16(indexToIdOffset) != 0)
        return std::string{"SceneGraph::validate(): the root doesn't have Id 0"};

    /* Hierarchy: pre-order, and the counts agree with the parent fields. Parents come before
       their children, so one backward pass sums the subtrees. */
    if (record(0, 0) != 0)
        return std::string{"SceneGraph::validate(): the root has a parent"};
    for (std::size_t i = 1; i != header.objectCount; ++i) {
        const std::size_t parent = record(i, 0);
        if (parent >= i || i > parent + record(parent, 2))
            return fmt::format("SceneGraph::validate(): object index {} is not in its parent's "
                               "subtree",
                               i);
    }
    std::vector<std::uint32_t> children(header.objectCount, 0);
    std::vector<std::uint32_t> descendants(header.objectCount, 0);
    for (std::size_t i = header.objectCount - 1; i != 0; --i) {
        ++children[record(i, 0)];
        descendants[record(i, 0)] += descendants[i] + 1;
    }
    for (std::size_t i = 0; i != header.objectCount; ++i)
        if (children[i] != record(i, 1) || descendants[i] != record(i, 2))
            return fmt::format("SceneGraph::validate(): child or descendant count of object "
                               "index {} is wrong",
                               i);

    /* Component ranges by Id: ordered, from 0 to the component count, empty for every Id that
       isn't live (an addition takes the range as it is), with existing manager slots */
    const auto offset = [&](std::size_t j) { return read16(offsetsOffset + 2 * j); };
    if (offset(0) != 0)
        return std::string{"SceneGraph::validate(): the component ranges don't start at 0"};
    for (std::size_t j = 1; j != componentOffsetCount(n); ++j)
        if (offset(j) < offset(j - 1) || offset(j) > header.componentCount)
            return fmt::format("SceneGraph::validate(): component offset {} is out of order", j);
    if (offset(componentOffsetCount(n) - 1) != header.componentCount)
        return std::string{"SceneGraph::validate(): the component ranges don't cover the "
                           "component count"};
    for (std::size_t id = 0; id != n; ++id)
        if (!liveIds[id] && offset(id) != offset(id + 1))
            return fmt::format("SceneGraph::validate(): Id {} has components but no object", id);
    for (std::size_t i = 0; i != header.objectCount; ++i) {
        const std::size_t id = read16(indexToIdOffset + 2 * i);
        for (std::size_t c = offset(id); c != offset(id + 1); ++c) {
            const unsigned slot = std::uint8_t(data[typesOffset + c]);
            if (slot >= header.componentManagerCount)
                return fmt::format("SceneGraph::validate(): component {} names manager slot {} "
                                   "of {}",
                                   c, slot, header.componentManagerCount);
            if (slot < 16 && !(record(i, 3) & (1u << slot)))
                return fmt::format("SceneGraph::validate(): object index {} has a component of "
                                   "manager slot {} outside its type mask",
                                   i, slot);
        }
    }
    return {};
}

std::optional<std::string> SceneGraph::validateComponents(unsigned short slot,
                                                          const ComponentManager& manager) const {
    if (slot >= _componentManagers.size())
        return fmt::format("SceneGraph::validateComponents(): slot {} of {}", slot,
                           _componentManagers.size());
    /* Names belong to objects by Id and aren't recorded */
    const bool recorded = manager.name() != "name";
    std::vector<bool> seen(manager.size(), false);
    std::size_t records = 0;
    for (unsigned short i = 0; i != header().objectCount; ++i) {
        const Id object = toId(i);
        const std::span<const Id> ids = components(object);
        const std::span<const std::uint8_t> types = componentTypes(object);
        for (std::size_t c = 0; c != ids.size(); ++c) {
            if (types[c] != slot)
                continue;
            /* An Id never handed out maps to index 0 too, so the way back is checked */
            const Id id = ids[c];
            if (!recorded || !manager.isValid(id) || manager.toId(manager.toIndex(id)) != id ||
                seen[manager.toIndex(id)] || manager.object(id) != object)
                return fmt::format("SceneGraph::validateComponents(): object index {} records "
                                   "component {} of manager slot {}, which the manager doesn't "
                                   "have for it",
                                   i, unsigned(id), slot);
            seen[manager.toIndex(id)] = true;
            ++records;
        }
    }
    if (recorded && records != manager.size())
        return fmt::format("SceneGraph::validateComponents(): the manager has {} components, the "
                           "objects record {}",
                           manager.size(), records);
    return {};
}

} // namespace ZarvikEngine::Data
