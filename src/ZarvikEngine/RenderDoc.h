#ifndef ZarvikEngine_RenderDoc_h
#define ZarvikEngine_RenderDoc_h

#include <cstdint>

namespace ZarvikEngine {

/* Frame capture with the RenderDoc graphics debugger. Inert, silently, when its in-application
   library cannot be loaded, so callers can wrap every frame unconditionally. Meant for the
   render thread. */
class RenderDoc {
public:
    /* The process-wide instance, loading "librenderdoc.so" on first use */
    static RenderDoc& instance();

    /* Loads the given library; never unloaded */
    explicit RenderDoc(const char* library);

    /* Starts a capture if one was requested for this frame */
    void beginFrame();
    /* Ends the capture started for this frame, if any */
    void endFrame();
    /* Starts a capture now; the next endFrame() ends it */
    void triggerCapture();
    /* Captures each of the next `frames` frames, from beginFrame() to endFrame() */
    void triggerCaptureDelayed(std::uint32_t frames);

    bool isAvailable() const { return _api != nullptr; }
    bool isCapturing() const { return _capturing; }

private:
    /* The API table, version 1.5.0; opaque here so users need not have its header */
    void* _api{};
    bool _capturing{};
    std::uint32_t _framesToCapture{};
};

} // namespace ZarvikEngine

#endif
