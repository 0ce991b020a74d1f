#include "ZarvikEngine/Data/TextManager.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Text/Font.h"
#include "ZarvikEngine/Text/Layout.h"
#include "ZarvikEngine/Text/Shaper.h"
#include "ZarvikEngine/Tools/MeshFormat.h"
#include "ZarvikEngine/Utils/MemoryPartition.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(TextManager::Header) == 8, "the header is an exchange format");
static_assert(sizeof(TextEffect) == 1 && sizeof(TextWrapMode) == 1, "settings are stored as bytes");

namespace {

/* Indexed by TextHorizontalAlignment and TextEffect */
constexpr Text::Alignment ToSlugAlignment[]{Text::Alignment::Left, Text::Alignment::Center,
                                            Text::Alignment::Right};
constexpr Text::Effect ToSlugEffect[]{Text::Effect::None, Text::Effect::Outline};

/* 16-bit indices reach this many vertices, four per glyph quad */
constexpr std::size_t MaxVertexCount = 65536;
constexpr std::size_t MaxTriangleCount = MaxVertexCount / 2;

/* "Type::Name", or "Type(value)" past the names */
template<class T, std::size_t N>
Debug& printNamed(Debug& debug, std::string_view type, const char* const (&names)[N], T value) {
    const auto i = std::size_t(value);
    return printEnum(debug, type, i < N ? names[i] : "", int(value));
}

/* The constructor takes 32-bit counts that the block stores in 16 bits */
unsigned short narrowed(std::uint32_t count, const char* what) {
    ZE_ASSERT(count <= SparseArray::MaxCapacity,
              "TextManager::TextManager():" << what << count << "is above"
                                            << SparseArray::MaxCapacity);
    return static_cast<unsigned short>(count);
}

} // namespace

Debug& operator<<(Debug& debug, TextHorizontalAlignment value) {
    constexpr const char* Names[]{"Left", "Center", "Right"};
    return printNamed(debug, "TextHorizontalAlignment", Names, value);
}

Debug& operator<<(Debug& debug, TextVerticalAlignment value) {
    constexpr const char* Names[]{"Baseline", "Middle", "Top", "Bottom"};
    return printNamed(debug, "TextVerticalAlignment", Names, value);
}

Debug& operator<<(Debug& debug, TextWrapMode value) {
    constexpr const char* Names[]{"None", "Soft", "Hard", "Clip"};
    return printNamed(debug, "TextWrapMode", Names, value);
}

Debug& operator<<(Debug& debug, TextEffect value) {
    constexpr const char* Names[]{"None", "Outline"};
    return printNamed(debug, "TextEffect", Names, value);
}

TextManager::TextManager(std::uint32_t capacity, std::uint32_t groupCount,
                         std::uint32_t textCapacity)
    : GroupedComponentManager{sizeof(Header), narrowed(groupCount, "group count")} {
    const unsigned short slots = narrowed(capacity, "capacity");
    /* allocate() adds the zero byte of each slot's text */
    mutableTextHeader().textCapacity = textCapacity;
    allocate(slots);
}

TextManager::TextManager(std::vector<char>&& block) : GroupedComponentManager{sizeof(Header)} {
    create(std::move(block));
    _dirty.setAll();
}

std::size_t TextManager::regionsSize(unsigned short capacity, unsigned short groupCount,
                                     std::uint64_t textCapacity) {
    /* Three floats, two 16-bit columns and three bytes: 19 bytes per slot */
    return groupsDataSize(groupCount, capacity) + 19 * std::size_t(capacity) +
           std::size_t(textCapacity);
}

std::size_t TextManager::componentDataSize(unsigned short capacity) const {
    return regionsSize(capacity, groupsCount(), textHeader().textCapacity);
}

