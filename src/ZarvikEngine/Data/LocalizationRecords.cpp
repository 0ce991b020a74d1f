#include "ZarvikEngine/Data/LocalizationRecords.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "ZarvikEngine/Data/RecordValidation.h"

namespace ZarvikEngine::Data {

LanguageData::LanguageData(std::span<const char> data)
    : RecordView{data}, _strings{this->data(), 2 * std::size_t{header().termCount}} {}

std::string_view LanguageData::name() const {
    return {header().name, strnlen(header().name, sizeof(Header::name))};
}

std::string_view LanguageData::code() const {
    return {header().code, strnlen(header().code, sizeof(Header::code))};
}

std::optional<std::string> LanguageData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    if (auto error = Validation::checkFixedText(header.name, sizeof(Header::name), "name"))
        return error;
    if (auto error = Validation::checkFixedText(header.code, sizeof(Header::code), "code"))
        return error;
    return Validation::checkExactStrings(payload.subspan(sizeof(Header)),
                                         2 * std::uint64_t{header.termCount});
}

std::vector<char> createLanguageData(std::string_view name, std::string_view code,
                                     std::uint32_t termCount, const StringArrayView& strings) {
    ZE_ASSERT(name.size() <= LanguageData::MaxNameLength,
              "createLanguageData(): Language name too long.");
    ZE_ASSERT(code.size() <= LanguageData::MaxCodeLength,
              "createLanguageData(): Language code too long.");
    ZE_ASSERT(strings.size() == 2 * std::size_t{termCount},
              "createLanguageData(): expected" << 2 * std::size_t{termCount} << "strings for"
                                               << termCount << "terms but got" << strings.size());
    LanguageData::Header header{};
    name.copy(header.name, name.size());
    code.copy(header.code, code.size());
    header.termCount = termCount;

    const std::span<const char> used = strings.usedData();
    std::vector<char> out(sizeof(header) + used.size());
    std::memcpy(out.data(), &header, sizeof(header));
    std::ranges::copy(used, out.begin() + sizeof(header));
    return out;
}

LocaleData::LocaleData(std::span<const char> data)
    : RecordView{data}, _strings{stringsData(),
                                 3 * std::size_t{header().localeCount} + header().linkCount} {}

std::optional<std::string> LocaleData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    const std::uint64_t stringsOffset =
        sizeof(Header) + sizeof(LocaleLinkHeader) * std::uint64_t{header.linkCount};
    if (stringsOffset > payload.size())
        return fmt::format("{} link headers run past the payload of {} bytes", header.linkCount,
                           payload.size());
    return Validation::checkExactStrings(payload.subspan(stringsOffset),
                                         3 * std::uint64_t{header.localeCount} + header.linkCount);
}

const LocaleLinkHeader& LocaleData::linkHeader(std::size_t j) const {
    ZE_ASSERT(j < header().linkCount,
              "LocaleData::linkHeader(): invalid index" << j << "for size" << header().linkCount);
    return at<LocaleLinkHeader>(sizeof(Header) + sizeof(LocaleLinkHeader) * j);
}

std::vector<char>
createLocaleData(std::span<const std::pair<std::string, std::string>> codesAndFiles,
                 std::span<const std::string_view> names,
                 std::span<const std::string_view> linkedTerms,
                 std::span<const LocaleLinkHeader> links) {
    ZE_ASSERT(names.size() == codesAndFiles.size(), "createLocaleData(): got"
                                                        << names.size() << "names for"
                                                        << codesAndFiles.size() << "languages");
    ZE_ASSERT(linkedTerms.size() == links.size(), "createLocaleData(): got"
                                                      << linkedTerms.size() << "linked terms for"
                                                      << links.size() << "links");
    std::vector<std::string_view> strings;
    strings.reserve(3 * names.size() + linkedTerms.size());
    for (std::size_t i = 0; i != names.size(); ++i)
        strings.insert(strings.end(), {codesAndFiles[i].first, codesAndFiles[i].second, names[i]});
    strings.insert(strings.end(), linkedTerms.begin(), linkedTerms.end());
    const StringArray packed = fromStrings(strings);

    const LocaleData::Header header{std::uint32_t(names.size()), std::uint32_t(links.size())};
    const std::span<const char> used = packed.usedData();
    std::vector<char> out(sizeof(header) + links.size_bytes() + used.size());
    char* o = out.data();
    std::memcpy(o, &header, sizeof(header));
    o += sizeof(header);
    if (!links.empty())
        std::memcpy(o, links.data(), links.size_bytes());
    std::ranges::copy(used, o + links.size_bytes());
    return out;
}

} // namespace ZarvikEngine::Data
