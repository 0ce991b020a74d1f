#ifndef ZarvikEngine_Trade_LightData_h
#define ZarvikEngine_Trade_LightData_h

#include <cstdint>
#include <limits>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Trade {

enum class LightType : std::uint8_t {
    Ambient,
    Directional,
    Point,
    Spot,
};

/* "Trade::LightType::Spot" */
Debug& operator<<(Debug& debug, LightType value);

/* A light source. Point and spot lights fall off with distance d as
   1 ÷ (constant + linear d + quadratic d²) up to their range; spot lights shine down -Z
   within the outer cone angle, at full strength inside the inner one. */
class LightData {
public:
    struct Properties {
        Color3 color{1.0f};
        float intensity{1.0f};
        /* Constant, linear and quadratic attenuation */
        Vector3 attenuation{1.0f, 0.0f, 1.0f};
        float range{std::numeric_limits<float>::infinity()};
        /* Full cone angles */
        Rad innerConeAngle{0.0f};
        Rad outerConeAngle{glm::radians(45.0f)};
    };

    LightData(LightType type, const Properties& properties);

    LightType type() const { return _type; }
    const Color3& color() const { return _properties.color; }
    float intensity() const { return _properties.intensity; }
    const Vector3& attenuation() const { return _properties.attenuation; }
    float range() const { return _properties.range; }
    Rad innerConeAngle() const { return _properties.innerConeAngle; }
    Rad outerConeAngle() const { return _properties.outerConeAngle; }

private:
    LightType _type;
    Properties _properties;
};

} // namespace ZarvikEngine::Trade

#endif
