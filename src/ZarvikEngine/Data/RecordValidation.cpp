#include "ZarvikEngine/Data/RecordValidation.h"

#include <fmt/format.h>

namespace ZarvikEngine::Data::Validation {

std::optional<std::string> checkHeaderSize(std::span<const char> payload, std::size_t headerSize) {
    if (payload.size() < headerSize)
        return fmt::format("payload of {} bytes is smaller than the {}-byte header", payload.size(),
                           headerSize);
    return {};
}

std::optional<std::string> checkBool(std::uint8_t value, const char* name) {
    if (value > 1)
        return fmt::format("{} {} is neither 0 nor 1", name, value);
    return {};
}

std::optional<std::string> checkStrings(std::span<const char> section, std::uint64_t count) {
    /* Stops at the count-th zero byte, so a long section costs only what is read anyway */
    std::uint64_t found = 0;
    if (count <= section.size()) {
        for (const char *at = section.data(), *end = at + section.size(); found != count; ++found) {
            at = static_cast<const char*>(std::memchr(at, 0, std::size_t(end - at)));
            if (!at)
                break;
            ++at;
        }
    }
    if (found != count)
        return fmt::format(
            "strings section of {} bytes holds fewer than {} zero-terminated strings",
            section.size(), count);
    return {};
}

} // namespace ZarvikEngine::Data::Validation
