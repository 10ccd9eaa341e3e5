// Geometry: <library type="GEOMETRY"> into geometry and polygons records, every polygon cut into
// triangles by the GLU tessellator (holes included), and the meshes built from them.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

// Tessellator callback events, replayed into triangles after each polygon.
enum : int32_t { EVENT_FAN = 0, EVENT_STRIP = 1, EVENT_TRIANGLES = 2, EVENT_VERTEX = 3, EVENT_END = 4 };
struct TessEvent {
    int32_t kind;
    int32_t value;  // EVENT_VERTEX: position in the index list where the vertex group starts
};

// Reads every <geometry> of the library (its sources and polygons elements).
void readGeometryLibrary(const xmlNode* library);
// Reads one <polygons> element of a geometry: inputs, material, and every <p> tessellated.
void readPolygons(const xmlNode* element, int32_t geometry);
// The source of an input: for "VERTEX" the URL names a <vertices> element anywhere in the document's
// geometry libraries, whose first input names the source. Returns the source index or -1.
int32_t findInputSource(const char* semantic, const char* url);
// Values of a <p> list: tokens of its text, each <h> counting 1 (a hole separator) plus the tokens
// it holds itself (some writers put the hole contour inside <h>).
int32_t countIndices(const xmlNode* p);
// Reads the values (an <h> stores -1, then its own tokens); at most max; returns how many.
int32_t readIndices(const xmlNode* p, int32_t* out, int32_t max);
// Cuts one polygon (a -1 separates contours) into triangles of the polygons record. A polygon is
// skipped whole, and counted for the report, when its groups are cut short or name elements outside
// their sources, when two of its edges cross, or when cutting it would cost more than the limits
// below allow.
void tessellatePolygon(int32_t polygons, const int32_t* values, int32_t count);
// Makes the mesh of one polygons record (material, textures, triangles) and adds it to the
// geometry's object.
void buildMesh(int32_t polygons, int32_t object, const char* textureDirectory);

// Limits on the tessellator's estimated work (sweepWork units, 1 to 5 ns each): a polygon
// over the first is skipped as too complex (a winding outline of about 20000 corners; a plain one
// may have up to 500000 corners), and work beyond 64 units per corner is taken from the second,
// the allowance of one import; a polygon that would overdraw it is skipped too.
enum : int64_t { GEOMETRY_POLYGON_WORK = 250000000, GEOMETRY_IMPORT_WORK = 600000000 };
// Changes both limits (tests use small ones); they hold until changed again.
void geometrySetWorkLimits(int64_t polygonWork, int64_t importWork);

// Per-import state of this module: the document root for <vertices> lookups, the tessellator.
void geometrySetDocument(const xmlNode* root);
void geometryResetLookups();
// Polygons skipped as bad input during the current import.
int32_t geometrySkippedPolygons();
// Appends the import's warnings about geometry: each cause of skipped polygons once with its count,
// and meshes left without triangles. Called before the workspace is freed.
void geometryReport();
