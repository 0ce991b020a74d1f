#include "ZarvikEngine/Trade/LightData.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine::Trade {

namespace {
constexpr std::string_view TypeNames[]{"Ambient", "Directional", "Point", "Spot"};
}

Debug& operator<<(Debug& debug, LightType value) {
    const std::size_t index = std::size_t(value);
    return printEnum(debug, "Trade::LightType",
                     index < std::size(TypeNames) ? TypeNames[index] : "", index);
}

LightData::LightData(LightType type, const Properties& properties)
    : _type{type}, _properties{properties} {
    ZE_ASSERT(float(properties.innerConeAngle) <= float(properties.outerConeAngle),
              "Trade::LightData: inner cone angle" << float(properties.innerConeAngle)
                                                   << "is larger than the outer"
                                                   << float(properties.outerConeAngle));
}

} // namespace ZarvikEngine::Trade
