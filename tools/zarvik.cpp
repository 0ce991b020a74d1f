#include <algorithm>
#include <charconv>
#include <iterator>
#include <string>
#include <string_view>

#include "Commands.h"
#include "Preview.h"
#include "ZarvikEngine/Debug.h"

using namespace ZarvikEngine;

namespace {

int usage() {
    Error{} << "usage: zarvik inspect FILE    validate an asset file and list its chunks";
    Error{} << "       zarvik sample FILE     write a sample asset file";
    Error{} << "       zarvik play FILE [--frames N] [--fps F] [--json]";
    Error{} << "                              play the animation graphs of an asset file";
    Error{}
        << "       zarvik import SOURCE OUTPUT [--layout FLAGS] [--tangents] [--full-precision]";
    Error{} << "                     [--tile-size N] [--tile-border N] [--mip-levels N] [--json]";
    Error{} << "                              import a scene file into an asset file";
    Error{} << "       zarvik preview FILE OUTPUT.png [--mesh N] [--size W H]";
    Error{} << "                              render the meshes of an asset file into a PNG";
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
        return usage();
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
        } else if (option == "--mip-levels" && hasValue) {
            if (!parseWhole(argv[++i], options.mipLevels, 1u, 32u)) {
                Error{} << "zarvik: --mip-levels needs a whole number from 1 to 32, got" << argv[i];
                return Tool::Usage;
            }
        } else {
            return usage();
        }
    }
    return Tool::importScene(options);
}

int preview(int argc, char** argv) {
    if (argc < 4)
        return usage();
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
            return usage();
        }
    }
    return Tool::preview(options);
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc >= 3 ? argv[1] : "";
    if (command == "play")
        return play(argc, argv);
    if (command == "import")
        return import(argc, argv);
    if (command == "preview")
        return preview(argc, argv);
    if (argc != 3)
        return usage();
    if (command == "inspect")
        return Tool::inspect(argv[2]);
    if (command == "sample")
        return Tool::sample(argv[2]);
    return usage();
}
