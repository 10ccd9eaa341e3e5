#include "import/polygon_check.h"

#include <algorithm>
#include <cmath>

namespace {
// Sum and error of a + b, exactly.
inline void twoSum(double a, double b, double* sum, double* err) {
    double s = a + b;
    double bv = s - a;
    *sum = s;
    *err = (a - (s - bv)) + (b - bv);
}

// Sign of the exact sum of the terms: each is added to a growing expansion of non-overlapping
// components of increasing magnitude, whose largest component has the sign of the whole.
int32_t expansionSign(const double* terms, int32_t count) {
    double h[40];
    int32_t n = 0;
    for (int32_t k = 0; k < count; k++) {
        double q = terms[k];
        int32_t m = 0;
        for (int32_t i = 0; i < n; i++) {
            double sum, err;
            twoSum(q, h[i], &sum, &err);
            if (err != 0) h[m++] = err;
            q = sum;
        }
        if (q != 0) h[m++] = q;
        n = m;
    }
    return n == 0 ? 0 : h[n - 1] > 0 ? 1 : -1;
}

// Sign of (b - a) x (c - a), exactly. Each difference is split into its rounded value and error, and
// each product of two parts is split the same way with a fused multiply-add. Coordinates of float
// origin mostly give exact differences, and then four terms are enough.
int32_t exactOrientation(double ax, double ay, double bx, double by, double cx, double cy) {
    double d[4][2];
    twoSum(bx, -ax, &d[0][0], &d[0][1]);
    twoSum(cy, -ay, &d[1][0], &d[1][1]);
    twoSum(by, -ay, &d[2][0], &d[2][1]);
    twoSum(cx, -ax, &d[3][0], &d[3][1]);
    double terms[16];
    int32_t n = 0;
    bool exactDifferences = d[0][1] == 0 && d[1][1] == 0 && d[2][1] == 0 && d[3][1] == 0;
    int parts = exactDifferences ? 1 : 2;
    for (int i = 0; i < parts; i++) {
        for (int j = 0; j < parts; j++) {
            double p = d[0][i] * d[1][j];
            terms[n++] = p;
            terms[n++] = std::fma(d[0][i], d[1][j], -p);
            double q = d[2][i] * d[3][j];
            terms[n++] = -q;
            terms[n++] = -std::fma(d[2][i], d[3][j], -q);
        }
    }
    if (exactDifferences && terms[1] == 0 && terms[3] == 0)  // exact products too
        return terms[0] > -terms[2] ? 1 : terms[0] < -terms[2] ? -1 : 0;
    return expansionSign(terms, n);
}

// GLU's long axis of a vector: the first of the largest absolute components.
int32_t longAxis(const double v[3]) {
    int32_t i = 0;
    if (std::fabs(v[1]) > std::fabs(v[0])) i = 1;
    if (std::fabs(v[2]) > std::fabs(v[i])) i = 2;
    return i;
}

// Calls f(corner) in the order GLU keeps its mesh vertices: in each contour the second corner to the
// last, then the first (each new vertex is inserted before the contour's first one).
template <typename F>
void forEachInMeshOrder(const int32_t* contourEnds, int32_t contours, F f) {
    int32_t begin = 0;
    for (int32_t k = 0; k < contours; k++) {
        int32_t end = contourEnds[k];
        for (int32_t c = begin + 1; c < end; c++) f(c);
        if (end > begin) f(begin);
        begin = end;
    }
}
}  // namespace

int32_t orientation(double ax, double ay, double bx, double by, double cx, double cy) {
    double left = (bx - ax) * (cy - ay);
    double right = (by - ay) * (cx - ax);
    double det = left - right;
    // Above this bound the rounded determinant has the sign of the exact one.
    double bound = 3.3306690738754716e-16 * (std::fabs(left) + std::fabs(right));
    if (det > bound) return 1;
    if (-det > bound) return -1;
    return exactOrientation(ax, ay, bx, by, cx, cy);
}

