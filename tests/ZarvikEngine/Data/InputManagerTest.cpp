#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/InputManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;

TEST(InputManager, TypesPrintAndTravelWithTheBlock) {
    std::ostringstream out;
    {
        Debug debug{&out};
        for (int type = 0; type != 8; ++type)
            debug << InputType(type);
        debug << InputType(0xab);
    }
    EXPECT_EQ(out.str(), "InputType::Head InputType::EyeLeft InputType::EyeRight "
                         "InputType::ControllerLeft InputType::ControllerRight InputType::RayLeft "
                         "InputType::RayRight InputType(0x7) InputType(0xab)\n");

    InputManager inputs{3};
    EXPECT_EQ(inputs.name(), "input");
    const Id a = inputs.add(), b = inputs.add();
    inputs.inputType(a) = InputType::RayRight;
    inputs.inputType(b) = InputType::EyeLeft;
    inputs.swap(0, 1);
    /* Headers, Id maps, owning objects padded to 8 bytes, then one type byte per slot */
    const std::size_t types = 16 + 4 + 4 * 3 + 8;
    EXPECT_EQ(inputs.data().size(), types + 3);
    EXPECT_EQ(readAt<std::uint8_t>(inputs.data(), types), 1);
    EXPECT_EQ(readAt<std::uint8_t>(inputs.data(), types + 1), 6);

    EXPECT_EQ(InputManager::validate(inputs.data()), std::nullopt);
    InputManager adopted{std::vector<char>(inputs.data().begin(), inputs.data().end())};
    EXPECT_EQ(adopted.inputType(a), InputType::RayRight);
    /* A deleted component's slot forgets its type */
    adopted.remove(a);
    EXPECT_EQ(adopted.inputType(std::uint16_t(1)), InputType::Head);
    std::vector<char> unknown(inputs.data().begin(), inputs.data().end());
    unknown[types + 2] = 7;
    EXPECT_EQ(InputManager::validate(unknown),
              "InputManager::validate(): component index 2 has the unknown input type 7");
}

TEST(InputManager, UpdatesMoveObjectsToTheirInputsPoses) {
    Debug quiet{nullptr};
    SceneGraph graph{8, 1, 8};
    InputManager inputs{4};
    graph.setComponentManager(0, "input", &inputs);
    const Id parent = graph.addObject(Id(0));
    graph.localTransformation(parent) = dualQuaternionFromTranslation({0.0f, 1.0f, 0.0f});
    graph.setDirty(parent);
    const Id head = graph.addObject(parent), camera = graph.addObject(Id(0));
    const Id hand = graph.addObject(Id(0));
    const Id headInput = inputs.addComponent(head), cameraInput = inputs.addComponent(camera);
    const Id handInput = inputs.addComponent(hand);
    inputs.inputType(handInput) = InputType::ControllerRight;
    for (const Id id : {headInput, cameraInput, handInput})
        inputs.activate(id);
    graph.computeAbsoluteTransformations();

    const DualQuaternion pose = dualQuaternionFromRotationTranslation(
        rotation(Rad{0.5f}, {0.0f, 1.0f, 0.0f}), {1.0f, 2.0f, 3.0f});
    inputs.inputPoses()[std::size_t(InputType::Head)] = pose;
    inputs.update(0.016);
    /* Both head components share the pose; the object under a parent moves with it */
    EXPECT_EQ(graph.localTransformation(head), pose);
    EXPECT_EQ(graph.localTransformation(camera), pose);
    EXPECT_TRUE(graph.isDirty(head));
    EXPECT_TRUE(
        fuzzyEqual(translation(graph.absoluteTransformationSafe(head)), Vector3{1.0f, 3.0f, 3.0f}));
    /* With the identity pose the hand is reset */
    EXPECT_EQ(graph.localTransformation(hand), DualQuaternion{});

    /* An inactive component isn't updated */
    inputs.deactivate(cameraInput);
    inputs.inputPoses()[0] = DualQuaternion{};
    inputs.update(0.016);
    EXPECT_EQ(graph.localTransformation(head), DualQuaternion{});
    EXPECT_EQ(graph.localTransformation(camera), pose);

    inputs.inputType(headInput) = InputType(7);
    ZE_EXPECT_ABORT(inputs.updateComponent(headInput),
                    "InputManager::updateComponent(): invalid input type InputType(0x7)");
}

} // namespace
} // namespace ZarvikEngine::Data
