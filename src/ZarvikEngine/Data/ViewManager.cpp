#include "ZarvikEngine/Data/ViewManager.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/SceneGraph.h"

namespace ZarvikEngine::Data {

namespace {

constexpr float Pi = 3.1415927f;

bool isPerspective(const Matrix4& matrix) {
    return std::abs(matrix[2][3]) >= 1e-5f;
}

} // namespace

Debug& operator<<(Debug& debug, ProjectionType value) {
    switch (value) {
    case ProjectionType::Perspective:
        return debug << "ProjectionType::Perspective";
    case ProjectionType::Orthographic:
        return debug << "ProjectionType::Orthographic";
    }
    return debug << fmt::format("ProjectionType({:#x})", std::uint8_t(value)).c_str();
}

ViewManager::ViewManager(std::uint32_t capacity) : ComponentManager{0} {
    ZE_ASSERT(capacity <= MaxCapacity,
              "ViewManager::ViewManager(): capacity" << capacity << "is above" << MaxCapacity);
    allocate(static_cast<unsigned short>(capacity));
}

ViewManager::ViewManager(std::vector<char>&& block) : ComponentManager{0} {
    create(std::move(block));
}

std::size_t ViewManager::componentDataSize(unsigned short capacity) const {
    return 17 * std::size_t(capacity);
}

std::optional<std::string> ViewManager::validate(std::span<const char> data) {
    return validateBlock(
        "ViewManager", data, 0,
        [](std::span<const char>, unsigned short capacity) { return 17 * std::size_t(capacity); },
        ViewManager{});
}

std::optional<std::string> ViewManager::validateRegions() const {
    if (auto problem = ComponentManager::validateRegions())
        return problem;
    for (std::size_t i = 0; i != capacity(); ++i)
        if (_projectionTypes[i] > ProjectionType::Orthographic)
            return fmt::format("component index {} has the unknown projection type {}", i,
                               std::uint8_t(_projectionTypes[i]));
    return {};
}

void ViewManager::doInit() {
    ComponentManager::doInit();
    const unsigned short n = capacity();
    partition().reserveRegions(2);
    _parameters = partition().addAlignedRegion<Vector4>(block(), n);
    _projectionTypes = partition().addRegion<ProjectionType>(block(), n);
    /* Growth keeps what the separate arrays hold */
    _viewTransforms.resize(n);
    _projectionMatrices.resize(n);
    _viewports.resize(n, Vector4i{0});
    _targetFramebuffers.resize(n);
}

void ViewManager::copy(unsigned short source, unsigned short destination) {
    _parameters[destination] = _parameters[source];
    _projectionTypes[destination] = _projectionTypes[source];
    _viewTransforms[destination] = _viewTransforms[source];
    _projectionMatrices[destination] = _projectionMatrices[source];
    _viewports[destination] = _viewports[source];
    _targetFramebuffers[destination] = _targetFramebuffers[source];
}

void ViewManager::doSwap(unsigned short a, unsigned short b) {
    ComponentManager::doSwap(a, b);
    std::swap(_parameters[a], _parameters[b]);
    std::swap(_projectionTypes[a], _projectionTypes[b]);
    std::swap(_viewTransforms[a], _viewTransforms[b]);
    std::swap(_projectionMatrices[a], _projectionMatrices[b]);
    std::swap(_viewports[a], _viewports[b]);
    std::swap(_targetFramebuffers[a], _targetFramebuffers[b]);
}

void ViewManager::doDelete(unsigned short index) {
    /* The slot's next view starts as a new slot does */
    _parameters[index] = Vector4{0.0f};
    _projectionTypes[index] = ProjectionType::Perspective;
    _viewTransforms[index] = DualQuaternion{};
    _projectionMatrices[index] = Matrix4{1.0f};
    _viewports[index] = Vector4i{0};
    _targetFramebuffers[index] = nullptr;
}

void ViewManager::doAppend(const SparseArray& other) {
    /* Managers are matched by name, so the other one is a view manager too. Transforms are
       recomputed by the next update and handles assigned by the renderer. */
    const auto& views = static_cast<const ViewManager&>(other);
    const unsigned short begin = size();
    for (unsigned short i = 0; i != views.size(); ++i) {
        _parameters[begin + i] = views._parameters[i];
        _projectionTypes[begin + i] = views._projectionTypes[i];
        _projectionMatrices[begin + i] = views._projectionMatrices[i];
        _viewports[begin + i] = views._viewports[i];
    }
}

void ViewManager::updateComponent(unsigned short index) {
    ZE_ASSERT(sceneGraph(), "ViewManager::update(): Manager is not registered in a scene graph");
    _viewTransforms[index] = inverted(sceneGraph()->absoluteTransformation(object(index)));
}

Matrix4 ViewManager::generateProjectionMatrix(unsigned short index) const {
    const Vector4& parameters = _parameters[index];
    const float near = parameters.x, far = parameters.y;
    const Vector4i& viewport = _viewports[index];
    const float aspect = std::max(1.0f, float(viewport.z)) / std::max(1.0f, float(viewport.w));

    switch (_projectionTypes[index]) {
    case ProjectionType::Perspective:
        return perspectiveProjection(Rad{Deg{parameters.z}}, aspect, near, far);
    case ProjectionType::Orthographic: {
        const float extent = parameters.w;
        Matrix4 matrix{0.0f};
        matrix[0][0] = 2.0f / extent;
        matrix[1][1] = 2.0f / (extent / aspect);
        matrix[2][2] = 2.0f / (near - far);
        matrix[3][2] = 2.0f / (near - far) * near - 1.0f;
        matrix[3][3] = 1.0f;
        return matrix;
    }
    }
    ZE_ASSERT_UNREACHABLE("ViewManager::generateProjectionMatrix(): invalid projection type"
                          << _projectionTypes[index]);
}

Matrix4 ViewManager::viewProjectionMatrix(unsigned short index) const {
    return _projectionMatrices[index] * toMatrix(_viewTransforms[index]);
}

Matrix4 ViewManager::cullingMatrix(Id a, Id b) const {
    if (a == b)
        return viewProjectionMatrix(a);
    const unsigned short first = toIndex(a), second = toIndex(b);
    const Matrix4& pa = _projectionMatrices[first];
    const Matrix4& pb = _projectionMatrices[second];
    ZE_ASSERT(isPerspective(pa) && isPerspective(pb),
              "ViewManager::cullingMatrix(): expected two perspective projection matrices");

    const float distance = glm::length(translation(inverted(_viewTransforms[second])) -
                                       translation(inverted(_viewTransforms[first])));
    const float near = pa[3][2] / (pa[2][2] - 1.0f);
    const float far = std::abs(pa[3][2] / (pa[2][2] + 1.0f));
    /* Tangents of the outer edges: a's left, b's right, both eyes' bottom and top */
    const float leftA = -(pa[2][0] - 1.0f) / pa[0][0];
    const float bottomA = (pa[2][1] - 1.0f) / pa[1][1];
    const float topA = (pa[2][1] + 1.0f) / pa[1][1];
    const float rightB = (pb[2][0] + 1.0f) / pb[0][0];
    const float bottomB = (pb[2][1] - 1.0f) / pb[1][1];
    const float topB = (pb[2][1] + 1.0f) / pb[1][1];

    /* The common apex sits this far behind eye a */
    const float recession = distance / (rightB + leftA);
    const float newNear = near + recession, newFar = far + recession;
    const float left = -leftA * near - recession * leftA;
    const float right = rightB * near + distance - recession * leftA;
    const float scale = far / (recession + far) * (recession + near);
    const float bottom = std::min(bottomB, bottomA) * scale;
    const float top = std::max(topB, topA) * scale;

    const Matrix4 projection = frustumProjection(left, right, bottom, top, newNear, newFar);

    const DualQuaternion shift =
        dualQuaternionFromTranslation(Vector3{-recession * leftA, 0.0f, -recession});
    return projection * toMatrix(shift * _viewTransforms[first]);
}

float ViewManager::fovFromProjectionMatrix(const Matrix4& matrix) {
    ZE_ASSERT(isPerspective(matrix),
              "ViewManager::fovFromProjectionMatrix(): expected a perspective projection matrix");
    return 2.0f * (std::atan(1.0f / matrix[0][0]) * 180.0f / Pi);
}

} // namespace ZarvikEngine::Data
