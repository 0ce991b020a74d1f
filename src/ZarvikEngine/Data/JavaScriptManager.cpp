#include "ZarvikEngine/Data/JavaScriptManager.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(JavaScriptManager::TypesHeader) == 12, "the header is an exchange format");

namespace {
constexpr unsigned short NoType = 65535;
} // namespace

Debug& operator<<(Debug& debug, ParamType value) {
    constexpr const char* Names[]{"Native", "Bool",    "Int",     "Float",    "String",    "Enum",
                                  "Object", "Mesh",    "Texture", "Material", "Animation", "Skin",
                                  "Color",  "Vector2", "Vector3", "Vector4"};
    if (std::size_t(value) < std::size(Names))
        return debug << fmt::format("ParamType::{}", Names[std::size_t(value)]);
    return debug << fmt::format("ParamType({:#x})", std::uint8_t(value));
}

Debug& operator<<(Debug& debug, const AppendOffsets& value) {
    return debug << "Offsets(objects =" << value.objects << "animations =" << value.animations
                 << "skins =" << value.skins << Debug::nospace << ")";
}

Debug& operator<<(Debug& debug, const ResourceOffsets& value) {
    return debug << "Offsets(materials =" << value.materials << "meshes =" << value.meshes
                 << "textures =" << value.textures << Debug::nospace << ")";
}

JavaScriptManager::JavaScriptManager(unsigned short capacity, unsigned short typeCount,
                                     std::uint64_t typeNameBytes)
    : ComponentManager{sizeof(TypesHeader)} {
    allocate(capacity, typeCount, typeNameBytes);
}

JavaScriptManager::JavaScriptManager(std::vector<char>&& block)
    : ComponentManager{sizeof(TypesHeader)} {
    create(std::move(block));
}

std::size_t JavaScriptManager::componentDataSize(unsigned short capacity) const {
    return std::size_t(typesHeader().typeNameBytes) + capacity;
}

std::optional<std::string> JavaScriptManager::validate(std::span<const char> data) {
    std::optional<std::string> problem =
        validateHeader(data, typesHeaderOffset() + sizeof(TypesHeader));
    if (!problem) {
        /* Copied out of the packed header, whose fields can't be referenced. Read as 64 bits:
           compared with the block before any sum can wrap. */
        const TypesHeader types = Validation::read<TypesHeader>(data.data() + typesHeaderOffset());
        const std::uint64_t typeNameBytes = types.typeNameBytes;
        const std::uint32_t typeCount = types.typeCount;
        if (typeNameBytes > data.size())
            problem = fmt::format("{} bytes of type names don't fit a block of {}", typeNameBytes,
                                  data.size());
        else if (typeCount > MaxCapacity)
            problem = fmt::format("{} types, at most {} can be counted", typeCount, MaxCapacity);
        /* Adoption indexes the names, so they are checked first */
        else if (const unsigned short capacity = capacityOf(data);
                 !(problem = validateSize(data, ownersSize(capacity) + std::size_t(typeNameBytes) +
                                                    capacity)))
            problem = Validation::checkStrings(
                data.subspan(typesHeaderOffset() + sizeof(TypesHeader) + baseDataSize(capacity) +
                                 ownersSize(capacity),
                             std::size_t(typeNameBytes)),
                typeCount);
    }
    if (problem)
        return prefixed("JavaScriptManager", std::move(problem));
    return validateBlock(
        "JavaScriptManager", data, sizeof(TypesHeader),
        [](std::span<const char> data, unsigned short capacity) {
            return std::size_t(Validation::read<TypesHeader>(data.data() + typesHeaderOffset())
                                   .typeNameBytes) +
                   capacity;
        },
        JavaScriptManager{});
}

std::optional<std::string> JavaScriptManager::validateRegions() const {
    if (auto problem = ComponentManager::validateRegions())
        return problem;
    for (std::size_t i = 0; i != size(); ++i)
        if (_componentTypes[i] >= typeCount())
            return fmt::format("component index {} has type {} of {}", i, _componentTypes[i],
                               typeCount());
    return {};
}

void JavaScriptManager::allocate(unsigned short capacity) {
    _relayingOut = true;
    ComponentManager::allocate(capacity);
    _relayingOut = false;
    _typeNames = MutableStringArrayView{_typeNameBytes, typeCount()};
}

