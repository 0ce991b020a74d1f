/* Opens a scene file (glTF, FBX, COLLADA, OBJ, ...), lists what it holds and samples its first
   animation with the skeletal runtime, as a tool importing it would */

#include <cstdio>
#include <memory>
#include <vector>

#include "ZarvikEngine/Data/AnimationImport.h"
#include "ZarvikEngine/Skeletal/AnimationBuilder.h"
#include "ZarvikEngine/Skeletal/SamplingJob.h"
#include "ZarvikEngine/Trade/ImporterForFile.h"

using namespace ZarvikEngine;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: import_and_play SCENE-FILE\n");
        return 2;
    }
    const std::unique_ptr<Trade::AbstractImporter> importer = Trade::importerForFile(argv[1]);
    if (!importer || !importer->openFile(argv[1])) {
        std::fprintf(stderr, "can't open %s\n", argv[1]);
        return 1;
    }
    std::printf("%llu objects, %u meshes, %u skins, %u animations\n",
                static_cast<unsigned long long>(importer->objectCount()), importer->meshCount(),
                importer->skin3DCount(), importer->animationCount());
    if (!importer->animationCount())
        return 0;
    const std::optional<Trade::AnimationData> animation = importer->animation(0);
    if (!animation)
        return 1;

    /* Each track bound to the object it animates: here simply the track's own target */
    std::vector<std::uint16_t> targets;
    for (std::uint32_t t = 0; t != animation->trackCount(); ++t)
        targets.push_back(std::uint16_t(animation->trackTarget(t)));
    const auto [raw, objects] = Data::convertToOzzData(*animation, targets);
    const std::unique_ptr<Skeletal::RuntimeAnimation> clip = Skeletal::AnimationBuilder{}(raw);
    if (!clip) {
        std::fprintf(stderr, "the animation can't be played\n");
        return 1;
    }

    Skeletal::SamplingContext context{raw.tracks.size()};
    std::vector<Skeletal::SoaTransform> pose((raw.tracks.size() + 3) / 4);
    for (const float ratio : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
        Skeletal::SamplingJob sampling;
        sampling.ratio = ratio;
        sampling.animation = clip.get();
        sampling.context = &context;
        sampling.output = pose;
        sampling.run();
        const Vector3 translation = pose[0].translation.get(0);
        const Quaternion rotation = pose[0].rotation.get(0);
        std::printf("at %.2f s the first animated object is at (%g, %g, %g), turned %.1f "
                    "degrees\n",
                    ratio * raw.duration, translation.x, translation.y, translation.z,
                    double(glm::degrees(glm::angle(rotation))));
    }
    return 0;
}
