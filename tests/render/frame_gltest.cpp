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

TEST_F(Frame, ProjectionAndViewComeFromTheCamera) {
    makeStage();
    render_resize(1024, 400);  // not the camera's 4 : 3
    render_projection(stageCameraIndex());
    Mat4 p = glMatrix(GL_PROJECTION_MATRIX);  // near/right at [0], near/top at [5]
    EXPECT_NEAR(0.01f / p.m[5], 0.0046631f, 1e-6);
    EXPECT_NEAR(0.01f / p.m[0], 0.0062175f, 1e-6);
    // A camera GL could not make a frustum of leaves the identity instead of an error.
    Mat4 identity;
    mat4_identity(&identity);
    for (float Camera::*zero : {&Camera::aspectHeight, &Camera::nearPlane}) {
        const Camera saved = *stageCamera();
        stageCamera()->*zero = 0.0f;
        render_projection(stageCameraIndex());
        EXPECT_EQ(std::memcmp(glMatrix(GL_PROJECTION_MATRIX).m, identity.m, sizeof identity.m), 0);
        *stageCamera() = saved;
    }

    drawFrame();  // the view matrix is the inverse of the camera's; a singular one is kept
    const Camera* k = stageCamera();
    Vec3 origin = {0, 0, 0};
    points_transform(&k->view, &origin, &origin, 1);
    EXPECT_NEAR(origin.z, -5.0f, 1e-5);  // the origin lies 5 units ahead
    Mat4 before = k->view;
    // A look-at along the up vector: a singular camera matrix.
    sceneSetLookAt(scene, cameraCopy, Vec3{0, 5, 0}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
    drawFrame();
    EXPECT_EQ(std::memcmp(&before, &k->view, sizeof before), 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Frame, AViewWithoutACameraSaysSoAndDrawsNothing) {
    makeStage();
    addSquare(squareTemplate(3, 1, 0, 0, 1));
    view_get(view)->cameraNode = -1;
    showMessage("frame test: before the missing camera");  // the repeat filter compares with the last text
    glDisable(GL_ALPHA_TEST);
    testing::internal::CaptureStderr();
    drawFrame();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("VORTEN: vor3d_render_1_11->VOR3DRENDER_VIEW->[ERROR] no camera\n"), std::string::npos) << err;
    expectBackground(pixel(400, 300));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));  // the frame's state is set all the same
}

TEST_F(Frame, TransparentMeshBlendsOverWhatIsBehindWithoutWritingDepth) {
    makeStage();
    // The nearer transparent square comes first in slot order; it must still blend over the
    // opaque one, which the opaque pass drew before it.
    Placed front = addSquare(squareTemplate(1, 0, 0, 1, 0.5f), 1.0f);
    addSquare(squareTemplate(0.5f, 1, 0, 0, 1));
    EXPECT_EQ(meshGet(front.mesh)->pass, PASS_TRANSPARENT);
    drawFrame();
    expectPixel(pixel(400, 300), 127, 0, 128, 1);             // over the red square
    expectPixel(pixel(400, 410), 48, 68, 88 + 128, 1);        // over the background only
    float zBack = depth(400, 300);  // the opaque square's depth only
    EXPECT_GT(zBack, 0.5f);
    EXPECT_LT(zBack, 1.0f);
    // Made opaque, the near square writes its own nearer depth (and the depth writes the
    // transparent pass turned off are on again for the clear).
    meshGet(front.mesh)->material.diffuse[3] = 1.0f;
    meshGet(front.mesh)->pass = PASS_OPAQUE;
    objectGet(front.object)->passes = PASS_OPAQUE;
    drawFrame();
    EXPECT_LT(depth(400, 300), zBack);
}

TEST_F(Frame, UnlitMeshDrawsItsFlatColourAndItsSphereOnlyWhenSwitchedOn) {
    makeStage();
    Placed square = addSquare(squareTemplate(0.2f, 0.2f, 0.4f, 0.6f, 1.0f));
    drawFrame();
    expectPixel(pixel(400, 300), 51, 102, 153);
    Rgb plain = pixel(400, 331);  // outside the square, inside its bounding sphere
    expectBackground(plain);
    renderDebug[DEBUG_SPHERES] = 1;
    drawFrame();
    EXPECT_GT(pixel(400, 331).r, plain.r + 40);
    renderDebug[DEBUG_SPHERES] = 0;
    sceneRotate(scene, square.copy, 180.0f, 0, 1, 0);  // turned away: culled
    drawFrame();
    expectBackground(pixel(400, 300));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
