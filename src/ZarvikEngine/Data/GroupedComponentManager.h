#ifndef ZarvikEngine_Data_GroupedComponentManager_h
#define ZarvikEngine_Data_GroupedComponentManager_h

#include <cstdint>
#include <span>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Utils/Align.h"
#include "ZarvikEngine/Utils/IndexRange.h"

namespace ZarvikEngine::Data {

/* A component manager whose active components are kept sorted by group and subgroup, so that
   each (sub)group is one contiguous index range. The group code of a component is
   group · SubGroupCount + subgroup; _groupOffsets entry c is where the active components of
   code c start, its last entry equals activeCount().

   Block: as ComponentManager, with GroupsHeader right after ComponentHeader and, at the start
   of the concrete regions, the group codes (2 bytes per slot) and the group offsets
   (2 · (codes + 1) bytes), padded to 4 (groupsDataSize()). */
template<unsigned int SubGroupCount>
class GroupedComponentManager : public ComponentManager {
    static_assert(SubGroupCount == 1 || SubGroupCount == 2, "one or two subgroups");

public:
    struct GroupsHeader {
        std::uint16_t groupsCount;
        std::uint16_t reserved;
    };

    /* Codes are stored in 16 bits */
    static constexpr std::size_t MaxGroupsCount = 65536 / SubGroupCount;

    /* No groups yet: allocate(capacity, groups) gives them */
    explicit GroupedComponentManager(std::size_t extraHeaderSize);
    GroupedComponentManager(std::size_t extraHeaderSize, unsigned short groups);

    using ComponentManager::allocate;
    /* Grows to capacity slots and groups groups, new groups empty; marks every group
       changed */
    void allocate(unsigned short capacity, unsigned short groups);

    /* The destination takes the source's group. Concrete managers copy their own data
       first: an active destination moves into its new group. */
    void copy(unsigned short source, unsigned short destination) override;

    /* Stores the group of the component; an active one moves into it. Returns the new index. */
    unsigned short setGroup(unsigned short index, unsigned short group,
                            unsigned short subGroup = 0);
    unsigned short setGroup(Id id, unsigned short group, unsigned short subGroup = 0) {
        return setGroup(toIndex(id), group, subGroup);
    }
    unsigned short group(unsigned short index) const { return _groupCodes[index] / SubGroupCount; }
    unsigned short group(Id id) const { return group(toIndex(id)); }
    unsigned short subgroup(unsigned short index) const {
        return _groupCodes[index] % SubGroupCount;
    }
    unsigned short subgroup(Id id) const { return subgroup(toIndex(id)); }

    unsigned short groupStart(unsigned short group, unsigned short subGroup = 0) const {
        return _groupOffsets[code(group, subGroup)];
    }
    unsigned short groupEnd(unsigned short group, unsigned short subGroup = 0) const {
        return _groupOffsets[code(group, subGroup) + 1];
    }
    /* All subgroups of the group */
    Utils::IndexRange<unsigned short> groupRange(unsigned short group) const {
        return {_groupOffsets[code(group, 0)], _groupOffsets[code(group, 0) + SubGroupCount]};
    }
    Utils::IndexRange<unsigned short> groupRange(unsigned short group,
                                                 unsigned short subGroup) const {
        return {groupStart(group, subGroup), groupEnd(group, subGroup)};
    }
    unsigned short groupSize(unsigned short group) const { return groupRange(group).size(); }
    unsigned short groupSize(unsigned short group, unsigned short subGroup) const {
        return groupRange(group, subGroup).size();
    }

    unsigned short groupsCount() const { return groupsHeader().groupsCount; }
    const GroupsHeader& groupsHeader() const {
        return *reinterpret_cast<const GroupsHeader*>(block().data() + groupsHeaderOffset());
    }
    /* Bytes of the group codes and offsets, to be included in componentDataSize() */
    std::size_t groupsDataSize(unsigned short capacity) const {
        return groupsDataSize(groupsCount(), capacity);
    }
    static std::size_t groupsDataSize(unsigned short groupsCount, unsigned short capacity) {
        return Utils::fourByteAlign(2 * (std::size_t(groupsCount) * SubGroupCount + capacity) + 2);
    }

    /* One bit per group (not per code), set when the group was reordered; the host clears
       the bits it consumed */
    BitSet& changedGroups() { return _changedGroups; }
    const BitSet& changedGroups() const { return _changedGroups; }

protected:
    /* Where the concrete manager's own header fields start, right after GroupsHeader */
    static constexpr std::size_t extraHeaderOffset() {
        return groupsHeaderOffset() + sizeof(GroupsHeader);
    }
    /* The concrete manager's own header fields */
    template<class Header>
    const Header& extraHeader() const {
        return *reinterpret_cast<const Header*>(block().data() + extraHeaderOffset());
    }
    /* The same, writable */
    template<class Header>
    Header& mutableExtraHeader() {
        return *reinterpret_cast<Header*>(block().data() + extraHeaderOffset());
    }

    /* The entries of a per-slot column that belong to the active components of a group, all
       its subgroups */
    template<class T>
    std::span<T> ofGroup(std::span<T> column, unsigned short group) const {
        const Utils::IndexRange<unsigned short> range = groupRange(group);
        return column.subspan(range.begin, range.size());
    }

    /* Moves one component's own data from index from to the insertion point to (numbered
       before the move), shifting the components in between, as Utils::moveDataRange(column, from,
       1, to) does */
    virtual void doMove(unsigned short from, unsigned short to) = 0;

    /* For a groupsCount() already raised by count: the new groups are empty at the end of
       the active range */
    void addGroups(unsigned short count);
    /* Moves the active component at index from the range of code fromCode to the end of the
       range of code toCode; returns its new index */
    unsigned short moveToGroup(unsigned short index, unsigned int fromCode, unsigned int toCode);

    /* The group count a block's header states, for the concrete managers' validate() */
    static unsigned short groupsCountOf(std::span<const char> data);
    /* The group count, the group codes, and the group offsets against the active range */
    std::optional<std::string> validateRegions() const override;

    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doDelete(unsigned short index) override;
    void doAppend(const SparseArray& other) override;
    unsigned short doActivate(unsigned short index) override;
    unsigned short preDeactivate(unsigned short index) override;

private:
    static constexpr std::size_t groupsHeaderOffset() {
        return headerSize() + componentHeaderSize();
    }
    static unsigned int code(unsigned short group, unsigned short subGroup) {
        return unsigned(group) * SubGroupCount + subGroup;
    }
    GroupsHeader& mutableGroupsHeader() {
        return *reinterpret_cast<GroupsHeader*>(block().data() + groupsHeaderOffset());
    }
    void setGroupsCount(unsigned short groups);
    unsigned int lastCode() const { return unsigned(groupsCount()) * SubGroupCount - 1; }

    std::span<std::uint16_t> _groupOffsets;
    std::span<std::uint16_t> _groupCodes;
    BitSet _changedGroups;
};

extern template class GroupedComponentManager<1>;
extern template class GroupedComponentManager<2>;

} // namespace ZarvikEngine::Data

#endif
