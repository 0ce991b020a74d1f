#ifndef ZarvikEngine_Tests_Data_TestManagers_h
#define ZarvikEngine_Tests_Data_TestManagers_h

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TestHelpers.h"
#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Data/GroupedComponentManager.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Data::Test {

/* A little-endian field of a data block */
template<class T>
T readAt(std::span<const char> block, std::size_t offset) {
    T value;
    std::memcpy(&value, block.data() + offset, sizeof(T));
    return value;
}

/* A key of a non-empty map, for randomized model tests */
template<class Map, class Random>
typename Map::key_type randomKey(const Map& map, Random& random) {
    auto it = map.begin();
    std::advance(it, random() % map.size());
    return it->first;
}

/* Matches the line of a failed internal assertion in file, whatever its line number */
inline std::string assertionPattern(std::string_view expression, std::string_view file) {
    std::string pattern = ::ZarvikEngine::Test::wholeLine("Assertion " + std::string{expression} +
                                                          " failed at " + std::string{file} + ":");
    pattern.pop_back();
    return pattern + "[0-9]+\n";
}

/* A manager keeping one int per component, so that copy, swap, move and append can be seen
   carrying data, and recording its hooks as lines such as "postActivate Id(3)" (activation
   hooks name the component by Id, storage hooks by index). The callbacks drive reentrancy. */
template<class Base>
class Recording : public Base {
public:
    template<class... Args>
    explicit Recording(std::string name, ComponentManagerFlags flags, Args... args)
        : Base{0, args...}, _name{std::move(name)}, _flags{flags} {}

    std::string_view name() const override { return _name; }
    ComponentManagerFlags flags() const override { return _flags; }

    /* The ungrouped flavour's block check */
    static std::optional<std::string> validate(std::span<const char> data) {
        return Base::validateBlock(
            "Recording", data, 0,
            [](std::span<const char>, unsigned short capacity) {
                return sizeof(int) * std::size_t(capacity);
            },
            Recording{"", {}});
    }
    std::size_t componentDataSize(unsigned short capacity) const override {
        return sizeof(int) * capacity;
    }

    void copy(unsigned short source, unsigned short destination) override {
        _values[destination] = _values[source];
        record("copy", source, destination);
    }
    void updateComponent(unsigned short index) override {
        record("update", this->toId(index));
        if (onUpdate)
            onUpdate(this->toId(index));
    }

    int& value(Id id) { return _values[this->toIndex(id)]; }
    std::vector<std::string> takeCalls() { return std::exchange(calls, {}); }
    using Base::moveToActive;

    std::vector<std::string> calls;
    std::function<void(Id)> onPostActivate, onPostDeactivate, onUpdate;

protected:
    void doInit() override {
        Base::doInit();
        this->partition().reserveRegions(1);
        _values = this->partition().template addRegion<int>(this->block(), this->capacity());
    }
    void doConstruct(unsigned short first, unsigned short end) override {
        record("construct", first, end);
    }
    void doSwap(unsigned short a, unsigned short b) override {
        Base::doSwap(a, b);
        std::swap(_values[a], _values[b]);
        record("swap", a, b);
    }
    void doDelete(unsigned short index) override {
        Base::doDelete(index);
        _values[index] = 0;
        record("delete", index);
    }
    void doAppend(const SparseArray& other) override {
        Base::doAppend(other);
        const auto& values = static_cast<const Recording&>(other)._values;
        std::copy_n(values.begin(), other.size(), _values.begin() + this->size());
        record("append", other.size());
    }
    void preUpdate() override { record("preUpdate"); }
    void postUpdate() override { record("postUpdate"); }
    unsigned short doActivate(unsigned short index) override {
        const unsigned short result = Base::doActivate(index);
        record("activate", this->toId(result));
        return result;
    }
    void doPostActivate(unsigned short index) override {
        record("postActivate", this->toId(index));
        if (onPostActivate)
            onPostActivate(this->toId(index));
    }
    void doPostDeactivate(unsigned short index) override {
        record("postDeactivate", this->toId(index));
        if (onPostDeactivate)
            onPostDeactivate(this->toId(index));
    }
    unsigned short preDeactivate(unsigned short index) override {
        record("preDeactivate", this->toId(index));
        return Base::preDeactivate(index);
    }

    std::span<int> valueColumn() { return _values; }

private:
    static std::string text(Id id) { return "Id(" + std::to_string(unsigned(id)) + ")"; }
    static std::string text(unsigned int number) { return std::to_string(number); }

    template<class... Args>
    void record(std::string_view hook, Args... args) {
        std::string line{hook};
        ((line += ' ', line += text(args)), ...);
        calls.push_back(std::move(line));
    }

    std::string _name;
    ComponentManagerFlags _flags;
    std::span<int> _values;
};

using RecordingManager = Recording<ComponentManager>;

/* The grouped flavour: its int column moves with the components between groups */
template<unsigned int SubGroupCount>
class RecordingGroupedManager : public Recording<GroupedComponentManager<SubGroupCount>> {
    using Base = Recording<GroupedComponentManager<SubGroupCount>>;

public:
    RecordingGroupedManager(std::string name, unsigned short groups,
                            ComponentManagerFlags flags = {})
        : Base{std::move(name), flags, groups} {}

    std::size_t componentDataSize(unsigned short capacity) const override {
        return this->groupsDataSize(capacity) + Base::componentDataSize(capacity);
    }
    static std::optional<std::string> validate(std::span<const char> data) {
        return Base::validateBlock(
            "RecordingGroupedManager", data, sizeof(typename Base::GroupsHeader),
            [](std::span<const char> data, unsigned short capacity) {
                return Base::groupsDataSize(Base::groupsCountOf(data), capacity) +
                       sizeof(int) * std::size_t(capacity);
            },
            RecordingGroupedManager{"", 1});
    }
    void copy(unsigned short source, unsigned short destination) override {
        Base::copy(source, destination);
        GroupedComponentManager<SubGroupCount>::copy(source, destination);
    }

protected:
    void doMove(unsigned short from, unsigned short to) override {
        Utils::moveDataRange(this->valueColumn(), from, 1, to);
    }
};

} // namespace ZarvikEngine::Data::Test

#endif
