/* A scene of a few objects with a camera and a light: the world transforms, the camera's view
   and the light's world position and direction after an update */

#include <cstdio>

#include "ZarvikEngine/Data/LightManager.h"
#include "ZarvikEngine/Data/SceneGraph.h"
#include "ZarvikEngine/Data/ViewManager.h"

using namespace ZarvikEngine;
using namespace ZarvikEngine::Data;

int main() {
    /* Room for 16 objects and two kinds of components; managers register in their slots */
    SceneGraph scene{16, 2, 16};
    ViewManager views{4};
    LightManager lights{4};
    scene.setComponentManager(0, "view", &views);
    scene.setComponentManager(1, "light", &lights);

    /* A rig carrying a camera, and a lamp above it: lights shine along their object's -Y */
    const Id rig = scene.addObject(Id(0));
    const Id camera = scene.addObject(rig);
    const Id lamp = scene.addObject(rig);
    scene.localTransformation(rig) = dualQuaternionFromTranslation({0.0f, 0.0f, 10.0f});
    scene.localTransformation(camera) = dualQuaternionFromTranslation({0.0f, 1.7f, 0.0f});
    scene.localTransformation(lamp) = dualQuaternionFromTranslation({0.0f, 4.0f, 0.0f});

    const Id view = views.addComponent(camera);
    views.near(view) = 0.1f;
    views.far(view) = 100.0f;
    views.fov(view) = 90.0f;
    views.viewport(view) = {0, 0, 1280, 720};
    views.activate(view);

    const Id light = lights.addComponent(lamp);
    lights.setLightType(light, LightType::Spot);
    lights.parameters(light) = {60.0f, 40.0f, 1.0f, 20.0f};
    lights.activate(light);

    /* Once per frame: world transforms, then the managers that read them */
    scene.setDirty(rig);
    scene.computeAbsoluteTransformations();
    views.update(1.0 / 60.0);
    lights.update(1.0 / 60.0);
    views.projectionMatrix(view) = views.generateProjectionMatrix(view);
    lights.setupShadows(scene, views, view, 8);
    lights.updateShadows(scene, views, view);

    const Vector3 eye = translation(scene.absoluteTransformation(camera));
    const Vector3 position = lights.position(light), direction = lights.direction(light);
    std::printf("camera at (%g, %g, %g), horizontal field of view %g degrees\n", eye.x, eye.y,
                eye.z, ViewManager::fovFromProjectionMatrix(views.projectionMatrix(view)));
    std::printf("spot light at (%g, %g, %g) shining towards (%g, %g, %g), %u shadow slice\n",
                position.x, position.y, position.z, -direction.x, -direction.y, -direction.z,
                lights.shadowsData().count);
    return 0;
}
