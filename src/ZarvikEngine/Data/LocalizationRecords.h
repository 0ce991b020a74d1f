#ifndef ZarvikEngine_Data_LocalizationRecords_h
#define ZarvikEngine_Data_LocalizationRecords_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine::Data {

/* Binds a text component or a script parameter to a translation term */
struct LocaleLinkHeader {
    /* A text or script component, by kind */
    std::uint16_t component;
    /* 2 text component, 3 script parameter; other kinds are carried but never applied */
    std::uint16_t kind;
    /* Parameter of the script component, for script links */
    std::uint16_t parameter;
    /* Not interpreted, only carried along */
    std::uint16_t reserved;

    bool operator==(const LocaleLinkHeader&) const = default;
};
static_assert(sizeof(LocaleLinkHeader) == 8);

/* One language: display name, code and key/text pairs of its terms */
class LanguageData : public RecordView {
public:
    struct Header {
        /* Zero-terminated and zero-filled */
        char name[64];
        char code[32];
        std::uint32_t termCount;
    };
    static_assert(sizeof(Header) == 100);

    static constexpr Magic magic = Magic::Language;
    static constexpr std::size_t MaxNameLength = sizeof(Header::name) - 1;
    static constexpr std::size_t MaxCodeLength = sizeof(Header::code) - 1;

    LanguageData() = default;
    /* Indexes the 2 × termCount strings after the header */
    explicit LanguageData(std::span<const char> data);

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::string_view name() const;
    std::string_view code() const;
    std::uint32_t termCount() const { return header().termCount; }
    std::string_view key(std::size_t i) const { return _strings.get(2 * i); }
    std::string_view text(std::size_t i) const { return _strings.get(2 * i + 1); }
    /* The strings after the header */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }

private:
    StringArrayView _strings;
};

/* strings holds termCount key/text pairs, key first */
std::vector<char> createLanguageData(std::string_view name, std::string_view code,
                                     std::uint32_t termCount, const StringArrayView& strings);

/* Index of a project's languages and of the term links of its scene */
class LocaleData : public RecordView {
public:
    struct Header {
        std::uint32_t localeCount;
        std::uint32_t linkCount;
    };
    static_assert(sizeof(Header) == 8);

    static constexpr Magic magic = Magic::Locale;

    LocaleData() = default;
    /* Indexes the 3 × localeCount + linkCount strings after the link headers */
    explicit LocaleData(std::span<const char> data);

    /* Why bytes from outside can't be read through this view, or nothing */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::string_view code(std::size_t i) const { return _strings.get(3 * i); }
    std::string_view file(std::size_t i) const { return _strings.get(3 * i + 1); }
    std::string_view name(std::size_t i) const { return _strings.get(3 * i + 2); }
    std::string_view linkedTerm(std::size_t j) const {
        return _strings.get(3 * std::size_t{header().localeCount} + j);
    }
    const LocaleLinkHeader& linkHeader(std::size_t j) const;
    /* Both start after the counts */
    std::span<const char> data() const { return _data.subspan(sizeof(Header)); }
    std::span<const char> linkHeadersData() const { return data(); }
    /* The strings after the link headers */
    std::span<const char> stringsData() const { return _data.subspan(stringsOffset()); }

private:
    std::size_t stringsOffset() const {
        return sizeof(Header) + sizeof(LocaleLinkHeader) * std::size_t{header().linkCount};
    }

    StringArrayView _strings;
};

/* codesAndFiles[i] is the (code, file) of language i and names[i] its display name;
   linkedTerms[j] is the term of links[j] */
std::vector<char>
createLocaleData(std::span<const std::pair<std::string, std::string>> codesAndFiles,
                 std::span<const std::string_view> names,
                 std::span<const std::string_view> linkedTerms,
                 std::span<const LocaleLinkHeader> links);

} // namespace ZarvikEngine::Data

#endif
