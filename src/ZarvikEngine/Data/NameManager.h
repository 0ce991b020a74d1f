#ifndef ZarvikEngine_Data_NameManager_h
#define ZarvikEngine_Data_NameManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine::Data {

/* Names of scene-graph objects: one name slot per object Id, at the position of the Id
   itself. Every slot counts as a live, active component; the Id maps and owning objects of
   the component manager are not used. The scene graph recognises the manager by name() and
   never bulk-deletes or activates its components.

   Block: SparseArray::Header, ComponentHeader, NameHeader, the unused maps and owning
   objects, then the string memory to the end: one zero-terminated string per slot, packed. */
class NameManager : public ComponentManager {
public:
    /* 8 bytes at offset 20 */
    struct [[gnu::packed]] NameHeader {
        std::uint64_t stringMemorySize;
    };

    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit NameManager(std::vector<char>&& data);

    /* Checks a block from outside the process before it is adopted: its size and a string
       memory that holds a name for every slot. The Id maps and owning objects aren't used,
       so they aren't checked. Returns the first problem, or nothing. */
    static std::optional<std::string> validate(std::span<const char> data);
    /* max(capacity, stringMemory) + capacity bytes of string memory, all names empty */
    explicit NameManager(unsigned int capacity = 0, unsigned int stringMemory = 0);

    /* One more byte of string memory per added slot */
    void allocate(unsigned short capacity) override;
    /* Exactly stringMemory bytes of string memory, which can't shrink */
    void allocate(unsigned short capacity, std::size_t stringMemory);
    /* count more slots and room for names of bytesPerName bytes each, zero byte included */
    void allocateAdditional(unsigned short count, std::size_t bytesPerName);

    /* Accepts names with or without a terminating zero byte; grows the string memory by
       exactly what is missing */
    void setName(Id object, std::string_view name);
    std::string_view nameOf(unsigned short id) const { return _names.get(id); }
    std::string_view nameOf(Id id) const { return nameOf(IndexType(id)); }
    /* Lowest live object Id with that name, InvalidId when there is none; the manager must be
       registered */
    Id lookUp(std::string_view name) const;

    const NameHeader& nameHeader() const {
        return *reinterpret_cast<const NameHeader*>(block().data() + nameHeaderOffset());
    }

    std::string_view name() const override { return "name"; }
    std::size_t componentDataSize(unsigned short) const override {
        return nameHeader().stringMemorySize;
    }
    /* Gives the destination Id the source Id's name */
    void copy(unsigned short source, unsigned short destination) override;
    /* Names have nothing to update */
    void updateComponent(unsigned short) override {}

protected:
    void doInit() override;
    /* Names stay at their Ids */
    void doSwap(unsigned short, unsigned short) override;
    void doAppend(const SparseArray& other) override;

private:
    static constexpr std::size_t nameHeaderOffset() { return headerSize() + componentHeaderSize(); }
    NameHeader& mutableNameHeader() {
        return *reinterpret_cast<NameHeader*>(block().data() + nameHeaderOffset());
    }
    /* Grows the block; the names' bytes are moved into the new layout before new empty
       names are added for the new slots */
    void relayout(unsigned short capacity);

    std::span<char> _stringMemory;
    MutableStringArrayView _names;
    bool _relayingOut{};
};

} // namespace ZarvikEngine::Data

#endif
