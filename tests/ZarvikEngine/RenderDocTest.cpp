#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/RenderDoc.h"

namespace ZarvikEngine {
namespace {

/* Whether each of the next frames was captured, with beginFrame() and endFrame() around it */
std::vector<bool> runFrames(RenderDoc& renderDoc, int count) {
    std::vector<bool> captured;
    for (int i = 0; i != count; ++i) {
        renderDoc.beginFrame();
        captured.push_back(renderDoc.isCapturing());
        renderDoc.endFrame();
        EXPECT_FALSE(renderDoc.isCapturing());
    }
    return captured;
}

void exerciseCaptures(RenderDoc& renderDoc) {
    EXPECT_EQ(runFrames(renderDoc, 1), std::vector<bool>({false}));
    renderDoc.triggerCapture();
    EXPECT_TRUE(renderDoc.isCapturing());
    renderDoc.endFrame();
    renderDoc.endFrame();
    EXPECT_FALSE(renderDoc.isCapturing());

    renderDoc.triggerCaptureDelayed(2);
    EXPECT_FALSE(renderDoc.isCapturing());
    EXPECT_EQ(runFrames(renderDoc, 3), std::vector<bool>({true, true, false}));

    /* A new request replaces a pending one */
    renderDoc.triggerCaptureDelayed(3);
    renderDoc.triggerCaptureDelayed(1);
    EXPECT_EQ(runFrames(renderDoc, 2), std::vector<bool>({true, false}));
}

TEST(RenderDoc, CapturesFramesWithTheInstalledLibrary) {
    std::ostringstream out;
    {
        Debug redirectDebug{&out};
        Warning redirectWarning{&out};
        RenderDoc::instance();
    }
    EXPECT_EQ(out.str(), "Initialized RenderDoc .dll/.so\n");

    RenderDoc& renderDoc = RenderDoc::instance();
    ASSERT_TRUE(renderDoc.isAvailable());
    exerciseCaptures(renderDoc);
}

TEST(RenderDoc, IsInertAndSilentWithoutTheLibrary) {
    std::ostringstream out;
    Debug redirectDebug{&out};
    Warning redirectWarning{&out};
    Error redirectError{&out};

    RenderDoc missing{"libZarvikEngineNoSuchDebugger.so"};
    EXPECT_FALSE(missing.isAvailable());
    exerciseCaptures(missing);

    /* A library that loads but has no entry point is treated the same */
    RenderDoc unrelated{"libc.so.6"};
    EXPECT_FALSE(unrelated.isAvailable());
    exerciseCaptures(unrelated);

    EXPECT_EQ(out.str(), "");
}

} // namespace
} // namespace ZarvikEngine
