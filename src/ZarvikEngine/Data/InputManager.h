#ifndef ZarvikEngine_Data_InputManager_h
#define ZarvikEngine_Data_InputManager_h

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Data {

/* A tracked XR input; also the index of its pose */
enum class InputType : std::uint8_t {
    Head = 0,
    EyeLeft = 1,
    EyeRight = 2,
    ControllerLeft = 3,
    ControllerRight = 4,
    RayLeft = 5,
    RayRight = 6,
};

Debug& operator<<(Debug& debug, InputType value);

/* Binds objects to tracked XR inputs: updating a component copies the current pose of its
   input, which the host writes every frame, into its object's local transformation.

   Block: as ComponentManager, then the input types (one byte per slot). The poses live
   outside the block and start as identities. */
class InputManager : public ComponentManager {
public:
    static constexpr std::size_t InputTypeCount = 7;

    explicit InputManager(std::uint32_t capacity = 0);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit InputManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes, Id maps and input
       types that name a pose. Returns the first problem, or nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    std::string_view name() const override { return "input"; }
    std::size_t componentDataSize(unsigned short capacity) const override { return capacity; }
    void copy(unsigned short source, unsigned short destination) override;
    /* The pose of the component's input becomes its object's local transformation, and the
       object is marked dirty */
    void updateComponent(unsigned short index) override;
    using ComponentManager::updateComponent;

    InputType& inputType(unsigned short index) { return _inputTypes[index]; }
    InputType& inputType(Id id) { return inputType(toIndex(id)); }
    InputType inputType(unsigned short index) const { return _inputTypes[index]; }
    InputType inputType(Id id) const { return inputType(toIndex(id)); }

    /* The current pose of every input, by InputType, written by the host */
    std::array<DualQuaternion, InputTypeCount>& inputPoses() { return _inputPoses; }
    const std::array<DualQuaternion, InputTypeCount>& inputPoses() const { return _inputPoses; }

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;
    /* The slot's next component starts as a new slot does, following the head */
    void doDelete(unsigned short index) override { _inputTypes[index] = InputType::Head; }
    void doAppend(const SparseArray& other) override;

private:
    std::span<InputType> _inputTypes;
    std::array<DualQuaternion, InputTypeCount> _inputPoses{};
};

} // namespace ZarvikEngine::Data

#endif