std::optional<std::string> TextManager::validate(std::span<const char> data) {
    const auto textCapacityOf = [](std::span<const char> data) {
        return Validation::read<Header>(data.data() + extraHeaderOffset()).textCapacity;
    };
    std::optional<std::string> problem = validateHeader(data, extraHeaderOffset() + sizeof(Header));
    if (!problem) {
        /* Compared with the block before any sum can wrap */
        const std::uint64_t textCapacity = textCapacityOf(data);
        const unsigned short capacity = capacityOf(data);
        if (textCapacity > data.size())
            problem = fmt::format("{} bytes of text storage don't fit a block of {}", textCapacity,
                                  data.size());
        /* Adoption indexes the texts, so they are checked first */
        else if (!(problem = validateSize(
                       data, ownersSize(capacity) +
                                 regionsSize(capacity, groupsCountOf(data), textCapacity))))
            problem = Validation::checkStrings(data.last(std::size_t(textCapacity)), capacity);
    }
    if (problem)
        return prefixed("TextManager", std::move(problem));
    return validateBlock(
        "TextManager", data, sizeof(GroupsHeader) + sizeof(Header),
        [&](std::span<const char> data, unsigned short capacity) {
            return regionsSize(capacity, groupsCountOf(data), textCapacityOf(data));
        },
        TextManager{0, 1, 0});
}

std::optional<std::string> TextManager::validateRegions() const {
    if (auto problem = GroupedComponentManager::validateRegions())
        return problem;
    /* Components couldn't be activated */
    if (!groupsCount())
        return "no component groups";
    /* Free slots too: a slot keeps its settings until a new component takes it */
    for (std::size_t index = 0; index != capacity(); ++index) {
        const auto i = static_cast<unsigned short>(index);
        if (std::size_t(horizontalAlignment(i)) >= std::size(ToSlugAlignment))
            return fmt::format("component index {} has horizontal alignment {}", index,
                               int(horizontalAlignment(i)));
        if (verticalAlignment(i) > TextVerticalAlignment::Bottom)
            return fmt::format("component index {} has vertical alignment {}", index,
                               int(verticalAlignment(i)));
        if (std::size_t(effect(i)) >= std::size(ToSlugEffect))
            return fmt::format("component index {} has effect {}", index, int(effect(i)));
    }
    return {};
}

void TextManager::allocate(unsigned short capacity) {
    /* Room for the new slots' empty texts */
    if (capacity > this->capacity())
        mutableTextHeader().textCapacity += capacity - this->capacity();
    relayout(capacity, groupsCount());
}

void TextManager::allocate(unsigned short capacity, unsigned short groupCount,
                           std::uint64_t textCapacity) {
    const std::uint64_t oldCapacity = textHeader().textCapacity;
    ZE_ASSERT(textCapacity >= oldCapacity, "TextManager::allocate(): Cannot shrink the text "
                                           "storage from"
                                               << oldCapacity << "to" << textCapacity << "bytes");
    const std::size_t added = capacity > this->capacity() ? capacity - this->capacity() : 0;
    const std::size_t needed = _texts.usedCapacity() + added;
    ZE_ASSERT(textCapacity >= needed, "TextManager::allocate():" << textCapacity
                                                                 << "bytes of text storage can't "
                                                                    "hold the"
                                                                 << needed << "bytes of" << capacity
                                                                 << "texts");
    mutableTextHeader().textCapacity = textCapacity;
    relayout(capacity, groupCount);
}

void TextManager::relayout(unsigned short capacity, unsigned short groupCount) {
    _relayingOut = true;
    GroupedComponentManager::allocate(capacity, groupCount);
    _relayingOut = false;
    _texts.setSize(this->capacity());
}

void TextManager::doInit() {
    GroupedComponentManager::doInit();
    const std::size_t n = capacity();
    partition().reserveRegions(9);
    _characterSpacings = partition().addAlignedRegion<float>(block(), n);
    _lineSpacings = partition().addAlignedRegion<float>(block(), n);
    _wrapWidths = partition().addAlignedRegion<float>(block(), n);
    _materials = partition().addRegion<std::uint16_t>(block(), n);
    _fonts = partition().addRegion<std::uint16_t>(block(), n);
    _effects = partition().addRegion<TextEffect>(block(), n);
    _wrapModes = partition().addRegion<TextWrapMode>(block(), n);
    _alignments = partition().addRegion<std::uint8_t>(block(), n);
    _textStorage = partition().addFinalRegion(block());

    /* While growing, the bytes are moved into the new layout only after this; the texts are
       read from them only for a block handed in */
    if (_relayingOut)
        _texts.setData(_textStorage);
    else
        _texts = MutableStringArrayView{_textStorage, n};

    /* Growth keeps what the runtime arrays hold; new transformations are identities */
    _transformations.resize(n);
    _scalings.resize(n);
    if (_dirty.size() < n)
        _dirty.resize(n);
}

