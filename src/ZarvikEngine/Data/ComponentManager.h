#ifndef ZarvikEngine_Data_ComponentManager_h
#define ZarvikEngine_Data_ComponentManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Containers/EnumSet.h"
#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Data/SparseArray.h"
#include "ZarvikEngine/Utils/IndexRange.h"

namespace ZarvikEngine::Data {

class SceneGraph;

enum class ComponentManagerFlag : std::uint8_t {
    /* Components receive doPostActivate() / doPostDeactivate() when the scene graph is
       activated or deactivated */
    SceneActivation = 1,
    /* Those hooks may activate, deactivate or reorder components */
    ReentrantActivation = 2,
};

using ComponentManagerFlags = EnumSet<ComponentManagerFlag>;
ZE_ENUMSET_OPERATORS(ComponentManagerFlags)

Debug& operator<<(Debug& debug, ComponentManagerFlag value);

/* Base of every component manager: a sparse array of components, each owned by a scene-graph
   object. Indices [0, activeCount()) are the active components, [activeCount(), size()) the
   inactive ones.

   Block: SparseArray::Header, ComponentHeader, the concrete manager's header fields, the Id
   maps, the owning objects (2 bytes per slot, padded to 4), then the concrete manager's
   regions (componentDataSize()). */
class ComponentManager : public SparseArray {
public:
    struct ComponentHeader {
        std::uint16_t activeCount;
        std::uint16_t reserved;
    };

    static constexpr std::size_t componentHeaderSize() { return sizeof(ComponentHeader); }

    /* A header area of extraHeaderSize bytes beyond ComponentHeader; not registered in a
       scene graph yet */
    explicit ComponentManager(std::size_t extraHeaderSize);
    /* Leaves its scene-graph slot empty */
    ~ComponentManager() override;

    std::size_t dataSize(unsigned short capacity) const override;
    /* Bytes of the concrete manager's regions */
    virtual std::size_t componentDataSize(unsigned short capacity) const = 0;
    /* Also the key that matches managers between scene graphs */
    virtual std::string_view name() const = 0;
    virtual ComponentManagerFlags flags() const { return {}; }

    /* Creates an inactive component owned by object and records it in the scene graph, which
       the manager must be registered in */
    Id addComponent(Id object);
    /* Deactivates first if active; the scene graph's record is left alone */
    void deleteComponent(unsigned short index);
    void deleteComponent(Id id) { deleteComponent(toIndex(id)); }

    /* Return the component's new index */
    unsigned short activate(unsigned short index);
    unsigned short activate(Id id) { return activate(toIndex(id)); }
    unsigned short deactivate(unsigned short index);
    unsigned short deactivate(Id id) { return deactivate(toIndex(id)); }
    unsigned short setActive(unsigned short index, bool active) {
        return active ? activate(index) : deactivate(index);
    }
    unsigned short setActive(Id id, bool active) { return setActive(toIndex(id), active); }

    bool isActive(unsigned short index) const { return index < activeCount(); }
    bool isActive(Id id) const { return isActive(toIndex(id)); }
    unsigned short activeCount() const { return componentHeader().activeCount; }
    unsigned short numActiveComponents() const { return activeCount(); }
    /* The component is waiting for its doPostActivate() in a running post-activation pass */
    bool pendingActivation(unsigned short index) const { return pendingActivation(toId(index)); }
    bool pendingActivation(Id id) const;

    /* Post-activation passes, run on scene activation and for appended components */
    void postActivate(Utils::IndexRange<unsigned short> range);
    void postActivate(std::span<const Id> ids);
    void postActivate() { postActivate(Utils::IndexRange<unsigned short>{0, activeCount()}); }
    void postDeactivate(std::span<const Id> ids);
    void postDeactivate();

    /* preUpdate(), doUpdate(), postUpdate() */
    void update(double dt);
    double lastDeltaTime() const { return _lastDeltaTime; }
    double totalTime() const { return _totalTime; }

