#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;
using Test::RecordingManager;
using Calls = std::vector<std::string>;

constexpr ComponentManagerFlags Reentrant =
    ComponentManagerFlag::SceneActivation | ComponentManagerFlag::ReentrantActivation;

/* The post-activation and post-deactivation hooks among the calls */
Calls postHooks(const Calls& calls) {
    Calls hooks;
    for (const std::string& call : calls)
        if (call.starts_with("post"))
            hooks.push_back(call);
    return hooks;
}

/* Capacity n holding Id 0 to n - 1 with values 10 + Id, the first `active` of them active, no
   calls recorded */
void fill(RecordingManager& manager, unsigned short n, unsigned short active) {
    manager.allocate(n);
    for (unsigned short i = 0; i != n; ++i)
        manager.value(manager.add()) = 10 + i;
    for (unsigned short i = 0; i != active; ++i)
        manager.activate(Id(i));
    manager.calls.clear();
}

TEST(ComponentManager, ActivationKeepsActiveComponentsInFront) {
    RecordingManager manager{"recording", {}};
    fill(manager, 4, 0);

    EXPECT_EQ(manager.activate(Id(2)), 0);
    EXPECT_EQ(manager.takeCalls(), (Calls{"swap 2 0", "activate Id(2)", "postActivate Id(2)"}));
    EXPECT_EQ(manager.value(Id(2)), 12);
    EXPECT_EQ(manager.value(Id(0)), 10);
    /* Already active: its index, no hook */
    EXPECT_EQ(manager.activate(Id(2)), 0);
    EXPECT_TRUE(manager.takeCalls().empty());

    EXPECT_EQ(manager.setActive(Id(0), true), 1);
    manager.calls.clear();
    EXPECT_EQ(manager.deactivate(Id(2)), 1);
    EXPECT_EQ(manager.takeCalls(),
              (Calls{"preDeactivate Id(2)", "swap 0 1", "postDeactivate Id(2)"}));
    EXPECT_EQ(manager.activeCount(), 1);
    EXPECT_EQ(manager.toIndex(Id(0)), 0);

    /* Inactive: the active count comes back, nothing changes */
    EXPECT_EQ(manager.deactivate(Id(3)), 1);
    EXPECT_EQ(manager.setActive(Id(1), false), 1);
    EXPECT_TRUE(manager.takeCalls().empty());

    /* Deleting an active component deactivates it before the slot is freed */
    manager.deleteComponent(Id(0));
    EXPECT_EQ(manager.takeCalls(),
              (Calls{"preDeactivate Id(0)", "postDeactivate Id(0)", "swap 0 3", "delete 3"}));
    EXPECT_EQ(manager.activeCount(), 0);
    for (unsigned i = 1; i != 4; ++i)
        EXPECT_EQ(manager.value(Id(i)), 10 + int(i));
}

TEST(ComponentManager, SceneActivationPassesFollowTheFlags) {
    RecordingManager plain{"recording", {}};
    fill(plain, 3, 2);
    plain.postActivate();
    plain.postDeactivate();
    EXPECT_TRUE(plain.takeCalls().empty());

    /* Without reentrancy the hooks run by index; scene deactivation leaves components active */
    RecordingManager scene{"recording", ComponentManagerFlag::SceneActivation};
    fill(scene, 3, 0);
    scene.activate(Id(2));
    scene.activate(Id(0));
    scene.calls.clear();
    scene.postActivate();
    scene.postDeactivate();
    scene.postActivate(Utils::IndexRange<unsigned short>{1, 2});
    EXPECT_EQ(scene.takeCalls(),
              (Calls{"postActivate Id(2)", "postActivate Id(0)", "postDeactivate Id(2)",
                     "postDeactivate Id(0)", "postActivate Id(0)"}));
    EXPECT_EQ(scene.activeCount(), 2);
}

