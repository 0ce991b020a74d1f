#include "ZarvikEngine/Tools/Normals.h"

#include <cmath>
#include <cstddef>

#include "ZarvikEngine/Tools/Angle.h"

namespace ZarvikEngine::MeshTools {

namespace {

void checkOutputSize(const char* function, std::size_t expected, std::size_t actual) {
    ZE_ASSERT(expected == actual,
              function << "bad output size, expected" << expected << "but got" << actual);
}

} // namespace

void generateFlatNormalsInto(const StridedArrayView1D<const Vector3>& positions,
                             const StridedArrayView1D<Vector3>& normals) {
    ZE_ASSERT(positions.size() % 3 == 0,
              "MeshTools::generateFlatNormalsInto(): position count not divisible by 3");
    checkOutputSize("MeshTools::generateFlatNormalsInto():", positions.size(), normals.size());
    for (std::size_t i = 0; i != positions.size(); i += 3) {
        const Vector3 normal =
            glm::cross(positions[i + 1] - positions[i], positions[i + 2] - positions[i]);
        const float length = glm::length(normal);
        const Vector3 unit = length > 0.0f ? normal / length : Vector3{0.0f};
        normals[i] = unit;
        normals[i + 1] = unit;
        normals[i + 2] = unit;
    }
}

template<class T>
void generateSmoothNormalsInto(const StridedArrayView1D<const T>& indices,
                               const StridedArrayView1D<const Vector3>& positions,
                               const StridedArrayView1D<Vector3>& normals) {
    ZE_ASSERT(indices.size() % 3 == 0,
              "MeshTools::generateSmoothNormalsInto(): index count not divisible by 3");
    checkOutputSize("MeshTools::generateSmoothNormalsInto():", positions.size(), normals.size());

    /* Accumulated in place, so that nothing is allocated */
    for (Vector3& normal : normals)
        normal = Vector3{0.0f};
    const std::size_t vertexCount = positions.size();
    for (std::size_t i = 0; i != indices.size(); i += 3) {
        const std::size_t a = indices[i], b = indices[i + 1], c = indices[i + 2];
        ZE_ASSERT(a < vertexCount && b < vertexCount && c < vertexCount,
                  "MeshTools::generateSmoothNormalsInto(): index out of range for" << vertexCount
                                                                                   << "vertices");
        const Vector3 ab = positions[b] - positions[a];
        const Vector3 ac = positions[c] - positions[a];
        const Vector3 bc = positions[c] - positions[b];
        /* |ab × ac| is the sine term of all three corners */
        const Vector3 normal = glm::cross(ab, ac);
        const float twiceArea = glm::length(normal);
        if (!(twiceArea > 0.0f))
            continue;
        const Vector3 unit = normal / twiceArea;
        normals[a] += unit * Implementation::angleOf(twiceArea, glm::dot(ab, ac));
        normals[b] += unit * Implementation::angleOf(twiceArea, -glm::dot(ab, bc));
        normals[c] += unit * Implementation::angleOf(twiceArea, glm::dot(ac, bc));
    }
    for (Vector3& normal : normals) {
        const float length = glm::length(normal);
        if (length > 0.0f)
            normal /= length;
    }
}

template void generateSmoothNormalsInto<std::uint8_t>(const StridedArrayView1D<const std::uint8_t>&,
                                                      const StridedArrayView1D<const Vector3>&,
                                                      const StridedArrayView1D<Vector3>&);
template void
generateSmoothNormalsInto<std::uint16_t>(const StridedArrayView1D<const std::uint16_t>&,
                                         const StridedArrayView1D<const Vector3>&,
                                         const StridedArrayView1D<Vector3>&);
template void
generateSmoothNormalsInto<std::uint32_t>(const StridedArrayView1D<const std::uint32_t>&,
                                         const StridedArrayView1D<const Vector3>&,
                                         const StridedArrayView1D<Vector3>&);

} // namespace ZarvikEngine::MeshTools