    Id object(unsigned short index) const { return _objects[index]; }
    Id object(Id id) const { return object(toIndex(id)); }

    SceneGraph* sceneGraph() const { return _sceneGraph; }
    /* Slot of the manager in its scene graph */
    unsigned short index() const { return _index; }
    const ComponentHeader& componentHeader() const {
        return *reinterpret_cast<const ComponentHeader*>(block().data() + headerSize());
    }
    /* The concrete manager's part of the block */
    std::span<char> childData() { return _childData; }
    std::span<const char> childData() const { return _childData; }

    /* Appends the other manager's components as inactive ones. Both managers are registered;
       the other scene graph's root sits at index objectOffset of this one. */
    void append(const ComponentManager& other, unsigned short objectOffset);

protected:
    /* The virtual functions are declared in the order of the table every manager shares */
    virtual void preUpdate() {}
    virtual void postUpdate() {}
    /* updateComponent() for each active component */
    virtual void doUpdate();

public:
    /* Updates one active component (from the default doUpdate()) */
    virtual void updateComponent(unsigned short index) = 0;
    void updateComponent(Id id) { updateComponent(toIndex(id)); }

protected:
    /* Places a newly activated component that sits at index activeCount() - 1; returns its
       final index */
    virtual unsigned short doActivate(unsigned short index) { return index; }
    virtual void doPostActivate(unsigned short) {}
    virtual void doPostDeactivate(unsigned short) {}
    /* Moves a component about to be deactivated to index activeCount() - 1; returns that */
    virtual unsigned short preDeactivate(unsigned short index) { return index; }

    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;

    /* The steps of the concrete managers' static validate(): the header of a block whose
       header area holds extraHeaderSize bytes beyond ComponentHeader, the block's exact size,
       with componentDataSize(data, capacity) giving the bytes of the concrete regions from the
       block's own header fields, the Id maps, then the regions of a copy that scratch (a
       manager of the concrete type) adopts. Problems read "<name>::validate(): ...". */
    template<class ComponentDataSize>
    static std::optional<std::string>
    validateBlock(std::string_view name, std::span<const char> data, std::size_t extraHeaderSize,
                  ComponentDataSize&& componentDataSize, ComponentManager&& scratch) {
        std::optional<std::string> problem =
            validateHeader(data, headerSize() + componentHeaderSize() + extraHeaderSize);
        if (!problem) {
            const unsigned short capacity = capacityOf(data);
            problem = validateSize(data, ownersSize(capacity) + componentDataSize(data, capacity));
        }
        if (!problem)
            problem = validateMaps(data);
        if (!problem) {
            scratch.create(std::vector<char>(data.begin(), data.end()));
            problem = scratch.validateRegions();
        }
        return prefixed(name, std::move(problem));
    }
    /* The capacity a block's header states, once validateHeader() accepted it */
    static unsigned short capacityOf(std::span<const char> data);
    /* Bytes of the owning-objects region */
    static std::size_t ownersSize(unsigned short capacity);
    static std::optional<std::string> prefixed(std::string_view name,
                                               std::optional<std::string> problem);
    std::optional<std::string> validateRegions() const override;

    ComponentHeader& mutableComponentHeader() {
        return *reinterpret_cast<ComponentHeader*>(block().data() + headerSize());
    }

    /* activate() without the already-active test and without doPostActivate(), for moving
       components in bulk */
    unsigned short moveToActive(unsigned short index);
    unsigned short moveToActive(Id id) { return moveToActive(toIndex(id)); }

    /* The owning-objects column, for grouped managers that reorder it */
    std::span<Id> objects() { return _objects; }

private:
    friend class SceneGraph;

    std::span<char> _childData;
    std::span<Id> _objects;
    SceneGraph* _sceneGraph{};
    unsigned short _index{};
    double _lastDeltaTime{};
    double _totalTime{};
    /* Bits by Id, present while a reentrant post-activation pass runs */
    std::optional<BitSet> _pendingActivation;
    bool _deactivating{};
};

} // namespace ZarvikEngine::Data

#endif
