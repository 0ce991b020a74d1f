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

/* The unit (or zero) normal of a triangle whose float normal is too short or too long for its
   squares. Edges that are fine in floats give a normal as exact as floats allow, zero where
   they are collinear; others are taken in double precision. */
[[gnu::noinline]] Vector3 unitNormalPrecisely(const Vector3& a, const Vector3& b,
                                              const Vector3& c) {
    const Vector3 ab = b - a, ac = c - a;
    if (Implementation::areModerate(ab, ac))
        return Implementation::normalizedOrZero(glm::dvec3{glm::cross(ab, ac)});
    const glm::dvec3 first{a};
    return Implementation::normalizedOrZero(
        glm::cross(glm::dvec3{b} - first, glm::dvec3{c} - first));
}

/* Adds the triangle's unit normal, weighted by the angle of each corner, to its vertices, in
   float or double precision */
template<class Vector, class Scalar>
[[gnu::always_inline]] inline void
addWeightedNormal(const StridedArrayView1D<Vector3>& normals, std::size_t a, std::size_t b,
                  std::size_t c, const Vector& ab, const Vector& ac, const Vector& bc,
                  const Vector& normal, Scalar twiceArea) {
    /* |ab × ac| is the sine term of all three corners */
    const Vector3 unit{normal / twiceArea};
    normals[a] += unit * Implementation::angleOf(twiceArea, glm::dot(ab, ac));
    normals[b] += unit * Implementation::angleOf(twiceArea, -glm::dot(ab, bc));
    normals[c] += unit * Implementation::angleOf(twiceArea, glm::dot(ac, bc));
}

/* The same for a triangle whose float normal is too short or too long for its squares, or whose
   cosine terms overflowed, as unitNormalPrecisely() does. Kept out of the loop, which would
   otherwise hold more of its values in memory. */
[[gnu::noinline]] void
addWeightedNormalPrecisely(const StridedArrayView1D<const Vector3>& positions,
                           const StridedArrayView1D<Vector3>& normals, std::size_t a, std::size_t b,
                           std::size_t c) {
    const Vector3 ab = positions[b] - positions[a];
    const Vector3 ac = positions[c] - positions[a];
    if (Implementation::areModerate(ab, ac)) {
        const Vector3 normal = glm::cross(ab, ac);
        const float twiceArea = Implementation::preciseLength(normal);
        if (twiceArea > 0.0f)
            addWeightedNormal(normals, a, b, c, ab, ac, positions[c] - positions[b], normal,
                              twiceArea);
        return;
    }
    const glm::dvec3 preciseAb = glm::dvec3{positions[b]} - glm::dvec3{positions[a]};
    const glm::dvec3 preciseAc = glm::dvec3{positions[c]} - glm::dvec3{positions[a]};
    const glm::dvec3 preciseBc = glm::dvec3{positions[c]} - glm::dvec3{positions[b]};
    const glm::dvec3 normal = glm::cross(preciseAb, preciseAc);
    const double twiceArea = glm::length(normal);
    if (twiceArea > 0.0)
        addWeightedNormal(normals, a, b, c, preciseAb, preciseAc, preciseBc, normal, twiceArea);
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
        const Vector3 unit =
            Implementation::isModerate(length)
                ? normal / length
                : unitNormalPrecisely(positions[i], positions[i + 1], positions[i + 2]);
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
        const Vector3 normal = glm::cross(ab, ac);
        const float twiceArea = glm::length(normal);
        /* An edge or product that overflowed makes a cosine term infinite or NaN too */
        if (Implementation::isModerate(twiceArea) &&
            std::isfinite(glm::dot(ab, ac) + glm::dot(ab, bc) + glm::dot(ac, bc))) [[likely]]
            addWeightedNormal(normals, a, b, c, ab, ac, bc, normal, twiceArea);
        else
            addWeightedNormalPrecisely(positions, normals, a, b, c);
    }
    for (Vector3& normal : normals) {
        const float length = glm::length(normal);
        normal = Implementation::isModerate(length)
                     ? normal / length
                     : Implementation::normalizedOrZero(glm::dvec3{normal});
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
