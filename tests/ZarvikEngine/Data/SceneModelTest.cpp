/* Drives a scene graph and two managers through a long random sequence of operations and
   checks everything after every step against a plain reference model */

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "TestManagers.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::RecordingGroupedManager;
using Test::RecordingManager;

constexpr unsigned short PlainSlot = 0, GroupedSlot = 1, GroupCount = 3;

struct ModelObject {
    Id parent;
    std::vector<Id> children;
    DualQuaternion local;
    Vector3 scaling{1.0f};
    std::vector<std::pair<unsigned short, Id>> components; /* (slot, component), stored order */
    std::uint16_t typeMask{};
};

struct ModelComponent {
    Id owner;
    int value; /* unique, so that appended components can be found again */
    bool active;
    unsigned short code;
};

/* A world placement composed as defined: the child's translation is scaled by the parent's
   scaling */
struct Placement {
    Quaternion rotation;
    Vector3 translation;
    Vector3 scaling;
};

class SceneModel {
public:
    explicit SceneModel(std::uint32_t seed)
        : random{seed}, graph{4, 2, 2}, plain{"plain", ComponentManagerFlag::SceneActivation},
          grouped{"grouped", GroupCount} {
        graph.setComponentManager(PlainSlot, "plain", &plain);
        graph.setComponentManager(GroupedSlot, "grouped", &grouped);
        objects[Id(0)] = {};
        graph.onObjectsDeleted = [this](std::span<const Id> ids) {
            reportedDeletions.insert(ids.begin(), ids.end());
        };
        graph.onComponentDeleted = [this](unsigned short, Id) {
            if (deleteOnCallback != Id(0))
                graph.deleteObjects(std::exchange(deleteOnCallback, Id(0)));
        };
    }

    std::mt19937 random;
    SceneGraph graph;
    RecordingManager plain;
    RecordingGroupedManager<2> grouped;
    std::map<Id, ModelObject> objects;
    std::map<std::pair<unsigned short, Id>, ModelComponent> components;
    std::set<Id> reportedDeletions;
    Id deleteOnCallback{};
    int valueCounter{};

    std::size_t pick(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>{0, count - 1}(random);
    }
    float unit() { return std::uniform_real_distribution<float>{-1.0f, 1.0f}(random); }

    Id randomObject(bool includeRoot) {
        auto it = objects.begin();
        std::advance(it, includeRoot ? pick(objects.size()) : 1 + pick(objects.size() - 1));
        return it->first;
    }
    std::pair<unsigned short, Id> randomComponent() {
        auto it = components.begin();
        std::advance(it, pick(components.size()));
        return it->first;
    }

    ComponentManager& manager(unsigned short slot) {
        return slot == PlainSlot ? static_cast<ComponentManager&>(plain) : grouped;
    }
    int& value(unsigned short slot, Id id) {
        return slot == PlainSlot ? plain.value(id) : grouped.value(id);
    }

    /* Pre-order, with the subtree size of each object */
    std::size_t walk(Id id, std::vector<Id>& order, std::map<Id, std::size_t>& sizes) const {
        order.push_back(id);
        std::size_t size = 1;
        for (Id child : objects.at(id).children)
            size += walk(child, order, sizes);
        return sizes[id] = size;
    }
    std::vector<Id> subtreeOf(Id id) const {
        std::vector<Id> order;
        std::map<Id, std::size_t> sizes;
        walk(id, order, sizes);
        return order;
    }

    void addModelObject(Id id, Id parent) {
        ASSERT_EQ(objects.count(id), 0u) << "Id handed out twice";
        objects[id].parent = parent;
        objects[parent].children.push_back(id);
    }
    void addModelComponent(unsigned short slot, Id id, const ModelComponent& component) {
        components[{slot, id}] = component;
        objects[component.owner].components.emplace_back(slot, id);
        objects[component.owner].typeMask |= std::uint16_t(1u << slot);
    }

    DualQuaternion randomTransformation() {
        const Vector3 axis = glm::normalize(Vector3{unit(), unit(), unit() + 2.0f});
        return dualQuaternionFromRotationTranslation(rotation(Rad{unit() * 3.0f}, axis),
                                                     Vector3{unit(), unit(), unit()} * 4.0f);
    }

    /* Operations */

    void addObject() {
        const Id parent = randomObject(true);
        const Id expected = graph.size() < graph.capacity() ? graph.toId(graph.size()) : Id(0);
        const Id id = graph.addObject(parent);
        if (expected != Id(0)) {
            EXPECT_EQ(id, expected) << "a freed Id is given back first";
        }
        addModelObject(id, parent);
    }

