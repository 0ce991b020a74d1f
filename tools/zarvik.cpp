#include <charconv>
#include <string>
#include <string_view>

#include "Commands.h"
#include "ZarvikEngine/Debug.h"

using namespace ZarvikEngine;

namespace {

int usage() {
    Error{} << "usage: zarvik inspect FILE    validate an asset file and list its chunks";
    Error{} << "       zarvik sample FILE     write a sample asset file";
    Error{} << "       zarvik play FILE [--frames N] [--fps F] [--json]";
    Error{} << "                              play the animation graphs of an asset file";
    return Tool::Usage;
}

/* A whole number or a number above 0, all of the text */
template<class T>
bool parsePositive(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value > T(0);
}

int play(int argc, char** argv) {
    Tool::PlayOptions options;
    options.path = argv[2];
    for (int i = 3; i != argc; ++i) {
        const std::string_view option = argv[i];
        const bool hasValue = i + 1 != argc;
        if (option == "--json") {
            options.json = true;
        } else if (option == "--frames" && hasValue) {
            if (!parsePositive(argv[++i], options.frames)) {
                Error{} << "zarvik: --frames needs a whole number above 0, got" << argv[i];
                return Tool::Usage;
            }
        } else if (option == "--fps" && hasValue) {
            if (!parsePositive(argv[++i], options.fps)) {
                Error{} << "zarvik: --fps needs a number above 0, got" << argv[i];
                return Tool::Usage;
            }
        } else {
            return usage();
        }
    }
    return Tool::play(options);
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc >= 3 ? argv[1] : "";
    if (command == "play")
        return play(argc, argv);
    if (argc != 3)
        return usage();
    if (command == "inspect")
        return Tool::inspect(argv[2]);
    if (command == "sample")
        return Tool::sample(argv[2]);
    return usage();
}