int32_t gluFanOrder(const double* xyz, int32_t corners) {
    if (corners < 3 || corners > GLU_FAN_CORNERS) return FAN_NONE;
    // The same sums in the same order as GLU's quick path: a normal from the fan triangles, each
    // counted with the sign that agrees with the sum so far, then every triangle checked against it.
    double norm[3] = {0, 0, 0};
    int32_t sign = 0;
    for (int pass = 0; pass < 2; pass++) {
        const double* v0 = xyz;
        double xc = xyz[3] - v0[0], yc = xyz[4] - v0[1], zc = xyz[5] - v0[2];
        for (int32_t k = 2; k < corners; k++) {
            double xp = xc, yp = yc, zp = zc;
            xc = xyz[3 * k] - v0[0];
            yc = xyz[3 * k + 1] - v0[1];
            zc = xyz[3 * k + 2] - v0[2];
            double n[3] = {yp * zc - zp * yc, zp * xc - xp * zc, xp * yc - yp * xc};
            double dot = n[0] * norm[0] + n[1] * norm[1] + n[2] * norm[2];
            if (pass == 0) {
                double f = dot >= 0 ? 1.0 : -1.0;
                for (int i = 0; i < 3; i++) norm[i] += f * n[i];
            } else if (dot != 0) {
                int32_t s = dot > 0 ? 1 : -1;
                if (sign != 0 && s != sign) return FAN_NONE;
                sign = s;
            }
        }
    }
    return sign;
}

bool gluCutsAsFan(const double* xyz, int32_t corners) { return gluFanOrder(xyz, corners) != FAN_NONE; }

void gluSweepNormal(const double* xyz, const int32_t* contourEnds, int32_t contours, double normal[3]) {
    // The extreme corners along each axis (the first one met wins a tie), as GLU finds them.
    double minVal[3] = {2e150, 2e150, 2e150}, maxVal[3] = {-2e150, -2e150, -2e150};
    int32_t minCorner[3] = {0, 0, 0}, maxCorner[3] = {0, 0, 0};
    forEachInMeshOrder(contourEnds, contours, [&](int32_t c) {
        for (int i = 0; i < 3; i++) {
            double v = xyz[3 * c + i];
            if (v < minVal[i]) {
                minVal[i] = v;
                minCorner[i] = c;
            }
            if (v > maxVal[i]) {
                maxVal[i] = v;
                maxCorner[i] = c;
            }
        }
    });
    int32_t i = 0;
    if (maxVal[1] - minVal[1] > maxVal[0] - minVal[0]) i = 1;
    if (maxVal[2] - minVal[2] > maxVal[i] - minVal[i]) i = 2;
    double norm[3] = {0, 0, 1};
    if (minVal[i] < maxVal[i]) {
        // The triangle of largest area with the two corners farthest apart along that axis.
        const double* v1 = xyz + 3 * minCorner[i];
        const double* v2 = xyz + 3 * maxCorner[i];
        double d1[3] = {v1[0] - v2[0], v1[1] - v2[1], v1[2] - v2[2]};
        double maxLen2 = 0;
        forEachInMeshOrder(contourEnds, contours, [&](int32_t c) {
            const double* v = xyz + 3 * c;
            double d2[3] = {v[0] - v2[0], v[1] - v2[1], v[2] - v2[2]};
            double n[3] = {d1[1] * d2[2] - d1[2] * d2[1], d1[2] * d2[0] - d1[0] * d2[2], d1[0] * d2[1] - d1[1] * d2[0]};
            double len2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
            if (len2 > maxLen2) {
                maxLen2 = len2;
                norm[0] = n[0];
                norm[1] = n[1];
                norm[2] = n[2];
            }
        });
        if (maxLen2 <= 0) {  // all corners on one line
            norm[0] = norm[1] = norm[2] = 0;
            norm[longAxis(d1)] = 1;
        }
    }
    int32_t axis = longAxis(norm);
    double sign = norm[axis] > 0 ? 1.0 : -1.0;
    // GLU then turns the plane over when the contours' signed areas add up to less than zero.
    int32_t sAxis = (axis + 1) % 3, tAxis = (axis + 2) % 3;
    double area = 0;
    int32_t begin = 0;
    for (int32_t k = 0; k < contours; k++) {
        int32_t end = contourEnds[k];
        for (int32_t c = begin; c < end; c++) {
            int32_t d = c + 1 < end ? c + 1 : begin;
            area += (xyz[3 * c + sAxis] - xyz[3 * d + sAxis]) * sign * (xyz[3 * c + tAxis] + xyz[3 * d + tAxis]);
        }
        begin = end;
    }
    if (area < 0) sign = -sign;
    normal[0] = normal[1] = normal[2] = 0;
    normal[axis] = sign;
}

