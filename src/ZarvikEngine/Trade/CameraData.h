#ifndef ZarvikEngine_Trade_CameraData_h
#define ZarvikEngine_Trade_CameraData_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Trade {

enum class CameraType : std::uint8_t {
    Orthographic2D,
    Orthographic3D,
    Perspective3D,
};

/* "Trade::CameraType::Perspective3D" */
Debug& operator<<(Debug& debug, CameraType value);

/* A camera's projection. Orthographic cameras have a size, perspective ones a horizontal
   field of view; both have an aspect ratio and near and far distances (the far one may be
   infinite for a perspective camera). */
class CameraData {
public:
    /* Orthographic: the size of the view at the near plane */
    CameraData(CameraType type, const Vector2& size, float near, float far);
    /* Perspective3D */
    CameraData(Rad fov, float aspectRatio, float near, float far);

    CameraType type() const { return _type; }
    /* The view size of an orthographic camera, of the near plane for a perspective one */
    const Vector2& size() const { return _size; }
    /* Horizontal field of view of a perspective camera, 0 for orthographic ones */
    Rad fov() const { return _fov; }
    float aspectRatio() const { return _size.x / _size.y; }
    float near() const { return _near; }
    float far() const { return _far; }

private:
    CameraType _type;
    Vector2 _size;
    Rad _fov{0.0f};
    float _near, _far;
};

} // namespace ZarvikEngine::Trade

#endif