void TextManager::doConstruct(unsigned short first, unsigned short end) {
    std::fill(_lineSpacings.begin() + first, _lineSpacings.begin() + end, DefaultLineSpacing);
}

void TextManager::setText(Id id, std::string_view text) {
    ZE_ASSERT(text.find('\0') == std::string_view::npos,
              "TextManager::setText(): A text can't contain a zero byte");
    const std::size_t i = std::size_t(id);
    if (this->text(id) == text)
        return;
    if (!_texts.set(i, text)) {
        /* Growing moves the block, which text may point into */
        const std::string copy{text};
        mutableTextHeader().textCapacity = copy.size() + _texts.usedCapacity();
        relayout(capacity(), groupsCount());
        const bool set = _texts.set(i, copy);
        ZE_INTERNAL_ASSERT(set);
    }
    _dirty.set(toIndex(id));
}

template<class T>
void TextManager::store(T& stored, T value, unsigned short index) {
    if (stored == value)
        return;
    stored = value;
    _dirty.set(index);
}

void TextManager::setFont(unsigned short index, std::uint16_t font) {
    store(_fonts[index], font, index);
}

void TextManager::setCharacterSpacing(unsigned short index, float spacing) {
    store(_characterSpacings[index], spacing, index);
}

void TextManager::setLineSpacing(unsigned short index, float spacing) {
    store(_lineSpacings[index], spacing, index);
}

void TextManager::setWrapWidth(unsigned short index, float width) {
    store(_wrapWidths[index], width, index);
}

void TextManager::setWrapMode(unsigned short index, TextWrapMode mode) {
    store(_wrapModes[index], mode, index);
}

void TextManager::setEffect(unsigned short index, TextEffect effect) {
    store(_effects[index], effect, index);
}

void TextManager::setAlignmentBits(unsigned short index, std::uint8_t mask, std::uint8_t bits) {
    store(_alignments[index], std::uint8_t((_alignments[index] & ~mask) | (bits & mask)), index);
}

void TextManager::setHorizontalAlignment(unsigned short index, TextHorizontalAlignment alignment) {
    setAlignmentBits(index, HorizontalMask, std::uint8_t(alignment));
}

void TextManager::setVerticalAlignment(unsigned short index, TextVerticalAlignment alignment) {
    setAlignmentBits(index, VerticalMask, std::uint8_t(unsigned(alignment) << VerticalShift));
}

void TextManager::setJustified(unsigned short index, bool justified) {
    setAlignmentBits(index, JustifiedBit, justified ? JustifiedBit : 0);
}

Matrix4 TextManager::absoluteTransformationAsMatrix(unsigned short index) const {
    return scaledMatrix(_transformations[index], _scalings[index].scaling);
}

template<class F>
void TextManager::forEachColumn(const TextManager& other, F&& f) {
    f(_characterSpacings, other._characterSpacings);
    f(_lineSpacings, other._lineSpacings);
    f(_wrapWidths, other._wrapWidths);
    f(_materials, other._materials);
    f(_fonts, other._fonts);
    f(_effects, other._effects);
    f(_wrapModes, other._wrapModes);
    f(_alignments, other._alignments);
    f(std::span{_transformations}, std::span{other._transformations});
    f(std::span{_scalings}, std::span{other._scalings});
}

void TextManager::copy(unsigned short source, unsigned short destination) {
    forEachColumn(*this, [&](auto column, auto) { column[destination] = column[source]; });
    _dirty.set(destination, _dirty[source]);
    /* Setting the text may move the source's bytes, or the whole block */
    setText(toId(destination), std::string{text(source)});
    /* Last, as it may move an active destination */
    GroupedComponentManager::copy(source, destination);
}

