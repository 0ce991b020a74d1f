#include "ZarvikEngine/Math.h"

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

} // namespace ZarvikEngine
