#ifndef ZarvikEngine_BitSet_h
#define ZarvikEngine_BitSet_h

#include <cstddef>
#include <span>
#include <vector>

namespace ZarvikEngine {

/* Bits over 32-bit words that live elsewhere (typically inside a data block): bit i is bit
   i % 32 of word i / 32. Single-bit accessors are unchecked unless named ...Safe; everything
   else works a word at a time. */
class BitSetView {
public:
    BitSetView() = default;
    /* bits must be a multiple of 32 and fit into words */
    BitSetView(std::span<unsigned int> words, std::size_t bits);

    std::size_t size() const { return _words.size() * 32; }
    std::span<const unsigned int> data() const { return _words; }

    bool operator[](std::size_t i) const { return (_words[i / 32] >> (i % 32)) & 1u; }
    bool isSetSafe(std::size_t i) const { return i < size() && (*this)[i]; }

    BitSetView& set(std::size_t i) {
        _words[i / 32] |= bit(i);
        return *this;
    }
    BitSetView& set(std::size_t i, bool value) { return value ? set(i) : unset(i); }
    BitSetView& unset(std::size_t i) {
        _words[i / 32] &= ~bit(i);
        return *this;
    }
    BitSetView& toggle(std::size_t i) {
        _words[i / 32] ^= bit(i);
        return *this;
    }
    void unsetSafe(std::size_t i) {
        if (i < size())
            unset(i);
    }
    void swap(std::size_t a, std::size_t b) {
        const bool bitA = (*this)[a];
        set(a, (*this)[b]);
        set(b, bitA);
    }

    void setAll();
    void clear();

    /* Ranges include both ends; parts beyond size() are ignored */
    void setRange(std::size_t first, std::size_t last);
    /* Bit k takes the old bit k - 1, first becomes 0 */
    void shiftRangeLeft(std::size_t first, std::size_t last);
    /* Bit k takes the old bit k + 1, last becomes 0 */
    void shiftRangeRight(std::size_t first, std::size_t last);
    /* size() when no bit in the range is set */
    std::size_t findFirstSet(std::size_t first, std::size_t last) const;
    bool isRangeClear(std::size_t first, std::size_t last) const {
        return findFirstSet(first, last) == size();
    }

    bool isClear() const;
    std::size_t countSet() const;
    bool intersectionEmpty(const BitSetView& other) const;

    /* Word by word over the words both views have; the rest of this view is unchanged */
    BitSetView& operator&=(const BitSetView& other);
    BitSetView& operator|=(const BitSetView& other);
    BitSetView& operator^=(const BitSetView& other);

    /* Bits start to end - 1, both multiples of 32, sharing the words */
    BitSetView slice(std::size_t start, std::size_t end) const;

private:
    static unsigned int bit(std::size_t i) { return 1u << (i % 32); }

    std::span<unsigned int> _words;
};

/* A bit set that owns its words and can grow; the view always covers all of them */
class BitSet : public BitSetView {
public:
    BitSet() = default;
    /* ceil(bits / 32) zeroed words */
    explicit BitSet(std::size_t bits);

    BitSet(const BitSet&) = delete;
    BitSet& operator=(const BitSet&) = delete;
    BitSet(BitSet&& other) noexcept;
    BitSet& operator=(BitSet&& other) noexcept;

    /* Keeps existing words, new words are zero */
    void resize(std::size_t bits);
    /* Grows to fit i first */
    void setSafe(std::size_t i);

private:
    void viewWords() { BitSetView::operator=(BitSetView{_words, _words.size() * 32}); }

    std::vector<unsigned int> _words;
};

/* Moves the bit at from to the insertion point to, shifting the bits in between, as when an
   element of a per-index array is moved to another position */
void moveBit(BitSetView view, std::size_t from, std::size_t to);

} // namespace ZarvikEngine

#endif
