// Mesh preparation in both buffer modes, the way back to separate arrays, the interleaved layout
// and the material state.
#include <vector>

#include "gl_scene_fixture.h"

using MeshDraw = GlSceneTest;

namespace {
// A lit square with positions, normals, up to two texture sets and colours, each value distinct so
// that a misplaced attribute shows.
struct FullSquare {
    Mesh mesh;
    std::vector<float> positions, normals, set0, set1;
    std::vector<uint8_t> colours;
    std::vector<int32_t> indices;

    explicit FullSquare(bool withColours = true, int sets = 2) {
        Mesh shape = squareTemplate(1, 0.8f, 0.8f, 0.8f, 1.0f, MATERIAL_LIT);
        positions.assign(shape.positions, shape.positions + 12);
        normals.assign(shape.normals, shape.normals + 12);
        indices.assign(shape.indices, shape.indices + 6);
        meshFreeBuffers(&shape);
        mesh = shape;
        mesh.texCoordSets = (uint8_t)sets;
        mesh.hasColours = withColours ? 1 : 0;
        meshInitBuffers(&mesh);
        for (int i = 0; i < 16; i++) {
            if (i < 8) set0.push_back(0.1f * i), set1.push_back(5.0f + i);
            colours.push_back((uint8_t)(200 + i));
        }
        std::copy(positions.begin(), positions.end(), mesh.positions);
        std::copy(normals.begin(), normals.end(), mesh.normals);
        std::copy(indices.begin(), indices.end(), mesh.indices);
        if (sets > 0) std::copy(set0.begin(), set0.end(), mesh.texCoords[0]);
        if (sets > 1) std::copy(set1.begin(), set1.end(), mesh.texCoords[1]);
        if (withColours) std::copy(colours.begin(), colours.end(), mesh.colours);
    }
    ~FullSquare() { meshFreeBuffers(&mesh); }

    // The arrays of m hold exactly what went in; an attribute switched off has no array.
    void expectArraysOf(const Mesh* m) const {
        ASSERT_TRUE(m->positions && m->indices);
        EXPECT_EQ(std::vector<float>(m->positions, m->positions + 12), positions);
        EXPECT_EQ(std::vector<int32_t>(m->indices, m->indices + 6), indices);
        if (!m->hasNormals) {
            EXPECT_EQ(m->normals, nullptr);
        } else {
            EXPECT_EQ(std::vector<float>(m->normals, m->normals + 12), normals);
        }
        const std::vector<float>* sets[2] = {&set0, &set1};
        for (int s = 0; s < m->texCoordSets && s < 2; s++) {
            EXPECT_EQ(std::vector<float>(m->texCoords[s], m->texCoords[s] + 8), *sets[s]);
        }
        if (!m->hasColours) return;
        ASSERT_NE(m->colours, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(m->colours, m->colours + 16), colours);
    }
};

bool isBuffer(GLuint name) { return name != 0 && extensions.glIsBufferARB(name) == GL_TRUE; }

void* failingMap(GLenum, GLenum) { return nullptr; }

void expectNoArrays(const Mesh* m) {
    for (const void* p : {(const void*)m->positions, (const void*)m->normals, (const void*)m->texCoords[0],
                          (const void*)m->texCoords[1], (const void*)m->colours}) {
        EXPECT_EQ(p, nullptr);
    }
}

void expectSameColour(Rgb a, Rgb b) { expectPixel(a, b.r, b.g, b.b); }
}  // namespace

