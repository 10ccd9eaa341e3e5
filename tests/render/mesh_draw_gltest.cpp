// Mesh preparation in both buffer modes, the way back to separate arrays and the interleaved layout.
#include <vector>

#include "gl_scene_fixture.h"

using MeshDraw = GlSceneTest;

namespace {
// A lit square with positions, normals, up to two texture sets and colours.
Mesh fullSquare(bool colours = true, uint8_t sets = 2) {
    return squareTemplate(1, 0.8f, 0.8f, 0.8f, 1.0f, MATERIAL_LIT, sets, colours);
}

// The arrays of m hold exactly what fullSquare put in; an attribute switched off has no array.
void expectArraysOf(const Mesh* m) {
    Mesh ref = fullSquare();
    ASSERT_TRUE(m->positions && m->indices);
    EXPECT_EQ(std::memcmp(m->positions, ref.positions, 48), 0);
    EXPECT_EQ(std::memcmp(m->indices, ref.indices, 24), 0);
    EXPECT_TRUE(m->hasNormals ? std::memcmp(m->normals, ref.normals, 48) == 0 : m->normals == nullptr);
    for (int s = 0; s < m->texCoordSets && s < 2; s++) EXPECT_EQ(std::memcmp(m->texCoords[s], ref.texCoords[s], 32), 0);
    EXPECT_TRUE(!m->hasColours || std::memcmp(m->colours, ref.colours, 16) == 0);
    meshFreeBuffers(&ref);
}

bool isBuffer(GLuint name) { return name != 0 && extensions.glIsBufferARB(name) == GL_TRUE; }

void* failingMap(GLenum, GLenum) { return nullptr; }

void expectNoArrays(const Mesh* m) {
    EXPECT_TRUE(!m->positions && !m->normals && !m->texCoords[0] && !m->texCoords[1] && !m->colours);
}
}  // namespace

TEST_F(MeshDraw, BufferObjectsOrClientMemoryAfterAFailedMapTakeTheArraysAndGiveThemBack) {
    makeStage();
    addLight(scene, 0, 0, 10);
    Placed square = addSquare(fullSquare());
    Mesh* m = meshGet(square.mesh);
    drawFrame();
    Rgb drawn = pixel(400, 300);
    EXPECT_GT(drawn.r, 150);  // lit from the front
    drawFrame();  // later frames draw the same from the buffers
    expectPixel(pixel(400, 300), drawn.r, drawn.g, drawn.b);
    EXPECT_EQ(m->bufferMode, BUFFER_VBO);
    EXPECT_TRUE(isBuffer(m->vertexBuffer));
    expectNoArrays(m);
    EXPECT_EQ(m->indices, nullptr);
    for (int twice = 0; twice < 2; twice++) {  // the second time there is nothing to give back
        mesh_release_buffers(m);
        expectArraysOf(m);
    }
    EXPECT_EQ(m->bufferMode, BUFFER_NONE);
    EXPECT_EQ(m->vertexBuffer, 0u);

    PFNGLMAPBUFFERARBPROC realMap = extensions.glMapBufferARB;
    extensions.glMapBufferARB = failingMap;
    drawFrame();  // falls back to client memory, drawn the same
    extensions.glMapBufferARB = realMap;
    EXPECT_EQ(m->bufferMode, BUFFER_ARRAY);
    EXPECT_EQ(m->vertexBuffer, 0u);
    expectNoArrays(m);
    ASSERT_NE(m->indices, nullptr);  // client arrays draw from the index array
    expectPixel(pixel(400, 300), drawn.r, drawn.g, drawn.b);
    mesh_release_buffers(m);
    expectArraysOf(m);

    drawFrame();  // prepared again; the buffers go back with the last holder of the object
    GLuint vertexBuffer = m->vertexBuffer;
    ASSERT_TRUE(isBuffer(vertexBuffer));
    sceneRemoveCopy(scene, square.copy);
    nodeDestroy(square.node);
    EXPECT_EQ(objectGet(square.object), nullptr);
    EXPECT_FALSE(isBuffer(vertexBuffer));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(MeshDraw, InterleavedLayoutFollowsThePresentAttributes) {
    extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = 0;
    // Position, normal, set 0, set 1, colour: an absent attribute takes no room and stays absent. A
    // record claiming more than the 32 sets a mesh has (an adopted one is not clamped) lays out 32.
    const struct {
        bool normals, colours;
        uint8_t sets;
        int32_t stride, normal, texCoord, colour;
    } layouts[] = {{true, true, 2, 44, 12, 24, 40}, {true, false, 2, 40, 12, 24, 40},
                   {false, true, 1, 24, 12, 12, 20}, {false, false, 0, 12, 12, 12, 12},
                   {false, false, 33, 12 + 8 * 32, 12, 12, 12 + 8 * 32}};
    Mesh ref = fullSquare();
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.stride);
        Mesh m = fullSquare(l.colours, l.sets);
        m.hasNormals = l.normals;
        m.texCoordSets = l.sets;  // kept over the clamp of meshInitBuffers
        mesh_build_buffers(&m);
        ASSERT_NE(m.interleaved, nullptr);
        EXPECT_EQ((std::vector<int32_t>{m.stride, m.positionOffset, m.normalOffset, m.texCoordOffset, m.colourOffset}),
                  (std::vector<int32_t>{l.stride, 0, l.normal, l.texCoord, l.colour}));
        const uint8_t* v = (const uint8_t*)m.interleaved + 2 * m.stride;  // vertex 2, attribute by attribute
        EXPECT_EQ(std::memcmp(v, ref.positions + 6, 12), 0);
        EXPECT_TRUE(!l.normals || std::memcmp(v + l.normal, ref.normals + 6, 12) == 0);
        EXPECT_TRUE(l.sets < 1 || std::memcmp(v + l.texCoord, ref.texCoords[0] + 4, 8) == 0);
        EXPECT_TRUE(l.sets < 2 || std::memcmp(v + l.texCoord + 8, ref.texCoords[1] + 4, 8) == 0);
        EXPECT_TRUE(!l.colours || std::memcmp(v + l.colour, ref.colours + 8, 4) == 0);
        mesh_release_buffers(&m);
        expectArraysOf(&m);
        EXPECT_EQ(m.interleaved, nullptr);
        meshFreeBuffers(&m);
    }
    meshFreeBuffers(&ref);
}

TEST_F(MeshDraw, IndicesOutsideTheVerticesBecomeZero) {
    extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = 0;
    Mesh m = squareTemplate(1, 1, 1, 1, 1);
    m.indices[1] = 4;
    m.indices[4] = -1;
    mesh_build_buffers(&m);
    const int32_t expected[6] = {0, 0, 2, 2, 0, 0};
    EXPECT_EQ(std::memcmp(m.indices, expected, sizeof expected), 0);
    mesh_release_buffers(&m);
    meshFreeBuffers(&m);
}