void TextManager::updateComponent(unsigned short index) {
    ZE_ASSERT(sceneGraph(), "TextManager::update(): Manager is not registered in a scene graph");
    const SceneGraph& graph = *sceneGraph();
    const unsigned short object = graph.toIndex(this->object(index));
    _transformations[index] = graph.absoluteTransformation(object);
    _scalings[index].scaling = graph.absoluteScaling(object);
}

void TextManager::postUpdate() {
    for (unsigned short index = 0; index != activeCount(); ++index)
        _scalings[index].material = float(_materials[index]);
}

unsigned short TextManager::doActivate(unsigned short index) {
    const unsigned short placed = GroupedComponentManager::doActivate(index);
    _dirty.set(placed);
    return placed;
}

void TextManager::doDelete(unsigned short index) {
    GroupedComponentManager::doDelete(index);
    /* The slot's next component starts as a new one, with an empty text under its Id */
    forEachColumn(*this, [&](auto column, auto) { column[index] = {}; });
    _lineSpacings[index] = DefaultLineSpacing;
    _dirty.unset(index);
    _texts.set(std::size_t(toId(index)), {});
}

void TextManager::doAppend(const SparseArray& other) {
    GroupedComponentManager::doAppend(other);
    /* Managers are matched by name, so the other one is a text manager too */
    const auto& texts = static_cast<const TextManager&>(other);
    const unsigned short begin = size();
    forEachColumn(texts, [&](auto column, auto source) {
        std::copy_n(source.begin(), texts.size(), column.begin() + begin);
    });
    /* May grow the block, which the columns above are then moved with */
    for (unsigned short i = 0; i != texts.size(); ++i)
        setText(toId(begin + i), texts.text(i));
}

void TextManager::doSwap(unsigned short a, unsigned short b) {
    GroupedComponentManager::doSwap(a, b);
    forEachColumn(*this, [&](auto column, auto) { std::swap(column[a], column[b]); });
    _dirty.swap(a, b);
}

void TextManager::doMove(unsigned short from, unsigned short to) {
    forEachColumn(*this, [&](auto column, auto) { Utils::moveDataRange(column, from, 1, to); });
    moveBit(_dirty, from, to);
}

std::size_t TextManager::lineBufferSize(std::string_view text, TextWrapMode mode) {
    std::size_t breaks;
    switch (mode) {
    case TextWrapMode::Soft:
        breaks = text.size();
        break;
    case TextWrapMode::Hard:
        breaks = text.size() - std::size_t(std::ranges::count(text, ' '));
        break;
    default:
        breaks = std::size_t(std::ranges::count(text, '\n'));
    }
    return 1 + breaks;
}

Trade::MeshData TextManager::meshData(unsigned short index, const Text::FontHeader* font) const {
    return buildMesh(index, font, text(index), true).first;
}

Range2D TextManager::boundingBox(unsigned short index, const Text::FontHeader* font,
                                 std::string_view text) const {
    return buildMesh(index, font, text, false).second;
}

