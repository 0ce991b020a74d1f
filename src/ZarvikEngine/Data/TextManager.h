#ifndef ZarvikEngine_Data_TextManager_h
#define ZarvikEngine_Data_TextManager_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZarvikEngine/BitSet.h"
#include "ZarvikEngine/Data/GroupedComponentManager.h"
#include "ZarvikEngine/Data/MeshManager.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine::Text {
struct FontHeader;
}

namespace ZarvikEngine::Data {

/* Where the lines of a text lie relative to its object's origin */
enum class TextHorizontalAlignment : std::uint8_t {
    Left = 0,
    Center = 1,
    Right = 2,
};

/* Which part of the block of lines sits at its object's origin */
enum class TextVerticalAlignment : std::uint8_t {
    /* The first line's baseline */
    Baseline = 0,
    /* Halfway between the first line's top and the last line's baseline */
    Middle = 1,
    /* The first line's top */
    Top = 2,
    /* The last line's baseline */
    Bottom = 3,
};

/* How lines longer than the wrap width are treated */
enum class TextWrapMode : std::uint8_t {
    /* Lines break at line feeds only */
    None = 0,
    /* Lines break at word boundaries, words longer than a line between characters */
    Soft = 1,
    /* Lines break between any two characters */
    Hard = 2,
    /* Lines break at line feeds only; glyphs beyond ±wrap width are cut off */
    Clip = 3,
};

/* What is drawn besides the glyphs */
enum class TextEffect : std::uint8_t {
    None = 0,
    /* A dark outline behind each glyph */
    Outline = 1,
};

/* Prints "TextHorizontalAlignment::Left" and the like */
Debug& operator<<(Debug& debug, TextHorizontalAlignment value);
/* Prints "TextVerticalAlignment::Baseline" and the like */
Debug& operator<<(Debug& debug, TextVerticalAlignment value);
/* Prints "TextWrapMode::None" and the like */
Debug& operator<<(Debug& debug, TextWrapMode value);
/* Prints "TextEffect::None" and the like */
Debug& operator<<(Debug& debug, TextEffect value);

/* The text components of a scene: each component's string and its typographic settings,
   turned into a triangle mesh in the text vertex layout (MeshDataFlag::Slug) on request.
   Components are kept sorted into groups; every update copies the world transformation and
   scaling of each active component's object into per-component arrays in the same order.
   Changing a setting or the text, and activating a component, sets its dirty bit; the host
   rebuilds the meshes of dirty components and clears the bits.

   Block: as GroupedComponentManager<1>, with Header after the groups header, then the
   character spacings, line spacings and wrap widths (floats), the materials and fonts (16-bit),
   the effects, wrap modes and alignments (one byte each) and, to the end, the text storage:
   Header::textCapacity bytes holding one zero-terminated string per Id, packed. Texts are
   keyed by Id, so reordering components never moves them. */
class TextManager : public GroupedComponentManager<1> {
public:
    /* 8 bytes at offset 24 */
    struct Header {
        /* Bytes of the text storage */
        std::uint64_t textCapacity;
    };

    /* Scene units per em */
    static constexpr float EmHeight = 0.1f;
    /* Line spacing of a new component, in em */
    static constexpr float DefaultLineSpacing = 1.2f;
    /* The manager's name() */
    static constexpr std::string_view Name = "text";

    /* capacity slots in groupCount groups (at least one) and textCapacity bytes of text
       storage beyond a zero byte per slot */
    TextManager(std::uint32_t capacity, std::uint32_t groupCount, std::uint32_t textCapacity);
    /* Adopts a block laid out as data() gives it, every component dirty; one from outside the
       process goes through validate() first */
    explicit TextManager(std::vector<char>&& block);

    /* Checks a block from outside the process before it is adopted: sizes, Id maps, groups,
       a text per slot in the text storage, and alignments and effects that meshes can be
       built with. Returns the first problem, or nothing. */
    static std::optional<std::string> validate(std::span<const char> data);

    /* One more byte of text storage per added slot */
    void allocate(unsigned short capacity) override;
    /* Exactly textCapacity bytes of text storage, which can't shrink */
    void allocate(unsigned short capacity, unsigned short groupCount, std::uint64_t textCapacity);

    std::string_view name() const override { return Name; }
    std::size_t componentDataSize(unsigned short capacity) const override;
    /* Everything, the dirty bit and the text included; an active destination moves into the
       source's group */
    void copy(unsigned short source, unsigned short destination) override;
    /* Copies the world transformation and scaling of the component's object */
    void updateComponent(unsigned short index) override;
    /* Updates the component with this Id */
    using ComponentManager::updateComponent;

    /* The manager's own header fields */
    const Header& textHeader() const { return extraHeader<Header>(); }

