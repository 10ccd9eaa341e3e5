// The viewer's scene: rig, light and fitted model as drawn, mouse orbit, wheel zoom and release.
#include <cmath>

#include "input/input.h"
#include "render/gl_scene_fixture.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "support/test_support.h"
#include "system/clock.h"
#include "system/files.h"
#include "viewer/scene.h"

namespace {
class ViewerSceneTest : public GlSceneTest {
protected:
    void SetUp() override {
        GlSceneTest::SetUp();
        stringsInit();
        textCopy(saveDirectory, home.path().c_str(), PATH_CAPACITY);
        windowInstallAnswers();
        inputInit();
        frameDeltaMs = 0.0f;
        createViewerScene();
    }
    void TearDown() override {
        releaseViewerScene();
        stringsShutdown();
        GlSceneTest::TearDown();
    }
    static void frame(float ms, bool draw = false) {
        frameDeltaMs = ms;
        inputFrame();
        updateViewerScene();
        if (draw) drawFrame();
    }
    static Vec3 cameraWorldPosition() {
        sceneUpdateMatrices(viewerScene.scene);
        const Node* c = sceneCopy(viewerScene.scene, viewerScene.cameraCopy);
        return Vec3{c->matrix.m[12], c->matrix.m[13], c->matrix.m[14]};
    }
    static int luminance(Rgb p) { return p.r + p.g + p.b; }
    static Vec3 modelScale() {
        Vec3 s;
        sceneGetScale(viewerScene.scene, viewerScene.modelCopy, &s.x, &s.y, &s.z);
        return s;
    }
    TempDir home;
};

int32_t inUse(const SlotTable& t) {
    int32_t n = 0;
    for (int32_t i = 0; i < t.capacity; i++) n += slotUnits(&t, i) > 0;
    return n;
}
int32_t copiesInUse() { return inUse(sceneGet(viewerScene.scene)->copies); }
}  // namespace

TEST_F(ViewerSceneTest, TheBoxShowsLitAtTheCentreAndBrighterOnTheFaceTurnedToTheLight) {
    ASSERT_EQ(showModel(boxObjectCreate(2, 2, 2)), 0);
    frame(16, true);
    Rgb facing = pixel(400, 300);  // the +X face: towards the light at (16, -14, 12)
    EXPECT_GT(luminance(facing), 3 * 150);
    // Fitted to 10 units: the face spans x = -5 .. 5 at 11 units from the eye, 292 pixels each way.
    expectBackground(pixel(90, 300));
    EXPECT_NE(pixel(130, 300).b, 176);
    expectBackground(pixel(710, 300));

    // Turn the rig a quarter about Z: the camera looks at the +Y face, which the light does not reach.
    sceneRotate(viewerScene.scene, viewerScene.rootCopy, 90.0f, 0, 0, 1);
    frame(16, true);
    Rgb away = pixel(400, 300);
    EXPECT_GT(luminance(away), 3 * 30);  // ambient light only, not black
    EXPECT_GT(luminance(facing), luminance(away) + 3 * 80);
    EXPECT_EQ(away.r, away.g);  // grey material, white light
}

TEST_F(ViewerSceneTest, RightDragOrbitsTheCameraAndLeftDragDoesNot) {
    Vec3 eye;
    for (int button : {MOUSE_LEFT, MOUSE_RIGHT}) {
        inputCursorEvent(430, 320);
        frame(16);
        inputMouseButtonEvent(button, 1);
        frame(16);
        inputCursorEvent(432, 321);  // -10 and -5 canvas units: -0.32 and -0.16 radians at 16 ms
        frame(16);
        eye = cameraWorldPosition();
        if (button == MOUSE_RIGHT) break;
        EXPECT_FLOAT_EQ(eye.x, 16.0f);  // the left button does not orbit
        EXPECT_FLOAT_EQ(eye.y, 0.0f);
        inputMouseButtonEvent(button, 0);
        frame(16);
    }
    // First about Z, then about the rig's Y as it was before the motion.
    const float c1 = std::cos(0.32f), s1 = std::sin(0.32f), c2 = std::cos(0.16f), s2 = std::sin(0.16f);
    EXPECT_NEAR(eye.x, 16.0f * c1 * c2, 1e-3);
    EXPECT_NEAR(eye.y, -16.0f * s1, 1e-3);
    EXPECT_NEAR(eye.z, 16.0f * c1 * s2, 1e-3);
    // Still aimed at the origin down its -Z axis.
    const Node* c = sceneCopy(viewerScene.scene, viewerScene.cameraCopy);
    Vec3 back = {c->matrix.m[8], c->matrix.m[9], c->matrix.m[10]};
    EXPECT_NEAR(vec3_dot(back, eye), 16.0f, 1e-3);
    // The model itself is not turned.
    ASSERT_EQ(showModel(boxObjectCreate(1, 1, 1)), 0);
    inputCursorEvent(420, 310);
    frame(16);
    EXPECT_EQ(sceneCopy(viewerScene.scene, viewerScene.modelCopy)->rotation.w, 1.0f);
}

