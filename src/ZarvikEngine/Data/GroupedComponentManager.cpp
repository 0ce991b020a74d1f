#include "ZarvikEngine/Data/GroupedComponentManager.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Data {

template<unsigned int SubGroupCount>
GroupedComponentManager<SubGroupCount>::GroupedComponentManager(std::size_t extraHeaderSize)
    : ComponentManager{sizeof(GroupsHeader) + extraHeaderSize} {}

template<unsigned int SubGroupCount>
GroupedComponentManager<SubGroupCount>::GroupedComponentManager(std::size_t extraHeaderSize,
                                                                unsigned short groups)
    : GroupedComponentManager{extraHeaderSize} {
    ZE_ASSERT(groups, "GroupedComponentManager::GroupedComponentManager(): At least one "
                      "component group is required");
    setGroupsCount(groups);
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::setGroupsCount(unsigned short groups) {
    ZE_ASSERT(groups <= MaxGroupsCount, "GroupedComponentManager: Group count"
                                            << groups << "exceeds the limit of" << MaxGroupsCount);
    mutableGroupsHeader().groupsCount = groups;
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::allocate(unsigned short capacity,
                                                      unsigned short groups) {
    const unsigned short oldGroups = groupsCount();
    ZE_ASSERT(groups >= oldGroups, "GroupedComponentManager::allocate(): Cannot shrink from"
                                       << oldGroups << "to" << groups << "groups");
    setGroupsCount(groups);
    SparseArray::allocate(capacity);
    if (groups != oldGroups)
        addGroups(groups - oldGroups);
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::addGroups(unsigned short count) {
    const std::size_t end = std::size_t(groupsCount()) * SubGroupCount;
    const std::size_t oldEnd = end - std::size_t(count) * SubGroupCount;
    std::fill(_groupOffsets.begin() + oldEnd + 1, _groupOffsets.begin() + end + 1,
              _groupOffsets[oldEnd]);
    _changedGroups.setAll();
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::doInit() {
    ComponentManager::doInit();
    partition().reserveRegions(2);
    _groupCodes = partition().template addRegion<std::uint16_t>(block(), capacity());
    _groupOffsets = partition().template addRegion<std::uint16_t>(
        block(), std::size_t(groupsCount()) * SubGroupCount + 1);
    partition().alignNext();
    _changedGroups = BitSet{groupsCount()};
    _changedGroups.setAll();
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::copy(unsigned short source,
                                                  unsigned short destination) {
    setGroup(destination, group(source), subgroup(source));
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::doSwap(unsigned short a, unsigned short b) {
    ComponentManager::doSwap(a, b);
    std::swap(_groupCodes[a], _groupCodes[b]);
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::doDelete(unsigned short index) {
    _groupCodes[index] = 0;
}

template<unsigned int SubGroupCount>
void GroupedComponentManager<SubGroupCount>::doAppend(const SparseArray& other) {
    /* Managers are matched by name, so the other one is of the same type */
    const auto& grouped = static_cast<const GroupedComponentManager&>(other);
    const std::size_t codes = std::size_t(groupsCount()) * SubGroupCount;
    for (unsigned short i = 0; i != grouped.size(); ++i) {
        const std::uint16_t code = grouped._groupCodes[i];
        ZE_ASSERT(code < codes, "GroupedComponentManager::append(): Group"
                                    << code / SubGroupCount << "of an appended component is"
                                    << "out of range for" << groupsCount() << "groups");
        _groupCodes[size() + i] = code;
    }
}

template<unsigned int SubGroupCount>
unsigned short GroupedComponentManager<SubGroupCount>::moveToGroup(unsigned short index,
                                                                   unsigned int fromCode,
                                                                   unsigned int toCode) {
    const unsigned short target = _groupOffsets[toCode + 1];
    Utils::moveDataRange(objects(), index, 1, target);
    Utils::moveDataRange(indirectionReverse(), index, 1, target);
    Utils::moveDataRange(_groupCodes, index, 1, target);
    doMove(index, target);

    /* The ranges between the two codes shift by the one component */
    if (toCode <= fromCode) {
        for (unsigned int c = toCode + 1; c <= fromCode; ++c)
            ++_groupOffsets[c];
    } else {
        for (unsigned int c = fromCode + 1; c <= toCode; ++c)
            --_groupOffsets[c];
    }
    _changedGroups.set(fromCode / SubGroupCount);
    _changedGroups.set(toCode / SubGroupCount);

    const unsigned short result = index >= target ? target : target - 1;
    const std::span<std::uint16_t> map = indirection();
    const std::span<Id> reverse = indirectionReverse();
    for (unsigned int i = std::min(index, result); i <= std::max(index, result); ++i)
        map[std::size_t(reverse[i])] = std::uint16_t(i);
    return result;
}

template<unsigned int SubGroupCount>
unsigned short GroupedComponentManager<SubGroupCount>::doActivate(unsigned short index) {
    ZE_ASSERT(groupsCount(), "GroupedComponentManager::activate(): No component groups allocated");
    /* The component at the end of the active range joins the last code's range first */
    ++_groupOffsets[lastCode() + 1];
    return moveToGroup(index, lastCode(), _groupCodes[index]);
}

template<unsigned int SubGroupCount>
unsigned short GroupedComponentManager<SubGroupCount>::preDeactivate(unsigned short index) {
    const unsigned short last = moveToGroup(index, _groupCodes[index], lastCode());
    --_groupOffsets[lastCode() + 1];
    return last;
}

template<unsigned int SubGroupCount>
unsigned short GroupedComponentManager<SubGroupCount>::setGroup(unsigned short index,
                                                                unsigned short group,
                                                                unsigned short subGroup) {
    ZE_INTERNAL_ASSERT(subGroup < SubGroupCount);
    /* Codes reach 65535 · SubGroupCount + 1: compare without wrapping */
    using IndexType = std::size_t;
    const unsigned int g = code(group, subGroup);
    ZE_INTERNAL_ASSERT(IndexType(g + 1) < _groupOffsets.size());

    const unsigned int oldCode = _groupCodes[index];
    if (oldCode == g)
        return index;
    _groupCodes[index] = std::uint16_t(g);
    if (!isActive(index))
        return index;
    return moveToGroup(index, oldCode, g);
}

template<unsigned int SubGroupCount>
unsigned short GroupedComponentManager<SubGroupCount>::groupsCountOf(std::span<const char> data) {
    return Validation::read<GroupsHeader>(data.data() + groupsHeaderOffset()).groupsCount;
}

template<unsigned int SubGroupCount>
std::optional<std::string> GroupedComponentManager<SubGroupCount>::validateRegions() const {
    if (auto problem = ComponentManager::validateRegions())
        return problem;
    if (groupsCount() > MaxGroupsCount)
        return fmt::format("{} groups exceed the limit of {}", groupsCount(), MaxGroupsCount);

    /* A slot's code is where it goes when activated, so free slots are held to it too; 0 is
       what a slot starts with, also without groups */
    const std::size_t codes = std::size_t(groupsCount()) * SubGroupCount;
    for (std::size_t index = 0; index != capacity(); ++index)
        if (_groupCodes[index] != 0 && _groupCodes[index] >= codes)
            return fmt::format("component index {} has group code {} of {}", index,
                               _groupCodes[index], codes);

    if (_groupOffsets[0] != 0 || _groupOffsets[codes] != activeCount())
        return fmt::format("the group offsets don't span the {} active components", activeCount());
    for (std::size_t code = 0; code != codes; ++code) {
        if (_groupOffsets[code] > _groupOffsets[code + 1])
            return fmt::format("group offset {} is out of order", code + 1);
        for (std::size_t index = _groupOffsets[code]; index != _groupOffsets[code + 1]; ++index)
            if (_groupCodes[index] != code)
                return fmt::format("active component index {} has group code {} but lies in "
                                   "the range of {}",
                                   index, _groupCodes[index], code);
    }
    return {};
}

template class GroupedComponentManager<1>;
template class GroupedComponentManager<2>;

} // namespace ZarvikEngine::Data
