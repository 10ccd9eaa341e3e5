// Checks of one polygon before the GLU tessellator cuts it. GLU cuts a single small contour whose fan
// from the first corner turns one way as that fan; everything else goes through its sweep, whose cost
// grows with the square of the corners for winding outlines and far faster for edges that cross
// (every crossing is one more sweep event, and GLU refuses such a polygon only after all of them).
// These checks say in advance which path GLU takes, on which plane it sweeps, roughly how much work
// the sweep costs, and whether two edges cross, so that the importer refuses what would stall it.
// Corners are x, y, z doubles; contours follow one another, contourEnds[k] being the corner after
// the last corner of contour k.
#pragma once
#include <cstdint>
#include <vector>

// GLU keeps at most this many corners of a single contour for its quick fan path.
enum { GLU_FAN_CORNERS = 100 };

// The corners of a polygon projected on the plane GLU sweeps, ranked in sweep order (equal points
// share a rank), and its edges (zero-length ones and contours of fewer than 3 corners left out).
struct PolygonSweep {
    int32_t corners;
    int32_t points;                 // distinct ranks
    std::vector<double> s, t;       // per corner: sweep coordinate, then the one across it
    std::vector<int32_t> rank;      // per corner
    std::vector<int32_t> edgeLow;   // per edge: its corner of the lower rank
    std::vector<int32_t> edgeHigh;  // per edge: its corner of the higher rank
    // The edges by the rank of their lower corner: starts[startFirst[r] .. startFirst[r + 1]) start
    // at rank r; likewise the edges ending at each rank.
    std::vector<int32_t> startFirst, starts, endFirst, ends;
    int64_t turns;                  // corners where the outline turns back along the sweep
};

// True when GLU cuts this single contour as a fan without sweeping (or finds every fan triangle
// degenerate and gives nothing); only for 3 to GLU_FAN_CORNERS corners.
bool gluCutsAsFan(const double* xyz, int32_t corners);
// What GLU's quick path gives for such a contour: FAN_NONE when it sweeps instead; 0 when every fan
// triangle is degenerate (nothing); 1 for the fan of the corners in their order from the first; -1
// for the fan from the first corner through the others in reverse order.
enum : int32_t { FAN_NONE = 2 };
int32_t gluFanOrder(const double* xyz, int32_t corners);
// The normal GLU works out for the polygon, reduced to what its sweep uses: the unit axis it projects
// along, signed so that the contours turn counter-clockwise on the projected plane. Handing it to
// gluTessNormal makes GLU sweep exactly the plane prepared below.
void gluSweepNormal(const double* xyz, const int32_t* contourEnds, int32_t contours, double normal[3]);
// Projects along the normal and ranks the corners; O(n log n).
void sweepPrepare(PolygonSweep* sweep, const double* xyz, const int32_t* contourEnds, int32_t contours,
                  const double normal[3]);
// Estimated work of sweeping the polygon, in units of 1 to 5 ns: the turning corners times
// the corners (GLU walks a face of the mesh and its list of edges across the sweep line for each),
// plus the edge pairs the crossing check below compares.
int64_t sweepWork(const PolygonSweep* sweep);
// Whether two edges cross at a point that is a corner of neither (exact arithmetic): CHECK_CROSSING
// at the first such pair. Edges that share a corner, a corner lying on another edge and overlapping
// collinear edges do not cross: GLU joins those without making a new vertex. Pairs of edges that
// meet or touch cost exact arithmetic here and splits in GLU: past closeLimit of them the result is
// CHECK_TOO_COMPLEX. *compared gets the edge pairs looked at (at most the pairs counted in
// sweepWork), *close those that met or touched.
enum : int32_t { CHECK_CLEAR = 0, CHECK_CROSSING = 1, CHECK_TOO_COMPLEX = 2 };
// Work units a pair of edges that meet or touch is counted for, beyond one such pair per corner (the
// two edges of a corner where the outline turns meet).
enum : int32_t { CLOSE_PAIR_WORK = 128 };
int32_t sweepEdgesCross(const PolygonSweep* sweep, int64_t closeLimit, int64_t* compared, int64_t* close);
// Sign (-1, 0, 1) of the turn a -> b -> c, exact for finite coordinates of float origin.
int32_t orientation(double ax, double ay, double bx, double by, double cx, double cy);
