#include "ZarvikEngine/Data/AnimationManager.h"

#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {

namespace {

std::size_t bitWords(unsigned short capacity) {
    return (std::size_t(capacity) + 31) / 32;
}

} // namespace

AnimationManager::AnimationManager(unsigned short capacity) : ComponentManager{0} {
    allocate(capacity);
}

AnimationManager::AnimationManager(std::vector<char>&& data) : ComponentManager{0} {
    create(std::move(data));
}

std::size_t AnimationManager::regionsSize(unsigned short capacity) {
    /* Play count and speed, then the four 16-bit values, then the two bit sets */
    return 16 * std::size_t(capacity) + 8 * bitWords(capacity);
}

std::size_t AnimationManager::componentDataSize(unsigned short capacity) const {
    return regionsSize(capacity);
}

std::optional<std::string> AnimationManager::validate(std::span<const char> data) {
    return validateBlock(
        "AnimationManager", data, 0,
        [](std::span<const char>, unsigned short capacity) { return regionsSize(capacity); },
        AnimationManager{});
}

std::optional<std::string> AnimationManager::validateRegions() const {
    if (auto problem = ComponentManager::validateRegions())
        return problem;
    for (std::size_t i = 0; i != capacity(); ++i)
        if (_rootMotionModes[i] > RootMotionMode::Store)
            return fmt::format("component index {} has the unknown root-motion mode {}", i,
                               std::uint16_t(_rootMotionModes[i]));
    return {};
}

void AnimationManager::doInit() {
    ComponentManager::doInit();
    const unsigned short n = capacity();
    partition().reserveRegions(8);
    _playCounts = partition().addAlignedRegion<std::uint32_t>(block(), n);
    _speeds = partition().addAlignedRegion<float>(block(), n);
    _graphs = partition().addRegion<std::uint16_t>(block(), n);
    _targets = partition().addRegion<std::uint16_t>(block(), n);
    _skins = partition().addRegion<std::uint16_t>(block(), n);
    _rootMotionModes = partition().addRegion<RootMotionMode>(block(), n);
    const std::span<unsigned int> autoplay =
        partition().addAlignedRegion<unsigned int>(block(), bitWords(n));
    const std::span<unsigned int> retarget =
        partition().addAlignedRegion<unsigned int>(block(), bitWords(n));
    _autoplay = BitSetView{autoplay, autoplay.size() * 32};
    _retarget = BitSetView{retarget, retarget.size() * 32};
    _controllers.resize(n);
    initCallbacks();
}

void AnimationManager::doConstruct(unsigned short first, unsigned short end) {
    std::fill(_speeds.begin() + first, _speeds.begin() + end, 1.0f);
}

void AnimationManager::doDelete(unsigned short index) {
    _speeds[index] = 1.0f;
    _rootMotionModes[index] = RootMotionMode::None;
    _controllers[index] = AnimationController{};
    forwardEvents(index);
}

void AnimationManager::copy(unsigned short source, unsigned short destination) {
    _speeds[destination] = _speeds[source];
    _graphs[destination] = _graphs[source];
    _targets[destination] = _targets[source];
    _skins[destination] = _skins[source];
    _playCounts[destination] = _playCounts[source];
    _rootMotionModes[destination] = _rootMotionModes[source];
    _retarget.set(destination, _retarget[source]);
    _autoplay.set(destination, _autoplay[source]);
}

void AnimationManager::doSwap(unsigned short a, unsigned short b) {
    ComponentManager::doSwap(a, b);
    /* The controllers and their forwarding callbacks go with their components */
    std::swap(_controllers[a], _controllers[b]);
    std::swap(_playCounts[a], _playCounts[b]);
    std::swap(_speeds[a], _speeds[b]);
    std::swap(_graphs[a], _graphs[b]);
    std::swap(_targets[a], _targets[b]);
    std::swap(_skins[a], _skins[b]);
    std::swap(_rootMotionModes[a], _rootMotionModes[b]);
    _autoplay.swap(a, b);
    _retarget.swap(a, b);
}

