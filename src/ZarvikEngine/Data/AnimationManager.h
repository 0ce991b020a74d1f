#ifndef ZarvikEngine_Data_AnimationManager_h
#define ZarvikEngine_Data_AnimationManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/AnimationController.h"
#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Function.h"

namespace ZarvikEngine::Data {

/* The animation components of a scene: per component a play count, a speed, the index of its
   graph in the host's graph list, values naming its animation targets and skin (stored for
   the host), a root-motion mode and the autoplay and retarget flags, all in the block; and an
   AnimationController per slot outside it. The manager's clock (the sum of the steps given to
   update()) times a component's speed is the time its controller sees, so setSpeed() shifts
   the controller's clocks to keep the clip from jumping. updateGraphs() evaluates every active
   component's graph and writes the poses into the scene graph; events reach eventCallback
   with the component's Id.

   Graph index 0 and clip index 0 name nothing, so index 0 of the host's lists is a
   placeholder.

   Block: SparseArray::Header, ComponentHeader, the Id maps and owning objects, then the play
   counts (4 bytes per slot), speeds (4), graph indices, animation targets, skins and
   root-motion modes (2 each) and the autoplay and retarget bits (a 32-bit word per 32
   slots each).

   A deleted component's slot gets speed 1, root-motion mode None and a new, inert
   controller, so that the next component there starts clean. */
class AnimationManager : public ComponentManager {
public:
    explicit AnimationManager(unsigned short capacity = 0);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first. The controllers start inert: initAllGraphs() gives them their
       graphs. */
    explicit AnimationManager(std::vector<char>&& data);

    /* Checks a block from outside the process before it is adopted. Returns the first
       problem, or nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    std::string_view name() const override { return "animation"; }
    std::size_t componentDataSize(unsigned short capacity) const override;
    /* Every stored value and flag, not the controller */
    void copy(unsigned short source, unsigned short destination) override;
    /* Graphs are evaluated by updateGraphs(), which takes the graph and clip lists */
    void updateComponent(unsigned short) override {}

    /* Playback at the component's time: its speed times the manager's time. play() gives the
       controller the stored play count first. */
    void play(unsigned short index);
    void play(Id id) { play(toIndex(id)); }
    void pause(unsigned short index);
    void pause(Id id) { pause(toIndex(id)); }
    void resume(unsigned short index);
    void resume(Id id) { resume(toIndex(id)); }
    void stop(unsigned short index);
    void stop(Id id) { stop(toIndex(id)); }
    /* Shifts the controller's clocks so that the clip doesn't jump */
    void setSpeed(unsigned short index, float speed);
    void setSpeed(Id id, float speed) { setSpeed(toIndex(id), speed); }
    float speed(unsigned short index) const { return _speeds[index]; }
    float speed(Id id) const { return speed(toIndex(id)); }

    bool isPlaying(unsigned short index) const { return _controllers[index].isPlaying(); }
    bool isPlaying(Id id) const { return isPlaying(toIndex(id)); }
    std::int32_t iteration(unsigned short index) const { return _controllers[index].iteration(); }
    std::int32_t iteration(Id id) const { return iteration(toIndex(id)); }
    float duration(unsigned short index) const { return _controllers[index].duration(); }
    float duration(Id id) const { return duration(toIndex(id)); }
    /* Seconds into the clip */
    float position(unsigned short index) const;
    float position(Id id) const { return position(toIndex(id)); }
    const DualQuaternion& rootMotion(unsigned short index) const {
        return _controllers[index].rootMotion();
    }
    const DualQuaternion& rootMotion(Id id) const { return rootMotion(toIndex(id)); }

