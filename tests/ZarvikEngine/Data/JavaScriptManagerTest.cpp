#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/JavaScriptManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;

/* A scene graph with the manager registered in slot 0 and three types */
struct Scene {
    Scene() {
        graph.setComponentManager(0, "js", &scripts);
        scripts.setComponentType(0, "rotator");
        scripts.setComponentType(1, "mover");
        scripts.setComponentType(2, "cursor");
    }

    SceneGraph graph{16, 1, 16};
    JavaScriptManager scripts{2, 3, 24};
};

TEST(JavaScriptManager, TypesAndOffsetsPrint) {
    std::ostringstream out;
    {
        Debug debug{&out};
        for (int type = 0; type != 17; ++type)
            debug << ParamType(type);
    }
    EXPECT_EQ(out.str(), "ParamType::Native ParamType::Bool ParamType::Int ParamType::Float "
                         "ParamType::String ParamType::Enum ParamType::Object ParamType::Mesh "
                         "ParamType::Texture ParamType::Material ParamType::Animation "
                         "ParamType::Skin ParamType::Color ParamType::Vector2 ParamType::Vector3 "
                         "ParamType::Vector4 ParamType(0x10)\n");
    out.str({});
    Debug{&out} << AppendOffsets{1, 2, 3};
    Debug{&out} << ResourceOffsets{4, 5, 65535};
    EXPECT_EQ(out.str(), "Offsets(objects = 1 animations = 2 skins = 3)\n"
                         "Offsets(materials = 4 meshes = 5 textures = 65535)\n");
}

TEST(JavaScriptManager, TypeNamesLiveInTheBlockThroughGrowth) {
    Debug quiet{nullptr};
    Warning quietWarning{nullptr};
    Scene scene;
    JavaScriptManager& scripts = scene.scripts;
    EXPECT_EQ(scripts.name(), "js");
    EXPECT_EQ(scripts.flags(),
              ComponentManagerFlag::SceneActivation | ComponentManagerFlag::ReentrantActivation);
    EXPECT_EQ(scripts.componentDataSize(10), 34);
    EXPECT_EQ(scripts.typeIndex("mover"), 1);
    EXPECT_EQ(scripts.typeIndex("move"), 65535);

    /* The third component grows the block on the fly; the names move along */
    std::vector<Id> ids;
    for (unsigned short i = 0; i != 3; ++i)
        ids.push_back(scripts.addComponent(scene.graph.addObject(Id(0)), 2 - i));
    EXPECT_EQ(scripts.capacity(), 34);
    EXPECT_EQ(scripts.typeName(2), "cursor");
    EXPECT_EQ(scripts.typeIndex(ids[0]), 2);
    EXPECT_EQ(scripts.typeIndex(ids[2]), 0);
    scripts.allocate(34, 5, 40);
    scripts.setComponentType(4, "spinner");
    EXPECT_EQ(scripts.typeIndex("rotator"), 0);
    EXPECT_EQ(scripts.typeIndex("spinner"), 4);
    EXPECT_EQ(scripts.typeName(3), "");

    /* Header values at 20, the names after the owning objects */
    const std::size_t names = 32 + 4 * 34 + 68;
    EXPECT_EQ(readAt<std::uint32_t>(scripts.data(), 20), 5u);
    EXPECT_EQ(readAt<std::uint64_t>(scripts.data(), 24), 40u);
    EXPECT_EQ(std::string_view(scripts.data().data() + names, 7), "rotator");
    EXPECT_EQ(readAt<std::uint8_t>(scripts.data(), names + 40), 2);
    EXPECT_EQ(JavaScriptManager::validate(scripts.data()), std::nullopt);
    JavaScriptManager adopted{std::vector<char>(scripts.data().begin(), scripts.data().end())};
    EXPECT_EQ(adopted.typeIndex("spinner"), 4);
    EXPECT_EQ(adopted.componentType(ids[1]), 1);

    std::vector<char> block(scripts.data().begin(), scripts.data().end());
    block[names + 40] = 5;
    EXPECT_EQ(JavaScriptManager::validate(block),
              "JavaScriptManager::validate(): component index 0 has type 5 of 5");
    std::fill_n(block.begin() + names, 40, 'x');
    EXPECT_NE(JavaScriptManager::validate(block), std::nullopt);
    std::fill_n(block.begin() + 24, 8, char(0xff));
    EXPECT_EQ(JavaScriptManager::validate(block),
              "JavaScriptManager::validate(): 18446744073709551615 bytes of type names don't fit "
              "a block of 310");
    std::fill_n(block.begin() + 24, 8, char(0));
    block[24] = 100;
    EXPECT_EQ(JavaScriptManager::validate(block),
              "JavaScriptManager::validate(): expected 370 bytes for a capacity of 34, got 310");

    /* Deleting a component clears the freed slot's type */
    scripts.deleteComponent(ids[0]);
    EXPECT_EQ(scripts.componentType(std::uint16_t(2)), 0);
    EXPECT_EQ(scripts.typeIndex(ids[2]), 0);

    ZE_EXPECT_ABORT(scripts.setComponentType(0, std::string(64, 'x')),
                    "JavaScriptManager::setComponentType(): no room for the type name " +
                        std::string(64, 'x'));
    ZE_EXPECT_ABORT(scripts.addComponent(Id(0), 5),
                    "JavaScriptManager::addComponent(): type 5 out of range for 5 types");
}

