#ifndef ZarvikEngine_Tools_OffscreenContext_h
#define ZarvikEngine_Tools_OffscreenContext_h

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Tool {

/* An OpenGL core context of Mesa's software rasterizer drawing into memory, RGBA8 rows from
   the bottom up. Mesa may give a later version than the one asked for. */
class OffscreenContext {
public:
    OffscreenContext(std::uint32_t width, std::uint32_t height, int majorVersion = 3,
                     int minorVersion = 3);
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;
    ~OffscreenContext();

    explicit operator bool() const { return _context; }
    const std::vector<std::uint8_t>& pixels() const { return _pixels; }

private:
    void* _context{};
    std::vector<std::uint8_t> _pixels;
};

/* The program of the two stages, made current, or 0 with the compiler's log or a message in
   error */
std::uint32_t useProgram(std::string_view vertexStage, std::string_view fragmentStage,
                         std::string& error);

/* An internal shader as the renderer gets it: preprocessed with substitution, under the
   version line */
std::string internalShader(std::string_view name, std::string_view version);

/* The ViewData uniform block of the internal vertex stages, in std140 layout */
struct ViewData {
    Vector4 cameraParameters;
    Vector4 viewport;
    Matrix4 worldToView, viewToWorld;
    Vector4 viewPosition;
    Matrix4 projectionMatrix, inverseProjectionMatrix;
    std::uint32_t lightCounts[4];
};
static_assert(sizeof(ViewData) == 320);

/* Binds view as the ViewData block of the current program, and a transformations texture of
   one object, untransformed, at object id 0 */
void bindViewAndIdentityObject(std::uint32_t program, const ViewData& view);

} // namespace ZarvikEngine::Tool

#endif
