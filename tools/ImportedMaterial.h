#ifndef ZarvikEngine_Tools_ImportedMaterial_h
#define ZarvikEngine_Tools_ImportedMaterial_h

/* The material records zarvik import writes: every imported material as one metallic-roughness
   parameter block of the definition below, whatever shading model it came with. Parameter
   sizes count 32-bit words: a float component is one word, a sampler two (the texture record
   index as a signed integer, -1 for none, and the texture coordinate set, always 0). The
   alpha settings are byte 0 the Trade::MaterialAlphaMode, byte 1 whether both sides are drawn,
   bytes 4 to 7 the mask threshold as a float, the rest zero. */

#include <cstdint>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Shaders/MaterialDefinition.h"
#include "ZarvikEngine/Trade/MaterialData.h"

namespace ZarvikEngine::Tool {

/* The definition index material records of imported materials carry */
constexpr std::int32_t ImportedMaterialDefinitionIndex = 0;

/* "ImportedMetallicRoughness": baseColor (4 floats), baseColorTexture (sampler), metallic,
   roughness (floats), metallicRoughnessTexture, normalTexture (samplers), normalScale (float),
   occlusionTexture (sampler), occlusionStrength (float), emissive (3 floats), emissiveTexture
   (sampler) */
const Shaders::MaterialDefinition& importedMaterialDefinition();

struct ImportedMaterial {
    Vector4 baseColor{1.0f};
    float metallic{}, roughness{1.0f}, normalScale{1.0f}, occlusionStrength{1.0f};
    Vector3 emissive{0.0f};
    /* Texture record indices, -1 for none */
    std::int32_t baseColorTexture{-1}, metallicRoughnessTexture{-1}, normalTexture{-1},
        occlusionTexture{-1}, emissiveTexture{-1};
    Trade::MaterialAlphaMode alphaMode{};
    float alphaMask{0.5f};
    bool doubleSided{};

    Shaders::AlphaMaterial alphaMaterial() const;
    /* The parameter block laid out as the definition says */
    Shaders::Material parameters(const Shaders::MaterialDefinition& definition) const;
};

} // namespace ZarvikEngine::Tool

#endif