void sweepPrepare(PolygonSweep* sweep, const double* xyz, const int32_t* contourEnds, int32_t contours,
                  const double normal[3]) {
    int32_t n = contours > 0 ? contourEnds[contours - 1] : 0;
    int32_t axis = longAxis(normal);
    int32_t sAxis = (axis + 1) % 3, tAxis = (axis + 2) % 3;
    double tSign = normal[axis] > 0 ? 1.0 : -1.0;
    sweep->corners = n;
    sweep->s.resize(n);
    sweep->t.resize(n);
    for (int32_t c = 0; c < n; c++) {
        sweep->s[c] = xyz[3 * c + sAxis];
        sweep->t[c] = tSign * xyz[3 * c + tAxis];
    }
    // Sweep order: by s, then by t, as GLU orders its events.
    std::vector<int32_t> order(n);
    for (int32_t c = 0; c < n; c++) order[c] = c;
    const double* s = sweep->s.data();
    const double* t = sweep->t.data();
    std::sort(order.begin(), order.end(), [s, t](int32_t a, int32_t b) { return s[a] < s[b] || (s[a] == s[b] && t[a] < t[b]); });
    sweep->rank.assign(n, 0);
    int32_t rank = -1;
    for (int32_t k = 0; k < n; k++) {
        int32_t c = order[k];
        if (k == 0 || s[c] != s[order[k - 1]] || t[c] != t[order[k - 1]]) rank++;
        sweep->rank[c] = rank;
    }
    sweep->points = rank + 1;
    sweep->edgeLow.clear();
    sweep->edgeHigh.clear();
    sweep->turns = 0;
    const int32_t* r = sweep->rank.data();
    int32_t begin = 0;
    for (int32_t k = 0; k < contours; k++) {
        int32_t end = contourEnds[k];
        if (end - begin >= 3) {
            for (int32_t c = begin; c < end; c++) {
                int32_t prev = c > begin ? c - 1 : end - 1, next = c + 1 < end ? c + 1 : begin;
                // A corner whose neighbours are not one before and one after it in sweep order
                // starts or ends a piece of the sweep (equal neighbours count, to be safe).
                if (!((r[prev] < r[c] && r[c] < r[next]) || (r[prev] > r[c] && r[c] > r[next]))) sweep->turns++;
                if (r[c] == r[next]) continue;
                sweep->edgeLow.push_back(r[c] < r[next] ? c : next);
                sweep->edgeHigh.push_back(r[c] < r[next] ? next : c);
            }
        }
        begin = end;
    }
    // Counting sort of the edges by the ranks of their ends.
    int32_t points = sweep->points, edges = (int32_t)sweep->edgeLow.size();
    sweep->startFirst.assign(points + 1, 0);
    sweep->endFirst.assign(points + 1, 0);
    for (int32_t e = 0; e < edges; e++) {
        sweep->startFirst[r[sweep->edgeLow[e]] + 1]++;
        sweep->endFirst[r[sweep->edgeHigh[e]] + 1]++;
    }
    for (int32_t k = 0; k < points; k++) {
        sweep->startFirst[k + 1] += sweep->startFirst[k];
        sweep->endFirst[k + 1] += sweep->endFirst[k];
    }
    sweep->starts.resize(edges);
    sweep->ends.resize(edges);
    std::vector<int32_t> nextStart(sweep->startFirst.begin(), sweep->startFirst.end() - 1);
    std::vector<int32_t> nextEnd(sweep->endFirst.begin(), sweep->endFirst.end() - 1);
    for (int32_t e = 0; e < edges; e++) {
        sweep->starts[nextStart[r[sweep->edgeLow[e]]]++] = e;
        sweep->ends[nextEnd[r[sweep->edgeHigh[e]]]++] = e;
    }
}

