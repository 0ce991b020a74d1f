#ifndef ZarvikEngine_Data_LightManager_h
#define ZarvikEngine_Data_LightManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/GroupedComponentManager.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Data {

class SceneGraph;
class ViewManager;

/* Also the light's group, so lights stay sorted by type */
enum class LightType : std::uint8_t {
    Point = 0,
    Spot = 1,
    Sun = 2,
};

Debug& operator<<(Debug& debug, LightType value);

/* One shadow map's kind, depth range and cone */
struct ShadowSlice {
    enum Kind : std::uint32_t {
        Perspective = 0,
        OrthographicCascade = 1,
        Paraboloid = 2,
    };

    std::uint32_t kind;
    float near;
    float far;
    /* The spot light's outer cone angle in radians, 0 for other lights */
    float angle;
    float reserved;
};

/* The camera sub-frustum a sun cascade covers */
struct CascadeFrustum {
    float reserved;
    float near;
    float far;
    /* Radians */
    float fov;
    float aspectRatio;
    Matrix4 viewProjection;
};

/* Culling data of a sun cascade slice */
struct SliceFrustum {
    /* Left, right, bottom, top, near, far, not normalized */
    Vector4 planes[6];
    /* World-space corners of the camera sub-frustum: near, then far, each (-up, -right),
       (+up, -right), (+up, +right), (-up, +right) */
    Vector3 corners[8];
    /* The light-space box the slice's projection covers */
    Vector3 min;
    Vector3 max;
};

/* The shadow maps of one frame, all arrays one entry per slice. Cleared, the arrays keep
   their capacity, so that reassigning slices every frame allocates nothing. */
struct ShadowsData {
    std::uint32_t count{};
    std::vector<std::uint32_t> lightIndices;
    /* World to light */
    std::vector<DualQuaternion> viewTransforms;
    std::vector<Matrix4> projections;
    /* Bias × projection × view: world points to shadow-map texture coordinates and depth,
       all in [0, 1] */
    std::vector<Matrix4> shadowMatrices;
    std::vector<ShadowSlice> slices;
    std::vector<Vector4> sliceParameters;
    /* Cascade split distances of a sun light as consecutive floats from its first slice */
    std::vector<Vector4> splits;
    std::vector<CascadeFrustum> cascadeFrusta;
    std::vector<SliceFrustum> frusta;

    /* Appends a slice with identity transforms and planes, everything else zero; returns its
       index */
    std::uint32_t addShadow();
    void clear();
    void reserveShadows(std::size_t count);
};

/* The lights of a scene, turned once per frame into what a forward renderer needs: world
   positions and directions (a light shines along the -Y axis of its object, so a direction
   points from the lit surface towards the light), spot cone cosines, and shadow slices
   within a budget: one perspective map per spot light, two paraboloid hemispheres per point
   light and one orthographic map per cascade of a sun light, fitted to one view.

   Per frame and view: update(), setupShadows() when the shadowed lights or the budget may
   have changed, then updateShadows().

   Block: as GroupedComponentManager<1> with three groups, then the colors, positions,
   directions, parameters and shadow parameters (one Vector4 each per slot). The computed
   parameters live outside the block and start at zero. */
class LightManager : public GroupedComponentManager<1> {
public:
    explicit LightManager(unsigned short capacity = 0);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit LightManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes, Id maps and three
       groups. Returns the first problem, or nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    std::string_view name() const override { return "light"; }
    std::size_t componentDataSize(unsigned short capacity) const override;
    /* An active destination moves into the source's type */
    void copy(unsigned short source, unsigned short destination) override;
    /* Lights are updated all at once by update() */
    void updateComponent(unsigned short) override {}
    using ComponentManager::updateComponent;

    /* rgb the colour, a the intensity */
    Color4& color(unsigned short index) { return _colors[index]; }
    Color4& color(Id id) { return color(toIndex(id)); }
    /* World position and direction of the last update */
    Vector3& position(unsigned short index) { return xyz(_positions[index]); }
    Vector3& position(Id id) { return position(toIndex(id)); }
    Vector3& direction(unsigned short index) { return xyz(_directions[index]); }
    Vector3& direction(Id id) { return direction(toIndex(id)); }
    /* Outer and inner cone angle in degrees, shadows enabled (not 0), shadow range */
    Vector4& parameters(unsigned short index) { return _parameters[index]; }
    Vector4& parameters(Id id) { return parameters(toIndex(id)); }
    /* Three values carried into the light's slices, then the cascade count of a sun light */
    Vector4& shadowParameters(unsigned short index) { return _shadowParameters[index]; }
    Vector4& shadowParameters(Id id) { return shadowParameters(toIndex(id)); }
    float& shadowRange(unsigned short index) { return _parameters[index].w; }
    float& shadowRange(Id id) { return shadowRange(toIndex(id)); }