    /* Adds under an object of the last object's ancestor path, which keeps pre-order */
    void addObjectsInPreOrder() {
        const std::size_t count = 1 + pick(6);
        graph.ensureAdditionalCapacityOf((unsigned short)count, 0, 16);
        for (std::size_t i = 0; i != count; ++i) {
            std::vector<unsigned short> path;
            for (unsigned short index = graph.size() - 1;; index = graph.parentIndex(index)) {
                path.push_back(index);
                if (index == 0)
                    break;
            }
            const unsigned short parentIndex = path[pick(path.size())];
            addModelObject(graph.addObjectUnsafe(parentIndex), graph.toId(parentIndex));
        }
    }

    void reparent() {
        if (objects.size() < 3)
            return;
        const Id object = randomObject(false), newParent = randomObject(true);
        const std::vector<Id> moved = subtreeOf(object);
        if (std::find(moved.begin(), moved.end(), newParent) != moved.end())
            return;
        graph.reparent(object, newParent);
        std::erase(objects[objects[object].parent].children, object);
        objects[object].parent = newParent;
        objects[newParent].children.push_back(object);
    }

    void deleteObjects() {
        if (objects.size() < 2)
            return;
        const Id object = randomObject(false), parent = objects[object].parent;
        Id deleted = object;
        /* Sometimes a component callback deletes the parent while the object goes away */
        if (parent != Id(0) && !objects[object].components.empty() && pick(2) == 0)
            deleteOnCallback = deleted = parent;
        const std::vector<Id> expected = subtreeOf(deleted);
        const Id survivingParent = objects[deleted].parent;
        reportedDeletions.clear();
        graph.deleteObjects(object);
        EXPECT_EQ(deleteOnCallback, Id(0));
        EXPECT_EQ(reportedDeletions, std::set<Id>(expected.begin(), expected.end()));
        for (Id member : expected) {
            for (auto [slot, component] : objects[member].components)
                components.erase({slot, component});
            objects.erase(member);
        }
        std::erase(objects[survivingParent].children, deleted);
    }

    void cloneObject() {
        if (objects.size() < 2)
            return;
        const Id source = randomObject(false), newParent = randomObject(true);
        const std::vector<Id> members = subtreeOf(source);
        const std::vector<Id> clones = graph.cloneObject(source, newParent);
        ASSERT_EQ(clones.size(), members.size());
        std::map<Id, Id> cloneOf;
        for (std::size_t i = 0; i != members.size(); ++i) {
            const ModelObject& original = objects.at(members[i]);
            addModelObject(clones[i], i == 0 ? newParent : cloneOf.at(original.parent));
            cloneOf[members[i]] = clones[i];
            objects[clones[i]].local = original.local;
            objects[clones[i]].scaling = original.scaling;
        }
    }

    void addComponent() {
        const unsigned short slot = (unsigned short)pick(2);
        const Id object = randomObject(true);
        const Id id = manager(slot).addComponent(object);
        value(slot, id) = ++valueCounter;
        addModelComponent(slot, id, {object, valueCounter, false, 0});
    }

    void deleteComponent() {
        if (components.empty())
            return;
        const auto [slot, id] = randomComponent();
        const Id owner = components[{slot, id}].owner;
        graph.deleteComponent(owner, slot, id);
        components.erase({slot, id});
        std::erase(objects[owner].components, std::pair{slot, id});
    }

    void toggleActive() {
        if (components.empty())
            return;
        const auto [slot, id] = randomComponent();
        ModelComponent& component = components[{slot, id}];
        component.active = !component.active;
        manager(slot).setActive(id, component.active);
    }

    void setGroup() {
        std::vector<Id> ids;
        for (auto& [key, component] : components)
            if (key.first == GroupedSlot)
                ids.push_back(key.second);
        if (ids.empty())
            return;
        const Id id = ids[pick(ids.size())];
        const unsigned short code = (unsigned short)pick(GroupCount * 2);
        grouped.setGroup(id, code / 2, code % 2);
        components[{GroupedSlot, id}].code = code;
    }

    void toggleSceneActivation() {
        if (graph.activated())
            graph.deactivate();
        else
            graph.activate();
    }

    void moveObject() {
        if (objects.size() < 2)
            return;
        const Id id = randomObject(false);
        ModelObject& object = objects[id];
        graph.localTransformation(id) = object.local = randomTransformation();
        graph.localScaling(id) = object.scaling =
            pick(3) == 0 ? Vector3{1.0f} + 0.5f * Vector3{unit(), unit(), unit()} : Vector3{1.0f};
        graph.setDirty(id);
    }

