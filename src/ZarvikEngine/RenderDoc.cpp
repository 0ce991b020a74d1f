#include "ZarvikEngine/RenderDoc.h"

#include <dlfcn.h>

#include <renderdoc_app.h>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

namespace {

RENDERDOC_API_1_5_0* table(void* api) {
    return static_cast<RENDERDOC_API_1_5_0*>(api);
}

} // namespace

RenderDoc& RenderDoc::instance() {
    static RenderDoc renderDoc{"librenderdoc.so"};
    return renderDoc;
}

RenderDoc::RenderDoc(const char* library) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return;
    auto getApi = reinterpret_cast<pRENDERDOC_GetAPI>(dlsym(handle, "RENDERDOC_GetAPI"));
    if (!getApi)
        return;
    if (!getApi(eRENDERDOC_API_Version_1_5_0, &_api)) {
        _api = nullptr;
        Warning{} << "Failed to initialize RenderDoc";
        return;
    }
    Debug{} << "Initialized RenderDoc .dll/.so";
}

void RenderDoc::beginFrame() {
    if (!_framesToCapture)
        return;
    if (_api)
        table(_api)->StartFrameCapture(nullptr, nullptr);
    _capturing = true;
    --_framesToCapture;
}

void RenderDoc::endFrame() {
    if (!_capturing)
        return;
    if (_api)
        table(_api)->EndFrameCapture(nullptr, nullptr);
    _capturing = false;
}

void RenderDoc::triggerCapture() {
    if (_api)
        table(_api)->StartFrameCapture(nullptr, nullptr);
    _capturing = true;
}

void RenderDoc::triggerCaptureDelayed(std::uint32_t frames) {
    _framesToCapture = frames;
}

} // namespace ZarvikEngine