TEST(ComponentManager, ReentrantPostActivation) {
    /* The first hook deactivates a pending component (which then gets neither hook) and
       activates an inactive one (which gets its hook at once); the second deactivates a
       component that already had its hook */
    RecordingManager manager{"recording", Reentrant};
    fill(manager, 6, 4);
    manager.onPostActivate = [&](Id id) {
        if (id == Id(0)) {
            EXPECT_FALSE(manager.pendingActivation(Id(0)));
            EXPECT_TRUE(manager.pendingActivation(Id(2)));
            EXPECT_TRUE(manager.pendingActivation(manager.toIndex(Id(3))));
            EXPECT_FALSE(manager.pendingActivation(Id(4)));
            manager.deactivate(Id(2));
            manager.activate(Id(4));
        } else if (id == Id(1)) {
            manager.deactivate(Id(0));
        }
    };
    manager.postActivate();
    EXPECT_EQ(postHooks(manager.takeCalls()),
              (Calls{"postActivate Id(0)", "postActivate Id(4)", "postActivate Id(1)",
                     "postDeactivate Id(0)", "postActivate Id(3)"}));
    EXPECT_FALSE(manager.pendingActivation(Id(3)));
    EXPECT_EQ(manager.activeCount(), 3);
    for (unsigned i = 0; i != 6; ++i)
        EXPECT_EQ(manager.value(Id(i)), 10 + int(i));

    /* A pending component deactivated and activated again by a hook gets its hook once, when
       the pass reaches it; components of a nested pass join the running one */
    RecordingManager nested{"recording", Reentrant};
    fill(nested, 6, 4);
    nested.onPostActivate = [&](Id id) {
        if (id != Id(0))
            return;
        nested.deactivate(Id(2));
        nested.activate(Id(2));
        const unsigned short first = nested.activeCount();
        nested.moveToActive(Id(5));
        nested.postActivate(Utils::IndexRange<unsigned short>{first, nested.activeCount()});
        EXPECT_TRUE(nested.pendingActivation(Id(3)));
    };
    nested.postActivate();
    EXPECT_EQ(postHooks(nested.takeCalls()),
              (Calls{"postActivate Id(0)", "postActivate Id(5)", "postActivate Id(1)",
                     "postActivate Id(2)", "postActivate Id(3)"}));

    /* While deactivating, activations by hooks don't post-activate, and a component
       deactivated by a hook gets its hook from that deactivation only */
    RecordingManager deactivating{"recording", Reentrant};
    fill(deactivating, 4, 3);
    deactivating.onPostDeactivate = [&](Id id) {
        if (id != Id(0))
            return;
        deactivating.activate(Id(3));
        deactivating.deactivate(Id(2));
    };
    deactivating.postDeactivate();
    EXPECT_EQ(postHooks(deactivating.takeCalls()),
              (Calls{"postDeactivate Id(0)", "postDeactivate Id(2)", "postDeactivate Id(1)"}));
    EXPECT_TRUE(deactivating.isActive(Id(3)));
    deactivating.activate(Id(2));
    EXPECT_EQ(postHooks(deactivating.takeCalls()), Calls{"postActivate Id(2)"});
}

TEST(ComponentManager, UpdateRunsOverTheActiveComponents) {
    RecordingManager manager{"recording", {}};
    fill(manager, 4, 2);
    /* Components activated during the update are updated in the same pass */
    manager.onUpdate = [&](Id id) {
        if (id == Id(0))
            manager.activate(Id(3));
    };
    manager.update(0.25);
    EXPECT_EQ(manager.takeCalls(),
              (Calls{"preUpdate", "update Id(0)", "swap 3 2", "activate Id(3)",
                     "postActivate Id(3)", "update Id(1)", "update Id(3)", "postUpdate"}));
    manager.update(0.5);
    EXPECT_EQ(manager.lastDeltaTime(), 0.5);
    EXPECT_EQ(manager.totalTime(), 0.75);
}