    /* Another scene with its own managers in the other slot order, appended under the root */
    void append() {
        SceneGraph other{8, 2, 4};
        RecordingGroupedManager<2> otherGrouped{"grouped", GroupCount};
        RecordingManager otherPlain{"plain", ComponentManagerFlag::SceneActivation};
        other.setComponentManager(0, "grouped", &otherGrouped);
        other.setComponentManager(1, "plain", &otherPlain);
        std::vector<Id> otherIds{Id(0)};
        for (std::size_t i = 0, count = pick(6); i != count; ++i) {
            otherIds.push_back(other.addObject(otherIds[pick(otherIds.size())]));
            other.localTransformation(otherIds.back()) = randomTransformation();
        }
        std::map<std::pair<unsigned short, Id>, ModelComponent> otherComponents;
        for (std::size_t i = 0, count = pick(6); i != count; ++i) {
            const bool isGrouped = pick(2) == 0;
            const Id owner = otherIds[pick(otherIds.size())];
            ComponentManager& otherManager =
                isGrouped ? static_cast<ComponentManager&>(otherGrouped) : otherPlain;
            const Id id = otherManager.addComponent(owner);
            ModelComponent component{owner, ++valueCounter, pick(2) == 0, 0};
            (isGrouped ? otherGrouped.value(id) : otherPlain.value(id)) = component.value;
            if (isGrouped) {
                component.code = (unsigned short)pick(GroupCount * 2);
                otherGrouped.setGroup(id, component.code / 2, component.code % 2);
            }
            otherManager.setActive(id, component.active);
            otherComponents[{isGrouped ? GroupedSlot : PlainSlot, id}] = component;
        }

        const unsigned short first = graph.size();
        bool called = false;
        graph.append(other, [&] { called = true; });
        EXPECT_TRUE(called);

        for (unsigned short k = 0; k != other.size(); ++k) {
            const Id id = graph.toId(first + k);
            addModelObject(id, k == 0 ? Id(0) : graph.toId(first + other.parentIndex(k)));
            objects[id].local = other.localTransformation(k);
            const std::span<const Id> ids = other.components(other.toId(k));
            const std::span<const std::uint8_t> types = other.componentTypes(other.toId(k));
            for (std::size_t c = 0; c != ids.size(); ++c) {
                const unsigned short slot = types[c] == 0 ? GroupedSlot : PlainSlot;
                ModelComponent component = otherComponents.at({slot, ids[c]});
                component.owner = id;
                addModelComponent(slot, idWithValue(slot, component.value), component);
            }
        }
    }

    Id idWithValue(unsigned short slot, int data) {
        ComponentManager& owner = manager(slot);
        for (unsigned short i = 0; i != owner.size(); ++i)
            if (value(slot, owner.toId(i)) == data)
                return owner.toId(i);
        ADD_FAILURE() << "no component with value " << data;
        return Id(0);
    }

    /* Checks */

    void check() {
        /* Every state the operations reach is one a block from outside may be in */
        ASSERT_EQ(SceneGraph::validate(graph.data()), std::nullopt);
        /* Managers have their regions once allocated; until then the block is only a header,
           which a grouped manager can't adopt */
        if (plain.header().blockSize) {
            ASSERT_EQ(RecordingManager::validate(plain.data()), std::nullopt);
        }
        if (grouped.header().blockSize) {
            ASSERT_EQ(RecordingGroupedManager<2>::validate(grouped.data()), std::nullopt);
        }
        ASSERT_EQ(graph.validateComponents(PlainSlot, plain), std::nullopt);
        ASSERT_EQ(graph.validateComponents(GroupedSlot, grouped), std::nullopt);

        std::vector<Id> order;
        std::map<Id, std::size_t> subtreeSizes;
        walk(Id(0), order, subtreeSizes);
        ASSERT_EQ(graph.size(), order.size());
        ASSERT_LE(graph.capacity(), SceneGraph::MaxCapacity);
        for (unsigned short i = 0; i != order.size(); ++i) {
            const Id id = order[i];
            const ModelObject& object = objects.at(id);
            ASSERT_EQ(graph.toId(i), id) << "pre-order at index " << i;
            ASSERT_EQ(graph.toIndex(id), i);
            ASSERT_EQ(graph.parent(i), object.parent);
            ASSERT_EQ(graph.childCount(i), object.children.size());
            ASSERT_EQ(graph.objectData(i).descendantCount, subtreeSizes[id] - 1);
            ASSERT_EQ(graph.objectData(i).componentTypeMask, object.typeMask);
            ASSERT_FALSE(graph.pendingDeletion(id));
            std::vector<std::pair<unsigned short, Id>> stored;
            for (std::size_t c = 0; c != graph.componentCount(id); ++c)
                stored.emplace_back(graph.componentTypes(id)[c], graph.components(id)[c]);
            ASSERT_EQ(stored, object.components);
        }
        ASSERT_EQ(graph.componentsSize(), components.size());

        std::size_t activeCount[2]{};
        std::vector<unsigned> activePerCode(GroupCount * 2);
        for (const auto& [key, component] : components) {
            const auto [slot, id] = key;
            ComponentManager& owner = manager(slot);
            ASSERT_TRUE(owner.isValid(id));
            ASSERT_EQ(owner.object(id), component.owner);
            ASSERT_EQ(value(slot, id), component.value);
            ASSERT_EQ(owner.isActive(id), component.active);
            activeCount[slot] += component.active;
            if (slot != GroupedSlot)
                continue;
            const unsigned short group = component.code / 2, subgroup = component.code % 2;
            ASSERT_EQ(grouped.group(id), group);
            ASSERT_EQ(grouped.subgroup(id), subgroup);
            if (component.active) {
                ++activePerCode[component.code];
                const unsigned short index = grouped.toIndex(id);
                ASSERT_GE(index, grouped.groupStart(group, subgroup));
                ASSERT_LT(index, grouped.groupEnd(group, subgroup));
                ASSERT_TRUE(grouped.groupRange(group).contains(index));
            }
        }
        ASSERT_EQ(plain.size() + grouped.size(), components.size());
        ASSERT_EQ(plain.activeCount(), activeCount[PlainSlot]);
        ASSERT_EQ(grouped.activeCount(), activeCount[GroupedSlot]);
        /* The group offsets, once the manager has allocated, are the running sums */
        if (grouped.capacity()) {
            unsigned start = 0;
            for (unsigned code = 0; code != GroupCount * 2; ++code) {
                ASSERT_EQ(grouped.groupStart(code / 2, code % 2), start) << code;
                start += activePerCode[code];
            }
            ASSERT_EQ(grouped.groupEnd(GroupCount - 1, 1), start);
        }
    }