    std::uint32_t& playCount(unsigned short index) { return _playCounts[index]; }
    std::uint32_t& playCount(Id id) { return playCount(toIndex(id)); }
    std::uint16_t& animationGraph(unsigned short index) { return _graphs[index]; }
    std::uint16_t& animationGraph(Id id) { return animationGraph(toIndex(id)); }
    std::uint16_t& animationTargets(unsigned short index) { return _targets[index]; }
    std::uint16_t& animationTargets(Id id) { return animationTargets(toIndex(id)); }
    std::uint16_t& skin(unsigned short index) { return _skins[index]; }
    std::uint16_t& skin(Id id) { return skin(toIndex(id)); }
    RootMotionMode& rootMotionMode(unsigned short index) { return _rootMotionModes[index]; }
    RootMotionMode& rootMotionMode(Id id) { return rootMotionMode(toIndex(id)); }
    bool isAutoplay(unsigned short index) const { return _autoplay[index]; }
    bool isAutoplay(Id id) const { return isAutoplay(toIndex(id)); }
    void setAutoplay(unsigned short index, bool value) { _autoplay.set(index, value); }
    void setAutoplay(Id id, bool value) { setAutoplay(toIndex(id), value); }
    bool isRetarget(unsigned short index) const { return _retarget[index]; }
    bool isRetarget(Id id) const { return isRetarget(toIndex(id)); }
    void setRetarget(unsigned short index, bool value) { _retarget.set(index, value); }
    void setRetarget(Id id, bool value) { setRetarget(toIndex(id), value); }

    AnimationController& controller(unsigned short index) { return _controllers[index]; }
    AnimationController& controller(Id id) { return controller(toIndex(id)); }

    /* Stores the graph index and gives the controller the graph, the targets and the stored
       play count */
    void setAnimationGraph(unsigned short index, unsigned graph, const AnimationGraph& graphData,
                           std::span<const Id> targets, std::span<const Animation> clips);
    void setAnimationGraph(Id id, unsigned graph, const AnimationGraph& graphData,
                           std::span<const Id> targets, std::span<const Animation> clips) {
        setAnimationGraph(toIndex(id), graph, graphData, targets, clips);
    }
    /* The component's controller becomes the given one, its events forwarded */
    void setController(unsigned short index, AnimationController&& controller);
    void setController(Id id, AnimationController&& controller) {
        setController(toIndex(id), std::move(controller));
    }

    /* For every component with a graph index, gives its controller that graph again, as
       after the graph or clip lists were rebuilt or a block was adopted. A component whose
       graph the list doesn't have, or whose graph doesn't validate against the clips, is
       reported and skipped. */
    void initAllGraphs(std::span<const AnimationGraph> graphs, std::span<const Animation> clips);
    /* Advances the component's controller at its time and, when the pose changed, writes it
       into the scene graph the manager is registered in */
    void updateGraph(unsigned short index, std::span<AnimationGraph> graphs,
                     std::span<const Animation> clips);
    void updateGraph(Id id, std::span<AnimationGraph> graphs, std::span<const Animation> clips) {
        updateGraph(toIndex(id), graphs, clips);
    }
    /* updateGraph() for every active component, in index order */
    void updateGraphs(std::span<AnimationGraph> graphs, std::span<const Animation> clips);
    /* Makes every controller forward its events to eventCallback with its component's Id */
    void initCallbacks();

    /* Called with the component's Id and the event's name */
    Function<void(Id, std::string_view)> eventCallback;

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doConstruct(unsigned short first, unsigned short end) override;
    void doDelete(unsigned short index) override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doAppend(const SparseArray& other) override;
    /* Takes the manager's time and step for this update */
    void preUpdate() override;

private:
    static std::size_t regionsSize(unsigned short capacity);
    void forwardEvents(unsigned short index);
    float time(unsigned short index) const { return _speeds[index] * _time; }

    std::span<std::uint32_t> _playCounts;
    std::span<float> _speeds;
    std::span<std::uint16_t> _graphs;
    std::span<std::uint16_t> _targets;
    std::span<std::uint16_t> _skins;
    std::span<RootMotionMode> _rootMotionModes;
    BitSetView _autoplay;
    BitSetView _retarget;
    std::vector<AnimationController> _controllers;
    float _deltaTime{};
    float _time{};
};

} // namespace ZarvikEngine::Data

#endif
