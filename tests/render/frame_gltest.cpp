// Frame rendering: projection, view matrix, lights, the two passes and the failure paths.
#include <cmath>
#include <string>

#include "gl_scene_fixture.h"
#include "system/messages.h"

using Frame = GlSceneTest;

namespace {
Mat4 glMatrix(GLenum which) {
    Mat4 m;
    glGetFloatv(which, m.m);
    return m;
}
}  // namespace

TEST_F(Frame, ProjectionComesFromTheCameraNotTheWindow) {
    makeStage();
    int32_t camera = nodeGet(cameraNode)->attachment;
    for (int size = 0; size < 2; size++) {
        render_resize(size ? 1024 : 800, size ? 400 : 600);
        render_projection(camera);
        // glFrustum puts near/right at [0] and near/top at [5].
        Mat4 p = glMatrix(GL_PROJECTION_MATRIX);
        EXPECT_NEAR(0.01f / p.m[5], 0.0046631f, 1e-6);
        EXPECT_NEAR(0.01f / p.m[0], 0.0062175f, 1e-6);
        EXPECT_NEAR(p.m[11], -1.0f, 1e-6);
    }
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    // A camera GL could not make a frustum of leaves the identity instead of an error.
    stageCamera()->aspectHeight = 0.0f;
    render_projection(camera);
    EXPECT_EQ(glMatrix(GL_PROJECTION_MATRIX).m[0], 1.0f);
    stageCamera()->aspectHeight = 3.0f;
    stageCamera()->nearPlane = 0.0f;
    render_projection(camera);
    EXPECT_EQ(glMatrix(GL_PROJECTION_MATRIX).m[5], 1.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Frame, LightNodesBecomeGlLightsInSlotOrder) {
    makeStage();
    // Slots 1 .. 7 after the camera at 0; lights go to 3 and 7.
    Light l;
    std::memset(&l, 0, sizeof l);
    const float colours[2][4] = {{1, 0.5f, 0.25f, 1}, {0, 1, 0, 1}};
    for (int32_t slot = 1; slot <= 7; slot++) {
        int32_t node;
        if (slot == 3 || slot == 7) {
            std::memcpy(l.colour, colours[slot == 7], sizeof l.colour);
            node = lightCreate(-1, &l);
        } else {
            node = emptyCreate(-1);
        }
        ASSERT_EQ(sceneAddCopy(scene, slot, node), slot);
    }
    sceneSetPosition(scene, 3, 0, 10, 0);
    sceneSetPosition(scene, 7, 1, 2, 3);
    sceneUpdateMatrices(scene);
    int32_t camera = nodeGet(cameraNode)->attachment;
    mat4_identity(&stageCamera()->view);  // positions then read back in world space
    glMatrixMode(GL_MODELVIEW);
    render_lights(view, camera);
    float p[4], d[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, p);
    EXPECT_FLOAT_EQ(p[0], 0.0f);
    EXPECT_FLOAT_EQ(p[1], 10.0f);
    EXPECT_FLOAT_EQ(p[3], 0.0f);  // directional
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, d);
    EXPECT_FLOAT_EQ(d[1], 0.5f);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, d);
    EXPECT_FLOAT_EQ(d[2], 0.25f);
    glGetLightfv(GL_LIGHT1, GL_POSITION, p);
    EXPECT_FLOAT_EQ(p[0], 1.0f);
    EXPECT_FLOAT_EQ(p[2], 3.0f);
    EXPECT_FLOAT_EQ(p[3], 0.0f);
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, d);
    EXPECT_FLOAT_EQ(d[0], 0.0f);
    EXPECT_FLOAT_EQ(d[1], 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
    // The camera's view carries the world direction into eye space.
    Mat4 turn;
    mat4_identity(&turn);
    mat4_rotate(&turn, 90.0f, 0, 0, 1);
    stageCamera()->view = turn;
    render_lights(view, camera);
    glGetLightfv(GL_LIGHT0, GL_POSITION, p);
    EXPECT_NEAR(p[0], -10.0f, 1e-4);
    EXPECT_NEAR(p[1], 0.0f, 1e-4);
}

TEST_F(Frame, ViewMatrixIsTheInverseOfTheCameraAndASingularOneIsKept) {
    makeStage();
    drawFrame();
    const Camera* k = stageCamera();
    Vec3 origin = {0, 0, 0};
    points_transform(&k->view, &origin, &origin, 1);
    EXPECT_NEAR(origin.z, -5.0f, 1e-5);  // the origin lies 5 units ahead
    EXPECT_EQ(k->orientation.m[12], 0.0f);
    EXPECT_EQ(k->orientation.m[14], 0.0f);
    EXPECT_NEAR(k->orientation.m[10], 1.0f, 1e-6);
    Mat4 before = k->view;
    // A look-at along the up vector has zero columns: a singular camera matrix.
    sceneSetLookAt(scene, cameraCopy, Vec3{0, 5, 0}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
    drawFrame();
    EXPECT_EQ(std::memcmp(&before, &k->view, sizeof before), 0);
    EXPECT_NEAR(k->orientation.m[0], 0.0f, 1e-6);  // the orientation still follows the node
}

TEST_F(Frame, AViewWithoutACameraSaysSoAndDrawsNothing) {
    makeStage();
    Mesh square = squareTemplate(3, 1, 0, 0, 1);
    addMesh(&square);
    meshFreeBuffers(&square);
    view_get(view)->cameraNode = -1;
    showMessage("frame test: before the missing camera");  // the repeat filter compares with the last text
    glDisable(GL_ALPHA_TEST);
    testing::internal::CaptureStderr();
    drawFrame();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("VORTEN: vor3d_render_1_11->VOR3DRENDER_VIEW->[ERROR] no camera\n"), std::string::npos) << err;
    expectPixel(pixel(400, 300), 96, 136, 176);
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    // A camera copy whose Camera record is gone counts as no camera.
    view_get(view)->cameraNode = cameraCopy;
    cameraDestroy(nodeGet(cameraNode)->attachment);
    drawFrame();
    expectPixel(pixel(400, 300), 96, 136, 176);
    // A view with no scene is not visited at all.
    view_get(view)->scene = -1;
    glDisable(GL_ALPHA_TEST);
    drawFrame();
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
}

