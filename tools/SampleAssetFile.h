#ifndef ZarvikEngine_Tools_SampleAssetFile_h
#define ZarvikEngine_Tools_SampleAssetFile_h

#include <vector>

namespace ZarvikEngine::Tool {

/* A finalised asset file with records of every kind the library writes, made by its own
   writers from procedurally generated content */
std::vector<char> sampleAssetFile();

} // namespace ZarvikEngine::Tool

#endif
