// Geometry: the primitives of the workspace cut into triangles (polygons by the GLU tessellator,
// holes included; strips and fans directly), and the meshes built from them.
#pragma once
#include <cstdint>

// Tessellator callback events, replayed into triangles after each polygon.
enum : int32_t { EVENT_FAN = 0, EVENT_STRIP = 1, EVENT_TRIANGLES = 2, EVENT_VERTEX = 3, EVENT_END = 4 };
struct TessEvent {
    int32_t kind;
    int32_t value;  // EVENT_VERTEX: position in the index list where the vertex group starts
};

// Why a polygon is skipped; each cause is reported once per import with its count.
enum : int32_t { SKIP_INDICES = 0, SKIP_CROSSING = 1, SKIP_COMPLEX = 2, SKIP_CAUSES = 3 };

// Whether a single outline whose edges cross is cut as the fan of its corners from the first
// (later profiles: every polygon shows, as its exporter meant) instead of being skipped; holds for
// the imports that follow.
void geometryFanCrossingOutlines(bool fan);
// Counts a polygon skipped for a cause found before cutting (the validation's bad indices).
void geometryNoteSkipped(int32_t cause);
// Cuts every usable polygon, strip and fan of a validated primitive into its triangles. A polygon
// is skipped whole, and counted for the report, when two of its edges cross or when cutting it would
// cost more than the limits below allow.
void tessellatePrimitive(int32_t polygons);
// Frees a primitive's triangles once its last mesh is built (its counts stay for the report).
void releaseTriangles(int32_t polygons);
// Makes the mesh of one primitive with the given material record (-1: the default material) and
// texture-coordinate input (its position among the primitive's texture inputs; -1: the first), and
// adds it to the object.
void buildMesh(int32_t polygons, int32_t material, int32_t texInput, int32_t object, const char* textureDirectory);

// Limits on the tessellator's estimated work (sweepWork units, 1 to 5 ns each): a polygon
// over the first is skipped as too complex (a winding outline of about 20000 corners; a plain one
// may have up to 500000 corners), and work beyond 64 units per corner is taken from the second,
// the allowance of one import; a polygon that would overdraw it is skipped too.
enum : int64_t { GEOMETRY_POLYGON_WORK = 250000000, GEOMETRY_IMPORT_WORK = 600000000 };
// Changes both limits (tests use small ones); they hold until changed again.
void geometrySetWorkLimits(int64_t polygonWork, int64_t importWork);

// Per-import state of this module: the tessellator and the report's counts.
void geometryResetLookups();
// Appends the import's warnings about geometry: each cause of skipped polygons once with its count,
// and meshes left without triangles. Called before the workspace is freed.
void geometryReport();
