// The viewer's 3D scene: one scene drawn by one view, a camera rig (an empty root node carrying the
// camera) that the right mouse button orbits and the wheel zooms, one light, and the imported
// model fitted into a 10-unit box at the origin.
#pragma once
#include <cstdint>

// Handles of what the viewer put into the object model, the renderer and the string tables; -1
// where nothing is held.
struct ViewerScene {
    int32_t scene;           // the scene shown
    int32_t view;            // the renderer view showing it
    int32_t rootNode;        // empty node carrying the camera
    int32_t cameraNode;      // the camera, child of rootNode
    int32_t rootCopy;        // scene copies of the rig
    int32_t cameraCopy;
    int32_t lightNode;       // the light and its copy
    int32_t lightCopy;
    int32_t modelRoot;       // root node of the imported model
    int32_t modelCopy;       // its copy in the scene
    int32_t importMessages;  // string table the importer writes its messages to
    float cameraDistance;    // camera eye on the rig's +X axis
    float zoomSpeed;         // grows while the wheel turns in quick succession
    float zoomIdleMs;        // time since the last wheel motion, at most 400
};
extern ViewerScene viewerScene;

// Builds the scene, its view, the camera rig (fov 50, near 0.01, far 1400, 4 : 3, eye 16 units out
// on +X looking at the origin, Z up), the white light at (16, -14, 12) and an empty import message
// list; clears the renderer's debug switches. Needs the object model, the renderer's view table
// and the string tables running.
void createViewerScene();
// Once per frame, before the views are drawn: right-button orbit of the rig and wheel zoom, both
// scaled by frameDeltaMs, then the camera placed again at cameraDistance, which the wheel keeps
// within 0.5 .. 1000 units of the origin. A middle-button drag, or a right-button drag with Shift
// held, pans instead of orbiting: the rig's centre follows the pointer in the view plane.
void updateViewerScene();
// Puts the rig back as createViewerScene placed it: no orbit, no pan, cameraDistance 16, zoom
// speed 1.
void resetViewerView();
// Takes the model's copy out of the scene (before a new import destroys the model's nodes).
void hideModel();
// Shows the tree at modelRoot (already bounded and textured by sceneUpdate) in place of the
// previous model: copies it into the scene, scales it so that its largest extent is 10 units and
// moves its centre to the origin. The viewer keeps modelRoot and destroys it on release. Returns 0,
// or -1 when the tree could not be copied (no model shown).
int32_t showModel(int32_t modelRoot);
// Removes and destroys the model, the light, the rig, the scene, the view and the message list.
void releaseViewerScene();