    /* The text of the component, which stays with its Id */
    std::string_view text(unsigned short index) const { return text(toId(index)); }
    /* The text of the component with this Id */
    std::string_view text(Id id) const { return _texts.get(std::size_t(id)); }
    /* Bytes of the text, without its zero byte */
    std::size_t textSize(unsigned short index) const { return text(index).size(); }
    /* Bytes of the text of the component with this Id */
    std::size_t textSize(Id id) const { return text(id).size(); }
    /* Grows the text storage when the text doesn't fit. A text can't hold a zero byte. */
    void setText(unsigned short index, std::string_view text) { setText(toId(index), text); }
    /* Sets the text of the component with this Id */
    void setText(Id id, std::string_view text);

    /* Index of the font the text is laid out with */
    std::uint16_t font(unsigned short index) const { return _fonts[index]; }
    /* Font of the component with this Id */
    std::uint16_t font(Id id) const { return font(toIndex(id)); }
    /* Sets the font; a change marks the component dirty, as every setter does */
    void setFont(unsigned short index, std::uint16_t font);
    /* Sets the font of the component with this Id */
    void setFont(Id id, std::uint16_t font) { setFont(toIndex(id), font); }
    /* Index of the material the text is drawn with; changes need no new mesh */
    std::uint16_t& material(unsigned short index) { return _materials[index]; }
    /* Material of the component with this Id */
    std::uint16_t& material(Id id) { return material(toIndex(id)); }
    /* Added to every glyph's advance, in em */
    float characterSpacing(unsigned short index) const { return _characterSpacings[index]; }
    /* Character spacing of the component with this Id */
    float characterSpacing(Id id) const { return characterSpacing(toIndex(id)); }
    /* Sets the character spacing */
    void setCharacterSpacing(unsigned short index, float spacing);
    /* Sets the character spacing of the component with this Id */
    void setCharacterSpacing(Id id, float spacing) { setCharacterSpacing(toIndex(id), spacing); }
    /* Distance between baselines, in em */
    float lineSpacing(unsigned short index) const { return _lineSpacings[index]; }
    /* Line spacing of the component with this Id */
    float lineSpacing(Id id) const { return lineSpacing(toIndex(id)); }
    /* Sets the line spacing */
    void setLineSpacing(unsigned short index, float spacing);
    /* Sets the line spacing of the component with this Id */
    void setLineSpacing(Id id, float spacing) { setLineSpacing(toIndex(id), spacing); }
    /* Where lines break or are clipped, in scene units */
    float wrapWidth(unsigned short index) const { return _wrapWidths[index]; }
    /* Wrap width of the component with this Id */
    float wrapWidth(Id id) const { return wrapWidth(toIndex(id)); }
    /* Sets the wrap width */
    void setWrapWidth(unsigned short index, float width);
    /* Sets the wrap width of the component with this Id */
    void setWrapWidth(Id id, float width) { setWrapWidth(toIndex(id), width); }
    /* How the wrap width is used */
    TextWrapMode wrapMode(unsigned short index) const { return _wrapModes[index]; }
    /* Wrap mode of the component with this Id */
    TextWrapMode wrapMode(Id id) const { return wrapMode(toIndex(id)); }
    /* Sets the wrap mode */
    void setWrapMode(unsigned short index, TextWrapMode mode);
    /* Sets the wrap mode of the component with this Id */
    void setWrapMode(Id id, TextWrapMode mode) { setWrapMode(toIndex(id), mode); }
    /* Bits 0 to 2 of the alignment byte */
    TextHorizontalAlignment horizontalAlignment(unsigned short index) const {
        return TextHorizontalAlignment(_alignments[index] & HorizontalMask);
    }
    /* Horizontal alignment of the component with this Id */
    TextHorizontalAlignment horizontalAlignment(Id id) const {
        return horizontalAlignment(toIndex(id));
    }
    /* Replaces bits 0 to 2 of the alignment byte */
    void setHorizontalAlignment(unsigned short index, TextHorizontalAlignment alignment);
    /* Sets the horizontal alignment of the component with this Id */
    void setHorizontalAlignment(Id id, TextHorizontalAlignment alignment) {
        setHorizontalAlignment(toIndex(id), alignment);
    }
    /* Bits 3 to 5 of the alignment byte */
    TextVerticalAlignment verticalAlignment(unsigned short index) const {
        return TextVerticalAlignment((_alignments[index] & VerticalMask) >> VerticalShift);
    }
    /* Vertical alignment of the component with this Id */
    TextVerticalAlignment verticalAlignment(Id id) const { return verticalAlignment(toIndex(id)); }
    /* Replaces bits 3 to 5 of the alignment byte */
    void setVerticalAlignment(unsigned short index, TextVerticalAlignment alignment);
    /* Sets the vertical alignment of the component with this Id */
    void setVerticalAlignment(Id id, TextVerticalAlignment alignment) {
        setVerticalAlignment(toIndex(id), alignment);
    }
    /* Bit 6 of the alignment byte: lines that wrapped are widened to the wrap width */
    bool justified(unsigned short index) const { return _alignments[index] & JustifiedBit; }
    /* Whether the component with this Id is justified */
    bool justified(Id id) const { return justified(toIndex(id)); }
    /* Replaces bit 6 of the alignment byte */
    void setJustified(unsigned short index, bool justified);
    /* Sets whether the component with this Id is justified */
    void setJustified(Id id, bool justified) { setJustified(toIndex(id), justified); }
    /* What is drawn besides the glyphs */
    TextEffect effect(unsigned short index) const { return _effects[index]; }
    /* Effect of the component with this Id */
    TextEffect effect(Id id) const { return effect(toIndex(id)); }
    /* Sets the effect */
    void setEffect(unsigned short index, TextEffect effect);
    /* Sets the effect of the component with this Id */
    void setEffect(Id id, TextEffect effect) { setEffect(toIndex(id), effect); }

