#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include <glm/ext/matrix_clip_space.hpp>
#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "TestManagers.h"
#include "ZarvikEngine/Data/LightManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/ViewManager.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;

constexpr float Infinity = std::numeric_limits<float>::infinity();

/* Lights in slot 0, views in slot 1, one camera object with one view */
struct Scene {
    Scene() {
        graph.setComponentManager(0, "light", &lights);
        graph.setComponentManager(1, "view", &views);
        camera = graph.addObject(Id(0));
        view = views.addComponent(camera);
        views.activate(view);
        views.near(view) = 0.1f;
        views.viewport(view) = {0, 0, 1600, 900};
    }

    /* An active light of the type on a new object with the rotation and position */
    Id addLight(LightType type, const Quaternion& rotation = {}, const Vector3& position = {}) {
        const Id object = graph.addObject(Id(0));
        graph.localTransformation(object) =
            dualQuaternionFromRotationTranslation(rotation, position);
        const Id light = lights.addComponent(object);
        lights.setLightType(light, type);
        lights.activate(light);
        return light;
    }

    /* World transforms, lights and views, then the shadow slices */
    void update(std::uint32_t maxShadows) {
        graph.setDirty(Id(0));
        graph.computeAbsoluteTransformations();
        lights.update(0.016);
        views.update(0.016);
        lights.setupShadows(graph, views, view, maxShadows);
        lights.updateShadows(graph, views, view);
    }

    SceneGraph graph{64, 2, 64};
    LightManager lights{8};
    ViewManager views{2};
    Id camera, view;
};

Quaternion randomRotation(std::mt19937& random) {
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f};
    return glm::normalize(Quaternion{unit(random), unit(random), unit(random), unit(random)});
}

/* Shadow-map coordinates and depth of a world point */
Vector3 shadowCoordinates(const Matrix4& shadowMatrix, const Vector3& point) {
    const Vector4 clip = shadowMatrix * Vector4{point, 1.0f};
    return Vector3{clip} / clip.w;
}

TEST(LightManager, BlockLayoutAndRoundTrip) {
    LightManager manager{5};
    EXPECT_EQ(manager.name(), "light");
    /* Five Vector4 per slot and the groups' share: 2 · (3 + 1 + 5) rounded up to 4 */
    EXPECT_EQ(manager.componentDataSize(5), 400 + 20);
    EXPECT_EQ(manager.groupsCount(), 3);

    const Id a = manager.add(), b = manager.add();
    manager.color(a) = {1.0f, 0.5f, 0.25f, 4.0f};
    manager.parameters(b) = {90.0f, 60.0f, 1.0f, 50.0f};
    manager.shadowParameters(b) = {0.1f, 0.2f, 0.3f, 2.0f};
    manager.setLightType(b, LightType::Sun);
    EXPECT_EQ(manager.outerAngle(b), Deg{90.0f});
    EXPECT_TRUE(manager.shadows(b));
    EXPECT_EQ(manager.shadowRange(b), 50.0f);
    EXPECT_EQ(manager.cascadeCount(b), 2);

    EXPECT_EQ(LightManager::validate(manager.data()), std::nullopt);
    const std::span<const char> block = manager.data();
    LightManager adopted{std::vector<char>(block.begin(), block.end())};
    EXPECT_EQ(adopted.size(), 2);
    EXPECT_EQ(adopted.color(a), (Color4{1.0f, 0.5f, 0.25f, 4.0f}));
    EXPECT_EQ(adopted.parameters(b), (Vector4{90.0f, 60.0f, 1.0f, 50.0f}));
    EXPECT_EQ(adopted.shadowParameters(b), (Vector4{0.1f, 0.2f, 0.3f, 2.0f}));
    EXPECT_EQ(adopted.lightType(b), LightType::Sun);
    EXPECT_EQ(adopted.computedParameters()[0], Vector4{0.0f});
    /* The colours come first in the regions, one Vector4 per slot */
    const std::size_t colors = block.size() - 400;
    EXPECT_EQ(readAt<float>(block, colors + 16 * manager.toIndex(a) + 12), 4.0f);

    /* Three groups, one per type, or nothing */
    manager.allocate(5, 4);
    EXPECT_EQ(LightManager::validate(manager.data()),
              "LightManager::validate(): 4 groups instead of one per light type");

    std::ostringstream out;
    Debug{&out} << LightType::Point << LightType::Spot << LightType::Sun << LightType(0x1f);
    EXPECT_EQ(out.str(), "LightType::Point LightType::Spot LightType::Sun LightType(0x1f)\n");
}

