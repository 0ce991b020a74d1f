#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "Commands.h"
#include "Preview.h"
#include "ZarvikEngine/Debug.h"

using namespace ZarvikEngine;

namespace {

struct Command {
    std::string_view name;
    /* Arguments and options after the name */
    std::string_view synopsis;
    std::string_view summary;
    /* The options, one per line, empty when there are none */
    std::string_view options;
    int (*run)(int argc, char** argv);
};

int inspectCommand(int argc, char** argv);
int sampleCommand(int argc, char** argv);
int fontCommand(int argc, char** argv);
int play(int argc, char** argv);
int import(int argc, char** argv);
int preview(int argc, char** argv);

constexpr Command Commands[]{
    {"inspect", "FILE [--json]", "validate an asset file and list its chunks",
     "  --json              one JSON document instead of the listing\n", inspectCommand},
    {"sample", "FILE", "write a sample asset file", "", sampleCommand},
    {"font", "SOURCE OUTPUT", "compile a TrueType or OpenType font into an asset file", "",
     fontCommand},
    {"play", "FILE [options]", "play the animation graphs of an asset file",
     "  --frames N          updates to run, 60 by default\n"
     "  --fps F             updates per second, 60 by default\n"
     "  --json              one JSON document instead of a line per frame\n",
     play},
    {"import", "SOURCE OUTPUT [options]", "import a scene file into an asset file",
     "  --layout FLAGS      vertex layout of every mesh, a comma-separated list of positions,\n"
     "                      normals, texture-coordinates, secondary-texture-coordinates,\n"
     "                      tangents, colors, skinning, extended-skinning, object-ids\n"
     "  --tangents          generate tangents where a mesh has none\n"
     "  --full-precision    float vertex attributes and animation keys\n"
     "  --tile-size N       image tile size from 1 to 4096, 256 by default\n"
     "  --tile-border N     image tile border from 0 to 64, 2 by default\n"
     "  --mip-levels N      mip levels kept per image from 1 to 32, all by default\n"
     "  --font FILE         compile a TrueType or OpenType font for the scene's text into a\n"
     "                      font record; may be given more than once\n"
     "  --json              one JSON document instead of the summary\n",
     import},
    {"preview", "FILE OUTPUT.png [options]", "render the meshes of an asset file into a PNG",
     "  --mesh N            only mesh record N, counting from 0\n"
     "  --size W H          picture size, each from 1 to 4096, 512 by 512 by default\n",
     preview},
};

const Command* findCommand(std::string_view name) {
    const auto found = std::find_if(std::begin(Commands), std::end(Commands),
                                    [&](const Command& command) { return command.name == name; });
    return found == std::end(Commands) ? nullptr : found;
}

int printHelp() {
    std::string text = "usage: zarvik COMMAND [ARGUMENTS]\n"
                       "       zarvik help COMMAND | zarvik COMMAND --help | zarvik --version\n\n"
                       "Works with the asset files of ZarvikEngine.\n\ncommands:\n";
    for (const Command& command : Commands)
        text += fmt::format("  {:<10}{}\n", command.name, command.summary);
    text += "\nExit status: 0 success, 1 failure (one message on standard error), 2 wrong "
            "usage.\n";
    std::fputs(text.c_str(), stdout);
    return Tool::Success;
}

int printCommandHelp(const Command& command) {
    std::string summary{command.summary};
    summary[0] = char(std::toupper(static_cast<unsigned char>(summary[0])));
    std::string text =
        fmt::format("usage: zarvik {} {}\n\n{}.\n", command.name, command.synopsis, summary);
    if (!command.options.empty())
        text += fmt::format("\noptions:\n{}", command.options);
    std::fputs(text.c_str(), stdout);
    return Tool::Success;
}

/* Wrong usage: what was wrong, and where help is */
int usageError(std::string_view command, std::string_view problem) {
    Error{} << fmt::format("zarvik{}{}: {}; see zarvik {}--help", command.empty() ? "" : " ",
                           command, problem, command.empty() ? "" : std::string{command} + " ")
                   .c_str();
    return Tool::Usage;
}

int unknownOption(std::string_view command, std::string_view option) {
    return usageError(command, fmt::format("unknown option '{}'", option));
}

/* A whole number or a number above 0, all of the text */
template<class T>
bool parsePositive(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value > T(0);
}

int play(int argc, char** argv) {
    if (argc < 3)
        return usageError("play", "expects an asset FILE");
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
            return unknownOption("play", option);
        }
    }
    return Tool::play(options);
}

/* A whole number from min to max, all of the text */
template<class T>
bool parseWhole(std::string_view text, T& value, T min, T max) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value >= min && value <= max;
}

/* "positions,normals,..." into layout flags */
bool parseLayout(std::string_view text, MeshDataFlags& layout) {
    const std::pair<std::string_view, MeshDataFlags> Names[]{
        {"positions", MeshDataFlag::Positions},
        {"normals", MeshDataFlag::Normals},
        {"texture-coordinates", MeshDataFlag::TextureCoordinates},
        {"secondary-texture-coordinates", MeshDataFlag::SecondaryTextureCoordinates},
        {"tangents", MeshDataFlag::Tangents},
        {"colors", MeshDataFlag::Colors},
        {"skinning", MeshDataFlag::Skinning},
        {"extended-skinning", MeshDataFlag::Skinning | MeshDataFlag::ExtendedSkinning},
        {"object-ids", MeshDataFlag::ObjectIds}};
    layout = {};
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        const auto found = std::find_if(std::begin(Names), std::end(Names),
                                        [&](const auto& entry) { return entry.first == name; });
        if (found == std::end(Names))
            return false;
        layout |= found->second;
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return bool(layout);
}