std::pair<Trade::MeshData, Range2D> TextManager::buildMesh(unsigned short index,
                                                           const Text::FontHeader* font,
                                                           std::string_view text,
                                                           bool withGeometry) const {
    const Text::FontHeader* const header = font;
    ZE_INTERNAL_ASSERT(header);
    const Text::FontView fontView{{reinterpret_cast<const char*>(header), Text::fontSize(*header)}};
    Text::Shaper shaper{fontView};

    /* The font's em becomes EmHeight scene units, y mirrored to point up */
    Text::LayoutSettings settings;
    settings.scale = {EmHeight, -EmHeight};
    settings.color = 0xffffffffu;
    settings.tracking = characterSpacing(index);
    settings.lineSpacing = lineSpacing(index);

    const float width = wrapWidth(index) / EmHeight;
    const TextWrapMode mode = wrapMode(index);
    if (mode == TextWrapMode::Clip) {
        settings.clip = true;
        settings.clipMin = -width;
        settings.clipMax = width;
    }
    if (mode == TextWrapMode::Soft || mode == TextWrapMode::Hard) {
        settings.wrapWidth = width;
        settings.breakAtOpportunities = mode == TextWrapMode::Soft;
    } else
        settings.wrapWidth = std::numeric_limits<float>::infinity();

    if (!(std::size_t(horizontalAlignment(index)) < std::size(ToSlugAlignment)))
        Implementation::assertionFailed(
            "size_t(horizontalAlignment(index)) < Containers::arraySize(ToSlugAlignment)", __FILE__,
            __LINE__);
    settings.alignment = ToSlugAlignment[std::size_t(horizontalAlignment(index))];
    if (horizontalAlignment(index) == TextHorizontalAlignment::Center) {
        settings.clipMin *= 0.5f;
        settings.clipMax *= 0.5f;
    }

    if (justified(index)) {
        settings.justify = true;
        settings.justificationCharacters = {U' ', 0};
    }

    if (!(std::size_t(effect(index)) < std::size(ToSlugEffect)))
        Implementation::assertionFailed(
            "size_t(effect(index)) < Containers::arraySize(ToSlugEffect)", __FILE__, __LINE__);
    settings.effect = ToSlugEffect[std::size_t(effect(index))];

    std::vector<Text::LineRecord> lines(lineBufferSize(text, mode));
    Text::TextLayout layout{fontView, shaper, settings};
    const std::size_t lineCount = layout.breakLines(text, lines);

    /* Offsets in em, down positive as in layout space */
    const float lineStep = lineSpacing(index);
    const float fontHeight = header->height() > 0.0f ? header->height() : 1.0f;
    const float lastBaseline = float(lineCount > 1 ? lineCount - 1 : 0) * lineStep;
    switch (verticalAlignment(index)) {
    case TextVerticalAlignment::Baseline:
        break;
    case TextVerticalAlignment::Middle:
        layout.moveDown(-(lastBaseline - fontHeight) / 2.0f);
        break;
    case TextVerticalAlignment::Top:
        layout.moveDown(fontHeight);
        break;
    case TextVerticalAlignment::Bottom:
        layout.moveDown(-lastBaseline);
        break;
    default:
        ZE_INTERNAL_ASSERT_UNREACHABLE();
    }

    const Range2D bounds = layout.bounds();
    if (!withGeometry)
        return {Trade::MeshData{MeshPrimitive::Triangles, Trade::DataStorage{}, {}, 0}, bounds};

    const std::size_t vertexCount = layout.vertexCount();
    const std::size_t triangleCount = layout.triangleCount();
    if (vertexCount > MaxVertexCount)
        Warning{} << "TextManager::meshData(): A text of" << vertexCount / 4
                  << "glyph quads is cut short to the" << MaxVertexCount / 4
                  << "that 16-bit indices reach";
    const std::size_t vertexRoom = std::min(vertexCount, MaxVertexCount);
    const std::size_t triangleRoom = std::min(triangleCount, MaxTriangleCount);
    std::vector<char> vertexData(vertexRoom * sizeof(Text::TextVertex));
    std::vector<char> indexData(triangleRoom * 3 * sizeof(std::uint16_t));
    Text::TextLayout::Written written{0, 0};
    if (vertexCount >= 1 && triangleCount >= 1)
        written = layout.writeGeometry(
            {reinterpret_cast<Text::TextVertex*>(vertexData.data()), vertexRoom},
            {reinterpret_cast<std::uint16_t*>(indexData.data()), 3 * triangleRoom});
    vertexData.resize(written.vertices * sizeof(Text::TextVertex));
    indexData.resize(written.triangles * 3 * sizeof(std::uint16_t));

    const auto vertices = std::uint32_t(written.vertices);
    Trade::MeshData mesh{
        MeshPrimitive::Triangles,
        std::move(indexData),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 0, std::uint32_t(3 * written.triangles)},
        std::move(vertexData),
        getLayout(MeshDataFlag::Slug, vertices),
        vertices};
    return {std::move(mesh), bounds};
}

} // namespace ZarvikEngine::Data
