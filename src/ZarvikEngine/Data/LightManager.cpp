#include "ZarvikEngine/Data/LightManager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <fmt/format.h>
#include <glm/gtc/matrix_access.hpp>

#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/ViewManager.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(ShadowSlice) == 20 && sizeof(CascadeFrustum) == 84 &&
                  sizeof(SliceFrustum) == 216,
              "slice records are uploaded as they are");

namespace {

constexpr float Pi = 3.1415927f;
constexpr unsigned short TypeCount = 3;
constexpr float SliceNear = 0.1f;
const Vector3 Up{0.0f, 1.0f, 0.0f};

/* Clip space to shadow-map texture coordinates and depth */
const Matrix4 Bias{Vector4{0.5f, 0.0f, 0.0f, 0.0f}, Vector4{0.0f, 0.5f, 0.0f, 0.0f},
                   Vector4{0.0f, 0.0f, 0.5f, 0.0f}, Vector4{0.5f, 0.5f, 0.5f, 1.0f}};

std::size_t regionsSize(unsigned short groupsCount, unsigned short capacity) {
    return GroupedComponentManager<1>::groupsDataSize(groupsCount, capacity) +
           80 * std::size_t(capacity);
}

/* Left, right, bottom, top, near and far clip planes of a view-projection matrix, not
   normalized */
void extractPlanes(const Matrix4& matrix, Vector4 (&planes)[6]) {
    const Vector4 w = glm::row(matrix, 3);
    for (int axis = 0; axis != 3; ++axis) {
        const Vector4 row = glm::row(matrix, axis);
        planes[2 * axis] = w + row;
        planes[2 * axis + 1] = w - row;
    }
}

/* The +Y axis rotated */
Vector3 rotatedUp(const Quaternion& q) {
    return {2.0f * (q.x * q.y - q.w * q.z), 1.0f - 2.0f * (q.x * q.x + q.z * q.z),
            2.0f * (q.y * q.z + q.w * q.x)};
}

/* The transform from world space into a light at position looking along -direction. The
   transforms of a scene may be degenerate (zero, huge or not finite); such a light keeps the
   identity rotation instead of tripping the look-at check. */
DualQuaternion lightView(const Vector3& position, const Vector3& direction) {
    Vector3 target = position - direction;
    const Vector3 forward = glm::normalize(target - position);
    if (!(std::abs(glm::dot(forward, forward) - 1.0f) <= 2e-5f))
        target = position;
    return inverted(lookAt(position, target, Up));
}

} // namespace

Debug& operator<<(Debug& debug, LightType value) {
    switch (value) {
    case LightType::Point:
        return debug << "LightType::Point";
    case LightType::Spot:
        return debug << "LightType::Spot";
    case LightType::Sun:
        return debug << "LightType::Sun";
    }
    return debug << fmt::format("LightType({:#x})", std::uint8_t(value)).c_str();
}

std::uint32_t ShadowsData::addShadow() {
    lightIndices.push_back(0);
    viewTransforms.emplace_back();
    projections.emplace_back(1.0f);
    shadowMatrices.emplace_back(1.0f);
    slices.push_back({});
    sliceParameters.emplace_back(0.0f);
    splits.emplace_back(0.0f);
    cascadeFrusta.push_back({0.0f, 0.0f, 0.0f, 0.0f, 0.0f, Matrix4{1.0f}});
    SliceFrustum frustum{};
    extractPlanes(Matrix4{1.0f}, frustum.planes);
    frusta.push_back(frustum);
    return count++;
}

void ShadowsData::clear() {
    count = 0;
    lightIndices.clear();
    viewTransforms.clear();
    projections.clear();
    shadowMatrices.clear();
    slices.clear();
    sliceParameters.clear();
    splits.clear();
    cascadeFrusta.clear();
    frusta.clear();
}

void ShadowsData::reserveShadows(std::size_t count) {
    lightIndices.reserve(count);
    viewTransforms.reserve(count);
    projections.reserve(count);
    shadowMatrices.reserve(count);
    slices.reserve(count);
    sliceParameters.reserve(count);
    splits.reserve(count);
    cascadeFrusta.reserve(count);
    frusta.reserve(count);
}

LightManager::LightManager(unsigned short capacity) : GroupedComponentManager{0, TypeCount} {
    allocate(capacity);
}

LightManager::LightManager(std::vector<char>&& block) : GroupedComponentManager{0} {
    create(std::move(block));
}

