#include "ZarvikEngine/Trade/SkinData.h"

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Trade {

SkinData3D::SkinData3D(std::vector<std::uint32_t> joints, std::vector<Matrix4> inverseBindMatrices)
    : _joints{std::move(joints)}, _inverseBindMatrices{std::move(inverseBindMatrices)} {
    ZE_ASSERT(_joints.size() == _inverseBindMatrices.size(),
              "Trade::SkinData3D: joint and inverse bind matrix arrays have different size, got"
                  << _joints.size() << "and" << _inverseBindMatrices.size());
}

} // namespace ZarvikEngine::Trade
