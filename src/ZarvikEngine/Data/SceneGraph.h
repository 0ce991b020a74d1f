#ifndef ZarvikEngine_Data_SceneGraph_h
#define ZarvikEngine_Data_SceneGraph_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Function.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Utils/IndexRange.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Data {

class ComponentManager;

/* Every object of a scene: hierarchy in depth-first pre-order (each subtree is one contiguous
   index range), local and world transformations as dual quaternions plus a separate scaling,
   dirty and changed bits, and the components attached to each object. All of it lives in one
   byte block that can be taken out with data() and handed back to the constructor.

   Objects are addressed by index (position in the per-object arrays, changes when objects
   are added, moved or deleted) or by Id (stable for the object's lifetime, recycled after
   deletion). */
class SceneGraph {
public:
    struct Header {
        std::uint16_t objectCount;
        std::uint16_t componentManagerCount;
        std::uint16_t unusedObjectCapacity;
        std::uint16_t componentCount;
        std::uint16_t unusedComponentCapacity;
        std::uint16_t reserved;
    };

    struct ObjectData {
        std::uint16_t parent;
        std::uint16_t childCount;
        std::uint16_t descendantCount;
        std::uint16_t componentTypeMask;
    };

    /* Longest manager name, without its terminating zero */
    static constexpr std::size_t MaxComponentManagerNameLength = 11;
    /* Objects and components are counted in 16 bits, and index 65535 marks a deleted Id */
    static constexpr std::size_t MaxCapacity = 65535;

    /* Bytes of a block for the given capacities */
    static std::size_t dataSize(unsigned short objectCapacity, unsigned short componentManagerCount,
                                unsigned short componentCapacity);
    /* Per-object bytes of transformations, scalings and the record */
    static constexpr std::size_t objectSize() { return 96; }

    /* Checks a block taken from outside the process (a file, the network) before it is
       handed to the constructor: sizes, manager names, Id maps (every Id live in one slot or
       parked where exactly one addition reaches it), hierarchy and component ranges. Returns
       a message describing the first problem, or nothing. A block that passes can be adopted
       and used with any sequence of operations. */
    static std::optional<std::string> validate(std::span<const char> data);
    /* Checks a manager from outside against the component records of the slot it is about to
       be registered in, before setComponentManager(): every record of the slot names a live
       component of the manager owned by that object, and every component has one record. The
       name manager's components are never recorded. Returns the first problem, or nothing. */
    std::optional<std::string> validateComponents(unsigned short slot,
                                                  const ComponentManager& manager) const;

    explicit SceneGraph(unsigned short objectCapacity = 1, unsigned short componentManagerCount = 0,
                        unsigned short componentCapacity = 0);
    /* Adopts a block laid out as data() gives it; every object but the root is marked
       changed */
    explicit SceneGraph(std::vector<char>&& data);

    /* Managers keep a pointer to their scene graph */
    SceneGraph(const SceneGraph&) = delete;
    SceneGraph& operator=(const SceneGraph&) = delete;
    ~SceneGraph();

    const Header& header() const;
    std::span<const char> data() const { return _data; }

    unsigned short size() const { return header().objectCount; }
    std::uint32_t capacity() const {
        return std::uint32_t(header().objectCount) + header().unusedObjectCapacity;
    }
    unsigned short unusedCapacity() const { return header().unusedObjectCapacity; }
    unsigned short componentsSize() const { return header().componentCount; }
    unsigned short componentsCapacity() const { return (unsigned short)_components.size(); }
    unsigned short numComponentManagers() const { return header().componentManagerCount; }

    /* Grows the block so that exactly this many free slots exist */
    void reallocateCapacity(unsigned short freeObjects, unsigned short freeComponents);
    /* Grows, leaving at least minimumGrowth free slots of both kinds, when fewer than the
       asked numbers of free slots exist */
    void ensureAdditionalCapacityOf(unsigned short objects, unsigned short components,
                                    unsigned short minimumGrowth);

    Id toId(unsigned short index) const { return _indexToId[index]; }
    unsigned short toIndex(Id id) const { return _idToIndex[std::size_t(id)]; }

    bool isValid(unsigned short index) const { return index < header().objectCount; }
    bool isValid(Id id) const {
        return std::size_t(id) < _idToIndex.size() && isValid(toIndex(id));
    }

    /* Hierarchy */

    /* Adds a child at the end of the parent's subtree */
    Id addObject(Id parent);
    /* Adds a child at the end of the index range without restoring pre-order, for building a
       scene in pre-order */
    Id addObjectUnsafe(unsigned short parentIndex);
    /* Moves the object's subtree to the end of the new parent's subtree. The new parent must
       not lie inside the moved subtree. */
    void reparent(Id object, Id newParent);
    /* Deletes the object, its subtree and all their components */
    void deleteObjects(Id object);
    void deleteObjects(unsigned short index) { deleteObjects(toId(index)); }
    /* Deletes every object but the root */
    void clearSafe();
    /* Duplicates the subtree of source (objects, local transformations and scalings, no
       components) under newParent; returns the clones in pre-order */
    std::vector<Id> cloneObject(Id source, Id newParent);
    /* Exchanges everything stored per index; parent fields are not repaired */
    void swap(unsigned short a, unsigned short b);

