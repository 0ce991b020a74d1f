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
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/ViewManager.h"

namespace ZarvikEngine::Data {
namespace {

using Test::readAt;

constexpr float Infinity = std::numeric_limits<float>::infinity();

/* A scene graph with the manager registered in slot 0 */
struct Scene {
    explicit Scene(unsigned short capacity) : views{capacity} {
        graph.setComponentManager(0, "view", &views);
    }

    SceneGraph graph{16, 1, 16};
    ViewManager views;
};

void expectMatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance) {
    for (int c = 0; c != 4; ++c)
        for (int r = 0; r != 4; ++r)
            EXPECT_NEAR(actual[c][r], expected[c][r],
                        tolerance * std::max(1.0f, std::abs(expected[c][r])))
                << "column " << c << " row " << r;
}

/* The world-space corners of the frustum a view-projection matrix sees */
std::array<Vector3, 8> frustumCorners(const Matrix4& viewProjection) {
    const Matrix4 inverse = glm::inverse(viewProjection);
    std::array<Vector3, 8> corners;
    for (int i = 0; i != 8; ++i) {
        const Vector4 clip{i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f, 1.0f};
        const Vector4 world = inverse * clip;
        corners[i] = Vector3{world} / world.w;
    }
    return corners;
}

TEST(ViewManager, BlockLayoutAndRoundTrip) {
    ViewManager manager{5};
    EXPECT_EQ(manager.name(), "view");
    EXPECT_EQ(manager.componentDataSize(5), 85);
    /* Headers, Id maps, owning objects, then the parameters and types */
    const std::size_t regions = 16 + 4 + 4 * 5 + 12;
    EXPECT_EQ(manager.data().size(), regions + 85);

    const Id a = manager.add(), b = manager.add();
    manager.near(a) = 0.5f;
    manager.far(a) = Infinity;
    manager.fov(a) = 75.0f;
    manager.extent(b) = 8.0f;
    manager.projectionType(b) = ProjectionType::Orthographic;
    manager.viewport(a) = {0, 0, 640, 480};
    manager.projectionMatrix(a) = Matrix4{2.0f};
    manager.viewTransform(a) = dualQuaternionFromTranslation({1.0f, 2.0f, 3.0f});
    int framebuffer;
    manager.targetFramebuffer(b) = &framebuffer;
    const std::span<const char> block = manager.data();
    EXPECT_EQ(readAt<float>(block, regions + 16 * manager.toIndex(a) + 8), 75.0f);
    EXPECT_EQ(readAt<std::uint8_t>(block, regions + 80 + manager.toIndex(b)), 1);

    /* Only the parameters and types travel with the block */
    EXPECT_EQ(ViewManager::validate(block), std::nullopt);
    ViewManager adopted{std::vector<char>(block.begin(), block.end())};
    EXPECT_EQ(adopted.size(), 2);
    EXPECT_EQ(adopted.near(a), 0.5f);
    EXPECT_EQ(adopted.far(a), Infinity);
    EXPECT_EQ(adopted.fov(a), 75.0f);
    EXPECT_EQ(adopted.extent(b), 8.0f);
    EXPECT_EQ(adopted.projectionType(b), ProjectionType::Orthographic);
    EXPECT_EQ(adopted.viewport(a), Vector4i{0});
    EXPECT_EQ(adopted.projectionMatrix(a), Matrix4{1.0f});
    EXPECT_EQ(adopted.viewTransform(a), DualQuaternion{});
    EXPECT_EQ(adopted.targetFramebuffer(b), nullptr);

    /* Growing keeps every array */
    manager.allocate(40);
    EXPECT_EQ(manager.fov(a), 75.0f);
    EXPECT_EQ(manager.projectionMatrix(a), Matrix4{2.0f});
    EXPECT_EQ(manager.viewport(a), (Vector4i{0, 0, 640, 480}));
    EXPECT_EQ(manager.targetFramebuffer(b), &framebuffer);
    EXPECT_EQ(manager.projectionMatrix((unsigned short)(7)), Matrix4{1.0f});

    /* A type no matrix can be made from is turned away */
    std::vector<char> bad(manager.data().begin(), manager.data().end());
    bad[manager.data().size() - 40 + 3] = 2;
    EXPECT_EQ(ViewManager::validate(bad),
              "ViewManager::validate(): component index 3 has the unknown projection type 2");

    std::ostringstream out;
    Debug{&out} << ProjectionType::Perspective << ProjectionType::Orthographic
                << ProjectionType(0xab);
    EXPECT_EQ(out.str(),
              "ProjectionType::Perspective ProjectionType::Orthographic ProjectionType(0xab)\n");
}

TEST(ViewManager, ProjectionsAgreeWithGlm) {
    ViewManager views{1};
    const Id view = views.add();

    /* 90° over 200 × 100 at 0.1: a 0.2 × 0.1 near plane */
    views.near(view) = 0.1f;
    views.far(view) = 100.0f;
    views.fov(view) = 90.0f;
    views.viewport(view) = {0, 0, 200, 100};
    Matrix4 matrix = views.generateProjectionMatrix(view);
    EXPECT_FLOAT_EQ(matrix[0][0], 1.0f);
    EXPECT_FLOAT_EQ(matrix[1][1], 2.0f);
    views.far(view) = Infinity;
    matrix = views.generateProjectionMatrix(view);
    EXPECT_EQ(matrix[2][2], -1.0f);
    EXPECT_FLOAT_EQ(matrix[3][2], -0.2f);
    /* An empty viewport is square */
    views.viewport(view) = Vector4i{0};
    EXPECT_FLOAT_EQ(views.generateProjectionMatrix(view)[1][1], 1.0f);

    std::mt19937 random{1234};
    std::uniform_real_distribution<float> fovs{10.0f, 150.0f}, nears{0.01f, 2.0f},
        depths{1.0f, 1000.0f}, extents{0.5f, 100.0f};
    std::uniform_int_distribution<int> sizes{1, 4000};
    for (int i = 0; i != 200; ++i) {
        const float near = nears(random), far = near + depths(random), fov = fovs(random);
        views.near(view) = near;
        views.far(view) = far;
        views.fov(view) = fov;
        views.extent(view) = extents(random);
        views.viewport(view) = {sizes(random), sizes(random), sizes(random), sizes(random)};
        const float aspect = float(views.viewport(view).z) / float(views.viewport(view).w);
        const float fovy = 2.0f * std::atan(std::tan(glm::radians(fov) / 2.0f) / aspect);

        views.projectionType(view) = ProjectionType::Perspective;
        expectMatrixNear(views.generateProjectionMatrix(view),
                         glm::perspective(fovy, aspect, near, far), 1e-4f);
        views.far(view) = Infinity;
        expectMatrixNear(views.generateProjectionMatrix(view),
                         glm::infinitePerspective(fovy, aspect, near), 1e-4f);
        views.far(view) = far;

        views.projectionType(view) = ProjectionType::Orthographic;
        const float halfWidth = views.extent(view) / 2.0f, halfHeight = halfWidth / aspect;
        expectMatrixNear(views.generateProjectionMatrix(view),
                         glm::ortho(-halfWidth, halfWidth, -halfHeight, halfHeight, near, far),
                         1e-4f);

        /* The field of view comes back out of any perspective matrix */
        EXPECT_NEAR(ViewManager::fovFromProjectionMatrix(glm::perspective(fovy, aspect, near, far)),
                    fov, 1e-5f * fov);
    }
}

TEST(ViewManager, ViewTransformsFollowTheirObjects) {
    Scene scene{4};
    const Id parent = scene.graph.addObject(Id(0));
    const Id camera = scene.graph.addObject(parent);
    scene.graph.localTransformation(parent) =
        dualQuaternionFromRotationTranslation(rotation(Rad{0.5f}, {0.0f, 1.0f, 0.0f}), {3, 0, 0});
    scene.graph.localTransformation(camera) = dualQuaternionFromTranslation({0.0f, 2.0f, 5.0f});
    scene.graph.setDirty(parent);
    scene.graph.computeAbsoluteTransformations();

    ViewManager& views = scene.views;
    const Id view = views.addComponent(camera);
    views.activate(view);
    views.update(0.016);
    /* World points go into the camera's own frame: the camera sits at the origin */
    const DualQuaternion& world = scene.graph.absoluteTransformation(camera);
    EXPECT_TRUE(
        fuzzyEqual(transformPoint(views.viewTransform(view), translation(world)), Vector3{0.0f}));
    EXPECT_TRUE(fuzzyEqual(views.viewTransform(view) * world, DualQuaternion{}));

    views.projectionMatrix(view) = glm::perspective(1.0f, 1.5f, 0.1f, 50.0f);
    const Matrix4 expected = views.projectionMatrix(view) * glm::inverse(toMatrix(world));
    expectMatrixNear(views.viewProjectionMatrix(view), expected, 1e-5f);
    EXPECT_EQ(views.cullingMatrix(view), views.viewProjectionMatrix(view));
    EXPECT_EQ(views.cullingMatrix(view, view), views.viewProjectionMatrix(view));
}

TEST(ViewManager, StereoCullingFrustumHoldsBothEyes) {
    ViewManager views{2};
    const Id left = views.add(), right = views.add();

    /* Symmetric 90° frusta 0.064 apart: the apex 0.032 behind, the near plane widened by as
       much on each side */
    views.projectionMatrix(left) = views.projectionMatrix(right) =
        glm::frustum(-0.1f, 0.1f, -0.1f, 0.1f, 0.1f, 10.0f);
    views.viewTransform(right) = dualQuaternionFromTranslation({-0.064f, 0.0f, 0.0f});
    const Matrix4 culling = views.cullingMatrix(left, right);
    const float near = 0.1f + 0.032f;
    EXPECT_NEAR(culling[0][0], 2.0f * near / (2.0f * (0.1f + 0.032f)), 1e-5f);
    EXPECT_NEAR(culling[3][3], 0.032f, 1e-5f);

    /* Random heads and asymmetric eyes, the inner edges of each eye narrower than the outer */
    std::mt19937 random{99};
    std::uniform_real_distribution<float> unit{-1.0f, 1.0f}, outer{0.6f, 1.4f}, inner{0.3f, 0.6f},
        vertical{0.5f, 1.2f}, distances{0.05f, 0.08f}, nears{0.05f, 0.5f}, fars{5.0f, 500.0f};
    for (int i = 0; i != 300; ++i) {
        const Quaternion head =
            glm::normalize(Quaternion{unit(random), unit(random), unit(random), unit(random)});
        const Vector3 position{10.0f * unit(random), 10.0f * unit(random), 10.0f * unit(random)};
        const float distance = distances(random), near = nears(random), far = fars(random);
        const DualQuaternion eyeA = dualQuaternionFromRotationTranslation(head, position);
        const DualQuaternion eyeB = eyeA * dualQuaternionFromTranslation({distance, 0.0f, 0.0f});
        views.viewTransform(left) = inverted(eyeA);
        views.viewTransform(right) = inverted(eyeB);
        views.projectionMatrix(left) =
            glm::frustum(-outer(random) * near, inner(random) * near, -vertical(random) * near,
                         vertical(random) * near, near, far);
        views.projectionMatrix(right) =
            glm::frustum(-inner(random) * near, outer(random) * near, -vertical(random) * near,
                         vertical(random) * near, near, far);

        const Matrix4 combined = views.cullingMatrix(left, right);
        for (const Id eye : {left, right})
            for (const Vector3& corner : frustumCorners(views.viewProjectionMatrix(eye))) {
                const Vector4 clip = combined * Vector4{corner, 1.0f};
                const float slack = 1e-3f * clip.w;
                EXPECT_GT(clip.w, 0.0f);
                EXPECT_LE(std::abs(clip.x), clip.w + slack) << i;
                EXPECT_LE(std::abs(clip.y), clip.w + slack) << i;
                EXPECT_LE(std::abs(clip.z), clip.w + slack) << i;
            }
    }
}

TEST(ViewManager, CopiesSwapsAppendsAndDeletedSlots) {
    Scene scene{4};
    ViewManager& views = scene.views;
    const Id object = scene.graph.addObject(Id(0));
    const Id a = views.addComponent(object), b = views.addComponent(object);
    views.fov(a) = 60.0f;
    views.viewport(a) = {1, 2, 3, 4};
    views.projectionMatrix(a) = Matrix4{3.0f};
    views.viewTransform(a) = dualQuaternionFromTranslation({1.0f, 0.0f, 0.0f});
    int framebuffer;
    views.targetFramebuffer(a) = &framebuffer;

    views.copy(views.toIndex(a), views.toIndex(b));
    EXPECT_EQ(views.fov(b), 60.0f);
    EXPECT_EQ(views.viewport(b), (Vector4i{1, 2, 3, 4}));
    EXPECT_EQ(views.targetFramebuffer(b), &framebuffer);
    EXPECT_EQ(views.viewTransform(b), views.viewTransform(a));
    views.fov(b) = 30.0f;
    views.swap(views.toIndex(a), views.toIndex(b));
    EXPECT_EQ(views.fov(a), 60.0f);
    EXPECT_EQ(views.fov(b), 30.0f);

    /* Appended views bring their projection, viewport and parameters; transforms come with
       the next update and handles from the renderer */
    Scene other{2};
    other.graph.append(scene.graph, {});
    /* Appended in index order */
    const Id appended = other.views.toId(views.toIndex(a));
    EXPECT_EQ(other.views.fov(appended), 60.0f);
    EXPECT_EQ(other.views.projectionMatrix(appended), Matrix4{3.0f});
    EXPECT_EQ(other.views.viewport(appended), (Vector4i{1, 2, 3, 4}));
    EXPECT_EQ(other.views.viewTransform(appended), DualQuaternion{});
    EXPECT_EQ(other.views.targetFramebuffer(appended), nullptr);

    /* A deleted view doesn't hand its settings to the next one in its slot */
    views.deleteComponent(a);
    views.deleteComponent(b);
    const Id fresh = views.addComponent(object);
    EXPECT_EQ(views.fov(fresh), 0.0f);
    EXPECT_EQ(views.viewport(fresh), Vector4i{0});
    EXPECT_EQ(views.projectionMatrix(fresh), Matrix4{1.0f});
    EXPECT_EQ(views.viewTransform(fresh), DualQuaternion{});
    EXPECT_EQ(views.targetFramebuffer(fresh), nullptr);
}

TEST(ViewManagerDeathTest, ProgrammingErrorsAbort) {
    ViewManager views{2};
    const Id a = views.add(), b = views.add();
    views.projectionMatrix(a) = glm::ortho(-1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 10.0f);
    views.projectionMatrix(b) = glm::perspective(1.0f, 1.0f, 0.1f, 10.0f);
    ZE_EXPECT_ABORT(ViewManager::fovFromProjectionMatrix(views.projectionMatrix(a)),
                    "ViewManager::fovFromProjectionMatrix(): expected a perspective projection "
                    "matrix");
    ZE_EXPECT_ABORT(views.cullingMatrix(a, b),
                    "ViewManager::cullingMatrix(): expected two perspective projection matrices");
    views.projectionType(a) = ProjectionType(7);
    ZE_EXPECT_ABORT(views.generateProjectionMatrix(a),
                    "ViewManager::generateProjectionMatrix(): invalid projection type "
                    "ProjectionType(0x7)");
    ZE_EXPECT_ABORT(ViewManager{70000},
                    "ViewManager::ViewManager(): capacity 70000 is above 65535");
}

} // namespace
} // namespace ZarvikEngine::Data
