#include "ZarvikEngine/BitSet.h"

#include <algorithm>
#include <bit>

#include "ZarvikEngine/Debug.h"

/* Baseline x86-64 has no population count instruction: pick the popcnt version at load time
   on CPUs that have it, without raising the requirements of the whole library */
#if defined(__x86_64__) && !defined(__POPCNT__)
#define ZE_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define ZE_POPCOUNT_CLONES
#endif

namespace ZarvikEngine {

static_assert(sizeof(unsigned int) == 4, "bit sets are stored in 32-bit words");

namespace {

/* The bits of word w that lie in [first, last], where the range reaches into w */
unsigned int rangeMask(std::size_t w, std::size_t first, std::size_t last) {
    const std::size_t low = w == first / 32 ? first % 32 : 0;
    const std::size_t high = w == last / 32 ? last % 32 : 31;
    return (~0u >> (31 - (high - low))) << low;
}

} // namespace

BitSetView::BitSetView(std::span<unsigned int> words, std::size_t bits) {
    ZE_ASSERT(bits % 32 == 0,
              "BitSetView::BitSetView(): Number of bits (size) must be a multiple of 32.");
    ZE_ASSERT(bits <= words.size() * 32,
              "BitSetView::BitSetView(): Number of bits (size) too large for data.");
    _words = words.first(bits / 32);
}

void BitSetView::setAll() {
    std::ranges::fill(_words, ~0u);
}

void BitSetView::clear() {
    std::ranges::fill(_words, 0u);
}

void BitSetView::setRange(std::size_t first, std::size_t last) {
    if (last < first || first / 32 >= _words.size())
        return;
    const std::size_t lastWord = std::min(_words.size() - 1, last / 32);
    for (std::size_t w = first / 32; w <= lastWord; ++w)
        _words[w] |= rangeMask(w, first, last);
}

void BitSetView::shiftRangeLeft(std::size_t first, std::size_t last) {
    if (last < first || first / 32 >= _words.size())
        return;
    const std::size_t lastWord = std::min(_words.size() - 1, last / 32);
    unsigned int carry = 0;
    for (std::size_t w = first / 32; w <= lastWord; ++w) {
        const unsigned int mask = rangeMask(w, first, last);
        const unsigned int old = _words[w];
        const int low = std::countr_zero(mask);
        const int high = 31 - std::countl_zero(mask);
        _words[w] = (old & ~mask) | (((old & mask) << 1) & mask) | (carry << low);
        carry = (old >> high) & 1u;
    }
}

void BitSetView::shiftRangeRight(std::size_t first, std::size_t last) {
    if (last < first || first / 32 >= _words.size())
        return;
    const std::size_t lastWord = std::min(_words.size() - 1, last / 32);
    unsigned int carry = 0;
    for (std::size_t w = lastWord + 1; w-- > first / 32;) {
        const unsigned int mask = rangeMask(w, first, last);
        const unsigned int old = _words[w];
        const int low = std::countr_zero(mask);
        const int high = 31 - std::countl_zero(mask);
        _words[w] = (old & ~mask) | (((old & mask) >> 1) & mask) | (carry << high);
        carry = (old >> low) & 1u;
    }
}

std::size_t BitSetView::findFirstSet(std::size_t first, std::size_t last) const {
    if (last < first || first >= size())
        return size();
    const std::size_t lastWord = std::min(_words.size() - 1, last / 32);
    /* Only the first and the last word need masking, keep the loop between them bare */
    std::size_t w = first / 32;
    unsigned int bits = _words[w] & (~0u << (first % 32));
    while (!bits && w < lastWord)
        bits = _words[++w];
    if (w == last / 32)
        bits &= ~0u >> (31 - last % 32);
    return bits ? w * 32 + std::size_t(std::countr_zero(bits)) : size();
}

bool BitSetView::isClear() const {
    return std::ranges::all_of(_words, [](unsigned int word) { return word == 0; });
}

ZE_POPCOUNT_CLONES std::size_t BitSetView::countSet() const {
    std::size_t count = 0;
    for (const unsigned int word : _words)
        count += std::size_t(std::popcount(word));
    return count;
}

bool BitSetView::intersectionEmpty(const BitSetView& other) const {
    const std::size_t words = std::min(_words.size(), other._words.size());
    for (std::size_t w = 0; w != words; ++w) {
        if (_words[w] & other._words[w])
            return false;
    }
    return true;
}

BitSetView& BitSetView::operator&=(const BitSetView& other) {
    const std::size_t words = std::min(_words.size(), other._words.size());
    for (std::size_t w = 0; w != words; ++w)
        _words[w] &= other._words[w];
    return *this;
}

BitSetView& BitSetView::operator|=(const BitSetView& other) {
    const std::size_t words = std::min(_words.size(), other._words.size());
    for (std::size_t w = 0; w != words; ++w)
        _words[w] |= other._words[w];
    return *this;
}

BitSetView& BitSetView::operator^=(const BitSetView& other) {
    const std::size_t words = std::min(_words.size(), other._words.size());
    for (std::size_t w = 0; w != words; ++w)
        _words[w] ^= other._words[w];
    return *this;
}

BitSetView BitSetView::slice(std::size_t start, std::size_t end) const {
    ZE_ASSERT(end >= start, "BitSetView::slice(): End must be greater than or equal to start.");
    ZE_ASSERT(start % 32 == 0 && end % 32 == 0,
              "BitSetView::slice(): Start and end must be multiples of 32.");
    ZE_INTERNAL_ASSERT(end <= size());
    return BitSetView{_words.subspan(start / 32), end - start};
}

BitSet::BitSet(std::size_t bits) : _words((bits + 31) / 32) {
    viewWords();
}

BitSet::BitSet(BitSet&& other) noexcept : _words{std::move(other._words)} {
    viewWords();
    other.viewWords();
}

BitSet& BitSet::operator=(BitSet&& other) noexcept {
    _words.swap(other._words);
    viewWords();
    other.viewWords();
    return *this;
}

void BitSet::resize(std::size_t bits) {
    _words.resize((bits + 31) / 32);
    viewWords();
}

void BitSet::setSafe(std::size_t i) {
    if (i >= size())
        resize(i + 1);
    set(i);
}

void moveBit(BitSetView view, std::size_t from, std::size_t to) {
    const bool value = view[from];
    if (from >= to) {
        view.shiftRangeLeft(to, from);
        view.set(to, value);
    } else {
        view.shiftRangeRight(from, to - 1);
        view.set(to - 1, value);
    }
}

} // namespace ZarvikEngine
