/* Feeds scene and manager blocks from outside through validation and, when they pass,
   adoption and the operations a script of bytes picks, checking after each that every block
   still validates. An abort, a sanitizer report or a block that stops validating is a
   finding. The input format is encodeSceneBlocks(). */

#include <cstddef>
#include <cstdint>
#include <span>

#include "ZarvikEngine/Data/SceneBlockExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ZarvikEngine::Data::Test;
    if (auto decoded = decodeSceneBlocks(std::span{data, size}))
        exerciseSceneBlocks(std::move(decoded->first), decoded->second);
    return 0;
}
