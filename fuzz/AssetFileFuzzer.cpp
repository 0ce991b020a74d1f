/* Feeds arbitrary bytes to the asset file validation and, when it accepts them, reads every
   chunk through every reader of its record, keeping to the counts each record states, loads
   its languages and locale links and applies them to a few components, and lists the file as
   `zarvik inspect` does. An abort, a sanitizer report or a read outside the
   input is a finding. */

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "ZarvikEngine/Data/Animation.h"
#include "ZarvikEngine/Data/AssetValidation.h"
#include "ZarvikEngine/Data/JavaScriptManager.h"
#include "ZarvikEngine/Data/TextManager.h"
#include "ZarvikEngine/Data/TranslationManager.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"
#include "ZarvikEngine/Text/GlyphCoverage.h"
#include "ZarvikEngine/Text/Layout.h"

namespace {

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

/* Touches every byte a reader hands out, so that the sanitizers see the reads; the sum keeps
   them from being optimised away */
struct Reader {
    void read(std::span<const char> bytes) {
        for (const char byte : bytes)
            sum += std::uint8_t(byte);
    }
    void read(std::string_view text) { read(std::span{text}); }
    /* Text that its reader promises is zero-terminated, with the zero */
    void readTerminated(std::string_view text) {
        if (!text.empty())
            read(std::span{text.data(), text.size() + 1});
    }
    template<class T>
    void readValue(const T& value) {
        read(std::span{reinterpret_cast<const char*>(&value), sizeof(T)});
    }
    template<class T>
    void readAll(std::span<const T> values) {
        read(std::span{reinterpret_cast<const char*>(values.data()), values.size_bytes()});
    }
    /* The first and last rows; the others lie between them */
    void readEnds(const StridedArrayView2D<const char>& rows) {
        if (rows.empty())
            return;
        for (const std::size_t row : {std::size_t{0}, rows.size()[0] - 1})
            for (std::size_t i = 0; i != rows.size()[1]; ++i)
                sum += std::uint8_t(rows[row][i]);
    }
    void readMesh(const Trade::MeshData& mesh) {
        if (mesh.isIndexed())
            readEnds(mesh.indices());
        for (std::uint32_t id = 0; id != mesh.attributeCount(); ++id)
            readEnds(mesh.attribute(id));
    }

    void operator()(const HeaderData& record) { readValue(record.header()); }

    void operator()(const MeshData& record) {
        readValue(record.header());
        readAll(record.attributeData());
        read(record.vertexData());
        read(record.indexData());
        sum += record.attributeDataCopy().size();
        /* Compressed data has to be decompressed before it is a mesh */
        if (record.header().compression)
            return;
        readMesh(record.mesh());
        readMesh(record.meshCopy());
    }

    void operator()(const MorphTargetData& record) {
        readValue(record.header());
        readAll(record.attributeData());
        sum += record.attributeDataCopy().size();
        readAll(record.vertexDataOffsets());
        for (std::size_t i = 0; i != record.header().targetCount; ++i) {
            read(record.vertexData(i));
            read(record.targetNames().get(i));
        }
        read(record.vertexData());
        read(record.targetNameData());
    }

    void operator()(const SkinData& record) {
        readValue(record.header());
        read(record.data());
        readAll(record.inverseBindPose());
        readAll(record.inverseBindPoseScaling());
        readAll(record.joints());
    }

    void operator()(const ImageData& record) {
        readValue(record.header());
        read(record.data());
        sum += record.compressed();
        readAll(record.tileHashes());
        read(record.path());
    }

    void operator()(const ImageTileData& record) {
        readValue(record.header());
        read(record.hash());
        read(record.data());
        read(record.basisData());
    }

    void operator()(const TextureData& record) {
        readValue(record.header());
        read(record.data());
    }

    void operator()(const ProbeData& record) {
        readValue(record.header());
        readValue(record.baseSize());
        readValue(record.format());
        read(record.data());
    }

    void operator()(const MaterialData& record) {
        readValue(record.header());
        readValue(record.alphaMaterial());
        read(record.data());
        read(record.materialData());
    }

    void operator()(const ShaderData& record) {
        readValue(record.header());
        read(record.data());
        read(record.name());
        read(record.wgslName());
        readTerminated(record.code());
        readTerminated(record.codeWGSL());
    }

    void operator()(const PipelineData& record) {
        readValue(record.header());
        read(record.data());
        read(std::string_view{record.name()});
        readValue(record.pipeline());
        for (const std::string_view feature : record.enabledFeatures())
            read(feature);
    }

    void operator()(const RenderingData& record) {
        readValue(record.header());
        read(record.data());
    }