TEST(JavaScriptManager, PendingComponentsAreCreatedOnce) {
    Scene scene;
    JavaScriptManager& scripts = scene.scripts;
    /* Nothing pending: nothing happens */
    scripts.initialState().data = {'a'};
    scripts.js_createAndInitAllComponents();
    EXPECT_EQ(scripts.initialState().data, std::vector<char>{'a'});

    const Id a = scripts.addComponent(Id(0), 1), b = scripts.addComponent(Id(0), 2);
    scripts.swap(0, 1);
    scripts.completeInitialization({'x', 'y'});
    EXPECT_EQ(scripts.initialState().pendingComponents, (std::vector<Id>{b, a}));
    EXPECT_EQ(scripts.initialState().data, (std::vector<char>{'x', 'y'}));
    EXPECT_EQ(scripts.computeTypeToJsIndex(), (std::vector<std::uint8_t>{0, 1, 2}));
    scripts.js_createAndInitAllComponents();
    EXPECT_TRUE(scripts.initialState().pendingComponents.empty());
    EXPECT_TRUE(scripts.initialState().data.empty());
    EXPECT_EQ(scripts.typeIndex(a), 1);
    EXPECT_EQ(scripts.typeIndex(b), 2);

    std::ostringstream out;
    {
        Debug redirect{&out};
        scripts.js_setComponentParamTranslation(b, 2, "Hallo Welt");
    }
    EXPECT_EQ(out.str(), "js_setComponentParamTranslation(Id(1), 2 , Hallo Welt)\n");

    scripts.prepareAppendOrCopy({1, 2, 3}, {4, 5, 6});
    EXPECT_EQ(scripts.appendOffsets().skins, 3);
    EXPECT_EQ(scripts.resourceOffsets().materials, 4);
    scripts.update(0.25);
    EXPECT_EQ(scripts.deltaTime(), 0.25f);
}

TEST(JavaScriptManager, AppendedComponentsKeepTheirTypes) {
    Debug quiet{nullptr};
    Scene scene, other;
    const Id own = scene.scripts.addComponent(Id(0), 2);
    other.scripts.activate(other.scripts.addComponent(other.graph.addObject(Id(0)), 1));
    scene.graph.append(other.graph, {});
    ASSERT_EQ(scene.scripts.size(), 2);
    /* The appended one was active, so it moved in front */
    EXPECT_EQ(scene.scripts.activeCount(), 1);
    EXPECT_EQ(scene.scripts.componentType(std::uint16_t(0)), 1);
    EXPECT_EQ(scene.scripts.componentType(own), 2);
}

} // namespace
} // namespace ZarvikEngine::Data
