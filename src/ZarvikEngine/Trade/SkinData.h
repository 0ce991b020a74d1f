#ifndef ZarvikEngine_Trade_SkinData_h
#define ZarvikEngine_Trade_SkinData_h

#include <cstdint>
#include <span>
#include <vector>

#include "ZarvikEngine/Math.h"

namespace ZarvikEngine::Trade {

/* A 3D skin: the objects that act as its joints, by the importer's object ids, and the
   inverse bind matrix of each. Move-only. */
class SkinData3D {
public:
    /* One matrix per joint */
    SkinData3D(std::vector<std::uint32_t> joints, std::vector<Matrix4> inverseBindMatrices);

    SkinData3D(const SkinData3D&) = delete;
    SkinData3D(SkinData3D&&) noexcept = default;
    SkinData3D& operator=(const SkinData3D&) = delete;
    SkinData3D& operator=(SkinData3D&&) noexcept = default;

    std::span<const std::uint32_t> joints() const { return _joints; }
    std::span<const Matrix4> inverseBindMatrices() const { return _inverseBindMatrices; }

private:
    std::vector<std::uint32_t> _joints;
    std::vector<Matrix4> _inverseBindMatrices;
};

} // namespace ZarvikEngine::Trade

#endif