    Id parent(unsigned short index) const { return toId(_objectData[index].parent); }
    Id parent(Id id) const { return parent(toIndex(id)); }
    unsigned short parentIndex(unsigned short index) const { return _objectData[index].parent; }
    unsigned short parentIndex(Id id) const { return parentIndex(toIndex(id)); }
    unsigned short childCount(unsigned short index) const { return _objectData[index].childCount; }
    unsigned short childCount(Id id) const { return childCount(toIndex(id)); }
    Utils::IndexRange<unsigned short> subtree(unsigned short index) const;
    Utils::IndexRange<unsigned short> subtree(Id id) const { return subtree(toIndex(id)); }
    bool isParent(unsigned short parent, unsigned short child) const {
        return _objectData[child].parent == parent;
    }
    bool isParent(Id parent, Id child) const { return isParent(toIndex(parent), toIndex(child)); }
    bool isAncestor(unsigned short ancestor, unsigned short object) const {
        return object > ancestor && object <= ancestor + _objectData[ancestor].descendantCount;
    }
    bool isAncestor(Id ancestor, Id object) const {
        return isAncestor(toIndex(ancestor), toIndex(object));
    }
    std::span<const ObjectData> objectData() const { return _objectData; }
    const ObjectData& objectData(unsigned short index) const { return _objectData[index]; }
    const ObjectData& objectData(Id id) const { return objectData(toIndex(id)); }

    /* Transformations; writing a local value marks nothing dirty, see setDirty() */

    DualQuaternion& localTransformation(unsigned short index) {
        return _localTransformations[index];
    }
    DualQuaternion& localTransformation(Id id) { return localTransformation(toIndex(id)); }
    const DualQuaternion& localTransformation(unsigned short index) const {
        return _localTransformations[index];
    }
    const DualQuaternion& localTransformation(Id id) const {
        return localTransformation(toIndex(id));
    }
    Vector3& localScaling(unsigned short index) { return _localScalings[index]; }
    Vector3& localScaling(Id id) { return localScaling(toIndex(id)); }
    const Vector3& localScaling(unsigned short index) const { return _localScalings[index]; }
    const Vector3& localScaling(Id id) const { return localScaling(toIndex(id)); }
    std::span<DualQuaternion> localTransformations() { return _localTransformations; }
    std::span<const DualQuaternion> localTransformations() const { return _localTransformations; }
    std::span<Vector3> localScalings() { return _localScalings; }
    std::span<const Vector3> localScalings() const { return _localScalings; }

    /* World values as last computed */
    DualQuaternion& absoluteTransformation(unsigned short index) {
        return _absoluteTransformations[index];
    }
    DualQuaternion& absoluteTransformation(Id id) { return absoluteTransformation(toIndex(id)); }
    const DualQuaternion& absoluteTransformation(unsigned short index) const {
        return _absoluteTransformations[index];
    }
    const DualQuaternion& absoluteTransformation(Id id) const {
        return absoluteTransformation(toIndex(id));
    }
    Vector3& absoluteScaling(unsigned short index) { return _absoluteScalings[index]; }
    Vector3& absoluteScaling(Id id) { return absoluteScaling(toIndex(id)); }
    const Vector3& absoluteScaling(unsigned short index) const { return _absoluteScalings[index]; }
    const Vector3& absoluteScaling(Id id) const { return absoluteScaling(toIndex(id)); }
    std::span<DualQuaternion> absoluteTransformations() { return _absoluteTransformations; }
    std::span<const DualQuaternion> absoluteTransformations() const {
        return _absoluteTransformations;
    }
    std::span<Vector3> absoluteScalings() { return _absoluteScalings; }
    std::span<const Vector3> absoluteScalings() const { return _absoluteScalings; }

    /* Bring the object up to date first */
    const DualQuaternion& absoluteTransformationSafe(Id id);
    const Vector3& absoluteScalingSafe(Id id);

    /* Translation × rotation × scaling */
    Matrix4 localTransformationAsMatrix(unsigned short index) const;
    Matrix4 localTransformationAsMatrix(Id id) const {
        return localTransformationAsMatrix(toIndex(id));
    }
    Matrix4 absoluteTransformationAsMatrix(unsigned short index) const;
    Matrix4 absoluteTransformationAsMatrix(Id id) const {
        return absoluteTransformationAsMatrix(toIndex(id));
    }
    Matrix4 absoluteTransformationAsMatrixSafe(unsigned short index);
    Matrix4 absoluteTransformationAsMatrixSafe(Id id) {
        return absoluteTransformationAsMatrixSafe(toIndex(id));
    }

    /* Updates every dirty object, then clears all dirty bits */
    void computeAbsoluteTransformations();
    /* Updates one object and its dirty ancestors */
    void computeAbsoluteTransformation(unsigned short index);
    void computeAbsoluteTransformation(Id id) { computeAbsoluteTransformation(toIndex(id)); }

