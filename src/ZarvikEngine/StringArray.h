#ifndef ZarvikEngine_StringArray_h
#define ZarvikEngine_StringArray_h

#include <concepts>
#include <cstddef>
#include <iterator>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ZarvikEngine {

/* Reads a list of zero-terminated strings packed back to back in one buffer: entry i occupies
   bytes offsetOf(i) to offsetOf(i + 1) - 1, its last byte being the zero. Bytes after the last
   entry are unused capacity. The buffer doesn't store the count; the view keeps the offsets. */
class StringArrayView {
public:
    class Iterator {
    public:
        using iterator_concept = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;

        Iterator() = default;
        Iterator(const StringArrayView& view, std::size_t index) : _view{&view}, _index{index} {}

        std::string_view operator*() const { return _view->get(_index); }
        Iterator& operator++() {
            ++_index;
            return *this;
        }
        Iterator operator++(int) {
            Iterator previous = *this;
            ++_index;
            return previous;
        }
        bool operator==(const Iterator&) const = default;

        std::size_t index() const { return _index; }

    private:
        const StringArrayView* _view{};
        std::size_t _index{};
    };

    StringArrayView() = default;
    /* Scanning form: entries up to the first empty string or the end of the buffer */
    explicit StringArrayView(std::span<const char> data);
    /* Counted form: exactly count entries, empty ones included */
    StringArrayView(std::span<const char> data, std::size_t count);

    StringArrayView(const StringArrayView&) = default;
    StringArrayView& operator=(const StringArrayView&) = default;
    /* The source is left an empty view */
    StringArrayView(StringArrayView&& other);
    StringArrayView& operator=(StringArrayView&& other);
    virtual ~StringArrayView() = default;

    /* The entry without its zero byte */
    std::string_view get(std::size_t i) const;
    std::string_view operator[](std::size_t i) const { return get(i); }
    /* Bytes of entry i, zero byte included */
    std::size_t sizeOf(std::size_t i) const;
    /* Empty when there are no entries */
    std::string_view back() const { return empty() ? std::string_view{} : get(size() - 1); }

    Iterator begin() const { return {*this, 0}; }
    Iterator end() const { return {*this, size()}; }
    Iterator find(std::string_view string) const;
    bool contains(std::string_view string) const { return find(string) != end(); }

    bool empty() const { return size() == 0; }
    std::size_t size() const { return _offsets.size() - 1; }
    std::size_t capacity() const { return _data.size(); }
    std::size_t usedCapacity() const { return _offsets.back(); }
    std::size_t unusedCapacity() const;
    /* i may be size(), giving the used bytes */
    std::size_t offsetOf(std::size_t i) const { return _offsets[i]; }
    std::span<const char> data() const { return _data; }
    std::span<const char> usedData() const { return _data.first(usedCapacity()); }

    /* The first n entries, read from the same buffer */
    StringArrayView prefix(std::size_t n) const;
    /* The entries from n on, in the buffer starting at offsetOf(n) */
    StringArrayView suffix(std::size_t n) const;

    /* Points at a buffer with identical contents, e.g. after the bytes were moved */
    void setData(std::span<const char> data) { _data = data; }

    /* All entries, for functions that take a list of strings */
    std::vector<std::string_view> strings() const {
        return std::vector<std::string_view>(begin(), end());
    }

protected:
    /* size() + 1 entries: offsetOf(0) = 0, offsetOf(size()) = used bytes */
    std::vector<std::size_t> _offsets{0};
    std::span<const char> _data;
};

/* Edits a string array in place within a fixed buffer, whose size is the capacity. Strings
   passed in may point into the buffer itself. */
class MutableStringArrayView : public StringArrayView {
public:
    MutableStringArrayView() = default;
    explicit MutableStringArrayView(std::span<char> data)
        : StringArrayView{std::span<const char>{data}} {}
    MutableStringArrayView(std::span<char> data, std::size_t count)
        : StringArrayView{std::span<const char>{data}, count} {}