int import(int argc, char** argv) {
    if (argc < 4)
        return usageError("import", "expects a SOURCE scene file and an OUTPUT asset file");
    Tool::ImportOptions options;
    options.source = argv[2];
    options.output = argv[3];
    for (int i = 4; i != argc; ++i) {
        const std::string_view option = argv[i];
        const bool hasValue = i + 1 != argc;
        if (option == "--json") {
            options.json = true;
        } else if (option == "--tangents") {
            options.tangents = true;
        } else if (option == "--full-precision") {
            options.fullPrecision = true;
        } else if (option == "--layout" && hasValue) {
            if (!parseLayout(argv[++i], options.layout)) {
                Error{} << "zarvik: --layout needs a comma-separated list of positions, normals, "
                           "texture-coordinates, secondary-texture-coordinates, tangents, "
                           "colors, skinning, extended-skinning, object-ids; got"
                        << argv[i];
                return Tool::Usage;
            }
        } else if (option == "--tile-size" && hasValue) {
            if (!parseWhole(argv[++i], options.tileSize, 1, 4096)) {
                Error{} << "zarvik: --tile-size needs a whole number from 1 to 4096, got"
                        << argv[i];
                return Tool::Usage;
            }
        } else if (option == "--tile-border" && hasValue) {
            if (!parseWhole(argv[++i], options.tileBorder, 0, 64)) {
                Error{} << "zarvik: --tile-border needs a whole number from 0 to 64, got"
                        << argv[i];
                return Tool::Usage;
            }
        } else if (option == "--font" && hasValue) {
            options.fonts.emplace_back(argv[++i]);
        } else if (option == "--mip-levels" && hasValue) {
            if (!parseWhole(argv[++i], options.mipLevels, 1u, 32u)) {
                Error{} << "zarvik: --mip-levels needs a whole number from 1 to 32, got" << argv[i];
                return Tool::Usage;
            }
        } else {
            return unknownOption("import", option);
        }
    }
    return Tool::importScene(options);
}

int inspectCommand(int argc, char** argv) {
    std::optional<std::string> path;
    bool json = false;
    for (int i = 2; i != argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--json")
            json = true;
        else if (argument.starts_with("-"))
            return unknownOption("inspect", argument);
        else if (path)
            return usageError("inspect", fmt::format("unexpected argument '{}'", argument));
        else
            path = argument;
    }
    if (!path)
        return usageError("inspect", "expects an asset FILE");
    return json ? Tool::inspectJson(*path) : Tool::inspect(*path);
}

int sampleCommand(int argc, char** argv) {
    if (argc != 3)
        return usageError("sample", "expects one output FILE");
    if (std::string_view{argv[2]}.starts_with("-"))
        return unknownOption("sample", argv[2]);
    return Tool::sample(argv[2]);
}

int fontCommand(int argc, char** argv) {
    if (argc != 4)
        return usageError("font", "expects a SOURCE font file and an OUTPUT asset file");
    for (int i = 2; i != argc; ++i)
        if (std::string_view{argv[i]}.starts_with("-"))
            return unknownOption("font", argv[i]);
    return Tool::font(argv[2], argv[3]);
}

int preview(int argc, char** argv) {
    if (argc < 4)
        return usageError("preview", "expects an asset FILE and an OUTPUT.png");
    Tool::PreviewOptions options;
    options.path = argv[2];
    options.output = argv[3];
    for (int i = 4; i != argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--mesh" && i + 1 != argc) {
            std::uint32_t mesh;
            if (!parseWhole(argv[++i], mesh, 0u, ~0u)) {
                Error{} << "zarvik: --mesh needs a mesh index, got" << argv[i];
                return Tool::Usage;
            }
            options.mesh = mesh;
        } else if (option == "--size" && i + 2 < argc) {
            if (!parseWhole(argv[i + 1], options.width, 1u, 4096u) ||
                !parseWhole(argv[i + 2], options.height, 1u, 4096u)) {
                Error{} << "zarvik: --size needs a width and a height from 1 to 4096, got"
                        << argv[i + 1] << argv[i + 2];
                return Tool::Usage;
            }
            i += 2;
        } else {
            return unknownOption("preview", option);
        }
    }
    return Tool::preview(options);
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (first.empty())
        return usageError({}, "expects a COMMAND");
    if (first == "--help" || first == "-h")
        return printHelp();
    if (first == "--version") {
        std::puts("zarvik " ZARVIK_VERSION);
        return Tool::Success;
    }
    if (first == "help") {
        if (argc == 2)
            return printHelp();
        const Command* command = findCommand(argv[2]);
        return command ? printCommandHelp(*command)
                       : usageError({}, fmt::format("unknown command '{}'", argv[2]));
    }
    const Command* command = findCommand(first);
    if (!command)
        return first.starts_with("-") ? unknownOption({}, first)
                                      : usageError({}, fmt::format("unknown command '{}'", first));
    for (int i = 2; i != argc; ++i)
        if (std::string_view{argv[i]} == "--help" || std::string_view{argv[i]} == "-h")
            return printCommandHelp(*command);
    return command->run(argc, argv);
}
