#include "ZarvikEngine/StringArray.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

namespace {

/* Position after the zero byte ending the string at start, or data.size() + 1 without one */
std::size_t endOfString(std::span<const char> data, std::size_t start) {
    const void* zero = std::memchr(data.data() + start, 0, data.size() - start);
    return zero ? std::size_t(static_cast<const char*>(zero) - data.data()) + 1 : data.size() + 1;
}

} // namespace

StringArrayView::StringArrayView(std::span<const char> data) : _data{data} {
    for (std::size_t start = 0; start < data.size() && data[start] != '\0';) {
        start = endOfString(data, start);
        if (start > data.size())
            break;
        _offsets.push_back(start);
    }
}

StringArrayView::StringArrayView(std::span<const char> data, std::size_t count) : _data{data} {
    /* Every entry takes at least its zero byte */
    ZE_ASSERT(count <= data.size(),
              "StringArrayView(): data too small to hold existing element count");
    _offsets.reserve(count + 1);
    for (std::size_t i = 0; i != count; ++i) {
        ZE_ASSERT(_offsets.back() < data.size(),
                  "StringArrayView(): data did not contain" << count << "existing elements values");
        _offsets.push_back(endOfString(data, _offsets.back()));
    }
    ZE_ASSERT(_offsets.back() <= data.size(),
              "StringArrayView(): data too small to hold existing elements values");
}

StringArrayView::StringArrayView(StringArrayView&& other)
    : _offsets{std::exchange(other._offsets, {0})}, _data{std::exchange(other._data, {})} {}

StringArrayView& StringArrayView::operator=(StringArrayView&& other) {
    _offsets = std::exchange(other._offsets, {0});
    _data = std::exchange(other._data, {});
    return *this;
}

std::string_view StringArrayView::get(std::size_t i) const {
    ZE_ASSERT(i < size(), "StringArrayView::get(): invalid index" << i << "for size" << size());
    return {_data.data() + _offsets[i], _offsets[i + 1] - _offsets[i] - 1};
}

std::size_t StringArrayView::sizeOf(std::size_t i) const {
    ZE_ASSERT(i < size(), "StringArrayView::sizeOf(): invalid index" << i << "for size" << size());
    ZE_ASSERT(_offsets[i + 1] >= _offsets[i], "StringArrayView::sizeOf(): offset"
                                                  << i + 1 << "is smaller than offset" << i
                                                  << "previous:" << _offsets[i + 1] << "<"
                                                  << _offsets[i]);
    return _offsets[i + 1] - _offsets[i];
}

StringArrayView::Iterator StringArrayView::find(std::string_view string) const {
    return std::ranges::find(begin(), end(), string);
}

std::size_t StringArrayView::unusedCapacity() const {
    ZE_ASSERT(usedCapacity() <= capacity(),
              "StringArrayView::unusedCapacity(): data size was smaller than final offset");
    return capacity() - usedCapacity();
}

StringArrayView StringArrayView::prefix(std::size_t n) const {
    ZE_INTERNAL_ASSERT(n <= size());
    return StringArrayView{_data, n};
}

StringArrayView StringArrayView::suffix(std::size_t n) const {
    ZE_INTERNAL_ASSERT(n <= size());
    return StringArrayView{_data.subspan(_offsets[n]), size() - n};
}

std::span<char> MutableStringArrayView::get(std::size_t i) {
    const std::string_view entry = StringArrayView::get(i);
    return {writableData() + _offsets[i], entry.size()};
}

