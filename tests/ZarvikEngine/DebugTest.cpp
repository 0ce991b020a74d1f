#include <iostream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {
namespace {

enum class Fruit { Apple = 1 };

Debug& operator<<(Debug& debug, Fruit value) {
    return printEnum(debug, "Fruit", value == Fruit::Apple ? "Apple" : "", int(value));
}

TEST(Debug, FormatsAndRedirectsPerKindPerThread) {
    std::ostringstream outer, inner, warnings, otherThread;
    {
        Debug redirectOuter{&outer};
        Warning redirectWarnings{&warnings};
        Debug{} << "value" << 42 << -7 << 1.5f << 0.1 << true << 'c'
                << static_cast<unsigned char>(200);
        Debug{} << "a" << Debug::nospace << "b" << Debug::newline << "c";
        Debug{} << std::string{"text"} << std::string_view{"view"} << nullptr;
        Debug{}; /* nothing printed, no empty line */
        {
            Debug redirectInner{&inner};
            Debug{} << Fruit::Apple << Fruit(3);
            Warning{} << "warned";
            std::thread{[&] {
                Debug redirect{&otherThread};
                Debug{} << "elsewhere";
            }}.join();
        }
        Debug{} << "restored";
        /* Each kind reports its own current stream */
        EXPECT_EQ(Debug::output(), &outer);
        EXPECT_EQ(Warning::output(), &warnings);
        EXPECT_EQ(Error::output(), &std::cerr);
        Error silence{nullptr};
        Error{} << "lost";
        EXPECT_EQ(Error::output(), nullptr);
    }
    EXPECT_EQ(outer.str(), "value 42 -7 1.5 0.1 true c 200\n"
                           "ab\nc\n"
                           "text view nullptr\n"
                           "restored\n");
    EXPECT_EQ(inner.str(), "Fruit::Apple Fruit(3)\n");
    EXPECT_EQ(warnings.str(), "warned\n");
    EXPECT_EQ(otherThread.str(), "elsewhere\n");
}

TEST(Debug, StatementIsOneWrite) {
    struct CountingBuffer : std::stringbuf {
        int writes = 0;
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            ++writes;
            return std::stringbuf::xsputn(s, n);
        }
    } buffer;
    std::ostream stream{&buffer};
    Error{&stream} << "several"
                   << "operands" << 3;
    EXPECT_EQ(buffer.writes, 1);
    EXPECT_EQ(buffer.str(), "several operands 3\n");
}

TEST(DebugDeathTest, AssertionsPrintExactTexts) {
    ZE_EXPECT_ABORT(Fatal{} << "Thing::do(): bad" << 3, "Thing::do(): bad 3");
    const int size = 2;
    ZE_EXPECT_ABORT(ZE_ASSERT(size > 5, "Thing::check(): size" << size << "too small"),
                    "Thing::check(): size 2 too small");
    /* The file name starts at the library's folder and the line is the one of the macro */
    const int line = __LINE__ + 1;
    auto failInternal = [&] { ZE_INTERNAL_ASSERT(size == 3); };
    ZE_EXPECT_ABORT(failInternal(), "Assertion size == 3 failed at ZarvikEngine/DebugTest.cpp:" +
                                        std::to_string(line));
    const int unreachableLine = __LINE__ + 1;
    auto failUnreachable = [] { ZE_INTERNAL_ASSERT_UNREACHABLE(); };
    ZE_EXPECT_ABORT(failUnreachable(), "Reached unreachable code at ZarvikEngine/DebugTest.cpp:" +
                                           std::to_string(unreachableLine));
}

TEST(DebugDeathTest, AssertionLocationsReadTheSameForEveryIncludePath) {
    /* As an inline header function compiled outside the tree expands __FILE__ */
    ZE_EXPECT_ABORT(Implementation::assertionFailed(
                        "a", "/some/include/dir/ZarvikEngine/Utils/MemoryPartition.h", 69),
                    "Assertion a failed at ZarvikEngine/Utils/MemoryPartition.h:69");
    ZE_EXPECT_ABORT(
        Implementation::unreachable("/home/ZarvikEngine/src/ZarvikEngine/Data/SceneGraph.cpp", 7),
        "Reached unreachable code at ZarvikEngine/Data/SceneGraph.cpp:7");
    /* A folder that only ends in the name is not the library's */
    ZE_EXPECT_ABORT(Implementation::unreachable("/x/MyZarvikEngine/a.h", 1),
                    "Reached unreachable code at /x/MyZarvikEngine/a.h:1");
}

} // namespace
} // namespace ZarvikEngine