std::size_t LightManager::componentDataSize(unsigned short capacity) const {
    return regionsSize(groupsCount(), capacity);
}

std::optional<std::string> LightManager::validate(std::span<const char> data) {
    return validateBlock(
        "LightManager", data, sizeof(GroupsHeader),
        [](std::span<const char> data, unsigned short capacity) {
            return regionsSize(groupsCountOf(data), capacity);
        },
        LightManager{});
}

std::optional<std::string> LightManager::validateRegions() const {
    if (groupsCount() != TypeCount)
        return fmt::format("{} groups instead of one per light type", groupsCount());
    return GroupedComponentManager::validateRegions();
}

void LightManager::doInit() {
    GroupedComponentManager::doInit();
    const unsigned short n = capacity();
    partition().reserveRegions(5);
    _colors = partition().addAlignedRegion<Color4>(block(), n);
    _positions = partition().addAlignedRegion<Vector4>(block(), n);
    _directions = partition().addAlignedRegion<Vector4>(block(), n);
    _parameters = partition().addAlignedRegion<Vector4>(block(), n);
    _shadowParameters = partition().addAlignedRegion<Vector4>(block(), n);
    /* Growth keeps what is computed so far */
    _computedParameters.resize(n, Vector4{0.0f});
}

void LightManager::copy(unsigned short source, unsigned short destination) {
    _colors[destination] = _colors[source];
    _positions[destination] = _positions[source];
    _directions[destination] = _directions[source];
    _parameters[destination] = _parameters[source];
    _shadowParameters[destination] = _shadowParameters[source];
    _computedParameters[destination] = _computedParameters[source];
    /* Last, as it may move an active destination */
    GroupedComponentManager::copy(source, destination);
}

void LightManager::doSwap(unsigned short a, unsigned short b) {
    GroupedComponentManager::doSwap(a, b);
    std::swap(_colors[a], _colors[b]);
    std::swap(_positions[a], _positions[b]);
    std::swap(_directions[a], _directions[b]);
    std::swap(_parameters[a], _parameters[b]);
    std::swap(_shadowParameters[a], _shadowParameters[b]);
    std::swap(_computedParameters[a], _computedParameters[b]);
}

void LightManager::doMove(unsigned short from, unsigned short to) {
    Utils::moveDataRange(_colors, from, 1, to);
    Utils::moveDataRange(_positions, from, 1, to);
    Utils::moveDataRange(_directions, from, 1, to);
    Utils::moveDataRange(_parameters, from, 1, to);
    Utils::moveDataRange(_shadowParameters, from, 1, to);
    Utils::moveDataRange(std::span{_computedParameters}, from, 1, to);
}

void LightManager::doDelete(unsigned short index) {
    GroupedComponentManager::doDelete(index);
    /* The slot's next light starts as a new slot does */
    for (std::span<Vector4> column :
         {_colors, _positions, _directions, _parameters, _shadowParameters})
        column[index] = Vector4{0.0f};
    _computedParameters[index] = Vector4{0.0f};
}

void LightManager::doAppend(const SparseArray& other) {
    GroupedComponentManager::doAppend(other);
    /* Managers are matched by name, so the other one is a light manager too */
    const auto& lights = static_cast<const LightManager&>(other);
    const unsigned short begin = size();
    const std::size_t count = lights.size();
    std::copy_n(lights._colors.begin(), count, _colors.begin() + begin);
    std::copy_n(lights._positions.begin(), count, _positions.begin() + begin);
    std::copy_n(lights._directions.begin(), count, _directions.begin() + begin);
    std::copy_n(lights._parameters.begin(), count, _parameters.begin() + begin);
    std::copy_n(lights._shadowParameters.begin(), count, _shadowParameters.begin() + begin);
}

unsigned short LightManager::setLightType(unsigned short index, LightType type) {
    return setGroup(index, unsigned(type));
}

void LightManager::doUpdate() {
    ZE_ASSERT(sceneGraph(), "LightManager::update(): Manager is not registered in a scene graph");
    const SceneGraph& graph = *sceneGraph();
    for (unsigned short i = 0; i != activeCount(); ++i) {
        const DualQuaternion& world = graph.absoluteTransformation(object(i));
        xyz(_positions[i]) = translation(world);
        xyz(_directions[i]) = rotatedUp(world.real);
    }
    const Utils::IndexRange<unsigned short> spots = lightsOfType(LightType::Spot);
    for (unsigned short i = spots.begin; i != spots.end; ++i) {
        _computedParameters[i].x = std::cos(((_parameters[i].x * 0.5f) * Pi) / 180.0f);
        _computedParameters[i].y = std::cos(((_parameters[i].y * 0.5f) * Pi) / 180.0f);
    }
}