TEST_F(ViewerSceneTest, WheelStepsAccelerateWithin400MsAndSlowDownAfter) {
    ViewerScene& vs = viewerScene;
    for (int i = 0; i < 4; i++) frame(100);  // 400 ms without the wheel
    EXPECT_EQ(vs.zoomSpeed, 1.0f);
    const float steps[3][2] = {{1.0f, 0.032f}, {1.0f + 3.2f, 0.1344f}, {1.0f + 6.4f, 0.2368f}};
    float distance = 16.0f;
    for (const auto& step : steps) {
        inputWheelEvent(1);  // one step forward brings the camera closer
        frame(16);
        distance -= step[1];
        EXPECT_NEAR(vs.zoomSpeed, step[0], 1e-4);
        EXPECT_NEAR(vs.cameraDistance, distance, 1e-4);
    }
    for (int i = 0; i < 23; i++) frame(16);  // 384 ms idle: still fast
    EXPECT_NEAR(vs.zoomSpeed, 7.4f, 1e-4);
    frame(16);
    EXPECT_EQ(vs.zoomSpeed, 1.0f);
    inputWheelEvent(-2);  // backwards: farther, at speed 1 again
    frame(16);
    EXPECT_NEAR(vs.cameraDistance, distance + 2 * 0.032f, 1e-4);

    // A fast scroll stops short of the origin instead of flying through it, and a fast scroll back
    // stops well inside the far plane; from either end the wheel brings the camera back.
    for (int i = 0; i < 100; i++) {
        inputWheelEvent(30);
        frame(16);
    }
    EXPECT_EQ(vs.cameraDistance, 0.5f);
    EXPECT_NEAR(cameraWorldPosition().x, 0.5f, 1e-4);
    for (int i = 0; i < 100; i++) {
        inputWheelEvent(-300);
        frame(16);
    }
    EXPECT_EQ(vs.cameraDistance, 1000.0f);
    for (int i = 0; i < 30; i++) frame(16);
    inputWheelEvent(10);
    frame(16);
    EXPECT_LT(vs.cameraDistance, 1000.0f);
}

TEST_F(ViewerSceneTest, ShowModelFitsTenUnitsAndCentresOnTheOrigin) {
    ViewerScene& vs = viewerScene;
    int32_t tall = boxObjectCreate(2, 4, 20);
    nodeSetPosition(nodeGet(tall), 3, -2, 7);
    ASSERT_EQ(showModel(tall), 0);
    Vec3 lo, hi;
    sceneBounds(vs.scene, vs.modelCopy, &lo, &hi);
    EXPECT_NEAR(hi.z - lo.z, 10.0f, 1e-3);
    EXPECT_NEAR(hi.y - lo.y, 2.0f, 1e-3);
    for (float centre : {lo.x + hi.x, lo.y + hi.y, lo.z + hi.z}) EXPECT_NEAR(centre, 0.0f, 1e-4);
    EXPECT_EQ(nodeGet(tall)->scale.x, 1.0f);  // the source tree is left as imported

    // The next model replaces the previous one's copy; the previous tree is the importer's to drop.
    hideModel();
    nodeDestroy(tall);
    int32_t flat = boxObjectCreate(4, 2, 0);
    ASSERT_EQ(showModel(flat), 0);
    EXPECT_EQ(copiesInUse(), 4);
    EXPECT_FLOAT_EQ(modelScale().x, 2.5f);  // the flat axis takes no part in the fit

    // A tree without objects has nothing to fit: it is shown as it is.
    int32_t empty = emptyCreate(-1);
    nodeSetPosition(nodeGet(empty), 1, 2, 3);
    ASSERT_EQ(showModel(empty), 0);
    EXPECT_EQ(modelScale().x, 1.0f);
    float x, y, z;
    sceneGetPosition(vs.scene, vs.modelCopy, &x, &y, &z);
    EXPECT_EQ(z, 3.0f);
    nodeDestroy(flat);
    EXPECT_EQ(showModel(12345), -1);  // no such node: nothing shown
    EXPECT_EQ(vs.modelCopy, -1);
    EXPECT_EQ(copiesInUse(), 3);
    vs.modelRoot = empty;  // released with the scene
}

TEST_F(ViewerSceneTest, TheViewLooksThroughTheRigAndReleaseGivesBackEverythingItMade) {
    const ViewerScene& vs = viewerScene;
    // The view looks through the scene's camera copy.
    const View* v = view_get(vs.view);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->scene, vs.scene);
    EXPECT_EQ(v->cameraNode, vs.cameraCopy);

    ASSERT_EQ(showModel(boxObjectCreate(1, 2, 3)), 0);
    frame(16, true);
    int32_t messages = vs.importMessages;
    releaseViewerScene();
    for (const SlotTable* t : {&nodeTable, &objectTable, &meshTable, &lightTable, &cameraTable, &sceneTable, &viewTable})
        EXPECT_EQ(inUse(*t), 0) << t - &nodeTable;
    EXPECT_EQ(stringTableCount(messages), 0);
    for (int32_t i : {vs.scene, vs.view, vs.modelRoot, vs.importMessages}) EXPECT_EQ(i, -1);
    createViewerScene();  // for the fixture's own release
}
