#ifndef ZarvikEngine_Tools_Preview_h
#define ZarvikEngine_Tools_Preview_h

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ZarvikEngine/BoundingSphere.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Tool {

struct PreviewOptions {
    std::string path, output;
    /* Only the mesh record with this index, counting the file's mesh records from 0 */
    std::optional<std::uint32_t> mesh;
    std::uint32_t width = 512, height = 512;
};

/* Renders the meshes of the asset file (or one of them) off-screen with Mesa on the CPU,
   through the library's Dynamic.vert and a lit fragment stage, and writes the picture as a
   PNG. A file that can't be read or has nothing to draw gives one message through Error and
   Failure. */
int preview(const PreviewOptions& options);

/* What a preview shows, so that its pictures can be checked against the geometry */
namespace Preview {

/* Pixels that no mesh covers, RGBA8 */
constexpr std::array<std::uint8_t, 4> Background{24, 28, 36, 255};
/* A surface gets the base color times Ambient + (1 - Ambient) × the cosine between its normal,
   turned towards the camera, and the light direction */
constexpr float Ambient = 0.2f;
inline Vector3 baseColor() {
    return {0.85f, 0.6f, 0.35f};
}
inline Vector3 lightDirection() {
    return glm::normalize(Vector3{0.5f, 1.0f, 1.2f});
}
/* From the center of the scene towards the camera: above, right and in front */
inline Vector3 viewDirection() {
    return glm::normalize(Vector3{1.0f, 0.8f, 1.6f});
}
constexpr float VerticalFieldOfView = 0.785398163f;

struct Camera {
    Vector3 position;
    Matrix4 worldToView, projection;
};

/* The camera looking at the sphere's center along -viewDirection(), far enough that the
   sphere fits the view with a tenth of its radius to spare */
Camera frame(const BoundingSphere& sphere, float aspectRatio);

} // namespace Preview

} // namespace ZarvikEngine::Tool

#endif
