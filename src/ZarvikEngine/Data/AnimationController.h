#ifndef ZarvikEngine_Data_AnimationController_h
#define ZarvikEngine_Data_AnimationController_h

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/AnimationGraphState.h"
#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Function.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Data {

class SceneGraph;

/* What happens to the root motion (track 0) of each update */
enum class RootMotionMode : std::uint16_t {
    /* Ignored */
    None = 0,
    /* Applied to the parent of the object that track 1 moves */
    ApplyToParent = 1,
    /* Kept for the caller, see AnimationController::rootMotion() */
    Store = 2,
};

/* Prints "RootMotionMode::Store", or "RootMotionMode(7)" */
Debug& operator<<(Debug& debug, RootMotionMode value);

/* Drives one animated component: owns its graph state, knows which graph of the caller's
   list it runs and which scene object each track moves, and once per update advances the
   clocks, evaluates the graph, reports events, writes the pose into the scene graph and
   handles root motion. Track 0 is the root-motion track: it is never written to an object.

   Choices of this implementation: a track whose target isn't a live object of the scene
   (deleted meanwhile) is skipped; a synchronised blend whose inputs weigh nothing leaves the
   speed factors as they are. */
class AnimationController {
public:
    AnimationController() = default;
    /* Takes every member over */
    AnimationController(AnimationController&& other) noexcept;
    /* Swaps every member with the other */
    AnimationController& operator=(AnimationController&& other) noexcept;
    AnimationController(const AnimationController&) = delete;
    AnimationController& operator=(const AnimationController&) = delete;

    /* Graph index 0 means none: the controller then does nothing. The targets name the
       object each track moves, InvalidId for an unbound track. */
    void setAnimationGraph(unsigned graph, const AnimationGraph& graphData,
                           std::span<const Id> targets, std::span<const Animation> clips);
    /* Sets the state up again, after the graph or clip lists were rebuilt */
    void setup(const AnimationGraph& graphData, std::span<const Animation> clips);
    /* Another index into the graph list, for a list rebuilt in another order; setup() with
       that graph follows */
    void setGraph(unsigned graph) { _graph = std::uint16_t(graph); }

    /* One update at the caller's time: speeds of synchronised blends, clocks, evaluation of
       the graph at the stored index when a clock moved, events through the callback */
    void advance(float time, std::span<AnimationGraph> graphs, std::span<const Animation> clips);
    /* Writes the evaluated pose into the objects of the targets and handles the root motion,
       then clears the dirty flags; nothing before a pose was evaluated */
    void applyToSceneGraph(SceneGraph& scene, RootMotionMode mode);

    void play(float time) { _state.play(time); }
    void pause(float time) { _state.pause(time); }
    void resume(float time) { _state.resume(time); }
    void stop() { _state.stop(); }
    void setPlayCount(unsigned count) { _state.setPlayCount(count); }
    /* To every player */
    void addTimeOffset(float delta);

    float duration() const { return _state.duration(); }
    bool isPlaying() const { return _state.isPlaying(); }
    std::int32_t iteration() const { return _state.iteration(); }
    float ratio() const { return _state.ratio(); }
    AnimationGraphState::State state() const { return _state.state(); }
    unsigned playCount() const { return _state.playCount(); }
    bool isDirty() const { return _state.isDirty(); }

    unsigned graph() const { return _graph; }
    AnimationGraphState& graphState() { return _state; }
    const AnimationGraphState& graphState() const { return _state; }
    std::span<const Id> targets() const { return _targets; }
    std::size_t trackCount() const { return _targets.size(); }
    /* The root motion of the latest update with mode Store, else the identity */
    const DualQuaternion& rootMotion() const { return _rootMotion; }

    /* Called once per triggered event, in order, after the graph's pose pass */
    Function<void(std::string_view)> eventCallback;

private:
    void synchronizeSpeeds(const AnimationGraph& graph);

    std::uint16_t _graph{};
    std::vector<Id> _targets;
    AnimationGraphState _state;
    DualQuaternion _rootMotion;
};

} // namespace ZarvikEngine::Data

#endif