    Deg outerAngle(unsigned short index) const { return Deg{_parameters[index].x}; }
    Deg outerAngle(Id id) const { return outerAngle(toIndex(id)); }
    bool shadows(unsigned short index) const { return _parameters[index].z != 0.0f; }
    bool shadows(Id id) const { return shadows(toIndex(id)); }
    /* The light got slices in the last setupShadows() */
    bool shadowActive(unsigned short index) const { return _computedParameters[index].z != 0.0f; }
    bool shadowActive(Id id) const { return shadowActive(toIndex(id)); }
    /* Its first slice */
    std::uint32_t shadowIndex(unsigned short index) const {
        return std::uint32_t(_computedParameters[index].w);
    }
    std::uint32_t shadowIndex(Id id) const { return shadowIndex(toIndex(id)); }
    std::uint32_t cascadeCount(unsigned short index) const {
        return std::uint32_t(_shadowParameters[index].w);
    }
    std::uint32_t cascadeCount(Id id) const { return cascadeCount(toIndex(id)); }
    LightType lightType(unsigned short index) const { return LightType(group(index)); }
    LightType lightType(Id id) const { return lightType(toIndex(id)); }
    /* Moves the light into the range of its new type; returns its new index */
    unsigned short setLightType(unsigned short index, LightType type);
    void setLightType(Id id, LightType type) { setLightType(toIndex(id), type); }

    /* One entry per slot, for upload as whole ranges */
    std::span<const Color4> colors() const { return _colors; }
    std::span<const Vector4> positions() const { return _positions; }
    std::span<const Vector4> directions() const { return _directions; }
    /* Cosines of half the outer and inner cone angle (spot lights), whether the light got
       slices and its first slice */
    std::span<const Vector4> computedParameters() const { return _computedParameters; }

    Utils::IndexRange<unsigned short> lightsOfType(LightType type) const {
        return groupRange(unsigned(type));
    }
    unsigned short lightsCount(LightType type) const { return lightsOfType(type).size(); }

    /* Assigns slices to the lights with shadows, suns first, then point and spot lights, as
       long as maxShadows allows; a light that doesn't fit is skipped with a warning, a later
       one that needs fewer slices may still fit. A sun without cascades gets no slices and
       counts as having no shadow. */
    void setupShadows(const SceneGraph& sceneGraph, const ViewManager& views, Id view,
                      std::uint32_t maxShadows);
    /* Fits the slices of the last setupShadows() to the view. Sun cascades split the view's
       depth from its near distance to the light's shadow range, half logarithmically, half
       uniformly; each cascade covers the part of a 90° wide frustum of the view's aspect
       ratio, held level (the view's roll left out), in a light-space box from the origin
       whose depth reaches up to the shadow range. */
    void updateShadows(const SceneGraph& sceneGraph, const ViewManager& views, Id view);
    /* Stores slice as the orthographic projection of the light-space box */
    void updateLightSliceProjection(std::uint32_t slice, const DualQuaternion& lightView,
                                    const Vector3& min, const Vector3& max);
    void updateLightSliceProjection(std::uint32_t slice, const DualQuaternion& lightView,
                                    const Matrix4& projection, const Vector3& min,
                                    const Vector3& max);

    const ShadowsData& shadowsData() const { return _shadows; }

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doDelete(unsigned short index) override;
    void doAppend(const SparseArray& other) override;
    void doUpdate() override;
    void doMove(unsigned short from, unsigned short to) override;

private:
    static Vector3& xyz(Vector4& vector) { return reinterpret_cast<Vector3&>(vector); }

    void setupShadowSplits(const ViewManager& views, Id view, unsigned short light);
    void updateShadowSplits(const SceneGraph& sceneGraph, const ViewManager& views, Id view,
                            unsigned short light);
    void updatePointShadows(unsigned short light);
    void updateSpotShadow(unsigned short light);

    std::span<Color4> _colors;
    std::span<Vector4> _positions;
    std::span<Vector4> _directions;
    std::span<Vector4> _parameters;
    std::span<Vector4> _shadowParameters;
    std::vector<Vector4> _computedParameters;
    ShadowsData _shadows;
};

} // namespace ZarvikEngine::Data

#endif
