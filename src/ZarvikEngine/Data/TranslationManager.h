#ifndef ZarvikEngine_Data_TranslationManager_h
#define ZarvikEngine_Data_TranslationManager_h

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ZarvikEngine::Data {

class JavaScriptManager;
class TextManager;

/* The strings of one language and the links saying which text components and which script
   parameters show which term. Loading a language replaces the dictionary; applying the
   translations pushes the strings into the linked components.

   The dictionary's translations point into the language record it owns; the links' terms
   point into the locale record they were loaded from, which the caller keeps alive as long as
   links are applied. */
class TranslationManager {
public:
    /* Kinds of links that are applied; others are carried along only */
    static constexpr std::uint16_t TextComponentLink = 2;
    /* A parameter of a script component */
    static constexpr std::uint16_t ScriptParameterLink = 3;

    /* A term shown by a component, as a locale record lists it */
    struct TermLink {
        /* TextComponentLink, ScriptParameterLink or another value that is never applied */
        std::uint16_t kind;
        /* Id of the text or script component */
        std::uint16_t component;
        /* Parameter index within the script component */
        std::uint16_t parameter;
        /* Not interpreted, copied from the record */
        std::uint16_t reserved;
        /* Points into the locale record */
        std::string_view term;
    };

    /* No language, no links */
    TranslationManager();
    /* The translations point into the owned language record, so copies would dangle */
    TranslationManager(const TranslationManager&) = delete;
    /* Takes the record's bytes as they are; the other manager is left without a language */
    TranslationManager(TranslationManager&& other) noexcept;
    /* Exchanges languages and links with the other manager */
    TranslationManager& operator=(TranslationManager&& other) noexcept;
    TranslationManager& operator=(const TranslationManager&) = delete;
    ~TranslationManager();

    /* Takes the payload of a language record and makes its terms the dictionary. A record
       that doesn't validate is refused with an error, the current language staying. */
    bool loadLanguageData(std::vector<char>&& data);
    /* Replaces the links with those of the payload of a locale record, whose bytes must
       outlive their use. A record that doesn't validate is refused with an error, the current
       links staying. */
    bool loadTermLinks(std::span<const char> locale);

    /* The translation of the term in the current language, an empty view (null data) when
       it has none */
    std::string_view translate(std::string_view term) const;

    /* Sets the text of every linked text component and passes every linked script parameter
       its translation, in link order; links to components the managers don't have are
       skipped. A term missing from the language gets an empty translation. */
    void applyTranslations(TextManager& texts, JavaScriptManager& scripts);

    /* The links of the last loadTermLinks() */
    std::span<const TermLink> termLinks() const { return _links; }
    /* Terms in the dictionary */
    std::size_t translationCount() const { return _count; }
    /* Slots of the dictionary: a power of two, at least 16 once a term was inserted, more
       than a quarter of them empty */
    std::size_t dictionaryCapacity() const { return _slots.size(); }

private:
    struct Slot {
        std::string_view key, value;
    };

    /* Where the term is, or the empty slot where it would go */
    std::size_t find(std::string_view term) const;
    void insert(std::string_view term, std::string_view translation);
    /* Empties the dictionary into slots slots */
    void rebuild(std::size_t slots);
    /* The translation, inserting an empty one for a missing term */
    std::string_view translationOf(std::string_view term);

    std::vector<char> _languageData;
    std::vector<Slot> _slots;
    std::size_t _count{};
    /* Terms the language lacks, kept as the dictionary's keys for them: the locale record
       they came from may be gone when another's links are loaded */
    std::deque<std::string> _missingTerms;
    std::vector<TermLink> _links;
};

} // namespace ZarvikEngine::Data

#endif
