#include "render/debug_draw.h"

#include "render/gl.h"

static void plainColours() {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
}

static void vertex(Vec3 p) { glVertex3f(p.x, p.y, p.z); }

void draw_sphere(Vec3 centre, float radius, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    enum { N = 32 };
    Vec3 grid[N][N];
    for (int i = 0; i < N; i++) {
        for (int j = 0; j < N; j++) {
            Vec3 p = {centre.x, centre.y, centre.z + radius};
            points_rotate_axis(&p, &p, 1, centre, 0, (float)j * 180.0f / 31.0f);
            points_rotate_axis(&p, &p, 1, centre, 2, (float)i * 360.0f / 31.0f);
            grid[i][j] = p;
        }
    }
    plainColours();
    glColor4ub(r, g, b, a);
    glBegin(GL_TRIANGLES);
    for (int i = 0; i < N - 1; i++) {
        for (int j = 0; j < N - 1; j++) {
            vertex(grid[i + 1][j]);
            vertex(grid[i][j]);
            vertex(grid[i][j + 1]);
            vertex(grid[i][j + 1]);
            vertex(grid[i + 1][j + 1]);
            vertex(grid[i + 1][j]);
        }
    }
    glEnd();
}

void draw_box(const BoxCorners* corners, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    static const int kFaces[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {2, 1, 5, 6},
                                     {0, 3, 7, 4}, {1, 0, 4, 5}, {3, 2, 6, 7}};
    plainColours();
    glLineWidth(1.0f);
    glColor4ub(r, g, b, a);
    glBegin(GL_QUADS);
    for (const auto& face : kFaces)
        for (int k : face) vertex(corners->p[k]);
    glEnd();
}

void draw_point_marker() {
    plainColours();
    glPointSize(4.0f);
    glColor4ub(255, 255, 255, 255);
    glBegin(GL_POINTS);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glEnd();
}

// Three lines from the origin along the axes, each in its own colour.
static void axisLines(float length, float width, const uint8_t colours[3][4]) {
    plainColours();
    glLineWidth(width);
    glBegin(GL_LINES);
    for (int a = 0; a < 3; a++) {
        float end[3] = {0.0f, 0.0f, 0.0f};
        end[a] = length;
        glColor4ub(colours[a][0], colours[a][1], colours[a][2], colours[a][3]);
        glVertex3f(0.0f, 0.0f, 0.0f);
        glVertex3f(end[0], end[1], end[2]);
    }
    glEnd();
}

void draw_axes() {
    static const uint8_t kColours[3][4] = {{255, 0, 0, 128}, {0, 255, 0, 128}, {0, 0, 255, 128}};
    axisLines(1.0f, 1.0f, kColours);
}

void draw_small_axes() {
    static const uint8_t kColours[3][4] = {{255, 192, 192, 128}, {192, 255, 192, 128}, {192, 192, 255, 128}};
    axisLines(0.32f, 2.0f, kColours);
}
