#include "ZarvikEngine/Text/Font.h"

#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "ZarvikEngine/Utils/Align.h"

namespace ZarvikEngine::Text {

namespace {

struct SectionSizes {
    std::uint64_t glyphs, curves, bands, bandCurves, fontFile;

    explicit SectionSizes(const FontHeader& header)
        : glyphs{std::uint64_t(header.glyphCount) * sizeof(GlyphRecord)},
          curves{std::uint64_t(header.curveCount) * sizeof(Curve)}, bands{std::uint64_t(
                                                                              header.bandCount) *
                                                                          sizeof(Band)},
          bandCurves{std::uint64_t(header.bandCurveCount) * sizeof(std::uint32_t)},
          fontFile{Utils::fourByteAlign(header.fontFileSize)} {}

    std::uint64_t total() const {
        return sizeof(FontHeader) + glyphs + curves + bands + bandCurves + fontFile;
    }
};

template<class T>
std::span<const T> section(const char*& at, std::uint32_t count) {
    const std::span<const T> out{reinterpret_cast<const T*>(at), count};
    at += out.size_bytes();
    return out;
}

/* Reads outside bytes, which needn't be aligned */
template<class T>
T read(const char* data, std::uint64_t index = 0) {
    T value;
    std::memcpy(static_cast<void*>(&value), data + index * sizeof(T), sizeof(T));
    return value;
}

/* Outlines lie within a few em; values far beyond are corrupt and would overflow the
   renderer's arithmetic (squares of coordinates in pixels) into infinities and NaNs */
constexpr float MaxCoordinate = 65536.0f;

bool withinReach(float value) {
    return std::abs(value) <= MaxCoordinate;
}

bool withinReach(Vector2 v) {
    return withinReach(v.x) && withinReach(v.y);
}

std::optional<std::string> checkHeader(const FontHeader& header, std::uint64_t size) {
    if (std::memcmp(header.magic, FontMagic, sizeof(FontMagic)) != 0)
        return "not a compiled font";
    if (header.version != FontVersion)
        return fmt::format("compiled font version {}, expected {}", header.version, FontVersion);
    for (std::size_t i = 0; i != std::size(header.metrics); ++i) {
        const FontMetric& metric = header.metrics[i];
        if (std::memcmp(metric.tag, FontMetricTags[i], 4) != 0)
            return fmt::format("metric {} is not {}", i, std::string_view{FontMetricTags[i], 4});
        if (!withinReach(metric.value))
            return fmt::format("metric {} is not within ±{}",
                               std::string_view{FontMetricTags[i], 4}, MaxCoordinate);
    }
    if (!(header.unitsPerEm() > 0.0f))
        return "units per em not above 0";
    const std::uint64_t expected = SectionSizes{header}.total();
    if (expected != size)
        return fmt::format("compiled font of {} bytes, its counts make {}", size, expected);
    return {};
}

std::optional<std::string> checkGlyph(const GlyphRecord& glyph, std::uint32_t index,
                                      const FontHeader& header, const char* bands,
                                      const char* bandCurves) {
    if (!withinReach(glyph.advance) || !withinReach(glyph.boundsMin) ||
        !withinReach(glyph.boundsMax) || !(glyph.boundsMin.x <= glyph.boundsMax.x) ||
        !(glyph.boundsMin.y <= glyph.boundsMax.y))
        return fmt::format("glyph {} has bounds or an advance out of order", index);
    if (std::uint64_t(glyph.firstCurve) + glyph.curveCount > header.curveCount)
        return fmt::format("glyph {} has curves {} to {} of {}", index, glyph.firstCurve,
                           std::uint64_t(glyph.firstCurve) + glyph.curveCount, header.curveCount);
    const std::uint64_t bandCount =
        std::uint64_t(glyph.horizontalBandCount) + glyph.verticalBandCount;
    if (std::uint64_t(glyph.firstBand) + bandCount > header.bandCount)
        return fmt::format("glyph {} has bands {} to {} of {}", index, glyph.firstBand,
                           glyph.firstBand + bandCount, header.bandCount);
    /* A renderer divides the glyph into its bands */
    if (glyph.curveCount && (!glyph.horizontalBandCount || !glyph.verticalBandCount))
        return fmt::format("glyph {} has curves but no bands on one axis", index);
    for (std::uint64_t b = glyph.firstBand; b != glyph.firstBand + bandCount; ++b) {
        const Band band = read<Band>(bands, b);
        if (std::uint64_t(band.firstCurveIndex) + band.curveCount > header.bandCurveCount)
            return fmt::format(
                "band {} of glyph {} lists curves {} to {} of {}", b, index, band.firstCurveIndex,
                std::uint64_t(band.firstCurveIndex) + band.curveCount, header.bandCurveCount);
        for (std::uint64_t i = band.firstCurveIndex; i != band.firstCurveIndex + band.curveCount;
             ++i) {
            const std::uint32_t curve = read<std::uint32_t>(bandCurves, i);
            if (curve - std::uint64_t(glyph.firstCurve) >= glyph.curveCount)
                return fmt::format("band {} of glyph {} lists curve {}, not one of the glyph's", b,
                                   index, curve);
        }
    }
    return {};
}

} // namespace

std::size_t fontSize(const FontHeader& header) {
    return std::size_t(SectionSizes{header}.total());
}

FontView::FontView(std::span<const char> data) : _data{data.data()} {
    const FontHeader& h = header();
    const char* at = _data + sizeof(FontHeader);
    _glyphs = section<GlyphRecord>(at, h.glyphCount);
    _curves = section<Curve>(at, h.curveCount);
    _bands = section<Band>(at, h.bandCount);
    _bandCurves = section<std::uint32_t>(at, h.bandCurveCount);
    _fontFile = section<char>(at, h.fontFileSize);
}

std::span<const Band> FontView::glyphBands(const GlyphRecord& glyph, BandAxis axis) const {
    return axis == BandAxis::Horizontal
               ? _bands.subspan(glyph.firstBand, glyph.horizontalBandCount)
               : _bands.subspan(glyph.firstBand + glyph.horizontalBandCount,
                                glyph.verticalBandCount);
}

std::vector<char> writeFont(const FontSections& sections) {
    FontHeader header{};
    std::memcpy(header.magic, FontMagic, sizeof(FontMagic));
    header.version = FontVersion;
    for (std::size_t i = 0; i != std::size(header.metrics); ++i) {
        std::memcpy(header.metrics[i].tag, FontMetricTags[i], 4);
        header.metrics[i].value = sections.metrics[i];
    }
    header.glyphCount = std::uint32_t(sections.glyphs.size());
    header.curveCount = std::uint32_t(sections.curves.size());
    header.bandCount = std::uint32_t(sections.bands.size());
    header.bandCurveCount = std::uint32_t(sections.bandCurves.size());
    header.fontFileSize = std::uint32_t(sections.fontFile.size());

    std::vector<char> out(SectionSizes{header}.total());
    char* at = out.data();
    const auto put = [&at](const void* data, std::size_t size) {
        if (size)
            std::memcpy(at, data, size);
        at += size;
    };
    put(&header, sizeof(header));
    put(sections.glyphs.data(), sections.glyphs.size() * sizeof(GlyphRecord));
    put(sections.curves.data(), sections.curves.size() * sizeof(Curve));
    put(sections.bands.data(), sections.bands.size() * sizeof(Band));
    put(sections.bandCurves.data(), sections.bandCurves.size() * sizeof(std::uint32_t));
    put(sections.fontFile.data(), sections.fontFile.size());
    return out;
}

std::optional<std::string> validateFont(std::span<const char> data) {
    if (data.size() < sizeof(FontHeader))
        return fmt::format("compiled font of {} bytes is smaller than its header of {} bytes",
                           data.size(), sizeof(FontHeader));
    const FontHeader header = read<FontHeader>(data.data());
    if (auto problem = checkHeader(header, data.size()))
        return problem;

    const SectionSizes sizes{header};
    const char* glyphs = data.data() + sizeof(FontHeader);
    const char* curves = glyphs + sizes.glyphs;
    const char* bands = curves + sizes.curves;
    const char* bandCurves = bands + sizes.bands;
    for (std::uint64_t i = 0; i != header.curveCount; ++i) {
        const Curve curve = read<Curve>(curves, i);
        if (!withinReach(curve.p0) || !withinReach(curve.p1) || !withinReach(curve.p2))
            return fmt::format("curve {} is not within ±{} em", i, MaxCoordinate);
    }
    for (std::uint32_t i = 0; i != header.glyphCount; ++i) {
        if (auto problem = checkGlyph(read<GlyphRecord>(glyphs, i), i, header, bands, bandCurves))
            return problem;
    }
    return {};
}

} // namespace ZarvikEngine::Text