void LightManager::setupShadows(const SceneGraph&, const ViewManager& views, Id view,
                                std::uint32_t maxShadows) {
    _shadows.clear();
    _shadows.reserveShadows(maxShadows);
    for (unsigned short i = 0; i != activeCount(); ++i)
        _computedParameters[i].z = 0.0f;

    for (const LightType type : {LightType::Sun, LightType::Point, LightType::Spot}) {
        const Utils::IndexRange<unsigned short> range = lightsOfType(type);
        for (unsigned short light = range.begin; light != range.end; ++light) {
            if (!shadows(light))
                continue;
            const std::uint32_t needed = type == LightType::Sun     ? cascadeCount(light)
                                         : type == LightType::Point ? 2
                                                                    : 1;
            if (_shadows.count + needed > maxShadows) {
                Warning{} << "Max number of shadows" << maxShadows
                          << "exceeded, ignoring shadows for light" << light;
                continue;
            }
            /* A sun without cascades has nothing to render */
            if (!needed)
                continue;

            _computedParameters[light].z = 1.0f;
            _computedParameters[light].w = float(_shadows.count);
            const ShadowSlice slice{
                type == LightType::Sun     ? ShadowSlice::OrthographicCascade
                : type == LightType::Point ? ShadowSlice::Paraboloid
                                           : ShadowSlice::Perspective,
                SliceNear, _parameters[light].w,
                type == LightType::Spot ? _parameters[light].x * Pi / 180.0f : 0.0f, 0.0f};
            for (std::uint32_t k = 0; k != needed; ++k) {
                const std::uint32_t index = _shadows.addShadow();
                _shadows.lightIndices[index] = light;
                _shadows.slices[index] = slice;
            }
            if (type == LightType::Sun)
                setupShadowSplits(views, view, light);
        }
    }
}

void LightManager::setupShadowSplits(const ViewManager& views, Id view, unsigned short light) {
    const std::uint32_t first = shadowIndex(light), count = cascadeCount(light);
    const float near = views.near(view), range = _parameters[light].w;
    float* splits = &_shadows.splits[first].x;
    _shadows.splits[first] = Vector4{0.0f};
    /* Half logarithmic, half uniform */
    for (std::uint32_t k = 1; k <= count; ++k) {
        const float t = float(k) / float(count);
        splits[k - 1] =
            std::pow(range / near, t) * near * 0.5f + ((range - near) * t + near) * 0.5f;
    }
}

void LightManager::updateShadows(const SceneGraph& sceneGraph, const ViewManager& views, Id view) {
    for (unsigned short light = 0; light != activeCount(); ++light) {
        if (!shadowActive(light))
            continue;
        switch (lightType(light)) {
        case LightType::Sun: {
            updateShadowSplits(sceneGraph, views, view, light);
            const std::uint32_t first = shadowIndex(light);
            for (std::uint32_t c = 0; c != cascadeCount(light); ++c)
                _shadows.sliceParameters[first + c] = _shadowParameters[light];
            break;
        }
        case LightType::Point:
            updatePointShadows(light);
            break;
        case LightType::Spot:
            updateSpotShadow(light);
            break;
        }
    }
}

void LightManager::updatePointShadows(unsigned short light) {
    const std::uint32_t first = shadowIndex(light);
    const Vector3 position = xyz(_positions[light]);
    for (std::uint32_t k = 0; k != 2; ++k) {
        const std::uint32_t slice = first + k;
        const Vector3 direction = k ? -xyz(_directions[light]) : xyz(_directions[light]);
        _shadows.viewTransforms[slice] = lightView(position, direction);
        _shadows.projections[slice] = Matrix4{1.0f};
        _shadows.shadowMatrices[slice] = toMatrix(_shadows.viewTransforms[slice]);
        _shadows.sliceParameters[slice] = {_shadowParameters[light].x, 0.0f,
                                           _shadows.slices[slice].near, _shadows.slices[slice].far};
    }
}