TEST_F(Frame, UnlitMeshDrawsItsFlatDiffuseColour) {
    makeStage();
    Mesh square = squareTemplate(1, 0.2f, 0.4f, 0.6f, 1.0f);
    int32_t copy = -1;
    int32_t mesh = addMesh(&square, 0.0f, nullptr, &copy);
    meshFreeBuffers(&square);
    drawFrame();
    expectPixel(pixel(400, 300), 51, 102, 153);
    expectPixel(pixel(5, 5), 96, 136, 176);
    EXPECT_EQ(meshGet(mesh)->stride, 24);
    // Turned away, the square is culled.
    sceneRotate(scene, copy, 180.0f, 0, 1, 0);
    drawFrame();
    expectPixel(pixel(400, 300), 96, 136, 176);
}

TEST_F(Frame, TransparentMeshBlendsOverWhatIsBehindWithoutWritingDepth) {
    makeStage();
    Mesh back = squareTemplate(0.5f, 1, 0, 0, 1);
    Mesh front = squareTemplate(1, 0, 0, 1, 0.5f);
    // The transparent square comes first in slot order and is nearer; it must still blend over
    // the opaque one, which the opaque pass drew before it.
    int32_t frontObject = -1;
    int32_t frontMesh = addMesh(&front, 1.0f, &frontObject);
    addMesh(&back, 0.0f);
    meshFreeBuffers(&back);
    meshFreeBuffers(&front);
    EXPECT_EQ(meshGet(frontMesh)->pass, PASS_TRANSPARENT);
    drawFrame();
    // Over the red square: half blue, half red.
    expectPixel(pixel(400, 300), 127, 0, 128, 1);
    // Over the background only.
    Rgb edge = pixel(400, 300 + 110);
    expectPixel(edge, 48, 68, 88 + 128, 1);
    // The depth buffer holds the opaque square where they overlap and nothing elsewhere.
    float zBack = depth(400, 300);
    EXPECT_GT(zBack, 0.5f);
    EXPECT_LT(zBack, 1.0f);
    EXPECT_FLOAT_EQ(depth(400, 300 + 110), 1.0f);
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_TRUE);  // on again after the pass

    // An opaque copy of the near square would have written its own (nearer) depth.
    meshGet(frontMesh)->material.diffuse[3] = 1.0f;
    meshGet(frontMesh)->pass = PASS_OPAQUE;
    objectGet(frontObject)->passes = PASS_OPAQUE;
    drawFrame();
    EXPECT_LT(depth(400, 300), zBack);
}

TEST_F(Frame, DebugOverlaysDrawOnlyWhenSwitchedOn) {
    makeStage();
    Mesh square = squareTemplate(0.2f, 0, 0, 0, 1);
    addMesh(&square);
    meshFreeBuffers(&square);
    drawFrame();
    Rgb plain = pixel(400, 300 + 31);  // outside the square, inside its bounding sphere
    expectPixel(plain, 96, 136, 176);
    renderDebug[DEBUG_SPHERES] = 1;
    drawFrame();
    Rgb tinted = pixel(400, 300 + 31);
    EXPECT_GT(tinted.r, plain.r + 40);
    EXPECT_LT(tinted.b, plain.b);
    renderDebug[DEBUG_SPHERES] = 0;
    renderDebug[DEBUG_BOXES] = 1;
    drawFrame();
    expectPixel(pixel(400, 300 + 31), 96, 136, 176);  // the box is the square's own size
    renderDebug[DEBUG_BOXES] = 0;
    renderDebug[DEBUG_LIGHTS] = 1;
    Light l;
    std::memset(&l, 0, sizeof l);
    int32_t lightCopy = sceneAddCopy(scene, -1, lightCreate(-1, &l));
    sceneSetPosition(scene, lightCopy, 1, 0, 0);
    drawFrame();
    // (1, 0, 0) at 5 units: 1 / (5 tan 25) of the half height 300 to the right.
    int x = 400 + (int)std::lround(300.0 / (5.0 * std::tan(25.0 * M_PI / 180.0)));
    Rgb marker = pixel(x, 300);
    expectPixel(marker, 255, 255, 255);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