bool MutableStringArrayView::set(std::size_t i, std::string_view string) {
    ZE_ASSERT(i < size(),
              "MutableStringArrayView::set(): invalid index" << i << "for size" << size());
    const std::size_t oldSize = sizeOf(i);
    const std::size_t newSize = string.size() + 1;
    if (newSize != oldSize) {
        if (newSize > oldSize && newSize - oldSize > unusedCapacity())
            return false;
        if (aliases(string))
            return set(i, std::string{string});
        if (i + 1 == size())
            _offsets.back() = _offsets.back() + newSize - oldSize;
        else
            moveData(i + 1, std::ptrdiff_t(newSize) - std::ptrdiff_t(oldSize));
    }
    char* const entry = writableData() + _offsets[i];
    if (!string.empty())
        std::memmove(entry, string.data(), string.size());
    entry[string.size()] = '\0';
    return true;
}

bool MutableStringArrayView::set(std::size_t i, const char* s, int length) {
    return set(i, length < 0 ? std::string_view{s} : std::string_view{s, std::size_t(length)});
}

bool MutableStringArrayView::insert(std::size_t i, std::string_view string) {
    return insert(i, string.data(), int(string.size()));
}

bool MutableStringArrayView::insert(std::size_t i, const char* s, int length) {
    const int n = length < 0 ? int(std::strlen(s)) : length;
    if (std::size_t(n) + 1 > unusedCapacity())
        return false;
    if (aliases({s, std::size_t(n)}))
        return insert(i, std::string{s, std::size_t(n)});
    moveData(i, n + 1);
    _offsets.insert(_offsets.begin() + std::ptrdiff_t(i), _offsets[i] - std::size_t(n) - 1);
    /* The gap has exactly the entry's size, so nothing else moves */
    ZE_INTERNAL_ASSERT(set(i, s, n));
    return true;
}

std::size_t MutableStringArrayView::add(std::string_view string) {
    ZE_ASSERT(canFit(string), "MutableStringArrayView::add(): Capacity exhausted");
    char* const entry = writableData() + usedCapacity();
    std::ranges::copy(string, entry);
    entry[string.size()] = '\0';
    _offsets.push_back(usedCapacity() + string.size() + 1);
    return size() - 1;
}

void MutableStringArrayView::append(std::span<const std::string_view> strings) {
    ZE_ASSERT(strings.size() <= unusedCapacity(),
              "MutableStringArrayView::append(): Capacity exhausted");
    for (const std::string_view string : strings)
        add(string);
}

void MutableStringArrayView::removeRange(std::size_t first, std::size_t count) {
    ZE_ASSERT(first + count <= size(),
              "MutableStringArrayView::removeRange(): range out of bounds");
    if (first + count < size())
        moveData(first + count,
                 std::ptrdiff_t(_offsets[first]) - std::ptrdiff_t(_offsets[first + count]));
    const auto begin = _offsets.begin() + std::ptrdiff_t(first);
    _offsets.erase(begin + 1, begin + std::ptrdiff_t(count) + 1);
}

void MutableStringArrayView::removeSuffix(std::size_t n) {
    /* n == size() empties the array, so the check is n <= size(); a violation still reads as
       the usual invariant message */
    if (n > size())
        Implementation::assertionFailed("n < size()", __FILE__, __LINE__);
    _offsets.resize(_offsets.size() - n);
}

void MutableStringArrayView::swap(std::size_t a, std::size_t b) {
    const std::size_t sizeA = sizeOf(a);
    const std::size_t sizeB = sizeOf(b);
    if (sizeA == sizeB) {
        std::ranges::swap_ranges(get(a), get(b));
        return;
    }
    const std::size_t longer = sizeA > sizeB ? a : b;
    const std::size_t shorter = sizeA > sizeB ? b : a;
    const std::string longString{StringArrayView::get(longer)};
    const std::string shortString{StringArrayView::get(shorter)};
    /* Shortening the longer entry first frees exactly the bytes the other one grows by */
    ZE_INTERNAL_ASSERT(set(longer, shortString) && set(shorter, longString));
}

