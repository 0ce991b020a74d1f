#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/StringArray.h"

namespace ZarvikEngine {
namespace {

using namespace std::string_view_literals;
using Strings = std::vector<std::string>;

Strings entries(const StringArrayView& view) {
    return {view.begin(), view.end()};
}

/* The bytes must read back as the same entries, so the array can be stored as buffer + count */
void expectConsistent(const StringArrayView& view, const Strings& expected) {
    ASSERT_EQ(entries(view), expected);
    std::size_t used = 0;
    for (std::size_t i = 0; i != expected.size(); ++i) {
        ASSERT_EQ(view.offsetOf(i), used);
        used += expected[i].size() + 1;
        ASSERT_EQ(view.sizeOf(i), expected[i].size() + 1);
    }
    ASSERT_EQ(view.usedCapacity(), used);
    ASSERT_EQ(entries(StringArrayView{view.usedData(), view.size()}), expected);
}

TEST(StringArray, ReadsBuffers) {
    const char bytes[]{'a', 0, 0, 'b', 'c', 0};
    const StringArrayView counted{bytes, 3};
    EXPECT_EQ(counted.find("").index(), 1u);
    EXPECT_FALSE(counted.contains("a\0"sv));

    /* Scanning stops at the empty string, and at a string without its zero byte */
    const StringArrayView scanned{bytes};
    expectConsistent(scanned, {"a"});
    EXPECT_EQ(scanned.unusedCapacity(), 4u);
    const char unterminated[]{'a', 0, 'b'};
    EXPECT_EQ(entries(StringArrayView{unterminated}), Strings{"a"});
    EXPECT_EQ(StringArrayView{}.back(), "");
    EXPECT_EQ(entries(counted.prefix(2)), (Strings{"a", ""}));
    const StringArrayView suffix = counted.suffix(1);
    expectConsistent(suffix, {"", "bc"});
    EXPECT_EQ(suffix.data().data(), bytes + 2);

    /* Moves hand the offsets over */
    StringArrayView copy = counted;
    StringArrayView moved = std::move(copy);
    EXPECT_EQ(copy.usedCapacity(), 0u);
    const std::vector<char> relocated(bytes, bytes + 6);
    moved.setData(relocated);
    EXPECT_EQ(moved[2].data(), relocated.data() + 3);
}

TEST(StringArray, EditsFixedBuffer) {
    /* Growing an entry of a full buffer fails, swapping still works */
    char buffer[12]{};
    MutableStringArrayView view{buffer, 0};
    view.append(std::vector<std::string_view>{"one", "xyz", "t", "z"});
    EXPECT_FALSE(view.canFit(1));
    EXPECT_FALSE(view.set(0, "three"));
    view.swap(1, 2);
    view.swap(3, 0);
    EXPECT_EQ(std::string_view(buffer, 12), "z\0t\0xyz\0one\0"sv);

    view.get(2)[1] = 'Y';
    view.remove(1);
    EXPECT_TRUE(view.set(0, "abcdef", 2));
    EXPECT_EQ(entries(view), (Strings{"ab", "xYz", "one"}));
    view.removeRange(1, 2);
    EXPECT_TRUE(view.set(0, "first\0second", -1));
    EXPECT_TRUE(view.insert(0, "zzz", -1));
    EXPECT_EQ(entries(view), (Strings{"zzz", "first"}));

    /* New entries get their zero byte even over stale bytes; clearing keeps the bytes */
    buffer[10] = '#';
    view.setSize(3);
    EXPECT_EQ(entries(view), (Strings{"zzz", "first", ""}));
    view.clear();
    EXPECT_TRUE(view.empty());
    EXPECT_EQ(buffer[0], 'z');
}

TEST(StringArray, OwningArrayGrows) {
    StringArray array;
    EXPECT_EQ(array.capacity(), 24u);
    array.add("short");
    array.add(std::string(30, 'x'));
    EXPECT_EQ(array.capacity(), 48u);

    /* append makes room for one byte per string, then each add grows as needed */
    array.append(std::vector<std::string_view>(12, ""));
    EXPECT_EQ(array.capacity(), 96u);
    EXPECT_EQ(array.size(), 14u);

    /* insert grows to exactly the bytes needed; from no buffer at all, the first growth takes
       exactly what is needed */
    StringArray exact{4};
    exact.add("abc");
    EXPECT_TRUE(exact.insert(0, "de"));
    EXPECT_EQ(exact.capacity(), 7u);
    StringArray none{0};
    none.add("hello");
    EXPECT_EQ(none.capacity(), 6u);
    none.add("");

    /* Strings taken from the array itself survive the reallocation */
    none.add(none[0]);
    none.append(none.strings());
    expectConsistent(none, {"hello", "", "hello", "hello", "", "hello"});

    StringArray taken{std::vector<char>{'a', 0, 'b', 0, 0, 0}, 3};
    StringArray moved{std::move(taken)};
    EXPECT_TRUE(taken.empty());
    moved.add("grown");
    EXPECT_EQ(entries(moved), (Strings{"a", "b", "", "grown"}));
    EXPECT_EQ(moved.capacity(), 12u);
}

TEST(StringArray, FreeFunctions) {
    const std::string_view names[]{"head", "", "hand"};
    const StringArray array = fromStrings(names);
    EXPECT_EQ(array.capacity(), 11u);
    expectConsistent(array, {"head", "", "hand"});
    EXPECT_EQ(fromStrings(std::span<const std::string_view>{}).capacity(), 24u);

    const StringArray pieces = split("a,,b"sv, ',');
    expectConsistent(pieces, {"a", "", "b"});
    EXPECT_EQ(pieces.capacity(), 5u);
    EXPECT_EQ(join(pieces, '-'), "a--b");
    expectConsistent(split(",,"sv, ','), {"", "", ""});
    EXPECT_TRUE(split(""sv, ',').empty());
    EXPECT_EQ(join(StringArray{}, '-'), "");

    const StringArray kept =
        filter(array, [](std::string_view name) { return name.starts_with('h'); });
    EXPECT_EQ(entries(kept), (Strings{"head", "hand"}));
    EXPECT_EQ(kept.capacity(), 24u);
}

/* Random edits against a std::vector<std::string>, both in a fixed buffer (where edits may
   fail for lack of room) and in a growing array, with strings sometimes taken from the array
   itself */
TEST(StringArray, EditsMatchReferenceModel) {
    std::mt19937 random{42};
    auto randomString = [&] {
        std::string string(random() % 7, ' ');
        for (char& c : string)
            c = char('a' + random() % 26);
        return string;
    };

    std::vector<char> fixedBuffer(64);
    MutableStringArrayView fixed{fixedBuffer, 0};
    StringArray growing{0};
    for (MutableStringArrayView* array : {&fixed, static_cast<MutableStringArrayView*>(&growing)}) {
        Strings model;
        for (int step = 0; step != 4000; ++step) {
            const std::size_t i = model.empty() ? 0 : random() % model.size();
            std::string string = randomString();
            std::string_view view = string;
            if (!model.empty() && random() % 4 == 0) {
                const std::string_view entry = (*array)[random() % model.size()];
                view = entry.substr(entry.empty() ? 0 : random() % 2);
            }
            const std::string copy{view};

            switch (model.empty() ? 0 : random() % 8) {
            case 0:
                if (array == &growing || array->canFit(view)) {
                    array->add(view);
                    model.push_back(copy);
                }
                break;
            case 1:
                if (array->set(i, view))
                    model[i] = copy;
                break;
            case 2:
                /* The growing array's insert() is found through its own type */
                if (array == &growing ? growing.insert(i, view) : array->insert(i, view))
                    model.insert(model.begin() + std::ptrdiff_t(i), copy);
                break;
            case 3:
                array->remove(i);
                model.erase(model.begin() + std::ptrdiff_t(i));
                break;
            case 4: {
                const std::size_t count = random() % (model.size() - i + 1);
                array->removeRange(i, count);
                model.erase(model.begin() + std::ptrdiff_t(i),
                            model.begin() + std::ptrdiff_t(i + count));
                break;
            }
            case 5: {
                const std::size_t other = random() % model.size();
                array->swap(i, other);
                std::swap(model[i], model[other]);
                break;
            }
            case 6: {
                const std::size_t n = random() % (model.size() + 1);
                array->removeSuffix(n);
                model.resize(model.size() - n);
                break;
            }
            case 7: {
                const std::size_t n = model.size() + random() % 3;
                if (n - model.size() <= array->unusedCapacity()) {
                    array->setSize(n);
                    model.resize(n);
                }
                break;
            }
            }
            ASSERT_NO_FATAL_FAILURE(expectConsistent(*array, model)) << "step " << step;
            /* Keep the fixed buffer from staying full */
            if (model.size() > 12) {
                array->removeSuffix(6);
                model.resize(model.size() - 6);
            }
        }
    }
}

TEST(StringArrayDeathTest, MisuseAborts) {
    const char bytes[]{'a', 0, 'b', 'c'};
    ZE_EXPECT_ABORT((StringArrayView{bytes, 5}),
                    "StringArrayView(): data too small to hold existing element count");
    ZE_EXPECT_ABORT((StringArrayView{std::span{bytes, 2}, 2}),
                    "StringArrayView(): data did not contain 2 existing elements values");
    ZE_EXPECT_ABORT((StringArrayView{bytes, 2}),
                    "StringArrayView(): data too small to hold existing elements values");

    const StringArrayView view{bytes, 1};
    ZE_EXPECT_ABORT(view.get(1), "StringArrayView::get(): invalid index 1 for size 1");
    ZE_EXPECT_ABORT(view.sizeOf(3), "StringArrayView::sizeOf(): invalid index 3 for size 1");
    StringArrayView shrunk = view;
    shrunk.setData(std::span{bytes, 1});
    ZE_EXPECT_ABORT(shrunk.unusedCapacity(),
                    "StringArrayView::unusedCapacity(): data size was smaller than final offset");

    char buffer[4]{};
    MutableStringArrayView edited{buffer, 0};
    edited.add("ab");
    ZE_EXPECT_ABORT(edited.set(1, "x"),
                    "MutableStringArrayView::set(): invalid index 1 for size 1");
    ZE_EXPECT_ABORT(edited.add("c"), "MutableStringArrayView::add(): Capacity exhausted");
    ZE_EXPECT_ABORT(edited.append(std::vector<std::string_view>{"", ""}),
                    "MutableStringArrayView::append(): Capacity exhausted");
    ZE_EXPECT_ABORT(edited.insert(1, ""),
                    "MutableStringArrayView::moveData(): invalid index 1 for size 1");
    ZE_EXPECT_ABORT(edited.removeRange(1, 1),
                    "MutableStringArrayView::removeRange(): range out of bounds");
    ZE_EXPECT_ABORT(edited.setSize(3),
                    "MutableStringArrayView::setSize(): Need at least 2 unused capacity to set "
                    "size to 3");
    ZE_EXPECT_ABORT_PREFIX(edited.removeSuffix(2),
                           "Assertion n < size() failed at ZarvikEngine/StringArray.cpp:");
}

} // namespace
} // namespace ZarvikEngine
