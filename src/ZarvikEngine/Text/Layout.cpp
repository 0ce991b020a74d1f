#include "ZarvikEngine/Text/Layout.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "ZarvikEngine/Text/LineBreaking.h"
#include "ZarvikEngine/Text/Utf8.h"

namespace ZarvikEngine::Text {

namespace {

/* RGBA, red in the lowest byte */
Vector4ub unpackColor(std::uint32_t rgba) {
    return {std::uint8_t(rgba), std::uint8_t(rgba >> 8), std::uint8_t(rgba >> 16),
            std::uint8_t(rgba >> 24)};
}

/* Spaces that may hang past the end of a line */
bool isSpace(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\u1680' || (c >= U'\u2000' && c <= U'\u200a') ||
           c == U'\u205f' || c == U'\u3000';
}

/* How many bytes at the end of a paragraph are its line break: CR, LF, CR LF, VT, FF, NEL,
   LS or PS */
std::size_t lineBreakLength(std::string_view paragraph) {
    if (paragraph.ends_with("\r\n"))
        return 2;
    if (paragraph.ends_with("\xc2\x85"))
        return 2;
    if (paragraph.ends_with("\xe2\x80\xa8") || paragraph.ends_with("\xe2\x80\xa9"))
        return 3;
    if (!paragraph.empty() && paragraph.back() >= '\n' && paragraph.back() <= '\r')
        return 1;
    return 0;
}

} // namespace

TextLayout::TextLayout(const FontView& font, Shaper& shaper, const LayoutSettings& settings)
    : _font{font}, _shaper{shaper}, _settings{settings} {}

std::size_t TextLayout::breakLines(std::string_view utf8, std::span<LineRecord> lines) {
    _text = utf8;
    _glyphs.clear();
    _breaks = lineBreaks(utf8);
    std::size_t lineCount = 0;
    for (std::size_t paragraphBegin = 0; lineCount != lines.size();) {
        /* A paragraph runs to the first mandatory break, the text's end ending the last */
        std::size_t paragraphEnd = paragraphBegin;
        while (paragraphEnd != utf8.size() && _breaks[paragraphEnd] != LineBreak::Mandatory)
            ++paragraphEnd;
        paragraphEnd = std::min(paragraphEnd + 1, utf8.size());
        const std::size_t contentEnd =
            paragraphEnd -
            lineBreakLength(utf8.substr(paragraphBegin, paragraphEnd - paragraphBegin));
        shapeParagraph(paragraphBegin, contentEnd);

        for (std::size_t start = 0; lineCount != lines.size();) {
            const LineFit fit = fitLine(start);
            LineRecord& line = lines[lineCount];
            line.textBegin = std::uint32_t(clusterOrEnd(start, contentEnd));
            line.textEnd = std::uint32_t(clusterOrEnd(fit.end, paragraphEnd));
            line.baseline = float(lineCount) * _settings.lineSpacing;
            line.width = fit.width;
            placeLine(line, start, fit);
            ++lineCount;
            start = fit.end;
            if (!fit.wrapped)
                break;
        }

        if (paragraphEnd == utf8.size()) {
            /* A line break ending the text starts one more, empty line */
            if (contentEnd != paragraphEnd && lineCount != lines.size()) {
                _shaped.clear();
                LineRecord& line = lines[lineCount];
                line.textBegin = line.textEnd = std::uint32_t(paragraphEnd);
                line.baseline = float(lineCount) * _settings.lineSpacing;
                line.width = 0.0f;
                placeLine(line, 0, {});
                ++lineCount;
            }
            break;
        }
        paragraphBegin = paragraphEnd;
    }
    _lines = lines.first(lineCount);
    _quadCount = 0;
    forEachQuad([&](const Quad&) { ++_quadCount; });
    return lineCount;
}

void TextLayout::shapeParagraph(std::size_t begin, std::size_t end) {
    _shaped = _shaper.shape(_text.substr(begin, end - begin));
    /* Lines take the characters in logical order */
    _rightToLeft = _shaper.rightToLeft();
    if (_rightToLeft)
        std::reverse(_shaped.begin(), _shaped.end());
    const std::uint32_t glyphCount = std::uint32_t(_font.glyphs().size());
    for (ShapedGlyph& glyph : _shaped) {
        glyph.cluster += std::uint32_t(begin);
        if (glyph.glyph >= glyphCount)
            glyph.glyph = 0;
    }
}

std::size_t TextLayout::clusterOrEnd(std::size_t glyph, std::size_t end) const {
    return glyph == _shaped.size() ? end : _shaped[glyph].cluster;
}

std::size_t TextLayout::clusterEnd(std::size_t glyph) const {
    const std::uint32_t cluster = _shaped[glyph].cluster;
    while (glyph != _shaped.size() && _shaped[glyph].cluster == cluster)
        ++glyph;
    return glyph;
}

TextLayout::LineFit TextLayout::fitLine(std::size_t start) const {
    const float tracking = _settings.tracking;
    LineFit fit{start, start, 0.0f, false};
    std::optional<LineFit> opportunity;
    float pen = 0.0f;
    for (std::size_t glyph = start; glyph != _shaped.size();) {
        const std::uint32_t cluster = _shaped[glyph].cluster;
        const std::size_t end = clusterEnd(glyph);
        float advance = tracking;
        for (std::size_t i = glyph; i != end; ++i)
            advance += _shaped[i].advance.x;
        const bool space = isSpace(decodeUtf8(_text, cluster).character);
        if (_settings.breakAtOpportunities && glyph != start &&
            _breaks[cluster - 1] == LineBreak::Allowed)
            opportunity = LineFit{glyph, fit.visibleEnd, fit.width, true};
        /* Spaces hang past the line's end; a cluster wider than a whole line gets one */
        if (!space && glyph != start && pen + advance - tracking > _settings.wrapWidth) {
            fit.end = glyph;
            fit.wrapped = true;
            return opportunity ? *opportunity : fit;
        }
        pen += advance;
        if (!space) {
            fit.width = pen - tracking;
            fit.visibleEnd = end;
        }
        glyph = end;
    }
    fit.end = _shaped.size();
    return fit;
}

bool TextLayout::isJustificationCharacter(std::uint32_t cluster) const {
    const char32_t c = decodeUtf8(_text, cluster).character;
    return c != 0 && std::find(_settings.justificationCharacters.begin(),
                               _settings.justificationCharacters.end(),
                               c) != _settings.justificationCharacters.end();
}

void TextLayout::placeLine(LineRecord& line, std::size_t start, const LineFit& fit) {
    /* The visible clusters in visual order; tracking and justification follow each cluster */
    const auto visual = [&](std::size_t i) {
        return _rightToLeft ? fit.visibleEnd - 1 - (i - start) : i;
    };
    line.justification = 0.0f;
    float width = line.width;
    if (_settings.justify && fit.wrapped && width < _settings.wrapWidth) {
        std::size_t stretchable = 0;
        for (std::size_t i = start; i != fit.visibleEnd; i = clusterEnd(i))
            stretchable += isJustificationCharacter(_shaped[i].cluster);
        if (stretchable) {
            line.justification = (_settings.wrapWidth - width) / float(stretchable);
            width = _settings.wrapWidth;
        }
    }
    line.x = _settings.alignment == Alignment::Left     ? 0.0f
             : _settings.alignment == Alignment::Center ? -0.5f * width
                                                        : -width;
    line.firstGlyph = std::uint32_t(_glyphs.size());
    line.glyphCount = std::uint32_t(fit.visibleEnd - start);
    float pen = line.x;
    for (std::size_t i = start; i != fit.visibleEnd; ++i) {
        const ShapedGlyph& glyph = _shaped[visual(i)];
        _glyphs.push_back({glyph.glyph, {pen + glyph.offset.x, line.baseline - glyph.offset.y}});
        pen += glyph.advance.x;
        const bool clusterEnds =
            i + 1 == fit.visibleEnd || _shaped[visual(i + 1)].cluster != glyph.cluster;
        if (clusterEnds)
            pen += _settings.tracking +
                   (isJustificationCharacter(glyph.cluster) ? line.justification : 0.0f);
    }
}

void TextLayout::moveDown(float offset) {
    for (LineRecord& line : _lines)
        line.baseline += offset;
    for (PlacedGlyph& glyph : _glyphs)
        glyph.origin.y += offset;
}

void TextLayout::forEachQuad(const auto& emit) const {
    const auto layer = [&](float outline) {
        for (const PlacedGlyph& placed : _glyphs) {
            /* A font without glyphs has no glyph 0 for those it lacks */
            if (placed.glyph >= _font.glyphs().size())
                continue;
            const GlyphRecord& glyph = _font.glyphs()[placed.glyph];
            if (glyph.curveCount == 0)
                continue;
            Quad quad{&glyph,
                      outline,
                      glyph.boundsMin - outline,
                      glyph.boundsMax + outline,
                      placed.origin,
                      false,
                      false};
            if (_settings.clip) {
                const float left = _settings.clipMin - placed.origin.x,
                            right = _settings.clipMax - placed.origin.x;
                quad.clippedLeft = quad.emMin.x < left;
                quad.clippedRight = quad.emMax.x > right;
                quad.emMin.x = std::max(quad.emMin.x, left);
                quad.emMax.x = std::min(quad.emMax.x, right);
                if (!(quad.emMin.x < quad.emMax.x))
                    continue;
            }
            emit(quad);
        }
    };
    if (_settings.effect == Effect::Outline)
        layer(OutlineWidth);
    layer(0.0f);
}

std::size_t TextLayout::vertexCount() const {
    return 4 * _quadCount;
}

std::size_t TextLayout::triangleCount() const {
    return 2 * _quadCount;
}

Range2D TextLayout::bounds() const {
    Vector2 min{INFINITY}, max{-INFINITY};
    forEachQuad([&](const Quad& quad) {
        for (const Vector2& em : {quad.emMin, quad.emMax}) {
            const Vector2 position = layoutPosition(quad, em) * _settings.scale;
            min = glm::min(min, position);
            max = glm::max(max, position);
        }
    });
    if (min.x > max.x)
        return {};
    return {min, max};
}

TextLayout::Written TextLayout::writeGeometry(std::span<TextVertex> vertices,
                                              std::span<std::uint16_t> indices) const {
    /* Counter-clockwise in scene space, which mirroring one axis turns around */
    const bool mirrored = (_settings.scale.x < 0.0f) != (_settings.scale.y < 0.0f);
    const std::uint16_t order[2][6]{{0, 1, 2, 0, 2, 3}, {0, 2, 1, 0, 3, 2}};
    const Vector2 sign = glm::sign(_settings.scale);
    const Vector2 emPerUnit{1.0f / _settings.scale.x, -1.0f / _settings.scale.y};
    const Vector4ub color = unpackColor(_settings.color), outlineColor = unpackColor(OutlineColor);

    Written written{0, 0};
    forEachQuad([&](const Quad& quad) {
        const std::size_t base = written.vertices;
        if (base + 4 > vertices.size() || 3 * (written.triangles + 2) > indices.size() ||
            base + 3 > 0xffff)
            return;
        const GlyphRecord& glyph = *quad.glyph;
        const Vector4 bandBounds{glyph.boundsMin, glyph.boundsMax};
        const Vector4 bands{float(glyph.firstBand), float(glyph.horizontalBandCount),
                            float(glyph.verticalBandCount), quad.outline};
        /* Corners counter-clockwise in em space; clipped sides aren't dilated past the clip */
        const Vector2 corners[4]{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const Vector2& corner : corners) {
            const Vector2 em = glm::mix(quad.emMin, quad.emMax, corner);
            Vector2 outward = 2.0f * corner - 1.0f;
            if ((corner.x == 0.0f && quad.clippedLeft) || (corner.x == 1.0f && quad.clippedRight))
                outward.x = 0.0f;
            /* Em y up is layout y down */
            outward.y = -outward.y;
            vertices[written.vertices++] = {layoutPosition(quad, em) * _settings.scale,
                                            em,
                                            bandBounds,
                                            bands,
                                            Vector4{outward * sign, emPerUnit},
                                            quad.outline != 0.0f ? outlineColor : color};
        }
        /* Em space to scene space mirrors y once more unless the scale does */
        for (std::size_t i = 0; i != 6; ++i)
            indices[3 * written.triangles + i] = std::uint16_t(base + order[!mirrored][i]);
        written.triangles += 2;
    });
    return written;
}

Vector2 TextLayout::layoutPosition(const Quad& quad, Vector2 em) {
    return {quad.origin.x + em.x, quad.origin.y - em.y};
}

} // namespace ZarvikEngine::Text
