#include "ZarvikEngine/Data/AssetValidation.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/DebugString.h"

namespace ZarvikEngine::Data {

namespace {

/* "chunk 3 (Magic::Shader): problem" */
std::string chunkMessage(std::size_t index, Magic magic, std::string_view problem) {
    return fmt::format("chunk {} ({}): {}", index, debugString(magic), problem);
}

/* The first chunk */
std::optional<std::string> validateHeader(Magic magic, std::span<const char> payload) {
    if (magic != Magic::Header)
        return std::string{"the first chunk must be the header record"};
    if (payload.size() != sizeof(HeaderData::Header))
        return fmt::format("payload of {} bytes, expected {}", payload.size(),
                           sizeof(HeaderData::Header));
    const HeaderData::Header& header = HeaderData{payload}.header();
    if (!std::ranges::equal(header.fixedWords, HeaderData::FixedWords))
        return fmt::format("fixed words {:#010x} and {} differ from {:#010x} and {}",
                           header.fixedWords[0], header.fixedWords[1], HeaderData::FixedWords[0],
                           HeaderData::FixedWords[1]);
    if (!header.chunkCount && !header.maxChunkSize)
        return std::string{"header not finalised, its chunk count and largest chunk size are 0"};
    return {};
}

/* The payload of any chunk after the first; checked is cleared for magics that nothing here
   reads */
std::optional<std::string> validatePayload(Magic magic, std::span<const char> payload,
                                           bool& checked) {
    switch (magic) {
    case Magic::Header:
        return std::string{"header record after the first chunk"};
    /* It names a file: the path and its zero byte */
    case Magic::External:
        return Validation::checkText(payload, "path");
    /* Payloads of the caller's own */
    case Magic::Scene:
    case Magic::JsParams:
        return {};
    default:
        break;
    }
    if (const auto validate = Implementation::CheckedRecords::validator(magic))
        return validate(payload);
    checked = false;
    return {};
}

} // namespace

AssetFileValidation validateAssetFile(std::span<const char> file) {
    AssetFileValidation result;
    if (reinterpret_cast<std::uintptr_t>(file.data()) % 4) {
        result.error = "file data is not 4-byte aligned";
        return result;
    }
    if (file.empty()) {
        result.error = "empty file, expected a header chunk";
        return result;
    }

    const HeaderData::Header* header = nullptr;
    std::size_t maxChunkSize = 0;
    std::size_t index = 0;
    for (std::size_t offset = 0; offset != file.size(); ++index) {
        const std::size_t remaining = file.size() - offset;
        if (remaining < sizeof(AssetChunkHeader)) {
            result.error = fmt::format("chunk {} at byte {}: {} bytes left, too few for a chunk "
                                       "header",
                                       index, offset, remaining);
            return result;
        }
        const auto& chunk = *reinterpret_cast<const AssetChunkHeader*>(file.data() + offset);
        const std::size_t totalSize = calulateAssetChunkSizePadded(chunk.size);
        if (totalSize > remaining) {
            result.error = chunkMessage(
                index, chunk.magic,
                fmt::format("payload of {} bytes at byte {} runs past the end of the file, {} "
                            "bytes remain",
                            chunk.size, offset + sizeof(AssetChunkHeader),
                            remaining - sizeof(AssetChunkHeader)));
            return result;
        }

        const std::span<const char> payload =
            file.subspan(offset + sizeof(AssetChunkHeader), chunk.size);
        std::optional<std::string> problem;
        if (index == 0) {
            problem = validateHeader(chunk.magic, payload);
            if (!problem)
                header = &HeaderData{payload}.header();
        } else {
            bool checked = true;
            problem = validatePayload(chunk.magic, payload, checked);
            if (!checked)
                result.warnings.push_back(chunkMessage(
                    index, chunk.magic,
                    "no record type of this library has this magic, payload not checked"));
        }
        if (problem) {
            result.error = chunkMessage(index, chunk.magic, *problem);
            return result;
        }

        maxChunkSize = std::max(maxChunkSize, totalSize);
        offset += totalSize;
    }

    if (header->chunkCount != index)
        result.error = chunkMessage(0, Magic::Header,
                                    fmt::format("chunk count {} differs from the {} chunks of "
                                                "the file",
                                                header->chunkCount, index));
    else if (header->maxChunkSize != maxChunkSize)
        result.error = chunkMessage(0, Magic::Header,
                                    fmt::format("largest chunk size {} differs from the largest "
                                                "chunk of the file, {} bytes",
                                                header->maxChunkSize, maxChunkSize));
    return result;
}

} // namespace ZarvikEngine::Data
