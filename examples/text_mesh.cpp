/* A label in a scene: a TrueType font compiled for the GPU, a text component that wraps and
   centres its text, and the triangle mesh a renderer draws with the internal text shaders */

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/TextManager.h"
#include "ZarvikEngine/Text/FontCompiler.h"
#include "ZarvikEngine/Text/Layout.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    std::ifstream file{path, std::ios::binary};
    const std::optional<std::vector<char>> font =
        Text::compileFont(std::vector<char>{std::istreambuf_iterator<char>{file}, {}});
    if (!font) {
        std::fprintf(stderr, "%s isn't a font FreeType reads\n", path);
        return 1;
    }
    /* A font record's payload is this same compiled font */
    const auto* header = reinterpret_cast<const Text::FontHeader*>(font->data());

    SceneGraph scene{4, 1, 4};
    TextManager texts{4, 1, 256};
    scene.setComponentManager(0, "text", &texts);
    const Id sign = scene.addObject(Id(0));
    const Id label = texts.addComponent(sign);
    texts.setText(label, "Welcome aboard: the lifts are to your left.");
    /* Lines of at most half a scene unit (EmHeight is 0.1 units per em), centred on the
       object, their block's middle at its origin */
    texts.setWrapWidth(label, 0.5f);
    texts.setWrapMode(label, TextWrapMode::Soft);
    texts.setHorizontalAlignment(label, TextHorizontalAlignment::Center);
    texts.setVerticalAlignment(label, TextVerticalAlignment::Middle);
    texts.activate(label);

    const unsigned short index = texts.toIndex(label);
    const Trade::MeshData mesh = texts.meshData(index, header);
    const Range2D bounds = texts.boundingBox(index, header, texts.text(index));
    std::printf("%u glyphs of %u curves compiled; the label is %u triangles on %u vertices of %zu "
                "bytes each\n",
                header->glyphCount, header->curveCount, mesh.indexCount() / 3, mesh.vertexCount(),
                sizeof(Text::TextVertex));
    std::printf("it spans x %.3f to %.3f and y %.3f to %.3f scene units\n", bounds.min().x,
                bounds.max().x, bounds.min().y, bounds.max().y);
    return mesh.vertexCount() && bounds.max().x - bounds.min().x <= 1.0f ? 0 : 1;
}