TEST(ComponentManager, BlockLayoutInASceneGraph) {
    Debug silence{nullptr};
    SceneGraph graph{8, 2, 4};
    RecordingManager manager{"recording", {}};
    ZE_EXPECT_ABORT(manager.addComponent(Id(0)),
                    "ComponentManager::addComponent(): Manager is not registered in a scene "
                    "graph");
    graph.setComponentManager(1, "recording", &manager);
    EXPECT_EQ(manager.index(), 1);

    const Id a = graph.addObject(Id(0));
    const Id b = graph.addObject(Id(0));
    const Id c = graph.addObject(a);
    std::ostringstream warnings;
    std::vector<Id> components;
    {
        Warning redirect{&warnings};
        for (const Id object : {c, b, c})
            components.push_back(manager.addComponent(object));
    }
    /* One growth of the manager, none of the scene graph */
    EXPECT_EQ(warnings.str(), "SparseArray::add(): On the fly allocation was required\n");
    EXPECT_EQ(manager.capacity(), 32);
    EXPECT_EQ(graph.componentsOfType(c, 1), (std::vector<Id>{components[0], components[2]}));
    for (unsigned i = 0; i != 3; ++i)
        manager.value(components[i]) = 20 + int(i);
    manager.activate(components[2]);

    /* 20 header bytes, maps of 64 bytes each, 64 bytes of owning objects, then the values */
    const std::span<const char> block = manager.data();
    const std::size_t objects = 20 + 4 * 32, values = objects + 2 * 32;
    ASSERT_EQ(block.size(), values + 4 * 32);
    EXPECT_EQ(readAt<std::uint32_t>(block, 0), 20u);
    EXPECT_EQ(readAt<std::uint16_t>(block, 16), 1); /* activeCount */
    EXPECT_EQ(readAt<std::uint16_t>(block, 18), 0);
    EXPECT_EQ(readAt<std::uint16_t>(block, objects), std::uint16_t(c));
    EXPECT_EQ(readAt<std::uint16_t>(block, objects + 2), std::uint16_t(b));
    EXPECT_EQ(readAt<std::uint16_t>(block, objects + 4), std::uint16_t(c));
    EXPECT_EQ(readAt<std::int32_t>(block, values), 22);
    EXPECT_EQ(readAt<std::int32_t>(block, values + 8), 20);

    RecordingManager copy{"recording", {}};
    copy.create(std::vector<char>{block.begin(), block.end()});
    EXPECT_EQ(copy.activeCount(), 1);
    for (const Id component : components) {
        EXPECT_EQ(copy.toIndex(component), manager.toIndex(component));
        EXPECT_EQ(copy.object(component), manager.object(component));
        EXPECT_EQ(copy.value(component), manager.value(component));
    }

    RecordingManager other{"other", {}};
    ZE_EXPECT_ABORT(manager.append(other, 0),
                    "ComponentManager::append(): Cannot append component from manager of "
                    "different type");
}

TEST(ComponentManager, AppendedIntoAnActiveScene) {
    Debug silence{nullptr};
    Warning quiet{nullptr};
    SceneGraph graph{4, 1, 4};
    RecordingManager manager{"recording", ComponentManagerFlag::SceneActivation};
    graph.setComponentManager(0, "recording", &manager);
    const Id inactive = manager.addComponent(graph.addObject(Id(0)));
    manager.value(inactive) = 2;
    graph.activate();

    /* A manager this scene doesn't have is left out */
    SceneGraph other{4, 2, 4};
    RecordingManager unmatched{"unmatched", {}}, source{"recording", {}};
    other.setComponentManager(0, "unmatched", &unmatched);
    other.setComponentManager(1, "recording", &source);
    const Id p = other.addObject(Id(0));
    unmatched.addComponent(p);
    const Id onRoot = source.addComponent(Id(0)), onP = source.addComponent(p);
    source.value(onRoot) = 31;
    source.value(onP) = 32;
    source.activate(onP);
    manager.calls.clear();

    graph.append(other, {});
    ASSERT_EQ(graph.size(), 4);
    EXPECT_EQ(manager.size(), 3);
    EXPECT_EQ(manager.activeCount(), 1);
    EXPECT_EQ(manager.value(inactive), 2);
    const Id copyOfP = graph.componentsOfType(graph.toId(3), 0).at(0);
    EXPECT_EQ(manager.object(copyOfP), graph.toId(3));
    EXPECT_EQ(manager.value(copyOfP), 32);
    EXPECT_EQ(manager.value(graph.componentsOfType(graph.toId(2), 0).at(0)), 31);
    /* The scene is active: the appended active component is post-activated */
    EXPECT_EQ(postHooks(manager.takeCalls()),
              Calls{"postActivate Id(" + std::to_string(unsigned(copyOfP)) + ")"});
}

TEST(ComponentManager, PrintsFlags) {
    std::ostringstream out;
    {
        Debug redirect{&out};
        Debug{} << ComponentManagerFlag::ReentrantActivation << ComponentManagerFlag(4);
    }
    EXPECT_EQ(out.str(), "ComponentManagerFlag::ReentrantActivation ComponentManagerFlag(4)\n");
}

} // namespace
} // namespace ZarvikEngine::Data
