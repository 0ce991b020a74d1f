#ifndef ZarvikEngine_Tests_Trade_Printed_h
#define ZarvikEngine_Tests_Trade_Printed_h

#include <sstream>
#include <string>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Test {

/* What Debug prints for the value, without the newline */
template<class T>
std::string printed(const T& value) {
    std::ostringstream out;
    Debug{&out} << value;
    std::string text = out.str();
    text.pop_back();
    return text;
}

} // namespace ZarvikEngine::Test

#endif
