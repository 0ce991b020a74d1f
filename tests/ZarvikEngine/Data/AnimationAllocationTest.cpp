/* Animated scenes in steady state allocate nothing: every heap allocation of this program
   goes through the counting operator new below */

#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "AnimationTestClips.h"
#include "ZarvikEngine/Data/AnimationManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace {

/* Counted while set */
bool counting = false;
std::size_t allocations = 0;

void* allocate(std::size_t size, std::size_t alignment) {
    if (counting)
        ++allocations;
    void* memory =
        alignment > alignof(std::max_align_t)
            ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
            : std::malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc{};
    return memory;
}

} // namespace

void* operator new(std::size_t size) {
    return allocate(size, 0);
}
void* operator new[](std::size_t size) {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate(size, std::size_t(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate(size, std::size_t(alignment));
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    std::free(memory);
}

namespace ZarvikEngine::Data {
namespace {

using Test::clipOf;
using Test::linearClip;

TEST(AnimationAllocation, UpdatesAfterTheFirstAllocateNothing) {
    Debug quiet{nullptr};
    /* Two looping clips with events, blended with sync by a parameter through a 1D weights
       node, on components of every root-motion mode */
    const float keys[]{0.1f, 0.3f};
    std::vector<Animation> clips;
    clips.emplace_back();
    clips.push_back(clipOf(linearClip(0.5f, 6), keys, {"a", "b"}));
    clips.push_back(clipOf(linearClip(0.8f, 6), keys, {"c", "d"}));
    std::vector<AnimationGraph> graphs(1);
    graphs.push_back(createAnimation1DBlendGraph(std::vector<std::uint16_t>{1, 2},
                                                 std::vector<float>{1.0f, 1.0f}, 0.3f));

    SceneGraph scene{64, 1, 8};
    AnimationManager animations{4};
    scene.setComponentManager(0, "animation", &animations);
    std::size_t events = 0;
    animations.eventCallback = [&events](Id, std::string_view) { ++events; };
    for (RootMotionMode mode :
         {RootMotionMode::None, RootMotionMode::ApplyToParent, RootMotionMode::Store}) {
        std::vector<Id> targets{scene.addObject(Id(0))};
        for (int t = 1; t != 6; ++t)
            targets.push_back(scene.addObject(targets.back()));
        const Id id = animations.addComponent(targets[1]);
        animations.setAnimationGraph(id, 1, graphs[1], targets, clips);
        animations.rootMotionMode(id) = mode;
        animations.activate(id);
        animations.play(id);
    }

    const auto frame = [&](int i) {
        animations.update(0.013 + 0.004 * (i % 5));
        float blend = float(i % 10) / 9.0f;
        animations.controller(std::uint16_t(i % 3))
            .graphState()
            .setParameterValue("blendFactor", &blend);
        animations.updateGraphs(graphs, clips);
        scene.computeAbsoluteTransformations();
    };
    frame(0);
    counting = true;
    for (int i = 1; i != 400; ++i)
        frame(i);
    counting = false;
    EXPECT_EQ(allocations, 0u);
    /* The frames did fire events, loop and blend */
    EXPECT_GT(events, 100u);
}

} // namespace
} // namespace ZarvikEngine::Data
