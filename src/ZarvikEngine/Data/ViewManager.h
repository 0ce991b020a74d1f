#ifndef ZarvikEngine_Data_ViewManager_h
#define ZarvikEngine_Data_ViewManager_h

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Data/ComponentManager.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Data {

enum class ProjectionType : std::uint8_t {
    Perspective = 0,
    Orthographic = 1,
};

Debug& operator<<(Debug& debug, ProjectionType value);

/* The camera components of a scene, called views: projection kind and parameters, the
   world-to-view transform of the owning object, the projection in use, the pixel viewport and
   an opaque render-target handle. Builds projection matrices from the parameters (the field of
   view is horizontal, in degrees; OpenGL clip space, depth from -1 to 1) and culling matrices,
   including one frustum enclosing both eyes of a stereo pair.

   Block: as ComponentManager, then the parameters (near, far, fov, extent: one Vector4 per
   slot) and the projection types (one byte per slot). View transforms, projection matrices,
   viewports and framebuffer handles live outside the block: handed out and taken back, a
   block gives identity transforms and matrices, zero viewports and null handles. */
class ViewManager : public ComponentManager {
public:
    explicit ViewManager(std::uint32_t capacity = 0);
    /* Adopts a block laid out as data() gives it; one from outside the process goes through
       validate() first */
    explicit ViewManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes, Id maps and a
       projection type every slot can generate a matrix from. Returns the first problem, or
       nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    std::string_view name() const override { return "view"; }
    /* 16 bytes of parameters and one type byte per slot */
    std::size_t componentDataSize(unsigned short capacity) const override;
    void copy(unsigned short source, unsigned short destination) override;
    /* The view transform becomes the inverse of the world transform of the object */
    void updateComponent(unsigned short index) override;
    using ComponentManager::updateComponent;

    float& near(unsigned short index) { return _parameters[index].x; }
    float& near(Id id) { return near(toIndex(id)); }
    /* May be +infinity */
    float& far(unsigned short index) { return _parameters[index].y; }
    float& far(Id id) { return far(toIndex(id)); }
    /* Horizontal field of view in degrees, for perspective views */
    float& fov(unsigned short index) { return _parameters[index].z; }
    float& fov(Id id) { return fov(toIndex(id)); }
    /* Width of an orthographic view in world units */
    float& extent(unsigned short index) { return _parameters[index].w; }
    float& extent(Id id) { return extent(toIndex(id)); }
    ProjectionType& projectionType(unsigned short index) { return _projectionTypes[index]; }
    ProjectionType& projectionType(Id id) { return projectionType(toIndex(id)); }
    DualQuaternion& viewTransform(unsigned short index) { return _viewTransforms[index]; }
    DualQuaternion& viewTransform(Id id) { return viewTransform(toIndex(id)); }
    /* Set by the caller: from generateProjectionMatrix() or from outside, e.g. an XR
       runtime */
    Matrix4& projectionMatrix(unsigned short index) { return _projectionMatrices[index]; }
    Matrix4& projectionMatrix(Id id) { return projectionMatrix(toIndex(id)); }
    /* Origin, then width and height, in pixels */
    Vector4i& viewport(unsigned short index) { return _viewports[index]; }
    Vector4i& viewport(Id id) { return viewport(toIndex(id)); }
    /* The renderer's handle, never dereferenced here */
    void*& targetFramebuffer(unsigned short index) { return _targetFramebuffers[index]; }
    void*& targetFramebuffer(Id id) { return targetFramebuffer(toIndex(id)); }

    float near(unsigned short index) const { return _parameters[index].x; }
    float near(Id id) const { return near(toIndex(id)); }
    float far(unsigned short index) const { return _parameters[index].y; }
    float far(Id id) const { return far(toIndex(id)); }
    float fov(unsigned short index) const { return _parameters[index].z; }
    float fov(Id id) const { return fov(toIndex(id)); }
    float extent(unsigned short index) const { return _parameters[index].w; }
    float extent(Id id) const { return extent(toIndex(id)); }
    ProjectionType projectionType(unsigned short index) const { return _projectionTypes[index]; }
    ProjectionType projectionType(Id id) const { return projectionType(toIndex(id)); }
    const DualQuaternion& viewTransform(unsigned short index) const {
        return _viewTransforms[index];
    }
    const DualQuaternion& viewTransform(Id id) const { return viewTransform(toIndex(id)); }
    const Matrix4& projectionMatrix(unsigned short index) const {
        return _projectionMatrices[index];
    }
    const Matrix4& projectionMatrix(Id id) const { return projectionMatrix(toIndex(id)); }
    const Vector4i& viewport(unsigned short index) const { return _viewports[index]; }
    const Vector4i& viewport(Id id) const { return viewport(toIndex(id)); }

    /* The projection of the parameters, type and viewport aspect ratio (1 for an empty
       viewport); not stored */
    Matrix4 generateProjectionMatrix(unsigned short index) const;
    Matrix4 generateProjectionMatrix(Id id) const { return generateProjectionMatrix(toIndex(id)); }
    /* Projection matrix × view transform */
    Matrix4 viewProjectionMatrix(unsigned short index) const;
    Matrix4 viewProjectionMatrix(Id id) const { return viewProjectionMatrix(toIndex(id)); }
    Matrix4 cullingMatrix(Id id) const { return viewProjectionMatrix(id); }
    /* For two views, one frustum enclosing both: the eyes of a stereo pair, b to the right of
       a along a's x axis, both with perspective projections */
    Matrix4 cullingMatrix(Id a, Id b) const;

    /* Horizontal field of view in degrees of a perspective projection matrix */
    static float fovFromProjectionMatrix(const Matrix4& matrix);

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doSwap(unsigned short a, unsigned short b) override;
    void doDelete(unsigned short index) override;
    void doAppend(const SparseArray& other) override;

private:
    std::span<Vector4> _parameters;
    std::span<ProjectionType> _projectionTypes;
    std::vector<DualQuaternion> _viewTransforms;
    std::vector<Matrix4> _projectionMatrices;
    std::vector<Vector4i> _viewports;
    std::vector<void*> _targetFramebuffers;
};

} // namespace ZarvikEngine::Data

#endif
