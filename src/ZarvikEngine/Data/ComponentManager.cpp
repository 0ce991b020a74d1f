#include "ZarvikEngine/Data/ComponentManager.h"

#include <utility>
#include <vector>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(ComponentManager::ComponentHeader) == 4, "the header is an exchange format");

Debug& operator<<(Debug& debug, ComponentManagerFlag value) {
    switch (value) {
    case ComponentManagerFlag::SceneActivation:
        return printEnum(debug, "ComponentManagerFlag", "SceneActivation", int(value));
    case ComponentManagerFlag::ReentrantActivation:
        return printEnum(debug, "ComponentManagerFlag", "ReentrantActivation", int(value));
    }
    return printEnum(debug, "ComponentManagerFlag", {}, int(value));
}

ComponentManager::ComponentManager(std::size_t extraHeaderSize)
    : SparseArray{componentHeaderSize() + extraHeaderSize} {}

ComponentManager::~ComponentManager() {
    /* The scene graph must not keep a dangling slot */
    if (_sceneGraph)
        _sceneGraph->setComponentManager(_index, nullptr, nullptr);
}

std::size_t ComponentManager::ownersSize(unsigned short capacity) {
    /* Padded to keep the concrete regions 4-byte aligned */
    return 2 * (std::size_t(capacity) + capacity % 2);
}

std::size_t ComponentManager::dataSize(unsigned short capacity) const {
    return componentDataSize(capacity) + ownersSize(capacity);
}

unsigned short ComponentManager::capacityOf(std::span<const char> data) {
    return Validation::read<Header>(data.data()).capacity;
}

std::optional<std::string> ComponentManager::prefixed(std::string_view name,
                                                      std::optional<std::string> problem) {
    if (problem)
        return fmt::format("{}::validate(): {}", name, *problem);
    return {};
}

std::optional<std::string> ComponentManager::validateRegions() const {
    if (activeCount() > size())
        return fmt::format("{} active components of {}", activeCount(), size());
    return {};
}

void ComponentManager::doInit() {
    _objects = partition().addRegion<Id>(block(), ownersSize(capacity()) / 2).first(capacity());
    _childData = block().subspan(partition().end(partition().usedRegionCount() - 1));
}

void ComponentManager::doSwap(unsigned short a, unsigned short b) {
    std::swap(_objects[a], _objects[b]);
}

Id ComponentManager::addComponent(Id object) {
    ZE_ASSERT(_sceneGraph,
              "ComponentManager::addComponent(): Manager is not registered in a scene graph");
    const Id id = add();
    _objects[toIndex(id)] = object;
    _sceneGraph->addComponent(object, _index, id);
    return id;
}

void ComponentManager::deleteComponent(unsigned short index) {
    if (isActive(index))
        index = deactivate(index);
    remove(index);
}

unsigned short ComponentManager::moveToActive(unsigned short index) {
    const unsigned short first = activeCount();
    swap(index, first);
    ++mutableComponentHeader().activeCount;
    return doActivate(first);
}

unsigned short ComponentManager::activate(unsigned short index) {
    if (isActive(index))
        return index;
    const unsigned short active = moveToActive(index);
    /* A component still waiting in a post-activation pass gets its hook when the pass
       reaches it */
    if (!_deactivating && !pendingActivation(active))
        doPostActivate(active);
    return active;
}

unsigned short ComponentManager::deactivate(unsigned short index) {
    if (!isActive(index))
        return activeCount();
    const unsigned short last = preDeactivate(index);
    const unsigned short inactive = --mutableComponentHeader().activeCount;
    swap(last, inactive);
    /* It never received doPostActivate() */
    if (pendingActivation(inactive))
        return inactive;
    doPostDeactivate(inactive);
    return inactive;
}

bool ComponentManager::pendingActivation(Id id) const {
    return _pendingActivation && _pendingActivation->isSetSafe(std::size_t(id));
}

void ComponentManager::postActivate(Utils::IndexRange<unsigned short> range) {
    const ComponentManagerFlags f = flags();
    if (!(f & ComponentManagerFlag::SceneActivation))
        return;
    if (!(f & ComponentManagerFlag::ReentrantActivation)) {
        for (unsigned short i = range.begin; i != range.end; ++i)
            doPostActivate(i);
        return;
    }

    /* Hooks may reorder the components, so the pass works on Ids */
    std::vector<Id> ids(range.size());
    for (std::size_t i = 0; i != ids.size(); ++i)
        ids[i] = toId(IndexType(range.begin + i));
    postActivate(ids);
}

void ComponentManager::postActivate(std::span<const Id> ids) {
    if (!(flags() & ComponentManagerFlag::ReentrantActivation)) {
        for (const Id id : ids)
            doPostActivate(toIndex(id));
        return;
    }

    /* A pass started from a hook of a running one adds its components to the running pass's
       set; the outermost pass owns the set */
    const bool outermost = !_pendingActivation;
    if (outermost)
        _pendingActivation.emplace(capacity());
    for (const Id id : ids)
        _pendingActivation->setSafe(std::size_t(id));

    for (const Id id : ids) {
        const unsigned short index = toIndex(id);
        /* Skips components deactivated meanwhile by another hook */
        if (index >= activeCount() || !pendingActivation(id))
            continue;
        _pendingActivation->unset(std::size_t(id));
        doPostActivate(index);
    }

    if (outermost)
        _pendingActivation.reset();
}

void ComponentManager::postDeactivate() {
    if (!(flags() & ComponentManagerFlag::SceneActivation))
        return;
    std::vector<Id> ids(activeCount());
    for (std::size_t i = 0; i != ids.size(); ++i)
        ids[i] = toId(IndexType(i));
    postDeactivate(ids);
}

void ComponentManager::postDeactivate(std::span<const Id> ids) {
    if (!(flags() & ComponentManagerFlag::ReentrantActivation)) {
        for (const Id id : ids)
            doPostDeactivate(toIndex(id));
        return;
    }

    const bool deactivating = std::exchange(_deactivating, true);
    for (const Id id : ids) {
        const unsigned short index = toIndex(id);
        if (index < activeCount())
            doPostDeactivate(index);
    }
    _deactivating = deactivating;
}

void ComponentManager::update(double dt) {
    _lastDeltaTime = dt;
    _totalTime += dt;
    preUpdate();
    doUpdate();
    postUpdate();
}

void ComponentManager::doUpdate() {
    /* The active count is read again each step: updates may activate or deactivate */
    for (unsigned short i = 0; i < activeCount(); ++i)
        updateComponent(i);
}

void ComponentManager::append(const ComponentManager& other, unsigned short objectOffset) {
    ZE_ASSERT(name() == other.name(),
              "ComponentManager::append(): Cannot append component from manager of different type");
    ZE_ASSERT(_sceneGraph && other._sceneGraph,
              "ComponentManager::append(): Both managers have to be registered in a scene graph");

    const unsigned short begin = size();
    const std::size_t end = std::size_t(begin) + other.size();
    SparseArray::append(other, false);
    for (std::size_t k = begin; k != end; ++k) {
        const unsigned short otherObject =
            other._sceneGraph->toIndex(other.object(IndexType(k - begin)));
        _objects[k] = _sceneGraph->toId(IndexType(objectOffset + otherObject));
    }
    doAppend(other);
    mutableHeader().size = std::uint16_t(end);
}

} // namespace ZarvikEngine::Data
