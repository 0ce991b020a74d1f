#ifndef ZarvikEngine_Data_JavaScriptManager_h
#define ZarvikEngine_Data_JavaScriptManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine::Data {

/* Kinds of script component parameters */
enum class ParamType : std::uint8_t {
    Native = 0,
    Bool = 1,
    Int = 2,
    Float = 3,
    String = 4,
    Enum = 5,
    Object = 6,
    Mesh = 7,
    Texture = 8,
    Material = 9,
    Animation = 10,
    Skin = 11,
    Color = 12,
    Vector2 = 13,
    Vector3 = 14,
    Vector4 = 15,
};

Debug& operator<<(Debug& debug, ParamType value);

/* How far the Ids of an appended scene are shifted */
struct AppendOffsets {
    std::uint16_t objects;
    std::uint16_t animations;
    std::uint16_t skins;
};

/* How far the resource indices of an appended scene are shifted */
struct ResourceOffsets {
    std::uint16_t materials;
    std::uint16_t meshes;
    std::uint16_t textures;
};

Debug& operator<<(Debug& debug, const AppendOffsets& value);
Debug& operator<<(Debug& debug, const ResourceOffsets& value);

/* Script components: each has a component type, an index into the type names (the script
   classes). The scripts run in a JavaScript runtime outside the library, which connects to
   the js_ hooks; the manager keeps what the runtime needs: the types, the components created
   before it was ready, and the offsets of a scene being appended.

   Block: as ComponentManager, with TypesHeader after ComponentHeader, then the type names
   (TypesHeader::typeNameBytes bytes, TypesHeader::typeCount zero-terminated strings packed)
   and the component types (one byte per slot). */
class JavaScriptManager : public ComponentManager {
public:
    /* 12 bytes at offset 20 */
    struct [[gnu::packed]] TypesHeader {
        std::uint32_t typeCount;
        std::uint64_t typeNameBytes;
    };

    /* What waits for the script runtime: the components created before it was ready, and data
       the runtime hands over with them */
    struct InitState {
        std::vector<Id> pendingComponents;
        std::vector<char> data;
    };

    /* Type names start empty; typeNameBytes must hold a zero byte per type */
    explicit JavaScriptManager(unsigned short capacity = 0, unsigned short typeCount = 0,
                               std::uint64_t typeNameBytes = 0);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit JavaScriptManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes, Id maps, a type
       name per type, and a valid type for every component. Returns the first problem, or
       nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    void allocate(unsigned short capacity) override;
    /* Neither the type count nor the name bytes can shrink; type names are kept */
    void allocate(unsigned short capacity, unsigned short typeCount, std::uint64_t typeNameBytes);

    std::string_view name() const override { return "js"; }
    std::size_t componentDataSize(unsigned short capacity) const override;
    ComponentManagerFlags flags() const override {
        return ComponentManagerFlag::SceneActivation | ComponentManagerFlag::ReentrantActivation;
    }
    void copy(unsigned short source, unsigned short destination) override;
    /* Scripts update themselves in the runtime */
    void updateComponent(unsigned short) override {}

    using ComponentManager::addComponent;
    /* type must be below typeCount() */
    Id addComponent(Id object, unsigned short type);

    const TypesHeader& typesHeader() const {
        return *reinterpret_cast<const TypesHeader*>(block().data() + typesHeaderOffset());
    }
    unsigned short typeCount() const {
        return static_cast<unsigned short>(typesHeader().typeCount);
    }

    std::uint8_t& componentType(unsigned short index) { return _componentTypes[index]; }
    std::uint8_t& componentType(Id id) { return componentType(toIndex(id)); }
    std::uint8_t componentType(unsigned short index) const { return _componentTypes[index]; }
    std::uint8_t componentType(Id id) const { return componentType(toIndex(id)); }
    unsigned short typeIndex(Id id) const { return componentType(id); }
    /* The first type of that name, 65535 when there is none */
    unsigned short typeIndex(std::string_view name) const;
    std::string_view typeName(unsigned short typeIndex) const { return _typeNames.get(typeIndex); }
    /* The name must fit the type name bytes left */
    void setComponentType(unsigned short typeIndex, std::string_view name);
    /* The runtime's index of every type; the runtime here uses the type indices themselves */
    std::vector<std::uint8_t> computeTypeToJsIndex() const;

    InitState& initialState() { return _initState; }
    /* Takes the runtime's data, then lists every component as pending, in index order */
    void completeInitialization(std::vector<char>&& data);
    void completeInitialization();

    /* Gives the pending components their runtime type indices and releases the initial state;
       nothing without pending components */
    void js_createAndInitAllComponents();
    /* A translated text parameter: logged, as the runtime owns the parameters */
    void js_setComponentParamTranslation(Id component, std::uint32_t param, std::string_view value);

    /* The offsets of the next scene to be appended or copied in */
    void prepareAppendOrCopy(const AppendOffsets& appendOffsets,
                             const ResourceOffsets& resourceOffsets);
    const AppendOffsets& appendOffsets() const { return _appendOffsets; }
    const ResourceOffsets& resourceOffsets() const { return _resourceOffsets; }

    /* The last update's time step, as the runtime reads it */
    float deltaTime() const { return _deltaTime; }

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doDelete(unsigned short index) override;
    /* Type indices are appended as they are: both managers hold the same types */
    void doAppend(const SparseArray& other) override;
    void preUpdate() override { _deltaTime = float(lastDeltaTime()); }

private:
    static constexpr std::size_t typesHeaderOffset() {
        return headerSize() + componentHeaderSize();
    }
    TypesHeader& mutableTypesHeader() {
        return *reinterpret_cast<TypesHeader*>(block().data() + typesHeaderOffset());
    }

    std::span<char> _typeNameBytes;
    MutableStringArrayView _typeNames;
    std::span<std::uint8_t> _componentTypes;
    /* Set while growing, when the names are moved into place only after doInit() */
    bool _relayingOut{};
    InitState _initState;
    AppendOffsets _appendOffsets{};
    ResourceOffsets _resourceOffsets{};
    float _deltaTime{};
};

} // namespace ZarvikEngine::Data

#endif
