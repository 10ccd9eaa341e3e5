// Frame rate of the 3D renderer on one object of one million lit triangles (1000 meshes of 1000
// triangles), drawn from client-memory vertex arrays and from GL buffer objects.
//
//   render_bench [--seconds S] [--meshes N]
//
// Opens an 800 x 600 window with the viewer's window glue (run it under Xvfb without a display),
// builds the object through the object model, and for each buffer mode draws full frames (clear,
// render_views, glFinish) for S seconds (default 5) after one warm-up frame that prepares the
// meshes. Reports frames per second and the time of the preparing frame.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "object/mesh.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "object/scene.h"
#include "render/frame.h"
#include "render/gl.h"
#include "render/mesh_draw.h"
#include "render/render_state.h"
#include "render/view.h"
#include "viewer/window.h"

namespace {

// A tile of 25 x 20 quads (1000 triangles, 546 vertices) in the z = 0 plane, at (x0, y0).
constexpr int kQuadsX = 25, kQuadsY = 20;
constexpr float kTileSize = 0.4f;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int32_t tileMesh(float x0, float y0) {
    Mesh t;
    std::memset(&t, 0, sizeof t);
    materialInit(&t.material);
    t.hasPositions = 1;
    t.hasNormals = 1;
    t.vertexCount = (kQuadsX + 1) * (kQuadsY + 1);
    t.indexCount = kQuadsX * kQuadsY * 6;
    meshInitBuffers(&t);
    for (int y = 0; y <= kQuadsY; y++) {
        for (int x = 0; x <= kQuadsX; x++) {
            int v = y * (kQuadsX + 1) + x;
            float u = (float)x / kQuadsX, w = (float)y / kQuadsY;
            // A gentle bump so that lighting varies across the tile.
            float z = 0.05f * std::sin(u * 6.2831853f) * std::sin(w * 3.1415927f);
            t.positions[3 * v] = x0 + u * kTileSize;
            t.positions[3 * v + 1] = y0 + w * kTileSize;
            t.positions[3 * v + 2] = z;
            t.normals[3 * v] = 0.0f;
            t.normals[3 * v + 1] = 0.0f;
            t.normals[3 * v + 2] = 1.0f;
        }
    }
    int32_t* index = t.indices;
    for (int y = 0; y < kQuadsY; y++) {
        for (int x = 0; x < kQuadsX; x++) {
            int32_t a = y * (kQuadsX + 1) + x, b = a + 1, c = a + kQuadsX + 2, d = a + kQuadsX + 1;
            const int32_t quad[6] = {a, b, c, c, d, a};
            std::memcpy(index, quad, sizeof quad);
            index += 6;
        }
    }
    int32_t mesh = meshCreate(-1, &t);
    meshFreeBuffers(&t);
    return mesh;
}

void drawFrame() {
    render_set_clear(96, 136, 176, 1, 1, 0);
    render_clear();
    render_views();
    glFinish();
}

struct Result {
    double prepareMs;
    double fps;
    int frames;
};

Result measure(double seconds) {
    Result r = {0, 0, 0};
    double start = now();
    drawFrame();  // prepares every mesh in the current buffer mode
    r.prepareMs = (now() - start) * 1000.0;
    start = now();
    double elapsed = 0;
    while (elapsed < seconds || r.frames < 3) {
        drawFrame();
        swapWindow();
        r.frames++;
        elapsed = now() - start;
    }
    r.fps = r.frames / elapsed;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    int meshes = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--meshes") == 0) meshes = std::atoi(argv[i + 1]);
    }
    std::memset(&windowRequest, 0, sizeof windowRequest);
    std::strcpy(windowRequest.title, "render bench");
    windowRequest.width = 800;
    windowRequest.height = 600;
    windowRequest.depthBits = 24;
    if (windowLibraryStart() != 0) {
        std::fprintf(stderr, "render_bench: no display (run under xvfb-run)\n");
        return 1;
    }
    windowOpen();
    if (!windowIsOpen()) {
        std::fprintf(stderr, "render_bench: no OpenGL window\n");
        return 1;
    }
    render_init();
    render_resize(800, 600);
    objectModelInit();

    // The tiles cover a 40 x 25 grid, 16 x 10 units, in front of the camera.
    int32_t object = objectCreate(-1);
    for (int m = 0; m < meshes; m++) objectAddMesh(object, tileMesh(-8.0f + (m % 40) * kTileSize, -5.0f + (m / 40 % 25) * kTileSize));
    int32_t node = nodeCreate(-1, NODE_OBJECT, object);
    sceneUpdate(node, "");
    int32_t scene = sceneCreate(-1);
    sceneAddCopy(scene, -1, node);
    Camera c;
    std::memset(&c, 0, sizeof c);
    cameraInit(&c);
    int32_t camera = sceneAddCopy(scene, -1, cameraCreate(-1, &c));
    sceneSetLookAt(scene, camera, Vec3{0, 0, 14}, Vec3{0, 0, 0}, Vec3{0, 1, 0});
    Light l;
    std::memset(&l, 0, sizeof l);
    for (float& v : l.colour) v = 1.0f;
    int32_t light = sceneAddCopy(scene, -1, lightCreate(-1, &l));
    sceneSetPosition(scene, light, 4, -3, 10);
    int32_t view = view_create(-1);
    view_get(view)->scene = scene;
    view_get(view)->cameraNode = camera;

    std::printf("renderer: %s | %s\n", renderCaps.renderer ? renderCaps.renderer : "?",
                renderCaps.vendor ? renderCaps.vendor : "?");
    std::printf("%d meshes, %d triangles, %d vertices; 800 x 600; %.1f s per mode\n", meshes,
                meshes * kQuadsX * kQuadsY * 2, meshes * (kQuadsX + 1) * (kQuadsY + 1), seconds);
    uint8_t vboAvailable = extensions.flag[EXT_VERTEX_BUFFER_OBJECT];
    const char* names[2] = {"client arrays (BUFFER_ARRAY)", "buffer objects (BUFFER_VBO)"};
    for (int mode = 0; mode < 2; mode++) {
        if (mode == 1 && !vboAvailable) {
            std::printf("%-30s not offered by this driver\n", names[mode]);
            continue;
        }
        extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = (uint8_t)mode;
        Result r = measure(seconds);
        std::printf("%-30s %8.2f fps  (%d frames; first frame with preparation %.0f ms)\n", names[mode], r.fps,
                    r.frames, r.prepareMs);
        // Back to separate arrays, so the next mode prepares the meshes afresh.
        const Object* o = objectGet(object);
        for (int32_t k = 0; k < o->meshes.capacity; k++)
            if (const int32_t* m = slotGet<int32_t>(&o->meshes, k)) mesh_release_buffers(meshGet(*m));
    }
    extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = vboAvailable;

    sceneDestroy(scene);
    nodeDestroy(node);
    objectModelShutdown();
    render_shutdown();
    windowClose();
    windowLibraryStop();
    return 0;
}