    /* World placements from scratch, parents first */
    void placeSubtree(Id id, const Placement* parent, std::map<Id, Placement>& placements) const {
        const ModelObject& object = objects.at(id);
        const Placement local{object.local.real, translation(object.local), object.scaling};
        const Placement& placement = placements[id] =
            !parent ? local
                    : Placement{parent->rotation * local.rotation,
                                parent->translation +
                                    parent->rotation * (local.translation * parent->scaling),
                                local.scaling * parent->scaling};
        /* The root's own transformation is not applied to its children */
        for (Id child : object.children)
            placeSubtree(child, id == Id(0) ? nullptr : &placement, placements);
    }

    void checkWorldTransformations() {
        graph.computeAbsoluteTransformations();
        std::map<Id, Placement> placements;
        placeSubtree(Id(0), nullptr, placements);
        for (const auto& [id, expected] : placements) {
            const DualQuaternion& actual = graph.absoluteTransformation(id);
            ASSERT_TRUE(fuzzyEqual(actual.real, expected.rotation)) << unsigned(id);
            ASSERT_TRUE(fuzzyEqual(translation(actual), expected.translation)) << unsigned(id);
            ASSERT_TRUE(fuzzyEqual(graph.absoluteScaling(id), expected.scaling)) << unsigned(id);
        }
    }
};

TEST(SceneModel, RandomOperationsAgreeWithReferenceModel) {
    Debug quiet{nullptr};
    Warning quietWarnings{nullptr};
    /* Weighted by repetition; everything past the table deletes, which keeps the scene within
       a few hundred objects as it grows */
    using Operation = void (SceneModel::*)();
    constexpr Operation Operations[]{&SceneModel::addObject,
                                     &SceneModel::addObject,
                                     &SceneModel::addObjectsInPreOrder,
                                     &SceneModel::reparent,
                                     &SceneModel::cloneObject,
                                     &SceneModel::append,
                                     &SceneModel::addComponent,
                                     &SceneModel::addComponent,
                                     &SceneModel::deleteComponent,
                                     &SceneModel::toggleActive,
                                     &SceneModel::setGroup,
                                     &SceneModel::moveObject,
                                     &SceneModel::toggleSceneActivation};
    SceneModel model{1234};
    std::size_t maxObjects = 0;
    for (std::size_t step = 1; step <= 20000; ++step) {
        const std::size_t operation = model.pick(model.objects.size() > 200 ? 28 : 14);
        (model.*(operation < std::size(Operations) ? Operations[operation]
                                                   : &SceneModel::deleteObjects))();
        model.check();
        maxObjects = std::max(maxObjects, model.objects.size());
        if (testing::Test::HasFatalFailure())
            FAIL() << "after step " << step << ", operation " << operation;
        if (step % 10 == 0) {
            model.checkWorldTransformations();
            if (testing::Test::HasFatalFailure())
                FAIL() << "world transformations after step " << step;
        }
    }
    std::printf("largest scene: %zu objects, capacity %u\n", maxObjects, model.graph.capacity());
}

} // namespace
} // namespace ZarvikEngine::Data