TEST(LightManager, UpdateGivesWorldPositionsDirectionsAndConeCosines) {
    Scene scene;
    const Id plain = scene.addLight(LightType::Point, {}, {1.0f, 2.0f, 3.0f});
    const Quaternion turned = rotation(Rad{0.7f}, glm::normalize(Vector3{1.0f, 0.0f, 1.0f}));
    const Id spot = scene.addLight(LightType::Spot, turned, {0.0f, 5.0f, 0.0f});
    scene.lights.parameters(spot) = {90.0f, 60.0f, 0.0f, 20.0f};
    scene.update(0);

    LightManager& lights = scene.lights;
    EXPECT_EQ(lights.direction(plain), (Vector3{0.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(fuzzyEqual(lights.position(plain), Vector3{1.0f, 2.0f, 3.0f}));
    EXPECT_TRUE(fuzzyEqual(lights.direction(spot), turned * Vector3{0.0f, 1.0f, 0.0f}));
    EXPECT_TRUE(fuzzyEqual(lights.position(spot), Vector3{0.0f, 5.0f, 0.0f}));
    const Vector4& computed = lights.computedParameters()[lights.toIndex(spot)];
    EXPECT_FLOAT_EQ(computed.x, std::cos(glm::radians(45.0f)));
    EXPECT_FLOAT_EQ(computed.y, std::cos(glm::radians(30.0f)));
    /* The arrays the renderer uploads hold the same */
    EXPECT_EQ(Vector3{lights.directions()[lights.toIndex(spot)]}, lights.direction(spot));
}

TEST(LightManager, LightsStaySortedByType) {
    LightManager lights{8};
    std::vector<Id> ids;
    for (const LightType type : {LightType::Sun, LightType::Spot, LightType::Point, LightType::Spot,
                                 LightType::Sun, LightType::Point}) {
        const Id id = lights.add();
        lights.setLightType(id, type);
        lights.activate(id);
        ids.push_back(id);
    }
    EXPECT_EQ(lights.lightsOfType(LightType::Point), (Utils::IndexRange<unsigned short>{0, 2}));
    EXPECT_EQ(lights.lightsOfType(LightType::Spot), (Utils::IndexRange<unsigned short>{2, 4}));
    EXPECT_EQ(lights.lightsOfType(LightType::Sun), (Utils::IndexRange<unsigned short>{4, 6}));
    for (const Id id : ids)
        EXPECT_TRUE(lights.lightsOfType(lights.lightType(id)).contains(lights.toIndex(id)));

    /* A changed type moves the light, its settings with it */
    lights.color(ids[0]) = Color4{0.5f};
    const unsigned short moved = lights.setLightType(lights.toIndex(ids[0]), LightType::Point);
    EXPECT_EQ(lights.lightsCount(LightType::Point), 3);
    EXPECT_EQ(lights.lightsCount(LightType::Sun), 1);
    EXPECT_TRUE(lights.lightsOfType(LightType::Point).contains(moved));
    EXPECT_EQ(lights.color(moved), Color4{0.5f});
}

TEST(LightManager, ShadowsFitTheBudgetAndSunsSplitTheirRange) {
    Scene scene;
    LightManager& lights = scene.lights;
    const Id sun = scene.addLight(LightType::Sun);
    const Id point = scene.addLight(LightType::Point);
    const Id spot = scene.addLight(LightType::Spot);
    const Id dark = scene.addLight(LightType::Spot);
    lights.parameters(sun) = {0.0f, 0.0f, 1.0f, 100.0f};
    lights.shadowParameters(sun) = {0.5f, 0.25f, 0.125f, 3.0f};
    lights.parameters(point) = {0.0f, 0.0f, 1.0f, 30.0f};
    lights.parameters(spot) = {60.0f, 40.0f, 1.0f, 25.0f};
    lights.parameters(dark) = {60.0f, 40.0f, 0.0f, 25.0f};

    /* The sun takes 0 to 2, the point light doesn't fit, the spot light still does */
    std::ostringstream warnings;
    {
        Warning redirect{&warnings};
        scene.update(4);
    }
    EXPECT_EQ(warnings.str(), "Max number of shadows 4 exceeded, ignoring shadows for light " +
                                  std::to_string(lights.toIndex(point)) + "\n");
    const ShadowsData& shadows = lights.shadowsData();
    ASSERT_EQ(shadows.count, 4);
    EXPECT_TRUE(lights.shadowActive(sun));
    EXPECT_FALSE(lights.shadowActive(point));
    EXPECT_FALSE(lights.shadowActive(dark));
    EXPECT_EQ(lights.shadowIndex(sun), 0);
    EXPECT_EQ(lights.shadowIndex(spot), 3);
    for (std::uint32_t slice = 0; slice != 3; ++slice) {
        EXPECT_EQ(shadows.lightIndices[slice], lights.toIndex(sun));
        EXPECT_EQ(shadows.slices[slice].kind, ShadowSlice::OrthographicCascade);
        EXPECT_EQ(shadows.sliceParameters[slice], (Vector4{0.5f, 0.25f, 0.125f, 3.0f}));
    }
    EXPECT_EQ(shadows.slices[3].kind, ShadowSlice::Perspective);
    EXPECT_EQ(shadows.slices[3].near, 0.1f);
    EXPECT_EQ(shadows.slices[3].far, 25.0f);
    EXPECT_FLOAT_EQ(shadows.slices[3].angle, glm::radians(60.0f));

    /* Splits between the logarithmic and the uniform split, the last one the range */
    const float* splits = &shadows.splits[0].x;
    for (int k = 1; k <= 3; ++k) {
        const float t = float(k) / 3.0f;
        const float logarithmic = 0.1f * std::pow(1000.0f, t);
        const float uniform = 0.1f + (100.0f - 0.1f) * t;
        EXPECT_GE(splits[k - 1], std::min(logarithmic, uniform) * (1.0f - 1e-6f));
        EXPECT_LE(splits[k - 1], std::max(logarithmic, uniform) * (1.0f + 1e-6f));
    }
    EXPECT_EQ(splits[2], 100.0f);

    /* With room for all, every light gets its slices; a sun without cascades gets none */
    lights.parameters(dark).z = 1.0f;
    lights.shadowParameters(sun).w = 0.0f;
    scene.update(16);
    EXPECT_EQ(shadows.count, 4);
    EXPECT_FALSE(lights.shadowActive(sun));
    EXPECT_EQ(shadows.slices[lights.shadowIndex(point)].kind, ShadowSlice::Paraboloid);
    EXPECT_EQ(shadows.slices[lights.shadowIndex(point) + 1].kind, ShadowSlice::Paraboloid);
}

TEST(LightManager, SlicesKeepTheirCapacity) {
    ShadowsData shadows;
    shadows.reserveShadows(8);
    const std::size_t capacity = shadows.frusta.capacity();
    EXPECT_EQ(shadows.addShadow(), 0);
    EXPECT_EQ(shadows.addShadow(), 1);
    EXPECT_EQ(shadows.projections[1], Matrix4{1.0f});
    EXPECT_EQ(shadows.viewTransforms[1], DualQuaternion{});
    EXPECT_EQ(shadows.cascadeFrusta[1].viewProjection, Matrix4{1.0f});
    EXPECT_EQ(shadows.frusta[1].planes[0], (Vector4{1.0f, 0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(shadows.frusta[1].planes[5], (Vector4{0.0f, 0.0f, -1.0f, 1.0f}));
    shadows.clear();
    EXPECT_EQ(shadows.count, 0);
    EXPECT_TRUE(shadows.slices.empty());
    EXPECT_EQ(shadows.frusta.capacity(), capacity);
}

TEST(LightManager, SpotSlicesHoldTheirConeAndPointSlicesLookBothWays) {
    std::mt19937 random{17};
    std::uniform_real_distribution<float> unit{0.0f, 1.0f}, angles{10.0f, 150.0f},
        ranges{1.0f, 200.0f};
    Scene scene;
    const Id spot = scene.addLight(LightType::Spot);
    const Id point = scene.addLight(LightType::Point);
    LightManager& lights = scene.lights;
    lights.parameters(point) = {0.0f, 0.0f, 1.0f, 40.0f};
    lights.shadowParameters(point) = {0.75f, 9.0f, 9.0f, 0.0f};
    for (int i = 0; i != 100; ++i) {
        const Quaternion rotation = randomRotation(random);
        const Vector3 position{unit(random) * 20.0f, unit(random) * 20.0f, unit(random) * 20.0f};
        scene.graph.localTransformation(scene.lights.object(spot)) =
            dualQuaternionFromRotationTranslation(rotation, position);
        const float angle = angles(random), range = ranges(random);
        lights.parameters(spot) = {angle, angle / 2.0f, 1.0f, range};
        scene.update(8);

        /* Points of the cone, shining along -Y of the light, map into the shadow map */
        const Matrix4& matrix = lights.shadowsData().shadowMatrices[lights.shadowIndex(spot)];
        const Vector3 axis = rotation * Vector3{0.0f, -1.0f, 0.0f};
        const Vector3 across = glm::normalize(glm::cross(axis, glm::normalize(Vector3{1, 2, 3})));
        for (int k = 0; k != 50; ++k) {
            /* Beyond the near plane, up to the range */
            const float spread = glm::radians(angle / 2.0f) * unit(random);
            const float nearest = 0.1f / std::cos(spread) * 1.001f;
            if (nearest >= range)
                continue;
            const float distance = nearest + (range - nearest) * 0.999f * unit(random);
            const Quaternion around = glm::angleAxis(6.2831853f * unit(random), axis);
            const Vector3 direction = glm::angleAxis(spread, around * across) * axis;
            const Vector3 coordinates = shadowCoordinates(matrix, position + distance * direction);
            for (int c = 0; c != 3; ++c) {
                EXPECT_GE(coordinates[c], -1e-4f) << i;
                EXPECT_LE(coordinates[c], 1.0f + 1e-4f) << i;
            }
        }
    }

    /* An infinite range gives an infinite far plane */
    lights.parameters(spot).w = Infinity;
    scene.update(8);
    const Matrix4& projection = lights.shadowsData().projections[lights.shadowIndex(spot)];
    EXPECT_EQ(projection[2][2], -1.0f);
    EXPECT_FLOAT_EQ(projection[3][2], -0.2f);

    /* The two hemispheres of a point light look along its direction and away from it */
    const ShadowsData& shadows = lights.shadowsData();
    const std::uint32_t first = lights.shadowIndex(point);
    const Vector3 direction = lights.direction(point), origin = lights.position(point);
    for (std::uint32_t k = 0; k != 2; ++k) {
        const Vector3 ahead = origin - (k ? -direction : direction);
        EXPECT_LT(glm::length(transformPoint(shadows.viewTransforms[first + k], ahead) -
                              Vector3{0.0f, 0.0f, -1.0f}),
                  1e-4f);
        EXPECT_EQ(shadows.projections[first + k], Matrix4{1.0f});
        EXPECT_EQ(shadows.sliceParameters[first + k], (Vector4{0.75f, 0.0f, 0.1f, 40.0f}));
    }
}

TEST(LightManager, SunCascadesHoldTheirSliceOfTheView) {
    std::mt19937 random{23};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f}, ranges{20.0f, 300.0f};
    Scene scene;
    LightManager& lights = scene.lights;
    const Id sun = scene.addLight(LightType::Sun);
    lights.shadowParameters(sun).w = 4.0f;
    for (int i = 0; i != 100; ++i) {
        scene.graph.localTransformation(lights.object(sun)) =
            dualQuaternionFromRotationTranslation(randomRotation(random), {});
        const Vector3 eye{5.0f * unit(random), 5.0f * unit(random), 5.0f * unit(random)};
        const Quaternion look = randomRotation(random);
        scene.graph.localTransformation(scene.camera) =
            dualQuaternionFromRotationTranslation(look, eye);
        const float range = ranges(random);
        lights.parameters(sun) = {0.0f, 0.0f, 1.0f, range};
        scene.views.viewport(scene.view) = {0, 0, 400 + i * 16, 300};
        scene.update(4);

        const ShadowsData& shadows = lights.shadowsData();
        const float aspect = float(400 + i * 16) / 300.0f;
        /* The cascades use a 90° horizontal field of view whatever the view's */
        const float fovy = 2.0f * std::atan(1.0f / aspect);
        const Matrix4 camera = toMatrix(dualQuaternionFromRotationTranslation(look, eye));
        /* The slices are cut from the camera held level: its forward axis without the roll */
        const Matrix4 level =
            toMatrix(lookAt(eye, eye + look * Vector3{0.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.0f}));
        float near = 0.1f;
        for (std::uint32_t c = 0; c != 4; ++c) {
            const float far = (&shadows.splits[0].x)[c];
            const Matrix4 viewProjection =
                glm::perspective(fovy, aspect, near, far) * glm::inverse(camera);
            for (int col = 0; col != 4; ++col)
                for (int row = 0; row != 4; ++row)
                    EXPECT_NEAR(shadows.cascadeFrusta[c].viewProjection[col][row],
                                viewProjection[col][row],
                                2e-3f * std::max(1.0f, std::abs(viewProjection[col][row])));

            /* Every corner of the slice is in the light's box: across it always, in depth up
               to the shadow range */
            const Matrix4 inverse =
                glm::inverse(glm::perspective(fovy, aspect, near, far) * glm::inverse(level));
            for (int k = 0; k != 8; ++k) {
                const Vector4 clip{k & 1 ? 1.0f : -1.0f, k & 2 ? 1.0f : -1.0f, k & 4 ? 1.0f : -1.0f,
                                   1.0f};
                const Vector4 world = inverse * clip;
                const Vector3 corner = Vector3{world} / world.w;
                const Vector3 coordinates = shadowCoordinates(shadows.shadowMatrices[c], corner);
                const float slack = 1e-3f;
                EXPECT_GE(coordinates.x, -slack) << i << " cascade " << c;
                EXPECT_LE(coordinates.x, 1.0f + slack) << i << " cascade " << c;
                EXPECT_GE(coordinates.y, -slack) << i << " cascade " << c;
                EXPECT_LE(coordinates.y, 1.0f + slack) << i << " cascade " << c;
                EXPECT_LE(coordinates.z, 1.0f + slack) << i << " cascade " << c;
                if (glm::length(corner) <= range)
                    EXPECT_GE(coordinates.z, -slack) << i << " cascade " << c;
            }
            near = far;
        }
    }
}

TEST(LightManager, CopiesSwapsAppendsAndDeletedSlots) {
    Scene scene;
    LightManager& lights = scene.lights;
    const Id a = scene.addLight(LightType::Spot), b = scene.addLight(LightType::Point);
    lights.color(a) = Color4{0.25f};
    lights.parameters(a) = {50.0f, 20.0f, 1.0f, 10.0f};
    scene.update(4);
    lights.copy(lights.toIndex(a), lights.toIndex(b));
    EXPECT_EQ(lights.color(b), Color4{0.25f});
    EXPECT_EQ(lights.lightType(b), LightType::Spot);
    EXPECT_EQ(lights.computedParameters()[lights.toIndex(b)],
              lights.computedParameters()[lights.toIndex(a)]);

    Scene other;
    const Id c = other.addLight(LightType::Sun);
    other.lights.color(c) = Color4{0.75f};
    other.lights.shadowParameters(c) = {1.0f, 2.0f, 3.0f, 4.0f};
    scene.graph.append(other.graph, {});
    const Id appended = lights.toId(lights.size() - 1);
    EXPECT_EQ(lights.color(appended), Color4{0.75f});
    EXPECT_EQ(lights.shadowParameters(appended), (Vector4{1.0f, 2.0f, 3.0f, 4.0f}));
    EXPECT_EQ(lights.lightType(appended), LightType::Sun);

    /* A deleted light doesn't hand its settings to the next one in its slot */
    lights.deleteComponent(a);
    const Id fresh = lights.addComponent(scene.camera);
    EXPECT_EQ(lights.color(fresh), Color4{0.0f});
    EXPECT_EQ(lights.parameters(fresh), Vector4{0.0f});
    EXPECT_EQ(lights.computedParameters()[lights.toIndex(fresh)], Vector4{0.0f});
}

TEST(LightManager, DegenerateTransformsDontStopTheShadows) {
    /* A scene from outside may hold transforms that aren't finite */
    Scene scene;
    const Id spot = scene.addLight(LightType::Spot);
    const Id point = scene.addLight(LightType::Point);
    scene.lights.parameters(spot) = {60.0f, 30.0f, 1.0f, 10.0f};
    scene.lights.parameters(point) = {0.0f, 0.0f, 1.0f, 10.0f};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    scene.graph.localTransformation(scene.lights.object(spot)).real = Quaternion{nan, 0, 0, 1};
    scene.graph.localTransformation(scene.lights.object(point)).real =
        Quaternion{1e30f, 1e30f, 0, 1};
    scene.update(8);
    EXPECT_TRUE(scene.lights.shadowActive(spot));
    EXPECT_TRUE(scene.lights.shadowActive(point));
}

TEST(LightManagerDeathTest, UpdateNeedsTheSceneGraph) {
    LightManager lights{2};
    ZE_EXPECT_ABORT(lights.update(0.016),
                    "LightManager::update(): Manager is not registered in a scene graph");
}

} // namespace
} // namespace ZarvikEngine::Data