void JavaScriptManager::allocate(unsigned short capacity, unsigned short typeCount,
                                 std::uint64_t typeNameBytes) {
    ZE_ASSERT(typeCount >= this->typeCount() && typeNameBytes >= typesHeader().typeNameBytes,
              "JavaScriptManager::allocate(): Cannot shrink from"
                  << this->typeCount() << "types in" << typesHeader().typeNameBytes << "bytes to"
                  << typeCount << "in" << typeNameBytes);
    ZE_ASSERT(typeNameBytes >= typeCount,
              "JavaScriptManager::allocate():" << typeNameBytes << "bytes can't hold" << typeCount
                                               << "type names");
    mutableTypesHeader().typeCount = typeCount;
    mutableTypesHeader().typeNameBytes = typeNameBytes;
    allocate(capacity);
}

void JavaScriptManager::doInit() {
    ComponentManager::doInit();
    partition().reserveRegions(2);
    _typeNameBytes = partition().addRegion<char>(block(), std::size_t(typesHeader().typeNameBytes));
    _componentTypes = partition().addRegion<std::uint8_t>(block(), capacity());
    /* While growing, the names aren't in place yet */
    if (!_relayingOut)
        _typeNames = MutableStringArrayView{_typeNameBytes, typeCount()};
}

void JavaScriptManager::copy(unsigned short source, unsigned short destination) {
    _componentTypes[destination] = _componentTypes[source];
}

void JavaScriptManager::doSwap(unsigned short a, unsigned short b) {
    ComponentManager::doSwap(a, b);
    std::swap(_componentTypes[a], _componentTypes[b]);
}

void JavaScriptManager::doDelete(unsigned short index) {
    _componentTypes[index] = 0;
}

void JavaScriptManager::doAppend(const SparseArray& other) {
    /* Managers are matched by name, so the other one is a script manager too */
    const auto& types = static_cast<const JavaScriptManager&>(other)._componentTypes;
    std::copy_n(types.begin(), other.size(), _componentTypes.begin() + size());
}

Id JavaScriptManager::addComponent(Id object, unsigned short type) {
    ZE_ASSERT(type < typeCount(), "JavaScriptManager::addComponent(): type"
                                      << type << "out of range for" << typeCount() << "types");
    const Id id = addComponent(object);
    _componentTypes[toIndex(id)] = std::uint8_t(type);
    return id;
}

unsigned short JavaScriptManager::typeIndex(std::string_view name) const {
    for (std::size_t i = 0; i != _typeNames.size(); ++i)
        if (_typeNames.get(i) == name)
            return static_cast<unsigned short>(i);
    return NoType;
}

void JavaScriptManager::setComponentType(unsigned short typeIndex, std::string_view name) {
    ZE_ASSERT(typeIndex < typeCount(), "JavaScriptManager::setComponentType(): type"
                                           << typeIndex << "out of range for" << typeCount()
                                           << "types");
    const bool set = _typeNames.set(typeIndex, name);
    ZE_ASSERT(set, "JavaScriptManager::setComponentType(): no room for the type name" << name);
}

std::vector<std::uint8_t> JavaScriptManager::computeTypeToJsIndex() const {
    std::vector<std::uint8_t> map(typeCount());
    for (std::size_t i = 0; i != map.size(); ++i) {
        const std::string_view name = _typeNames.get(i);
        ZE_ASSERT(name.data()[name.size()] == '\0',
                  "JavaScriptManager::computeTypeToJsIndex(): type name"
                      << i << "is not null-terminated");
        map[i] = std::uint8_t(i);
    }
    return map;
}

void JavaScriptManager::completeInitialization(std::vector<char>&& data) {
    _initState.data = std::move(data);
    completeInitialization();
}

void JavaScriptManager::completeInitialization() {
    _initState.pendingComponents.resize(size());
    for (unsigned short i = 0; i != size(); ++i)
        _initState.pendingComponents[i] = toId(i);
}

void JavaScriptManager::js_createAndInitAllComponents() {
    if (_initState.pendingComponents.empty())
        return;
    const std::vector<std::uint8_t> toJsIndex = computeTypeToJsIndex();
    for (const Id id : _initState.pendingComponents) {
        std::uint8_t& type = componentType(id);
        ZE_ASSERT(type < toJsIndex.size(), "JavaScriptManager::js_createAndInitAllComponents(): "
                                           "component"
                                               << id << "has type" << type << "of"
                                               << toJsIndex.size());
        type = toJsIndex[type];
    }
    _initState = {};
}

void JavaScriptManager::js_setComponentParamTranslation(Id component, std::uint32_t param,
                                                        std::string_view value) {
    Debug{} << "js_setComponentParamTranslation(" << Debug::nospace << component << Debug::nospace
            << "," << param << "," << value << Debug::nospace << ")";
}

void JavaScriptManager::prepareAppendOrCopy(const AppendOffsets& appendOffsets,
                                            const ResourceOffsets& resourceOffsets) {
    _appendOffsets = appendOffsets;
    _resourceOffsets = resourceOffsets;
}

} // namespace ZarvikEngine::Data