    void operator()(const DrawData& record) {
        readValue(record.draw());
        read(record.data());
    }

    void operator()(const PhysXData& record) {
        readValue(record.header());
        read(record.data());
    }

    void operator()(const FontData& record) {
        /* Every glyph rendered at its centre, as the validation promises it can be */
        const Text::FontView font{record.data()};
        for (const Text::GlyphRecord& glyph : font.glyphs())
            sum += unsigned(
                Text::coverage(font, glyph, (glyph.boundsMin + glyph.boundsMax) * 0.5f, 64.0f));
        /* And text laid out with it, shaped on its source font */
        Text::Shaper shaper{font};
        Text::LayoutSettings settings;
        settings.wrapWidth = 3.0f;
        settings.effect = Text::Effect::Outline;
        Text::TextLayout layout{font, shaper, settings};
        std::vector<Text::LineRecord> lines(32);
        layout.breakLines("Wave office, \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d fi\nAVA", lines);
        std::vector<Text::TextVertex> vertices(layout.vertexCount());
        std::vector<std::uint16_t> indices(3 * layout.triangleCount());
        sum += unsigned(layout.writeGeometry(vertices, indices).vertices);
        read(record.slug());
        read(record.data());
    }

    void operator()(const LanguageData& record) {
        readValue(record.header());
        read(record.name());
        read(record.code());
        read(record.data());
        /* Copies keep a string index of their own */
        const LanguageData copy = record;
        for (std::size_t i = 0; i != copy.termCount(); ++i) {
            read(copy.key(i));
            read(copy.text(i));
        }
    }

    void operator()(const LocaleData& record) {
        readValue(record.header());
        read(record.data());
        read(record.linkHeadersData());
        read(record.stringsData());
        for (std::size_t i = 0; i != record.header().localeCount; ++i) {
            read(record.code(i));
            read(record.file(i));
            read(record.name(i));
        }
        for (std::size_t j = 0; j != record.header().linkCount; ++j) {
            readValue(record.linkHeader(j));
            read(record.linkedTerm(j));
        }
    }

    void operator()(const AnimationData& record) {
        readValue(record.header());
        readAll(record.tracks());
        read(record.tracksData());
        readAll(record.eventKeys());
        for (const std::string_view name : record.eventNames())
            read(name);
        /* The clip it builds must sample */
        const Animation clip = record.animation();
        if (const Skeletal::RuntimeAnimation* animation = clip.runtimeAnimation()) {
            Skeletal::SamplingContext context{animation->trackCount()};
            std::vector<Skeletal::SoaTransform> pose(animation->soaTrackCount());
            Skeletal::SamplingJob{0.5f, animation, &context, pose}.run();
            for (const Skeletal::SoaTransform& transform : pose)
                readValue(transform);
        }
    }

    void operator()(const AnimationTargetsData& record) {
        readValue(record.header());
        readAll(record.targets());
    }

    void operator()(const AnimationGraphData& record) {
        readValue(record.header());
        readAll(record.nodeHeaders());
        read(record.nodeDatas());
        sum += record.graph().nodeCount();
    }

    std::uint64_t sum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    /* An allocation of exactly the input, as a file read into memory, so that a read past the
       end is caught */
    const std::vector<char> file(data, data + size);
    if (!validateAssetFile(file).valid())
        return 0;

    Reader reader;
    /* Languages and locale links as a host loads them, their translations applied to a few
       text and script components */
    TranslationManager translations;
    TextManager texts{8, 1, 0};
    JavaScriptManager scripts{8, 1, 8};
    for (int i = 0; i != 4; ++i) {
        texts.activate(texts.add());
        scripts.add();
    }
    for (AssetChunkView chunk{file};; chunk = chunk.next()) {
        visitRecord(chunk, reader);
        const std::span<const char> payload = chunk.data();
        if (chunk.header().magic == LanguageData::magic)
            translations.loadLanguageData({payload.begin(), payload.end()});
        else if (chunk.header().magic == LocaleData::magic)
            translations.loadTermLinks(payload);
        if (!chunk.hasNext())
            break;
    }
    {
        Debug silenceScripts{nullptr};
        translations.applyTranslations(texts, scripts);
    }
    for (const TranslationManager::TermLink& link : translations.termLinks())
        reader.read(translations.translate(link.term));
    for (unsigned short i = 0; i != texts.size(); ++i)
        reader.read(texts.text(i));
    volatile std::uint64_t sink = reader.sum;
    static_cast<void>(sink);

    /* Listing a valid file prints nothing through Error */
    Debug silenceListing{nullptr};
    Warning silenceWarnings{nullptr};
    Tool::inspectAssetFile("input", file);
    return 0;
}