TEST_F(MeshDraw, BufferObjectsTakeEverythingAndGiveItBack) {
    ASSERT_EQ(extensions.flag[EXT_VERTEX_BUFFER_OBJECT], 1);
    makeStage();
    addLight(scene, 0, 0, 10);
    FullSquare square;
    Mesh* m = meshGet(addMesh(&square.mesh));
    EXPECT_EQ(m->bufferMode, BUFFER_NONE);
    drawFrame();
    Rgb drawn = pixel(400, 300);
    EXPECT_GT(drawn.r, 150);  // lit from the front
    EXPECT_EQ(m->bufferMode, BUFFER_VBO);
    EXPECT_TRUE(isBuffer(m->vertexBuffer));
    EXPECT_TRUE(isBuffer(m->indexBuffer));
    expectNoArrays(m);
    EXPECT_EQ(m->indices, nullptr);
    EXPECT_EQ(m->interleaved, nullptr);
    GLint size = 0;
    extensions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, m->vertexBuffer);
    extensions.glGetBufferParameterivARB(GL_ARRAY_BUFFER_ARB, GL_BUFFER_SIZE_ARB, &size);
    extensions.glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    EXPECT_EQ(size, 4 * 44);

    drawFrame();  // later frames draw the same from the buffers
    expectSameColour(pixel(400, 300), drawn);
    GLuint names[2] = {m->vertexBuffer, m->indexBuffer};
    for (int twice = 0; twice < 2; twice++) {  // the second time there is nothing to give back
        mesh_release_buffers(m);
        square.expectArraysOf(m);
    }
    EXPECT_EQ(m->bufferMode, BUFFER_NONE);
    EXPECT_EQ(m->vertexBuffer, 0u);
    EXPECT_EQ(m->indexBuffer, 0u);
    EXPECT_FALSE(isBuffer(names[0]));
    EXPECT_FALSE(isBuffer(names[1]));
    GLint bound = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &bound);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(MeshDraw, ClientArraysWhenBufferObjectsAreOff) {
    extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = 0;
    makeStage();
    addLight(scene, 0, 0, 10);
    FullSquare square;
    Mesh* m = meshGet(addMesh(&square.mesh));
    drawFrame();
    EXPECT_EQ(m->bufferMode, BUFFER_ARRAY);
    ASSERT_NE(m->interleaved, nullptr);
    EXPECT_EQ(m->vertexBuffer, 0u);
    expectNoArrays(m);
    ASSERT_NE(m->indices, nullptr);
    EXPECT_EQ(std::vector<int32_t>(m->indices, m->indices + 6), square.indices);
    Rgb clientDrawn = pixel(400, 300);

    EXPECT_EQ(m->stride, 44);  // the layout itself: InterleavedLayoutFollowsThePresentAttributes
    mesh_release_buffers(m);
    square.expectArraysOf(m);
    EXPECT_EQ(m->interleaved, nullptr);

    extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = 1;  // from buffer objects it looks the same
    drawFrame();
    EXPECT_EQ(m->bufferMode, BUFFER_VBO);
    expectSameColour(pixel(400, 300), clientDrawn);
}

TEST_F(MeshDraw, InterleavedLayoutFollowsThePresentAttributes) {
    extensions.flag[EXT_VERTEX_BUFFER_OBJECT] = 0;
    // Position, normal, set 0, set 1, colour: an absent attribute takes no room and stays absent.
    const struct {
        bool normals, colours;
        int sets, stride, normal, texCoord, colour;
    } layouts[] = {{true, true, 2, 44, 12, 24, 40}, {true, false, 2, 40, 12, 24, 40},
                   {false, true, 1, 24, 12, 12, 20}, {false, false, 0, 12, 12, 12, 12}};
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.stride);
        FullSquare sq(l.colours, l.sets);
        Mesh& m = sq.mesh;
        m.hasNormals = l.normals;
        mesh_build_buffers(&m);
        ASSERT_NE(m.interleaved, nullptr);
        EXPECT_EQ((std::vector<int32_t>{m.stride, m.positionOffset, m.normalOffset, m.texCoordOffset, m.colourOffset}),
                  (std::vector<int32_t>{l.stride, 0, l.normal, l.texCoord, l.colour}));
        const uint8_t* v = (const uint8_t*)m.interleaved + 2 * m.stride;  // vertex 2, attribute by attribute
        EXPECT_EQ(std::memcmp(v, &sq.positions[6], 12), 0);
        EXPECT_TRUE(!l.normals || std::memcmp(v + l.normal, &sq.normals[6], 12) == 0);
        EXPECT_TRUE(l.sets < 1 || std::memcmp(v + l.texCoord, &sq.set0[4], 8) == 0);
        EXPECT_TRUE(l.sets < 2 || std::memcmp(v + l.texCoord + 8, &sq.set1[4], 8) == 0);
        EXPECT_TRUE(!l.colours || std::memcmp(v + l.colour, &sq.colours[8], 4) == 0);
        mesh_release_buffers(&m);
        sq.expectArraysOf(&m);
        EXPECT_EQ(m.interleaved, nullptr);
    }
}

