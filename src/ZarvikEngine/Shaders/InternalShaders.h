#ifndef ZarvikEngine_Shaders_InternalShaders_h
#define ZarvikEngine_Shaders_InternalShaders_h

#include <span>
#include <string_view>

#include "ZarvikEngine/Resource.h"

namespace ZarvikEngine::Shaders {

/* The resource group with the renderer's internal shaders, registered when the library loads.
   Each text starts with its own #define lines, then the common headers it includes, inlined
   after "#line 1", then its code; GLSL texts have no #version, so that the renderer can put
   the one of its context first. */
constexpr std::string_view InternalShadersGroup = "ZarvikEngineInternalShaders";

namespace Implementation {
/* The files as they are in the tree, compiled in by the build */
extern const std::span<const Resource::File> InternalShaderSources;
extern const std::span<const Resource::File> InternalShaderHeaders;
} // namespace Implementation

} // namespace ZarvikEngine::Shaders

#endif
