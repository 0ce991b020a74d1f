#ifndef ZarvikEngine_Data_RenderingRecords_h
#define ZarvikEngine_Data_RenderingRecords_h

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ZarvikEngine/Containers/EnumSet.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Shaders/MaterialDefinition.h"
#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Text/Font.h"

namespace ZarvikEngine::Shaders {

/* Values of these are the renderer's; shader records carry them unchanged */
enum class ShaderStage : std::uint8_t {};
enum class ShaderType : std::uint8_t {};
enum class ShaderProgramFlag : std::uint16_t {};
using ShaderProgramFlags = EnumSet<ShaderProgramFlag>;

} // namespace ZarvikEngine::Shaders

namespace ZarvikEngine::Data {

/* Fixed-function state of a pipeline; the renderer defines the fields, records copy them
   verbatim */
struct Pipeline {
    std::array<std::uint8_t, 68> bytes{};

    bool operator==(const Pipeline&) const = default;
};
static_assert(sizeof(Pipeline) == 68);

/* Draw settings; the renderer defines the fields, records copy them verbatim */
struct Draw {
    std::array<std::uint8_t, 88> bytes{};

    bool operator==(const Draw&) const = default;
};
static_assert(sizeof(Draw) == 88);

/* Parameters of one material, laid out as the definition it refers to describes */
class MaterialData : public RecordView {
public:
    static constexpr Magic magic = Magic::Material;
    /* Definition index, alpha material */
    static constexpr std::size_t HeaderSize = 20;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    /* Which material definition the parameters belong to */
    std::int32_t header() const { return at<std::int32_t>(0); }
    /* Everything after the definition index */
    std::span<const char> data() const { return _data.subspan(4); }
    const Shaders::AlphaMaterial& alphaMaterial() const { return at<Shaders::AlphaMaterial>(4); }
    /* The packed parameter block */
    std::span<const char> materialData() const { return _data.subspan(HeaderSize); }
};

std::vector<char> createMaterialData(std::int32_t definitionIndex,
                                     const Shaders::AlphaMaterial& alpha,
                                     const Shaders::Material& material);

/* Sources of one shader */
struct ShaderSources {
    std::string glsl;
    std::string wgsl;
};

/* One shader stage in GLSL and optionally WGSL */
class ShaderData : public RecordView {
public:
    struct Header {
        Shaders::ShaderStage stage;
        Shaders::ShaderType type;
        Shaders::ShaderProgramFlags flags;
        /* Source length plus its zero byte, 0 without code */
        std::uint16_t codeSize;
        std::uint16_t wgslCodeSize;
        /* Zero-terminated and zero-filled */
        char name[128];
        /* All zero without WGSL code */
        char wgslName[128];
    };
    static_assert(sizeof(Header) == 264);

    static constexpr Magic magic = Magic::Shader;
    /* Longest name the writer accepts */
    static constexpr std::size_t MaxNameLength = 126;
    static constexpr std::size_t MaxWgslNameLength = sizeof(Header::wgslName) - 1;
    /* Longest source whose size and zero byte fit the 16-bit size fields */
    static constexpr std::size_t MaxSourceLength = 65534;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* The code after the header */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
    std::string_view name() const;
    std::string_view wgslName() const;
    /* Zero-terminated sources, empty when absent */
    std::string_view code() const;
    std::string_view codeWGSL() const;
};

/* Writes the WGSL source and name only when withWgsl is set */
std::vector<char> createShaderData(std::string_view name, const ShaderSources& sources,
                                   Shaders::ShaderProgramFlags flags, Shaders::ShaderType type,
                                   Shaders::ShaderStage stage, bool withWgsl,
                                   std::string_view wgslName);

/* A named fixed-function state block with its enabled feature names */
class PipelineData : public RecordView {
public:
    struct Header {
        std::int32_t firstIndex;
        std::uint32_t featureCount;
        /* Zero-terminated and zero-filled */
        char name[64];
        std::int32_t secondIndex;
        Pipeline pipeline;
    };
    static_assert(sizeof(Header) == 144);

    static constexpr Magic magic = Magic::Pipeline;
    static constexpr std::size_t MaxNameLength = sizeof(Header::name) - 1;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* The whole payload */
    std::span<const char> data() const { return _data; }
    const char* name() const { return header().name; }
    const Pipeline& pipeline() const { return header().pipeline; }
    /* Up to featureCount zero-terminated names after the header; a name that runs to the
       end of the payload ends the list */
    std::vector<std::string_view> enabledFeatures() const;
};

std::vector<char> createPipelineData(std::string_view name, const Pipeline& pipeline,
                                     std::int32_t firstIndex,
                                     const StringArrayView& enabledFeatures,
                                     std::int32_t secondIndex);

/* Renderer settings, stored opaquely; written by the renderer, not by this library */
class RenderingData : public RecordView {
public:
    struct Header {
        std::array<std::uint8_t, 196> bytes;
    };
    static_assert(sizeof(Header) == 196);

    static constexpr Magic magic = Magic::Rendering;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* The variable part after the header */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
};

/* One Draw structure */
class DrawData : public RecordView {
public:
    static constexpr Magic magic = Magic::Draw;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Draw& draw() const { return at<Draw>(0); }
    std::span<const char> data() const { return _data; }
};

std::vector<char> createDrawData(const Draw& draw);

/* Data of the physics engine, stored opaquely */
class PhysXData : public RecordView {
public:
    /* Values are the physics integration's */
    enum class Type : std::uint16_t {};

    struct Header {
        Type type;
        /* Meaning decided by the caller */
        std::uint16_t value;
    };
    static_assert(sizeof(Header) == 4);

    static constexpr Magic magic = Magic::PhysX;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* The physics engine's bytes */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
};

std::vector<char> createPhysXData(PhysXData::Type type, std::uint16_t value,
                                  std::span<const char> data);

/* A compiled font of Text/Font.h, copied verbatim */
class FontData : public RecordView {
public:
    static constexpr Magic magic = Magic::Font;

    using RecordView::RecordView;

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    /* Metrics and section counts at offset 0 */
    const Text::FontHeader& header() const { return at<Text::FontHeader>(0); }
    /* The compiled font, for the text layout */
    std::span<const char> slug() const { return _data; }
    std::span<const char> data() const { return _data; }
};

/* The font must be one that validates, such as Text::compileFont() makes */
std::vector<char> createFontData(std::span<const char> font);

} // namespace ZarvikEngine::Data

#endif