void MutableStringArrayView::setSize(std::size_t n) {
    if (n < size())
        return removeSuffix(size() - n);
    const std::size_t needed = n - size();
    ZE_ASSERT(needed <= unusedCapacity(), "MutableStringArrayView::setSize(): Need at least"
                                              << needed << "unused capacity to set size to" << n);
    char* const data = writableData();
    while (size() < n) {
        data[usedCapacity()] = '\0';
        _offsets.push_back(usedCapacity() + 1);
    }
}

bool MutableStringArrayView::aliases(std::string_view string) const {
    const std::less<const char*> less;
    return !string.empty() && less(string.data(), _data.data() + _data.size()) &&
           less(_data.data(), string.data() + string.size());
}

void MutableStringArrayView::moveData(std::size_t i, std::ptrdiff_t delta) {
    ZE_ASSERT(i < size(),
              "MutableStringArrayView::moveData(): invalid index" << i << "for size" << size());
    char* const data = writableData();
    const std::size_t start = _offsets[i];
    std::memmove(data + std::ptrdiff_t(start) + delta, data + start, usedCapacity() - start);
    for (std::size_t k = i; k != _offsets.size(); ++k)
        _offsets[k] += std::size_t(delta);
}

StringArray::StringArray(std::size_t capacity) : _buffer(capacity) {
    setData(_buffer);
}

StringArray::StringArray(std::vector<char>&& data, std::size_t count)
    : MutableStringArrayView{data, count}, _buffer{std::move(data)} {}

std::size_t StringArray::add(std::string_view string) {
    if (!canFit(string)) {
        /* Growing frees the bytes the string may point into */
        if (aliases(string))
            return add(std::string{string});
        growToFit(string.size() + 1);
    }
    return MutableStringArrayView::add(string);
}

void StringArray::append(std::span<const std::string_view> strings) {
    /* Any add may grow and free the bytes a string points into */
    if (std::ranges::any_of(strings, [this](std::string_view s) { return aliases(s); })) {
        const std::vector<std::string> copies(strings.begin(), strings.end());
        const std::vector<std::string_view> views(copies.begin(), copies.end());
        return append(views);
    }
    growToFit(strings.size());
    MutableStringArrayView::append(strings);
}

bool StringArray::insert(std::size_t i, std::string_view string) {
    if (!canFit(string)) {
        if (aliases(string))
            return insert(i, std::string{string});
        resize(usedCapacity() + string.size() + 1);
    }
    return MutableStringArrayView::insert(i, string);
}

void StringArray::growToFit(std::size_t bytes) {
    if (unusedCapacity() >= bytes)
        return;
    std::size_t newCapacity = capacity() ? capacity() : usedCapacity() + bytes;
    while (newCapacity - usedCapacity() < bytes)
        newCapacity *= 2;
    resize(newCapacity);
}

void StringArray::resize(std::size_t capacity) {
    _buffer.resize(capacity);
    setData(_buffer);
}

StringArray fromStrings(std::span<const std::string_view> strings) {
    if (strings.empty())
        return StringArray{};
    std::size_t bytes = 0;
    for (const std::string_view string : strings)
        bytes += string.size() + 1;
    StringArray array{bytes};
    array.append(strings);
    return array;
}

StringArray split(std::span<const char> data, char delimiter) {
    if (data.empty())
        return StringArray{};
    std::vector<char> buffer(data.size() + 1);
    std::ranges::replace_copy(data, buffer.begin(), delimiter, '\0');
    const std::size_t count = std::size_t(std::ranges::count(data, delimiter)) + 1;
    return StringArray{std::move(buffer), count};
}

std::string join(const StringArrayView& view, char separator) {
    const std::span<const char> used = view.usedData();
    if (used.empty())
        return {};
    std::string joined{used.data(), used.size() - 1};
    std::ranges::replace(joined, '\0', separator);
    return joined;
}

StringArray filter(const StringArrayView& view, bool (*predicate)(std::string_view)) {
    StringArray filtered;
    for (const std::string_view string : view) {
        if (predicate(string))
            filtered.add(string);
    }
    return filtered;
}

} // namespace ZarvikEngine
