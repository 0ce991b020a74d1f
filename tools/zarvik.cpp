#include <string_view>

#include "Commands.h"
#include "ZarvikEngine/Debug.h"

using namespace ZarvikEngine;

int main(int argc, char** argv) {
    const std::string_view command = argc == 3 ? argv[1] : "";
    if (command == "inspect")
        return Tool::inspect(argv[2]);
    if (command == "sample")
        return Tool::sample(argv[2]);
    Error{} << "usage: zarvik inspect FILE    validate an asset file and list its chunks";
    Error{} << "       zarvik sample FILE     write a sample asset file";
    return Tool::Usage;
}
