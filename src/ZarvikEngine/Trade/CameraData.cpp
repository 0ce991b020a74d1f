#include "ZarvikEngine/Trade/CameraData.h"

#include <cmath>
#include <iterator>
#include <string_view>

namespace ZarvikEngine::Trade {

namespace {
constexpr std::string_view TypeNames[]{"Orthographic2D", "Orthographic3D", "Perspective3D"};
}

Debug& operator<<(Debug& debug, CameraType value) {
    const std::size_t index = std::size_t(value);
    return printEnum(debug, "Trade::CameraType",
                     index < std::size(TypeNames) ? TypeNames[index] : "", index);
}

CameraData::CameraData(CameraType type, const Vector2& size, float near, float far)
    : _type{type}, _size{size}, _near{near}, _far{far} {
    ZE_ASSERT(type != CameraType::Perspective3D,
              "Trade::CameraData: a perspective camera is made from its field of view");
}

CameraData::CameraData(Rad fov, float aspectRatio, float near, float far)
    : _type{CameraType::Perspective3D}, _fov{fov}, _near{near}, _far{far} {
    const float width = 2.0f * near * std::tan(0.5f * float(fov));
    _size = Vector2{width, width / aspectRatio};
}

} // namespace ZarvikEngine::Trade