    /* Rotation and translation of the last update, the columns scaled by its scaling */
    Matrix4 absoluteTransformationAsMatrix(unsigned short index) const;
    /* The matrix of the component with this Id */
    Matrix4 absoluteTransformationAsMatrix(Id id) const {
        return absoluteTransformationAsMatrix(toIndex(id));
    }

    /* One bit per component index, set when the component's mesh must be built again */
    BitSet& dirty() { return _dirty; }
    /* The dirty bits, read-only */
    const BitSet& dirty() const { return _dirty; }

    /* Entries of the active components of a group */
    std::span<std::uint16_t> materials(unsigned short group) { return ofGroup(_materials, group); }
    /* World transformations of the last update, of the active components of a group */
    std::span<DualQuaternion> transformations(unsigned short group) {
        return ofGroup(std::span{_transformations}, group);
    }
    /* World scalings and materials of the last update, of the active components of a group */
    std::span<ScalingPadded> scalings(unsigned short group) {
        return ofGroup(std::span{_scalings}, group);
    }

    /* The mesh of the component's text laid out in the font, whose compiled bytes start at
       font and must be valid. Positions are in scene units, y up, the origin placed by the
       alignments. Triangles with 16-bit indices: a text of more glyph quads than they reach
       is cut short with a warning. */
    Trade::MeshData meshData(unsigned short index, const Text::FontHeader* font) const;
    /* The bounds, in scene units, of text laid out with the component's settings, without
       building geometry */
    Range2D boundingBox(unsigned short index, const Text::FontHeader* font,
                        std::string_view text) const;

    /* Lines a text may be broken into in a wrap mode: one more than the line feeds for None
       and Clip (and unknown modes), than the bytes for Soft, than the bytes other than spaces
       for Hard */
    static std::size_t lineBufferSize(std::string_view text, TextWrapMode mode);

protected:
    std::optional<std::string> validateRegions() const override;
    void doInit() override;
    void doConstruct(unsigned short first, unsigned short end) override;
    /* Swaps the settings, runtime entries and dirty bits; texts stay with their Ids */
    void doSwap(unsigned short a, unsigned short b) override;
    /* The slot starts over as a new one, and its Id's text empty */
    void doDelete(unsigned short index) override;
    /* Copies the other manager's settings and texts after this one's components */
    void doAppend(const SparseArray& other) override;
    /* Gives the active components' scalings their materials */
    void postUpdate() override;
    unsigned short doActivate(unsigned short index) override;
    void doMove(unsigned short from, unsigned short to) override;

private:
    static constexpr std::uint8_t HorizontalMask = 0x07;
    static constexpr std::uint8_t VerticalMask = 0x38;
    static constexpr unsigned VerticalShift = 3;
    static constexpr std::uint8_t JustifiedBit = 0x40;

    static std::size_t regionsSize(unsigned short capacity, unsigned short groupCount,
                                   std::uint64_t textCapacity);
    Header& mutableTextHeader() { return mutableExtraHeader<Header>(); }
    /* Grows the block; the texts' bytes are moved into the new layout before empty texts are
       added for the new slots */
    void relayout(unsigned short capacity, unsigned short groupCount);
    /* Stores a setting and marks the component dirty when it changes */
    template<class T>
    void store(T& stored, T value, unsigned short index);
    void setAlignmentBits(unsigned short index, std::uint8_t mask, std::uint8_t bits);
    /* Calls f with each per-slot column of this manager and the same column of other */
    template<class F>
    void forEachColumn(const TextManager& other, F&& f);
    std::pair<Trade::MeshData, Range2D> buildMesh(unsigned short index,
                                                  const Text::FontHeader* font,
                                                  std::string_view text, bool withGeometry) const;

    std::span<float> _characterSpacings;
    std::span<float> _lineSpacings;
    std::span<float> _wrapWidths;
    std::span<std::uint16_t> _materials;
    std::span<std::uint16_t> _fonts;
    std::span<TextEffect> _effects;
    std::span<TextWrapMode> _wrapModes;
    std::span<std::uint8_t> _alignments;
    std::span<char> _textStorage;
    MutableStringArrayView _texts;
    std::vector<DualQuaternion> _transformations;
    std::vector<ScalingPadded> _scalings;
    BitSet _dirty;
    bool _relayingOut{};
};

} // namespace ZarvikEngine::Data

#endif
