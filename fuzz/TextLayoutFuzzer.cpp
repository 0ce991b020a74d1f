/* Lays out arbitrary bytes as text in DejaVu Sans: the first four bytes choose the settings
   (wrapping, alignment, justification, clipping, outline, tracking and width), the rest is
   the text, valid UTF-8 or not. A crash, a sanitizer report, more lines than the buffer or
   geometry other than the counts promise is a finding. */

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "ZarvikEngine/Text/FontCompiler.h"
#include "ZarvikEngine/Text/Layout.h"

using namespace ZarvikEngine;

namespace {

const std::vector<char>& font() {
    static const std::vector<char> compiled = [] {
        std::ifstream file{"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary};
        return *Text::compileFont(std::vector<char>{std::istreambuf_iterator<char>{file}, {}});
    }();
    return compiled;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    static const Text::FontView view{font()};
    static Text::Shaper shaper{view};

    Text::LayoutSettings settings;
    settings.scale = {0.1f, -0.1f};
    const Text::Alignment alignments[]{Text::Alignment::Left, Text::Alignment::Center,
                                       Text::Alignment::Right};
    settings.alignment = alignments[data[0] % 3];
    settings.breakAtOpportunities = data[0] & 4;
    settings.justify = data[0] & 8;
    settings.effect = data[0] & 16 ? Text::Effect::Outline : Text::Effect::None;
    settings.clip = data[0] & 32;
    settings.tracking = float(std::int8_t(data[1])) / 64.0f;
    settings.wrapWidth = data[2] ? float(data[2]) / 8.0f : INFINITY;
    settings.clipMin = -settings.wrapWidth;
    settings.clipMax = settings.wrapWidth;
    const std::string_view text{reinterpret_cast<const char*>(data) + 4, size - 4};

    Text::TextLayout layout{view, shaper, settings};
    /* As many lines as the text has bytes and one, or fewer to see the rest left out */
    std::vector<Text::LineRecord> lines(data[3] ? data[3] : text.size() + 1);
    const std::size_t lineCount = layout.breakLines(text, lines);
    if (lineCount == 0 || lineCount > lines.size())
        std::abort();
    for (std::size_t i = 0; i != lineCount; ++i)
        if (lines[i].textBegin > lines[i].textEnd || lines[i].textEnd > text.size())
            std::abort();
    layout.moveDown(1.5f);
    const Range2D bounds = layout.bounds();
    if (!std::isfinite(bounds.min().x) || !std::isfinite(bounds.max().y))
        std::abort();
    std::vector<Text::TextVertex> vertices(layout.vertexCount());
    std::vector<std::uint16_t> indices(3 * layout.triangleCount());
    const Text::TextLayout::Written written = layout.writeGeometry(vertices, indices);
    if (written.vertices != std::min<std::size_t>(vertices.size(), 65536) ||
        2 * written.vertices != 4 * written.triangles)
        std::abort();
    for (std::size_t i = 0; i != 3 * written.triangles; ++i)
        if (indices[i] >= written.vertices)
            std::abort();
    return 0;
}
