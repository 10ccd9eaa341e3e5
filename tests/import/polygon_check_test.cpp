// The checks made before GLU cuts a polygon, against exact integer arithmetic and against GLU itself.
#include "import/polygon_check.h"
#include "import_fixture.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

namespace {
// A polygon as the importer hands it over: corners of float origin, contour ends.
struct Polygon {
    std::vector<double> xyz;
    std::vector<int32_t> ends;
    void corner(double x, double y, double z) {
        for (double v : {x, y, z}) xyz.push_back((float)v);
    }
    // A contour of corners on the plane z = 0.
    void contour(std::initializer_list<std::pair<double, double>> points) {
        for (const auto& xy : points) corner(xy.first, xy.second, 0);
        endContour();
    }
    void endContour() { ends.push_back((int32_t)(xyz.size() / 3)); }
    int32_t corners() const { return (int32_t)(xyz.size() / 3); }
};

// What GLU calls back while cutting, in order.
std::vector<long> calls;
void GLAPIENTRY onBegin(GLenum type) { calls.push_back(-1000 - (long)type); }
void GLAPIENTRY onVertex(void* data) { calls.push_back((long)(intptr_t)data); }
void GLAPIENTRY onEnd() { calls.push_back(-1); }
void GLAPIENTRY onError(GLenum error) { calls.push_back(-100000 - (long)error); }

struct Glu {
    Glu() {
        tess = gluNewTess();
        gluTessCallback(tess, GLU_TESS_BEGIN, (_GLUfuncptr)onBegin);
        gluTessCallback(tess, GLU_TESS_VERTEX, (_GLUfuncptr)onVertex);
        gluTessCallback(tess, GLU_TESS_END, (_GLUfuncptr)onEnd);
        gluTessCallback(tess, GLU_TESS_ERROR, (_GLUfuncptr)onError);
    }
    ~Glu() { gluDeleteTess(tess); }
    std::vector<long> cut(const Polygon& p, const double* normal) {
        calls.clear();
        gluTessNormal(tess, normal[0], normal[1], normal[2]);
        gluTessBeginPolygon(tess, nullptr);
        int32_t begin = 0;
        for (int32_t end : p.ends) {
            gluTessBeginContour(tess);
            for (int32_t c = begin; c < end; c++) gluTessVertex(tess, (GLdouble*)&p.xyz[3 * c], (void*)(intptr_t)(c + 1));
            gluTessEndContour(tess);
            begin = end;
        }
        gluTessEndPolygon(tess);
        return calls;
    }
    bool refused() const {
        for (long c : calls)
            if (c == -100000 - (long)GLU_TESS_NEED_COMBINE_CALLBACK) return true;
        return false;
    }
    GLUtesselator* tess;
};

PolygonSweep prepared(const Polygon& p, double normal[3]) {
    gluSweepNormal(p.xyz.data(), p.ends.data(), (int32_t)p.ends.size(), normal);
    PolygonSweep sweep;
    sweepPrepare(&sweep, p.xyz.data(), p.ends.data(), (int32_t)p.ends.size(), normal);
    return sweep;
}

bool crosses(const Polygon& p) {
    double normal[3];
    PolygonSweep sweep = prepared(p, normal);
    int64_t compared, close;
    return sweepEdgesCross(&sweep, INT64_MAX, &compared, &close) == CHECK_CROSSING;
}

// A comb in a plane spanned by u and v.
Polygon comb(int32_t teeth, const double u[3], const double v[3]) {
    Polygon p;
    combCorners(teeth, [&](double a, double b) {
        p.corner(a * u[0] + b * v[0], a * u[1] + b * v[1], a * u[2] + b * v[2]);
    });
    p.endContour();
    return p;
}
}  // namespace

TEST(PolygonCheck, OrientationIsExactWhereRoundingWouldGuess) {
    // Floats of exponents -16 .. 15 are integers after scaling by 2^40, small enough for exact
    // 128-bit determinants. Third points are put on or next to the line through the first two.
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0, 1);
    auto randomFloat = [&]() {
        float f = std::ldexp((float)(0.5 + 0.5 * unit(rng)), (int)(rng() % 32) - 16);
        return rng() % 2 ? f : -f;
    };
    auto scaled = [](double v) { return (__int128)std::ldexp(v, 40); };
    int32_t degenerate = 0, disagreeWithRounding = 0;
    for (int i = 0; i < 20000; i++) {
        double a[2] = {randomFloat(), randomFloat()}, b[2] = {randomFloat(), randomFloat()}, c[2];
        double k = unit(rng) * 4 - 2;
        // On the 2^-40 grid, one step off now and then.
        for (int d = 0; d < 2; d++) c[d] = std::ldexp(std::round(std::ldexp(a[d] + k * (b[d] - a[d]), 40)), -40);
        if (rng() % 4 == 0) c[rng() % 2] += std::ldexp(rng() % 2 ? 1.0 : -1.0, -40);
        if (rng() % 4 == 0) {  // exactly on the line
            c[0] = 2 * b[0] - a[0];
            c[1] = 2 * b[1] - a[1];
        }
        __int128 det = (scaled(b[0]) - scaled(a[0])) * (scaled(c[1]) - scaled(a[1])) -
                       (scaled(b[1]) - scaled(a[1])) * (scaled(c[0]) - scaled(a[0]));
        int32_t expected = det > 0 ? 1 : det < 0 ? -1 : 0;
        ASSERT_EQ(orientation(a[0], a[1], b[0], b[1], c[0], c[1]), expected) << i;
        double rounded = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
        degenerate += expected == 0;
        disagreeWithRounding += (rounded > 0 ? 1 : rounded < 0 ? -1 : 0) != expected;
    }
    EXPECT_GT(degenerate, 0);
    EXPECT_GT(disagreeWithRounding, 0);  // the cases that needed the exact path were there
}

