#include "ZarvikEngine/Data/InputManager.h"

#include <algorithm>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {

Debug& operator<<(Debug& debug, InputType value) {
    switch (value) {
    case InputType::Head:
        return debug << "InputType::Head";
    case InputType::EyeLeft:
        return debug << "InputType::EyeLeft";
    case InputType::EyeRight:
        return debug << "InputType::EyeRight";
    case InputType::ControllerLeft:
        return debug << "InputType::ControllerLeft";
    case InputType::ControllerRight:
        return debug << "InputType::ControllerRight";
    case InputType::RayLeft:
        return debug << "InputType::RayLeft";
    case InputType::RayRight:
        return debug << "InputType::RayRight";
    }
    return debug << fmt::format("InputType({:#x})", std::uint8_t(value)).c_str();
}

InputManager::InputManager(std::uint32_t capacity) : ComponentManager{0} {
    ZE_ASSERT(capacity <= MaxCapacity,
              "InputManager::InputManager(): capacity" << capacity << "is above" << MaxCapacity);
    allocate(static_cast<unsigned short>(capacity));
}

InputManager::InputManager(std::vector<char>&& block) : ComponentManager{0} {
    create(std::move(block));
}

std::optional<std::string> InputManager::validate(std::span<const char> data) {
    return validateBlock(
        "InputManager", data, 0,
        [](std::span<const char>, unsigned short capacity) { return std::size_t(capacity); },
        InputManager{});
}

std::optional<std::string> InputManager::validateRegions() const {
    if (auto problem = ComponentManager::validateRegions())
        return problem;
    for (std::size_t i = 0; i != capacity(); ++i)
        if (std::size_t(_inputTypes[i]) >= InputTypeCount)
            return fmt::format("component index {} has the unknown input type {}", i,
                               std::uint8_t(_inputTypes[i]));
    return {};
}

void InputManager::doInit() {
    ComponentManager::doInit();
    partition().reserveRegions(1);
    _inputTypes = partition().addRegion<InputType>(block(), capacity());
}

void InputManager::copy(unsigned short source, unsigned short destination) {
    _inputTypes[destination] = _inputTypes[source];
}

void InputManager::doSwap(unsigned short a, unsigned short b) {
    ComponentManager::doSwap(a, b);
    std::swap(_inputTypes[a], _inputTypes[b]);
}

void InputManager::doAppend(const SparseArray& other) {
    /* Managers are matched by name, so the other one is an input manager too */
    const auto& types = static_cast<const InputManager&>(other)._inputTypes;
    std::copy_n(types.begin(), other.size(), _inputTypes.begin() + size());
}

void InputManager::updateComponent(unsigned short index) {
    ZE_ASSERT(sceneGraph(), "InputManager::update(): Manager is not registered in a scene graph");
    const InputType type = _inputTypes[index];
    ZE_ASSERT(std::size_t(type) < InputTypeCount,
              "InputManager::updateComponent(): invalid input type" << type);
    SceneGraph& graph = *sceneGraph();
    const unsigned short object = graph.toIndex(this->object(index));
    graph.localTransformation(object) = _inputPoses[std::size_t(type)];
    graph.setDirty(object);
}

} // namespace ZarvikEngine::Data
