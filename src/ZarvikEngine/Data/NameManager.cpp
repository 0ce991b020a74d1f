#include "ZarvikEngine/Data/NameManager.h"

#include <algorithm>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(NameManager::NameHeader) == 8, "the header is an exchange format");

NameManager::NameManager(std::vector<char>&& data) : ComponentManager{sizeof(NameHeader)} {
    create(std::move(data));
}

std::optional<std::string> NameManager::validate(std::span<const char> data) {
    std::optional<std::string> problem =
        validateHeader(data, nameHeaderOffset() + sizeof(NameHeader));
    if (!problem) {
        const unsigned short capacity = capacityOf(data);
        /* Read as 64 bits: compared with the block before any sum can wrap */
        const std::uint64_t stringMemory =
            Validation::read<NameHeader>(data.data() + nameHeaderOffset()).stringMemorySize;
        if (stringMemory > data.size())
            problem = fmt::format("{} bytes of string memory don't fit a block of {}", stringMemory,
                                  data.size());
        else if (!(problem = validateSize(data, ownersSize(capacity) + stringMemory)))
            problem = Validation::checkStrings(data.last(std::size_t(stringMemory)), capacity);
    }
    return prefixed("NameManager", std::move(problem));
}

NameManager::NameManager(unsigned int capacity, unsigned int stringMemory)
    : ComponentManager{sizeof(NameHeader)} {
    ZE_ASSERT(capacity <= MaxCapacity, "NameManager::NameManager(): Capacity of"
                                           << capacity << "names exceeds the limit of"
                                           << MaxCapacity);
    mutableNameHeader().stringMemorySize = std::max(capacity, stringMemory);
    allocate(IndexType(capacity));
}

void NameManager::allocate(unsigned short capacity) {
    /* Room for the new slots' empty names */
    if (capacity > this->capacity())
        mutableNameHeader().stringMemorySize =
            nameHeader().stringMemorySize + (capacity - this->capacity());
    relayout(capacity);
}

void NameManager::allocate(unsigned short capacity, std::size_t stringMemory) {
    ZE_ASSERT(stringMemory >= nameHeader().stringMemorySize,
              "NameManager::allocate(): Cannot shrink string memory from"
                  << nameHeader().stringMemorySize << "to" << stringMemory << "bytes");
    mutableNameHeader().stringMemorySize = stringMemory;
    relayout(capacity);
}

void NameManager::allocateAdditional(unsigned short count, std::size_t bytesPerName) {
    ZE_ASSERT(std::size_t(capacity()) + count <= MaxCapacity,
              "NameManager::allocateAdditional(): Capacity of"
                  << capacity() << "+" << count << "names exceeds the limit of" << MaxCapacity);
    const std::size_t needed = std::size_t(count) * bytesPerName;
    const std::size_t unused = _names.unusedCapacity();
    if (needed > unused)
        mutableNameHeader().stringMemorySize = nameHeader().stringMemorySize + needed - unused;
    relayout(IndexType(capacity() + count));
}

void NameManager::relayout(unsigned short capacity) {
    _relayingOut = true;
    SparseArray::allocate(capacity);
    _relayingOut = false;
    _names.setSize(capacity);
}

void NameManager::doInit() {
    ComponentManager::doInit();
    partition().reserveRegions(1);
    _stringMemory = partition().addFinalRegion(block());
    const unsigned short n = capacity();
    ZE_ASSERT(_stringMemory.size() >= n,
              "NameManager::doInit(): Insufficient string memory for component capacity");

    /* While growing, the bytes are moved into the new layout only after this; the names are
       read from them only for a block handed in */
    if (_relayingOut)
        _names.setData(_stringMemory);
    else
        _names = MutableStringArrayView{_stringMemory, n};

    mutableHeader().size = n;
    mutableComponentHeader().activeCount = n;
}

void NameManager::doSwap(unsigned short, unsigned short) {
    ZE_INTERNAL_ASSERT_UNREACHABLE();
}

void NameManager::setName(Id object, std::string_view name) {
    if (!name.empty() && name.back() == '\0')
        name.remove_suffix(1);
    const std::size_t i = std::size_t(object);
    ZE_ASSERT(i < _names.size(),
              "Not enough names allocated, required" << i + 1 << "but has" << _names.size());
    if (_names.set(i, name))
        return;

    /* Growing moves the block, which name may point into */
    const std::string copy{name};
    mutableNameHeader().stringMemorySize =
        _stringMemory.size() + copy.size() + 1 - _names.sizeOf(i) - _names.unusedCapacity();
    relayout(capacity());
    const bool set = _names.set(i, copy);
    ZE_INTERNAL_ASSERT(set);
}

void NameManager::copy(unsigned short source, unsigned short destination) {
    /* Setting the name may move the bytes of the source, or the whole block */
    const std::string name{nameOf(source)};
    setName(Id(destination), name);
}

Id NameManager::lookUp(std::string_view name) const {
    ZE_INTERNAL_ASSERT(sceneGraph());
    const SceneGraph& graph = *sceneGraph();
    for (std::size_t i = 0; i != _names.size(); ++i) {
        /* Names of deleted objects stay behind */
        if (!graph.isValid(Id(i)))
            continue;
        const std::string_view candidate = _names.get(i);
        if (!candidate.empty() && candidate == name)
            return Id(i);
    }
    return InvalidId;
}

void NameManager::doAppend(const SparseArray& other) {
    ZE_INTERNAL_ASSERT(this->sceneGraph());
    /* Managers are matched by name, so the other one is a name manager too */
    const auto& names = static_cast<const NameManager&>(other);
    const SceneGraph& graph = *sceneGraph();
    const SceneGraph& otherGraph = *names.sceneGraph();

    /* The other root was placed at the current end of this scene graph */
    const std::size_t begin = graph.size();
    const std::size_t end = std::min<std::size_t>(graph.capacity(), begin + otherGraph.size());
    for (std::size_t k = begin; k != end; ++k)
        setName(graph.toId(IndexType(k)), names.nameOf(otherGraph.toId(IndexType(k - begin))));
}

} // namespace ZarvikEngine::Data