TEST(PolygonCheck, FanPathCrossingsAndWorkFollowGlu) {
    Glu glu;
    double zero[3] = {0, 0, 0};
    Polygon quad, bowtie, pentagram;
    quad.contour({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    bowtie.contour({{0, 0}, {1, 1}, {1, 0}, {0, 1}});
    for (int i = 0; i < 5; i++) pentagram.corner(std::cos(4 * M_PI * i / 5), std::sin(4 * M_PI * i / 5), 0);
    pentagram.endContour();
    EXPECT_TRUE(gluCutsAsFan(quad.xyz.data(), 4));
    EXPECT_FALSE(gluCutsAsFan(bowtie.xyz.data(), 4));
    EXPECT_FALSE(gluCutsAsFan(pentagram.xyz.data(), 5));
    // Outlines and holes that only touch are cut on import (ImportTest); these cross.
    for (Polygon* p : {&bowtie, &pentagram}) {
        EXPECT_TRUE(crosses(*p));
        glu.cut(*p, zero);
        EXPECT_TRUE(glu.refused());  // GLU refuses them too, only later
    }

    // The work of a comb grows with the square of its corners, that of a circle barely more than
    // with the corners.
    double x[3] = {1, 0, 0}, y[3] = {0, 1, 0};
    auto work = [](const Polygon& p) {
        double normal[3];
        PolygonSweep sweep = prepared(p, normal);
        return sweepWork(&sweep);
    };
    Polygon circle;
    for (int i = 0; i < 800; i++) circle.corner(std::cos(2 * M_PI * i / 800), std::sin(2 * M_PI * i / 800), 0);
    circle.endContour();
    EXPECT_FALSE(gluCutsAsFan(circle.xyz.data(), circle.corners()));  // beyond GLU's quick path
    int64_t small = work(comb(100, x, y)), large = work(comb(200, x, y));
    EXPECT_GT(large, 3 * small);
    EXPECT_GT(large, 50 * work(circle));
    EXPECT_LT(work(circle), 20 * 800);
}

TEST(PolygonCheck, GluGivenOurNormalCutsAsWhenItWorksItOutItself) {
    // Random polygons of one to four contours, some over GLU's quick-path size, on tilted and
    // axis-aligned planes, some not flat, some on a coarse grid (corners on edges, collinear edges).
    Glu glu;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1, 1);
    double zero[3] = {0, 0, 0};
    int32_t swept = 0, accepted = 0, agreed = 0;
    for (int k = 0; k < 3000; k++) {
        double a = u(rng) * M_PI, b = u(rng) * M_PI;
        double ex[3] = {std::cos(a), std::sin(a), 0}, ey[3] = {-std::sin(a) * std::cos(b), std::cos(a) * std::cos(b), std::sin(b)};
        if (rng() % 4 == 0) {  // the x-z plane
            ex[0] = 1, ex[1] = 0, ey[0] = 0, ey[1] = 0, ey[2] = 1;
        }
        double noise = rng() % 3 == 0 ? 0.3 : 0;
        int grid = rng() % 2 ? 8 : 0;
        Polygon p;
        int contours = 1 + (int)(rng() % 4);
        for (int c = 0; c < contours; c++) {
            int n = c == 0 ? (rng() % 8 == 0 ? 90 + (int)(rng() % 40) : 3 + (int)(rng() % 12)) : 1 + (int)(rng() % 12);
            double cx = c ? u(rng) : 0, cy = c ? u(rng) : 0, r = c == 0 ? 1 : 0.3;
            for (int i = 0; i < n; i++) {
                double angle = 2 * M_PI * i / n + (rng() % 3 == 0 ? u(rng) : 0), radius = r * (0.5 + 0.5 * std::fabs(u(rng)));
                double px = cx + radius * std::cos(angle), py = cy + radius * std::sin(angle);
                if (grid) {
                    px = std::round(px * grid) / grid;
                    py = std::round(py * grid) / grid;
                }
                p.corner(px * ex[0] + py * ey[0] + noise * u(rng), px * ex[1] + py * ey[1] + noise * u(rng),
                         px * ex[2] + py * ey[2] + noise * u(rng));
            }
            p.endContour();
        }
        if (contours == 1 && gluCutsAsFan(p.xyz.data(), p.corners())) continue;
        swept++;
        double normal[3];
        PolygonSweep sweep = prepared(p, normal);
        int64_t compared, close;
        bool cross = sweepEdgesCross(&sweep, INT64_MAX, &compared, &close) == CHECK_CROSSING;
        std::vector<long> own = glu.cut(p, zero);
        bool refused = glu.refused();
        // The importer hands GLU the normal except for a contour small enough for the quick path.
        if (contours > 1 || p.corners() > GLU_FAN_CORNERS) {
            EXPECT_EQ(glu.cut(p, normal), own) << k;
        }
        // Whatever the check lets through, GLU cuts without finding a crossing.
        if (!cross) {
            accepted++;
            EXPECT_FALSE(refused) << k;
        }
        agreed += cross == refused;
    }
    EXPECT_GT(swept, 2000);
    EXPECT_GT(accepted, 100);
    // Where exact arithmetic sees an edge cross by a hair, GLU may join it instead: rare.
    EXPECT_GT(agreed, swept - swept / 100);
}