    using StringArrayView::get;
    /* Writable bytes of the entry, without its zero byte */
    std::span<char> get(std::size_t i);

    /* Replace entry i; false with nothing changed when the unused capacity is too small */
    bool set(std::size_t i, std::string_view string);
    /* length -1 takes the string up to its zero byte */
    bool set(std::size_t i, const char* s, int length);
    /* Insert before entry i; false when the string doesn't fit */
    bool insert(std::size_t i, std::string_view string);
    bool insert(std::size_t i, const char* s, int length);
    /* Appends an entry and returns its index */
    virtual std::size_t add(std::string_view string);
    virtual void append(std::span<const std::string_view> strings);

    void remove(std::size_t i) { removeRange(i, 1); }
    void removeRange(std::size_t first, std::size_t count);
    /* Drops the last n entries */
    void removeSuffix(std::size_t n);
    /* No entries; the buffer keeps its bytes */
    void clear() { _offsets.resize(1); }
    void swap(std::size_t a, std::size_t b);
    /* Adds empty entries up to n (or drops entries down to n) */
    void setSize(std::size_t n);

    bool canFit(std::string_view string) const { return string.size() + 1 <= unusedCapacity(); }
    /* length counts every byte needed, zero byte included */
    bool canFit(int length) const { return length <= 0 || std::size_t(length) <= unusedCapacity(); }

    void setData(std::span<char> data) { StringArrayView::setData(data); }

protected:
    /* Whether string lies in this array's buffer, so that moving bytes would change it */
    bool aliases(std::string_view string) const;

private:
    /* The buffer was given as writable memory, so giving the constness back is sound */
    char* writableData() { return const_cast<char*>(_data.data()); }
    /* Moves the bytes of entries i to size() - 1 by delta and adjusts their offsets */
    void moveData(std::size_t i, std::ptrdiff_t delta);
};

/* A string array that owns its buffer and grows it when an addition doesn't fit */
class StringArray : public MutableStringArrayView {
public:
    StringArray() : StringArray{24} {}
    /* Zeroed buffer of capacity bytes, no entries */
    explicit StringArray(std::size_t capacity);
    /* Takes the buffer and reads count entries from it */
    StringArray(std::vector<char>&& data, std::size_t count);

    StringArray(const StringArray&) = delete;
    StringArray& operator=(const StringArray&) = delete;
    StringArray(StringArray&&) = default;
    StringArray& operator=(StringArray&&) = default;

    /* Doubles the buffer until the string fits */
    std::size_t add(std::string_view string) override;
    /* Doubles the buffer until there is a byte for each string, then adds them */
    void append(std::span<const std::string_view> strings) override;
    /* Grows the buffer to exactly the bytes needed when the string doesn't fit */
    using MutableStringArrayView::insert;
    bool insert(std::size_t i, std::string_view string);

private:
    /* Doubles the capacity (or, from none, takes exactly what is needed) until bytes fit */
    void growToFit(std::size_t bytes);
    void resize(std::size_t capacity);

    std::vector<char> _buffer;
};

/* Exactly as many bytes as the strings need; an empty list gives a default StringArray */
StringArray fromStrings(std::span<const std::string_view> strings);

template<std::ranges::input_range Strings>
requires std::convertible_to<std::ranges::range_reference_t<Strings>, std::string_view> &&
    (!std::convertible_to<const Strings&, std::span<const std::string_view>>)StringArray
    fromStrings(const Strings& strings) {
    const std::vector<std::string_view> views(std::ranges::begin(strings),
                                              std::ranges::end(strings));
    return fromStrings(std::span<const std::string_view>{views});
}

/* Every delimiter ends an entry, so empty pieces become empty entries */
StringArray split(std::span<const char> data, char delimiter);

/* The entries separated by separator */
std::string join(const StringArrayView& view, char separator);

/* The entries the predicate accepts, in order */
StringArray filter(const StringArrayView& view, bool (*predicate)(std::string_view));

} // namespace ZarvikEngine

#endif
