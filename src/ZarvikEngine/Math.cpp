#include "ZarvikEngine/Math.h"

#include <limits>

namespace ZarvikEngine {

namespace {

/* "{{x, y, z}, w" without the closing brace, shared by both quaternion kinds */
void printQuaternionParts(Debug& debug, const Quaternion& value) {
    Implementation::printComponents(debug, vectorPart(value));
    debug << Debug::nospace << "}," << value.w;
}

/* Row by row, continuation rows indented under the first value */
template<glm::length_t size>
Debug& printMatrix(Debug& debug, const glm::mat<size, size, float>& value) {
    debug << "Matrix(" << Debug::nospace;
    for (glm::length_t row = 0; row != size; ++row) {
        if (row)
            debug << Debug::nospace << "," << Debug::newline << "      ";
        debug << value[0][row];
        for (glm::length_t column = 1; column != size; ++column)
            debug << Debug::nospace << "," << value[column][row];
    }
    return debug << Debug::nospace << ")";
}

bool isNormalizedWithin(const Vector3& vector, float tolerance) {
    return std::abs(glm::dot(vector, vector) - 1.0f) <= tolerance;
}

} // namespace

Debug& operator<<(Debug& debug, const Quaternion& value) {
    debug << "Quaternion({";
    printQuaternionParts(debug, value);
    return debug << Debug::nospace << ")";
}

Debug& operator<<(Debug& debug, const DualQuaternion& value) {
    debug << "DualQuaternion({{";
    printQuaternionParts(debug, value.real);
    debug << Debug::nospace << "}, {{";
    printQuaternionParts(debug, value.dual);
    return debug << Debug::nospace << "})";
}

Debug& operator<<(Debug& debug, const Matrix3& value) {
    return printMatrix(debug, value);
}

Debug& operator<<(Debug& debug, const Matrix4& value) {
    return printMatrix(debug, value);
}

Debug& operator<<(Debug& debug, Deg value) {
    return debug << "Deg(" << Debug::nospace << float(value) << Debug::nospace << ")";
}

Debug& operator<<(Debug& debug, Rad value) {
    return debug << "Rad(" << Debug::nospace << float(value) << Debug::nospace << ")";
}

TrsTransformation decompose(const Matrix4& transformation) {
    TrsTransformation result;
    result.translation = Vector3{transformation[3]};
    Matrix3 rotation{transformation};
    Vector3 scaling{glm::length(rotation[0]), glm::length(rotation[1]), glm::length(rotation[2])};
    if (glm::determinant(rotation) < 0.0f)
        scaling.x = -scaling.x;
    result.scaling = scaling;
    if (scaling.x == 0.0f || scaling.y == 0.0f || scaling.z == 0.0f)
        return result;
    for (int i = 0; i != 3; ++i)
        rotation[i] /= scaling[i];
    result.rotation = glm::normalize(glm::quat_cast(rotation));
    return result;
}

Matrix4 frustumProjection(float left, float right, float bottom, float top, float near, float far) {
    Matrix4 matrix{0.0f};
    matrix[0][0] = 2.0f * near / (right - left);
    matrix[1][1] = 2.0f * near / (top - bottom);
    matrix[2][0] = (right + left) / (right - left);
    matrix[2][1] = (top + bottom) / (top - bottom);
    matrix[2][3] = -1.0f;
    if (far == std::numeric_limits<float>::infinity()) {
        matrix[2][2] = -1.0f;
        matrix[3][2] = -2.0f * near;
    } else {
        matrix[2][2] = (far + near) / (near - far);
        matrix[3][2] = 2.0f * far * near / (near - far);
    }
    return matrix;
}

Matrix4 perspectiveProjection(Rad horizontalFov, float aspectRatio, float near, float far) {
    const float width = std::tan(float(horizontalFov) * 0.5f) * 2.0f * near;
    const float height = width / aspectRatio;
    return frustumProjection(-0.5f * width, 0.5f * width, -0.5f * height, 0.5f * height, near, far);
}

Quaternion lookRotation(const Vector3& forward, const Vector3& up) {
    ZE_ASSERT(isNormalizedWithin(forward, 2e-5f),
              "lookRotation(): Expected target direction to be normalized" << forward);
    ZE_ASSERT(isNormalizedWithin(up, 2e-5f),
              "lookRotation(): Expected up direction to be normalized" << up);
    Vector3 z = -forward;
    Vector3 x = glm::cross(up, z);
    if (glm::dot(x, x) < 1e-5f) {
        z = glm::normalize(Vector3{-forward.x + 1e-5f, -forward.y, -forward.z});
        x = glm::cross(up, z);
    }
    x = glm::normalize(x);
    const Vector3 y = glm::cross(z, x);
    return glm::quat_cast(Matrix3{x, y, z});
}

DualQuaternion lookAt(const Vector3& eye, const Vector3& target, const Vector3& up) {
    Vector3 direction = target - eye;
    Quaternion rotation;
    if (glm::dot(direction, direction) >= 1e-5f) {
        direction = glm::normalize(direction);
        ZE_ASSERT(isNormalizedWithin(direction, 2e-5f),
                  "lookAt(): target direction not normalized" << direction << target << eye);
        rotation = lookRotation(direction, up);
    }
    return dualQuaternionFromRotationTranslation(rotation, eye);
}

} // namespace ZarvikEngine