int64_t sweepWork(const PolygonSweep* sweep) {
    // Pairs the crossing check compares: at each rank, the edges starting there times the edges
    // open there (started before and not yet ended, plus those starting at the same rank).
    int64_t pairs = 0, open = 0;
    for (int32_t r = 0; r < sweep->points; r++) {
        int64_t starting = sweep->startFirst[r + 1] - sweep->startFirst[r];
        open -= sweep->endFirst[r + 1] - sweep->endFirst[r];
        pairs += starting * (open + starting);
        open += starting;
    }
    return sweep->turns * (int64_t)sweep->corners + pairs + sweep->corners;
}

int32_t sweepEdgesCross(const PolygonSweep* sweep, int64_t closeLimit, int64_t* compared, int64_t* close) {
    *compared = 0;
    *close = 0;
    const double* s = sweep->s.data();
    const double* t = sweep->t.data();
    const int32_t* rank = sweep->rank.data();
    int32_t edges = (int32_t)sweep->edgeLow.size();
    // The edges open at the sweep position, with their extent across it for a quick first test.
    struct Open {
        double tMin, tMax;
        int32_t edge;
    };
    std::vector<Open> open;
    std::vector<int32_t> slot(edges, -1);
    // The turn from edge (a, b) to corner c; a corner at one of the edge's ends needs no arithmetic.
    auto turn = [s, t, rank](int32_t a, int32_t b, int32_t c) {
        if (rank[c] == rank[a] || rank[c] == rank[b]) return 0;
        return orientation(s[a], t[a], s[b], t[b], s[c], t[c]);
    };
    for (int32_t r = 0; r < sweep->points; r++) {
        // Edges ending here meet the edges starting here only at this point.
        for (int32_t k = sweep->endFirst[r]; k < sweep->endFirst[r + 1]; k++) {
            int32_t at = slot[sweep->ends[k]];
            open[at] = open.back();
            slot[open[at].edge] = at;
            open.pop_back();
        }
        for (int32_t k = sweep->startFirst[r]; k < sweep->startFirst[r + 1]; k++) {
            int32_t e = sweep->starts[k];
            int32_t a = sweep->edgeLow[e], b = sweep->edgeHigh[e];
            double tMin = std::min(t[a], t[b]), tMax = std::max(t[a], t[b]);
            *compared += (int64_t)open.size();
            for (const Open& f : open) {
                if (f.tMax < tMin || f.tMin > tMax) continue;
                int32_t c = sweep->edgeLow[f.edge], d = sweep->edgeHigh[f.edge];
                int32_t o1 = turn(a, b, c), o2 = turn(a, b, d);
                if (o1 * o2 > 0) continue;  // c and d on one side: neither crossing nor touching
                int32_t o3 = turn(c, d, a), o4 = turn(c, d, b);
                if (o1 * o2 < 0 && o3 * o4 < 0) return CHECK_CROSSING;
                // Edges that meet or nearly do: a corner on the other edge is one more split for
                // GLU, and collinear ones cost exact arithmetic here. Such pairs are limited.
                if (++*close > closeLimit) return CHECK_TOO_COMPLEX;
            }
            slot[e] = (int32_t)open.size();
            open.push_back(Open{tMin, tMax, e});
        }
    }
    return CHECK_CLEAR;
}