    /* Copies the local transformation and scaling; marks nothing */
    void copyObjectTransform(Id from, Id to);

    /* Dirty and changed bits of the object and its descendants */
    void setDirty(unsigned short index);
    void setDirty(Id id) { setDirty(toIndex(id)); }
    /* The same for the descendants only */
    void setChildrenDirty(unsigned short index);
    void setChildrenDirty(Id id) { setChildrenDirty(toIndex(id)); }
    /* Changed bits of the object and its descendants */
    void setChanged(unsigned short index);
    void setChanged(Id id) { setChanged(toIndex(id)); }
    bool isDirty(unsigned short index) const { return _dirty[index]; }
    bool isDirty(Id id) const { return isDirty(toIndex(id)); }
    bool isChanged(unsigned short index) const { return _changed[index]; }
    bool isChanged(Id id) const { return isChanged(toIndex(id)); }
    const BitSetView& dirty() const { return _dirty; }
    const BitSet& changed() const { return _changed; }
    void resetChanged() { _changed.clear(); }
    bool pendingDeletion(Id id) const { return _pendingDeletion.isSetSafe(std::size_t(id)); }

    /* Components and managers */

    /* Registers a manager in a slot; a name of at most 11 characters replaces the slot's
       name, a null name keeps it */
    void setComponentManager(unsigned int index, const char* name, ComponentManager* manager);
    ComponentManager* componentManager(unsigned short index) const {
        return _componentManagers[index];
    }
    ComponentManager* componentManager(const char* name) const;
    /* -1 when no slot has that name */
    int componentManagerIndex(const char* name) const;
    std::string_view componentManagerName(unsigned short index) const;

    /* Records a component the manager has already created */
    void addComponent(Id object, unsigned short managerIndex, Id component);
    /* Forgets a component record */
    void removeComponent(Id object, unsigned short managerIndex, Id component);
    void removeComponent(unsigned short objectIndex, unsigned short managerIndex, Id component) {
        removeComponent(toId(objectIndex), managerIndex, component);
    }
    /* Makes the manager delete the component, forgets the record, then calls
       onComponentDeleted */
    void deleteComponent(unsigned short objectIndex, unsigned int managerIndex, Id component);
    void deleteComponent(Id object, unsigned short managerIndex, Id component) {
        deleteComponent(toIndex(object), managerIndex, component);
    }
    /* Every component of one manager, or of every manager slot by slot; the name manager's
       are kept */
    void deleteComponents(unsigned int managerIndex);
    void deleteComponents();

    unsigned short componentCount(Id object) const {
        return (unsigned short)(_componentsOffsets[std::size_t(object) + 1] -
                                _componentsOffsets[std::size_t(object)]);
    }
    std::span<const Id> components(Id object) const {
        return _components.subspan(_componentsOffsets[std::size_t(object)], componentCount(object));
    }
    std::span<const std::uint8_t> componentTypes(Id object) const {
        return _componentTypes.subspan(_componentsOffsets[std::size_t(object)],
                                       componentCount(object));
    }
    /* The object's components of one manager, in stored order */
    std::vector<Id> componentsOfType(Id object, unsigned short managerIndex) const;
    std::vector<Id> componentsOfType(unsigned short objectIndex,
                                     unsigned short managerIndex) const {
        return componentsOfType(toId(objectIndex), managerIndex);
    }

    void activate();
    void deactivate();
    bool activated() const { return _activated; }

    /* Copies another scene graph with its components under the root; the callback runs
       after the objects and components are in, before appended components are activated */
    void append(const SceneGraph& other, const Function<void()>& callback);

    /* Called with (manager slot, component) after a component was deleted */
    Function<void(unsigned short, Id)> onComponentDeleted;
    /* Called with the Ids of a deleted subtree before the objects leave */
    Function<void(std::span<const Id>)> onObjectsDeleted;

protected:
    /* Moves indices [begin, begin + count) to just before the object at target; parent
       fields are not repaired */
    void moveObjectIndexRange(unsigned short begin, unsigned short count, unsigned short target);

private:
    Header& mutableHeader();
    void init();
    void setObjectDefaults(std::size_t first, std::size_t end);
    void rebuildParents(unsigned short from);

    std::vector<char> _data;
    Utils::MemoryPartition _partition{12};
    std::span<char> _componentManagerNames;
    std::vector<ComponentManager*> _componentManagers;
    std::span<ObjectData> _objectData;
    BitSetView _dirty;
    BitSet _changed;
    std::span<DualQuaternion> _localTransformations;
    std::span<DualQuaternion> _absoluteTransformations;
    std::span<Vector3> _localScalings;
    std::span<Vector3> _absoluteScalings;
    std::span<std::uint16_t> _componentsOffsets;
    std::span<std::uint8_t> _componentTypes;
    std::span<Id> _components;
    std::span<std::uint16_t> _idToIndex;
    std::span<Id> _indexToId;
    bool _activated{};
    BitSet _pendingDeletion;
};

} // namespace ZarvikEngine::Data

#endif