void AnimationManager::doAppend(const SparseArray& other) {
    /* Managers are matched by name, so the other one is an animation manager too */
    const auto& animations = static_cast<const AnimationManager&>(other);
    const unsigned short begin = size();
    for (unsigned short i = 0; i != animations.size(); ++i) {
        const unsigned short k = begin + i;
        _playCounts[k] = animations._playCounts[i];
        _speeds[k] = animations._speeds[i];
        _graphs[k] = animations._graphs[i];
        _targets[k] = animations._targets[i];
        _skins[k] = animations._skins[i];
        _rootMotionModes[k] = animations._rootMotionModes[i];
        _autoplay.set(k, animations._autoplay[i]);
        _retarget.set(k, animations._retarget[i]);
    }
    initCallbacks();
}

void AnimationManager::preUpdate() {
    _deltaTime = float(lastDeltaTime());
    _time = float(totalTime());
}

void AnimationManager::forwardEvents(unsigned short index) {
    /* The Id the slot's component has, or that add() will give it */
    const Id id = index < header().usedCount ? toId(index) : Id(index);
    _controllers[index].eventCallback = [this, id](std::string_view name) {
        if (eventCallback)
            eventCallback(id, name);
    };
}

void AnimationManager::initCallbacks() {
    for (unsigned short index = 0; index != _controllers.size(); ++index)
        forwardEvents(index);
}

void AnimationManager::play(unsigned short index) {
    _controllers[index].setPlayCount(_playCounts[index]);
    _controllers[index].play(time(index));
}

void AnimationManager::pause(unsigned short index) {
    _controllers[index].pause(time(index));
}

void AnimationManager::resume(unsigned short index) {
    _controllers[index].resume(time(index));
}

void AnimationManager::stop(unsigned short index) {
    _controllers[index].stop();
}

void AnimationManager::setSpeed(unsigned short index, float speed) {
    _controllers[index].addTimeOffset((_speeds[index] - speed) * _time);
    _speeds[index] = speed;
}

float AnimationManager::position(unsigned short index) const {
    return _controllers[index].ratio() * _controllers[index].duration();
}

void AnimationManager::setAnimationGraph(unsigned short index, unsigned graph,
                                         const AnimationGraph& graphData,
                                         std::span<const Id> targets,
                                         std::span<const Animation> clips) {
    _graphs[index] = std::uint16_t(graph);
    _controllers[index].setAnimationGraph(graph, graphData, targets, clips);
    _controllers[index].setPlayCount(_playCounts[index]);
}

void AnimationManager::setController(unsigned short index, AnimationController&& controller) {
    _controllers[index] = std::move(controller);
    forwardEvents(index);
}

void AnimationManager::initAllGraphs(std::span<const AnimationGraph> graphs,
                                     std::span<const Animation> clips) {
    for (unsigned short index = 0; index != size(); ++index) {
        const std::uint16_t graph = _graphs[index];
        if (!graph)
            continue;
        /* The indices may come from a block, the lists from elsewhere */
        if (graph >= graphs.size()) {
            Error{} << "AnimationManager::initAllGraphs(): component" << toId(index)
                    << "names graph" << graph << "but there are" << graphs.size();
            continue;
        }
        if (const std::optional<std::string> problem = graphs[graph].validate(clips.size())) {
            Error{} << "AnimationManager::initAllGraphs(): graph" << graph << "of component"
                    << toId(index) << Debug::nospace << ":" << *problem;
            continue;
        }
        AnimationController& controller = _controllers[index];
        controller.setGraph(graph);
        controller.setup(graphs[graph], clips);
    }
}

void AnimationManager::updateGraph(unsigned short index, std::span<AnimationGraph> graphs,
                                   std::span<const Animation> clips) {
    ZE_ASSERT(sceneGraph(),
              "AnimationManager::updateGraph(): Manager is not registered in a scene graph");
    AnimationController& controller = _controllers[index];
    controller.advance(time(index), graphs, clips);
    if (controller.isDirty())
        controller.applyToSceneGraph(*sceneGraph(), _rootMotionModes[index]);
}

void AnimationManager::updateGraphs(std::span<AnimationGraph> graphs,
                                    std::span<const Animation> clips) {
    for (unsigned short index = 0; index < activeCount(); ++index)
        updateGraph(index, graphs, clips);
}

} // namespace ZarvikEngine::Data
