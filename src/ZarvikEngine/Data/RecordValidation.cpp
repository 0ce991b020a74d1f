#include "ZarvikEngine/Data/RecordValidation.h"

#include <algorithm>

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

namespace {

/* Bytes up to and including the count-th zero byte, nothing when there are fewer. Stops
   there, so a long section costs only what is read anyway. */
std::optional<std::size_t> stringsSize(std::span<const char> section, std::uint64_t count) {
    if (count > section.size())
        return {};
    const char* const begin = section.data();
    const char* at = begin;
    for (std::uint64_t found = 0; found != count; ++found) {
        at = static_cast<const char*>(std::memchr(at, 0, std::size_t(begin + section.size() - at)));
        if (!at)
            return {};
        ++at;
    }
    return std::size_t(at - begin);
}

} // namespace

std::optional<std::string> checkStrings(std::span<const char> section, std::uint64_t count) {
    if (!stringsSize(section, count))
        return fmt::format(
            "strings section of {} bytes holds fewer than {} zero-terminated strings",
            section.size(), count);
    return {};
}

std::optional<std::string> checkExactStrings(std::span<const char> section, std::uint64_t count) {
    if (auto error = checkStrings(section, count))
        return error;
    if (*stringsSize(section, count) != section.size())
        return fmt::format("strings section of {} bytes holds more than {} zero-terminated strings",
                           section.size(), count);
    return {};
}

std::optional<std::string> checkText(std::span<const char> section, const char* name) {
    const void* zero = std::memchr(section.data(), 0, section.size());
    if (!zero)
        return fmt::format("{} is not zero-terminated", name);
    if (zero != &section.back())
        return fmt::format("{} has a zero byte before its end", name);
    return {};
}

std::optional<std::string> checkFixedText(std::span<const char> field, std::size_t limit,
                                          const char* name) {
    const char* zero = static_cast<const char*>(std::memchr(field.data(), 0, limit));
    if (!zero)
        return fmt::format("{} is not zero-terminated within {} bytes", name, limit);
    if (std::any_of(zero, field.data() + field.size(), [](char c) { return c != 0; }))
        return fmt::format("{} has bytes after its terminating zero", name);
    return {};
}

} // namespace ZarvikEngine::Data::Validation
