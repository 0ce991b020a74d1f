#include "ZarvikEngine/Data/TranslationManager.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "ZarvikEngine/Data/JavaScriptManager.h"
#include "ZarvikEngine/Data/LocalizationRecords.h"
#include "ZarvikEngine/Data/TextManager.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Hash.h"

namespace ZarvikEngine::Data {

static_assert(sizeof(TranslationManager::TermLink) == 24, "links are kept packed");

namespace {

/* The key of an empty slot */
constexpr std::string_view EmptyKey{"\x02", 1};
constexpr std::size_t MinSlotCount = 16;

/* Grow once more than three quarters of the slots would be used */
bool tooFull(std::size_t count, std::size_t slots) {
    return 4 * count > 3 * slots;
}

/* Whether the manager has a component of that Id */
bool has(const SparseArray& manager, std::uint16_t id) {
    return id < manager.capacity() && manager.toIndex(Id(id)) < manager.size();
}

} // namespace

TranslationManager::TranslationManager() : _slots(1, Slot{EmptyKey, {}}) {}

TranslationManager::TranslationManager(TranslationManager&& other) noexcept : TranslationManager{} {
    *this = std::move(other);
}

TranslationManager& TranslationManager::operator=(TranslationManager&& other) noexcept {
    /* Swapped, so that the other manager stays usable */
    std::swap(_languageData, other._languageData);
    std::swap(_slots, other._slots);
    std::swap(_count, other._count);
    std::swap(_missingTerms, other._missingTerms);
    std::swap(_links, other._links);
    return *this;
}

TranslationManager::~TranslationManager() = default;

bool TranslationManager::loadLanguageData(std::vector<char>&& data) {
    if (auto problem = LanguageData::validate(data)) {
        Error{} << "TranslationManager::loadLanguageData():" << *problem;
        return false;
    }
    _languageData = std::move(data);
    const LanguageData language{_languageData};
    const std::size_t terms = language.termCount();
    std::size_t slots = MinSlotCount;
    while (tooFull(terms, slots))
        slots *= 2;
    rebuild(slots);
    _missingTerms.clear();
    for (std::size_t i = 0; i != terms; ++i)
        insert(language.key(i), language.text(i));
    return true;
}

bool TranslationManager::loadTermLinks(std::span<const char> locale) {
    if (auto problem = LocaleData::validate(locale)) {
        Error{} << "TranslationManager::loadTermLinks():" << *problem;
        return false;
    }
    const LocaleData view{locale};
    _links.clear();
    for (std::size_t j = 0; j != view.header().linkCount; ++j) {
        const LocaleLinkHeader& link = view.linkHeader(j);
        _links.push_back(
            {link.kind, link.component, link.parameter, link.reserved, view.linkedTerm(j)});
    }
    return true;
}

std::size_t TranslationManager::find(std::string_view term) const {
    const std::size_t mask = _slots.size() - 1;
    std::size_t i = std::size_t(hash<std::uint64_t>(term)) & mask;
    /* Terminates: growth keeps some slots empty */
    while (_slots[i].key != EmptyKey && _slots[i].key != term)
        i = (i + 1) & mask;
    return i;
}

void TranslationManager::insert(std::string_view term, std::string_view translation) {
    /* Such a term would read as an empty slot */
    if (term == EmptyKey)
        return;
    std::size_t i = find(term);
    if (_slots[i].key == EmptyKey) {
        if (tooFull(_count + 1, _slots.size())) {
            std::vector<Slot> old = std::move(_slots);
            rebuild(std::max(MinSlotCount, 2 * old.size()));
            for (const Slot& slot : old)
                if (slot.key != EmptyKey)
                    insert(slot.key, slot.value);
            i = find(term);
        }
        _slots[i].key = term;
        ++_count;
    }
    _slots[i].value = translation;
}

void TranslationManager::rebuild(std::size_t slots) {
    ZE_INTERNAL_ASSERT(std::has_single_bit(slots));
    _slots.assign(slots, Slot{EmptyKey, {}});
    _count = 0;
}

std::string_view TranslationManager::translate(std::string_view term) const {
    const Slot& slot = _slots[find(term)];
    return slot.key == EmptyKey ? std::string_view{} : slot.value;
}

std::string_view TranslationManager::translationOf(std::string_view term) {
    const Slot& slot = _slots[find(term)];
    if (slot.key != EmptyKey)
        return slot.value;
    insert(_missingTerms.emplace_back(term), {});
    return {};
}

void TranslationManager::applyTranslations(TextManager& texts, JavaScriptManager& scripts) {
    for (const TermLink& link : _links) {
        const Id id{link.component};
        if (link.kind == TextComponentLink && has(texts, link.component))
            texts.setText(texts.toIndex(id), translationOf(link.term));
        else if (link.kind == ScriptParameterLink && has(scripts, link.component))
            /* The script runtime addresses components by index */
            scripts.js_setComponentParamTranslation(Id(scripts.toIndex(id)), link.parameter,
                                                    translationOf(link.term));
    }
}

} // namespace ZarvikEngine::Data