void LightManager::updateSpotShadow(unsigned short light) {
    const std::uint32_t slice = shadowIndex(light);
    _shadows.viewTransforms[slice] = lightView(xyz(_positions[light]), xyz(_directions[light]));
    _shadows.projections[slice] = perspectiveProjection(Rad{Deg{_parameters[light].x}}, 1.0f,
                                                        SliceNear, _parameters[light].w);
    _shadows.shadowMatrices[slice] =
        Bias * _shadows.projections[slice] * toMatrix(_shadows.viewTransforms[slice]);
    _shadows.sliceParameters[slice] = _shadowParameters[light];
}

void LightManager::updateShadowSplits(const SceneGraph& sceneGraph, const ViewManager& views,
                                      Id view, unsigned short light) {
    const std::uint32_t first = shadowIndex(light), count = cascadeCount(light);
    if (!count)
        return;
    const DualQuaternion& camera = sceneGraph.absoluteTransformation(views.object(view));
    const Vector3 position = translation(camera);
    const Vector3 forward = camera.real * Vector3{0.0f, 0.0f, -1.0f};
    const Vector4i& viewport = views.viewport(view);
    const float aspectRatio = float(viewport.z - viewport.x) / float(viewport.w - viewport.y);
    const DualQuaternion lightTransform = lightView(Vector3{0.0f}, xyz(_directions[light]));
    const Matrix4 viewMatrix = toMatrix(views.viewTransform(view));
    const float* splits = &_shadows.splits[first].x;
    constexpr float Fov = Pi / 2.0f;

    /* Half the width of the sub-frusta per unit of distance */
    const float halfWidthPerDistance = std::tan(Fov / 2.0f);
    const Vector3 right = glm::normalize(Vector3{-forward.z, 0.0f, forward.x});
    const Vector3 up = glm::normalize(glm::cross(right, forward));
    for (std::uint32_t c = 0; c != count; ++c) {
        const std::uint32_t slice = first + c;
        const float near = c ? splits[c - 1] : views.near(view);
        const float far = splits[c];
        _shadows.cascadeFrusta[slice] = {
            0.0f,        near,
            far,         Fov,
            aspectRatio, perspectiveProjection(Rad{Fov}, aspectRatio, near, far) * viewMatrix};

        SliceFrustum& frustum = _shadows.frusta[slice];
        Vector3 min{std::numeric_limits<float>::max()};
        Vector3 max{std::numeric_limits<float>::lowest()};
        for (int end = 0; end != 2; ++end) {
            const float distance = end ? far : near;
            const float halfWidth = halfWidthPerDistance * distance;
            const float halfHeight = halfWidth / aspectRatio;
            const Vector3 centre = position + forward * distance;
            const float signs[4][2]{{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}};
            for (int k = 0; k != 4; ++k) {
                const Vector3 corner =
                    centre + up * (signs[k][0] * halfHeight) + right * (signs[k][1] * halfWidth);
                frustum.corners[4 * end + k] = corner;
                const Vector3 inLight = transformPoint(lightTransform, corner);
                min = glm::min(min, inLight);
                max = glm::max(max, inLight);
            }
        }
        /* Casters between the light and the view count up to the shadow range */
        max.z = _parameters[light].w;
        updateLightSliceProjection(slice, lightTransform, min, max);
    }
}

void LightManager::updateLightSliceProjection(std::uint32_t slice, const DualQuaternion& lightView,
                                              const Vector3& min, const Vector3& max) {
    Matrix4 projection{0.0f};
    projection[0][0] = 2.0f / (max.x - min.x);
    projection[1][1] = 2.0f / (max.y - min.y);
    projection[2][2] = 2.0f / (min.z - max.z);
    projection[3][0] = -(min.x + max.x) / (max.x - min.x);
    projection[3][1] = -(min.y + max.y) / (max.y - min.y);
    projection[3][2] = (min.z + max.z) / (max.z - min.z);
    projection[3][3] = 1.0f;
    updateLightSliceProjection(slice, lightView, projection, min, max);
}

void LightManager::updateLightSliceProjection(std::uint32_t slice, const DualQuaternion& lightView,
                                              const Matrix4& projection, const Vector3& min,
                                              const Vector3& max) {
    const Matrix4 viewProjection = projection * toMatrix(lightView);
    SliceFrustum& frustum = _shadows.frusta[slice];
    extractPlanes(viewProjection, frustum.planes);
    frustum.min = min;
    frustum.max = max;
    _shadows.viewTransforms[slice] = lightView;
    _shadows.projections[slice] = projection;
    _shadows.shadowMatrices[slice] = Bias * viewProjection;
}

} // namespace ZarvikEngine::Data
