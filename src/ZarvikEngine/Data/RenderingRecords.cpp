#include "ZarvikEngine/Data/RenderingRecords.h"

#include <cstring>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {

namespace {

/* Bytes of a trivially copyable value */
template<class T>
std::span<const char> bytesOf(const T& value) {
    return {reinterpret_cast<const char*>(&value), sizeof(T)};
}

void append(std::vector<char>& out, std::span<const char> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

/* A zero-terminated string stored in a fixed-size field, at most the field long */
std::string_view fixedString(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

/* The text of size - 1 characters at offset, or nothing for size 0 */
std::string_view storedSource(std::span<const char> payload, std::size_t offset,
                              std::uint16_t size) {
    return size ? std::string_view{payload.data() + offset, size - 1u} : std::string_view{};
}

} // namespace

std::optional<std::string> MaterialData::validate(std::span<const char> payload) {
    return Validation::checkHeaderSize(payload, HeaderSize);
}

std::vector<char> createMaterialData(std::int32_t definitionIndex,
                                     const Shaders::AlphaMaterial& alpha,
                                     const Shaders::Material& material) {
    std::vector<char> out;
    out.reserve(MaterialData::HeaderSize + material.data.size());
    append(out, bytesOf(definitionIndex));
    append(out, bytesOf(alpha));
    append(out, material.data);
    return out;
}

std::string_view ShaderData::name() const {
    return fixedString(header().name, sizeof(Header::name));
}

std::string_view ShaderData::wgslName() const {
    return fixedString(header().wgslName, sizeof(Header::wgslName));
}

std::string_view ShaderData::code() const {
    return storedSource(_data, sizeof(Header), header().codeSize);
}

std::string_view ShaderData::codeWGSL() const {
    return storedSource(_data, sizeof(Header) + header().codeSize, header().wgslCodeSize);
}

std::optional<std::string> ShaderData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    if (auto error = Validation::checkFixedText(header.name, MaxNameLength + 1, "name"))
        return error;
    if (auto error =
            Validation::checkFixedText(header.wgslName, sizeof(Header::wgslName), "WGSL name"))
        return error;
    const std::size_t end = sizeof(Header) + header.codeSize + header.wgslCodeSize;
    if (end > payload.size())
        return fmt::format("GLSL and WGSL code of {} and {} bytes run past the payload of {} bytes",
                           header.codeSize, header.wgslCodeSize, payload.size());
    /* code() and codeWGSL() promise zero-terminated text of size - 1 characters */
    if (header.codeSize)
        if (auto error = Validation::checkText(payload.subspan(sizeof(Header), header.codeSize),
                                               "GLSL code"))
            return error;
    if (header.wgslCodeSize)
        return Validation::checkText(
            payload.subspan(sizeof(Header) + header.codeSize, header.wgslCodeSize), "WGSL code");
    return {};
}

std::vector<char> createShaderData(std::string_view name, const ShaderSources& sources,
                                   Shaders::ShaderProgramFlags flags, Shaders::ShaderType type,
                                   Shaders::ShaderStage stage, bool withWgsl,
                                   std::string_view wgslName) {
    ZE_ASSERT(name.size() <= ShaderData::MaxNameLength,
              "createShaderData(): Shader name too long.");
    ZE_ASSERT(sources.glsl.size() <= ShaderData::MaxSourceLength,
              "createShaderData(): GLSL source of" << sources.glsl.size()
                                                   << "characters too long, the limit is"
                                                   << ShaderData::MaxSourceLength);
    if (withWgsl) {
        ZE_ASSERT(wgslName.size() <= ShaderData::MaxWgslNameLength,
                  "createShaderData(): WGSL name too long.");
        ZE_ASSERT(sources.wgsl.size() <= ShaderData::MaxSourceLength,
                  "createShaderData(): WGSL source of" << sources.wgsl.size()
                                                       << "characters too long, the limit is"
                                                       << ShaderData::MaxSourceLength);
    }

    ShaderData::Header header{};
    header.stage = stage;
    header.type = type;
    header.flags = flags;
    header.codeSize = std::uint16_t(sources.glsl.size() + 1);
    header.wgslCodeSize = withWgsl ? std::uint16_t(sources.wgsl.size() + 1) : 0;
    name.copy(header.name, name.size());
    if (withWgsl)
        wgslName.copy(header.wgslName, wgslName.size());

    std::vector<char> out(sizeof(header) + header.codeSize + header.wgslCodeSize);
    std::memcpy(out.data(), &header, sizeof(header));
    /* The zero bytes after each source are already there */
    sources.glsl.copy(out.data() + sizeof(header), sources.glsl.size());
    if (withWgsl)
        sources.wgsl.copy(out.data() + sizeof(header) + header.codeSize, sources.wgsl.size());
    return out;
}

std::optional<std::string> PipelineData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    /* name() hands out the field as a C string */
    if (auto error = Validation::checkFixedText(header.name, sizeof(Header::name), "name"))
        return error;
    return Validation::checkExactStrings(payload.subspan(sizeof(Header)), header.featureCount);
}

std::vector<std::string_view> PipelineData::enabledFeatures() const {
    std::vector<std::string_view> features;
    const std::span<const char> strings = _data.subspan(sizeof(Header));
    for (std::size_t start = 0; features.size() != header().featureCount && start < strings.size();
         start += features.back().size() + 1)
        features.push_back(fixedString(strings.data() + start, strings.size() - start));
    return features;
}

std::vector<char> createPipelineData(std::string_view name, const Pipeline& pipeline,
                                     std::int32_t firstIndex,
                                     const StringArrayView& enabledFeatures,
                                     std::int32_t secondIndex) {
    /* The pipeline writer shares the shader writer's message */
    ZE_ASSERT(name.size() <= PipelineData::MaxNameLength,
              "createShaderData(): Shader name too long.");
    PipelineData::Header header{};
    header.firstIndex = firstIndex;
    header.featureCount = std::uint32_t(enabledFeatures.size());
    name.copy(header.name, name.size());
    header.secondIndex = secondIndex;
    header.pipeline = pipeline;

    std::vector<char> out;
    out.reserve(sizeof(header) + enabledFeatures.usedCapacity());
    append(out, bytesOf(header));
    append(out, enabledFeatures.usedData());
    return out;
}

std::vector<char> createDrawData(const Draw& draw) {
    const std::span<const char> bytes = bytesOf(draw);
    return {bytes.begin(), bytes.end()};
}

std::optional<std::string> RenderingData::validate(std::span<const char> payload) {
    return Validation::checkHeaderSize(payload, sizeof(Header));
}

std::optional<std::string> DrawData::validate(std::span<const char> payload) {
    if (payload.size() != sizeof(Draw))
        return fmt::format("payload of {} bytes, expected {}", payload.size(), sizeof(Draw));
    return {};
}

std::optional<std::string> PhysXData::validate(std::span<const char> payload) {
    return Validation::checkHeaderSize(payload, sizeof(Header));
}

std::optional<std::string> FontData::validate(std::span<const char> payload) {
    return Text::validateFont(payload);
}

std::vector<char> createPhysXData(PhysXData::Type type, std::uint16_t value,
                                  std::span<const char> data) {
    std::vector<char> out;
    out.reserve(sizeof(PhysXData::Header) + data.size());
    append(out, bytesOf(PhysXData::Header{type, value}));
    append(out, data);
    return out;
}

std::vector<char> createFontData(std::span<const char> font) {
    const std::optional<std::string> problem = Text::validateFont(font);
    ZE_ASSERT(!problem, "createFontData():" << *problem);
    return {font.begin(), font.end()};
}

} // namespace ZarvikEngine::Data