TEST_F(MeshDraw, AFailedMapFallsBackToClientMemoryWithNothingLost) {
    makeStage();
    FullSquare square;
    square.mesh.material.mode = MATERIAL_UNLIT;
    Mesh* m = meshGet(addMesh(&square.mesh));
    PFNGLMAPBUFFERARBPROC realMap = extensions.glMapBufferARB;
    extensions.glMapBufferARB = failingMap;
    drawFrame();
    extensions.glMapBufferARB = realMap;
    EXPECT_EQ(m->bufferMode, BUFFER_ARRAY);
    EXPECT_EQ(m->vertexBuffer, 0u);
    EXPECT_EQ(m->indexBuffer, 0u);
    ASSERT_NE(m->interleaved, nullptr);
    expectPixel(pixel(400, 300), 204, 204, 204);
    mesh_release_buffers(m);
    square.expectArraysOf(m);
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

TEST_F(MeshDraw, PassesSelectMeshesAndEmptyMeshesAreSkipped) {
    FullSquare clear;
    clear.mesh.material.diffuse[3] = 0.5f;
    int32_t object = objectCreate(-1);
    int32_t a = meshCreate(-1, &clear.mesh);
    Mesh empty = squareTemplate(1, 1, 1, 1, 1);
    empty.indexCount = 0;
    int32_t b = meshCreate(-1, &empty);
    meshFreeBuffers(&empty);
    objectAddMesh(object, a);
    objectAddMesh(object, b);
    BoxCorners c;
    Vec3 centre;
    float radius;
    objectBounds(object, &c, &centre, &radius);
    render_object(object, PASS_OPAQUE);
    EXPECT_EQ(meshGet(a)->bufferMode, BUFFER_NONE);  // not in this pass: not even prepared
    render_object(object, PASS_TRANSPARENT);
    EXPECT_EQ(meshGet(a)->bufferMode, BUFFER_VBO);
    EXPECT_EQ(meshGet(b)->bufferMode, BUFFER_NONE);  // nothing to draw
    render_object(-1, PASS_OPAQUE);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(MeshDraw, MaterialStateByMode) {
    Mesh m = squareTemplate(1, 0.25f, 0.5f, 0.75f, 1.0f);
    m.material.shininess = 12.0f;
    float colour[4];
    GLint func = 0;
    render_material(&m);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[2], 0.75f);
    glGetMaterialfv(GL_BACK, GL_SHININESS, colour);
    EXPECT_FLOAT_EQ(colour[0], 12.0f);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &func);
    EXPECT_EQ(func, GL_ALWAYS);

    m.material.mode = MATERIAL_TEXTURED;  // no texture set: texturing on, nothing bound here
    m.material.blend = 1;
    glBindTexture(GL_TEXTURE_2D, 0);
    render_material(&m);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &func);
    EXPECT_EQ(func, GL_GREATER);
    glGetFloatv(GL_ALPHA_TEST_REF, colour);
    EXPECT_NEAR(colour[0], 0.05f, 1e-3);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, colour);
    EXPECT_FLOAT_EQ(colour[1], 0.5f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    meshFreeBuffers(&m);
}
