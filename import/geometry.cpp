#include "import/geometry.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/material_import.h"
#include "import/polygon_check.h"
#include "import/workspace.h"
#include "object/mesh.h"
#include "object/object.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_import_1_11";

namespace {
// A polygon of more corners is not cut (GLU needs about 500 bytes per corner). Estimated work up to
// the free share per corner costs the import nothing; what passes it is taken from the import's
// allowance, so that no document, however many costly polygons it repeats, keeps the import busy for
// more than a few seconds.
constexpr int32_t kMaxCorners = 500000;
constexpr int64_t kFreeWorkPerCorner = 64;

// Per-import state: the tessellator and its event list, and what the import report says about the
// polygons.
struct GeometryState {
    GLUtesselator* tess = nullptr;
    bool tessFailed = false;
    std::vector<TessEvent> events;  // the tessellator's callbacks for the current polygon
    bool badVertex = false;
    GLenum tessError = 0;           // the first error GLU reported for the current polygon
    std::vector<double> coords;     // the current polygon's corners, x y z each
    std::vector<int32_t> contourEnds;
    std::vector<int32_t> cornerGroups;  // where each corner's vertex group starts in the values
    PolygonSweep sweep;
    int64_t polygonWork = GEOMETRY_POLYGON_WORK;
    int64_t importWork = GEOMETRY_IMPORT_WORK;
    int64_t workLeft = GEOMETRY_IMPORT_WORK;
    int32_t skipped[SKIP_CAUSES] = {};
    bool fanCrossing = false;  // a single outline whose edges cross is cut as a fan, not skipped
    int32_t fanned = 0;
    int32_t emptyMeshes = 0;
    std::string firstEmptyGeometry;
};
GeometryState geo;

void GLAPIENTRY onBegin(GLenum type) {
    int32_t kind = type == GL_TRIANGLE_FAN ? EVENT_FAN : type == GL_TRIANGLE_STRIP ? EVENT_STRIP : EVENT_TRIANGLES;
    geo.events.push_back(TessEvent{kind, 0});
}

void GLAPIENTRY onVertex(void* data) {
    if (!data) {  // a vertex the tessellator made itself: there is no group to take it from
        geo.badVertex = true;
        return;
    }
    geo.events.push_back(TessEvent{EVENT_VERTEX, (int32_t)((intptr_t)data - 1)});
}

void GLAPIENTRY onEnd() { geo.events.push_back(TessEvent{EVENT_END, 0}); }

// GLU's refusals come here instead of going unnoticed (it prints nothing itself either way).
void GLAPIENTRY onError(GLenum error) {
    if (!geo.tessError) geo.tessError = error;
}

GLUtesselator* tessellator() {
    if (!geo.tess && !geo.tessFailed) {
        geo.tess = gluNewTess();
        if (!geo.tess) {
            geo.tessFailed = true;
            return nullptr;
        }
        gluTessCallback(geo.tess, GLU_TESS_BEGIN, (_GLUfuncptr)onBegin);
        gluTessCallback(geo.tess, GLU_TESS_VERTEX, (_GLUfuncptr)onVertex);
        gluTessCallback(geo.tess, GLU_TESS_END, (_GLUfuncptr)onEnd);
        gluTessCallback(geo.tess, GLU_TESS_ERROR, (_GLUfuncptr)onError);
    }
    return geo.tess;
}

// A source's values and stride, looked up once for a whole primitive; elements the validation has
// checked are read straight from it.
struct SourceView {
    const float* values;
    int64_t stride;
    const float* at(int32_t e) const { return values + e * stride; }
};

SourceView viewOf(int32_t source, int32_t width) {
    const SourceRec* s = slotGet<SourceRec>(&sourceTable, source);
    if (!s) return SourceView{nullptr, 0};
    return SourceView{s->values, s->stride > 0 ? s->stride : width};
}

// Ints per triangle corner in a polygons record: vertex, normal, colour, then each texture set.
int32_t cornerInts(const PolygonsRec* p) { return 3 + p->texCoordCount; }

void emitTriangle(int32_t polygons, const int32_t* values, int32_t g0, int32_t g1, int32_t g2) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    int32_t per = 3 * cornerInts(p);
    if (p->triangleCount == p->triangleCapacity) {
        if (p->triangleCapacity > (INT32_MAX / 3) / per / 2) return;  // more than a mesh can index
        p->triangleCapacity = p->triangleCapacity ? 2 * p->triangleCapacity : 64;
        p->corners = (int32_t*)MEM_REALLOC(p->corners, (int64_t)p->triangleCapacity * per * 4);
    }
    int32_t* out = p->corners + (int64_t)p->triangleCount * per;
    const int32_t groups[3] = {g0, g1, g2};
    for (int k = 0; k < 3; k++) {
        int32_t g = groups[k];
        *out++ = p->hasVertex ? values[g + p->vertexOffset] : -1;
        *out++ = p->hasNormal ? values[g + p->normalOffset] : -1;
        *out++ = p->hasColour ? values[g + p->colourOffset] : -1;
        for (int32_t j = 0; j < p->texCoordCount; j++) *out++ = values[g + p->texOffsets[j]];
    }
    p->triangleCount++;
}

void replay(int32_t polygons, const int32_t* values) {
    const std::vector<TessEvent>& e = geo.events;
    size_t cursor = 0;
    for (;;) {
        size_t prim = cursor;
        while (prim < e.size() && e[prim].kind > EVENT_TRIANGLES) prim++;
        size_t first = prim + 1;
        while (first < e.size() && e[first].kind != EVENT_VERTEX) first++;
        size_t end = first + 1;
        while (end < e.size() && e[end].kind != EVENT_END) end++;
        if (prim >= e.size() || first >= e.size() || end >= e.size()) return;
        cursor = end;
        std::vector<int32_t> v;
        for (size_t i = first; i < end; i++)
            if (e[i].kind == EVENT_VERTEX) v.push_back(e[i].value);
        int32_t kind = e[prim].kind;
        for (size_t i = 2; i < v.size(); i++) {
            if (kind == EVENT_TRIANGLES) {
                if (i % 3 == 2) emitTriangle(polygons, values, v[i - 2], v[i - 1], v[i]);
            } else if (kind == EVENT_FAN) {
                emitTriangle(polygons, values, v[0], v[i - 1], v[i]);
            } else if (i % 2 == 0) {  // strips keep the first triangle's winding
                emitTriangle(polygons, values, v[i - 2], v[i - 1], v[i]);
            } else {
                emitTriangle(polygons, values, v[i - 1], v[i - 2], v[i]);
            }
        }
    }
}
}  // namespace

void geometryFanCrossingOutlines(bool fan) { geo.fanCrossing = fan; }

void geometryNoteSkipped(int32_t cause) {
    if (cause >= 0 && cause < SKIP_CAUSES) geo.skipped[cause]++;
}

void geometryResetLookups() {
    geo.events.clear();
    if (geo.tess) gluDeleteTess(geo.tess);
    geo.tess = nullptr;
    geo.tessFailed = false;
    geo.workLeft = geo.importWork;
    for (int32_t& n : geo.skipped) n = 0;
    geo.fanned = 0;
    geo.emptyMeshes = 0;
    geo.firstEmptyGeometry.clear();
    // Large polygons leave large buffers behind.
    std::vector<double>().swap(geo.coords);
    std::vector<int32_t>().swap(geo.contourEnds);
    std::vector<int32_t>().swap(geo.cornerGroups);
    geo.sweep = PolygonSweep();
}

void geometrySetWorkLimits(int64_t polygonWork, int64_t importWork) {
    geo.polygonWork = polygonWork;
    geo.importWork = importWork;
    geo.workLeft = importWork;
}

void geometryReport() {
    static const char* const kReasons[SKIP_CAUSES] = {
        "indices outside their sources",
        "edges that cross (self-intersecting, a hole crossing its outline, or not flat)",
        "too complex to cut (over 500000 corners, or a winding outline of over about 20000)",
    };
    static_assert(kMaxCorners == 500000, "the message names the corner limit");
    for (int32_t cause = 0; cause < SKIP_CAUSES; cause++) {
        int32_t n = geo.skipped[cause];
        if (n > 0) importMessage("[WARNING] %d polygon%s skipped: %s.", n, n == 1 ? "" : "s", kReasons[cause]);
    }
    if (geo.fanned > 0)
        importMessage("[WARNING] %d polygon%s edges that cross; cut as a fan from the first corner.", geo.fanned,
                      geo.fanned == 1 ? " has" : "s have");
    const char* id = geo.firstEmptyGeometry.empty() ? "(no id)" : geo.firstEmptyGeometry.c_str();
    if (geo.emptyMeshes == 1) importMessage("[WARNING] geometry %s gives a mesh with no triangles.", id);
    else if (geo.emptyMeshes > 1)
        importMessage("[WARNING] %d meshes have no triangles, the first in geometry %s.", geo.emptyMeshes, id);
}

namespace {
// Decides whether the polygon in geo.coords / geo.contourEnds may go to GLU, and the normal to hand
// it (all zero: GLU works it out itself). Returns the cause of a refusal, or -1.
int32_t checkPolygon(double normal[3]) {
    normal[0] = normal[1] = normal[2] = 0;
    int32_t corners = (int32_t)(geo.coords.size() / 3);
    if (geo.contourEnds.size() == 1 && gluCutsAsFan(geo.coords.data(), corners)) return -1;
    if (corners > kMaxCorners) return SKIP_COMPLEX;
    // The float reader turns NaN and infinities into 0; should one get here all the same, neither
    // the sort below nor GLU's sweep (which crashes on NaN) may see it.
    for (double v : geo.coords)
        if (!std::isfinite(v)) return SKIP_COMPLEX;
    const int32_t* ends = geo.contourEnds.data();
    int32_t contours = (int32_t)geo.contourEnds.size();
    gluSweepNormal(geo.coords.data(), ends, contours, normal);
    sweepPrepare(&geo.sweep, geo.coords.data(), ends, contours, normal);
    int64_t work = sweepWork(&geo.sweep);
    int64_t free = kFreeWorkPerCorner * corners;
    if (work > geo.polygonWork || work - free > geo.workLeft) return SKIP_COMPLEX;
    // GLU would find a crossing too, but only after sweeping every one of them. Edges that meet or
    // touch are counted as they are found, within what is left of both limits.
    int64_t room = std::min(geo.polygonWork, free + geo.workLeft) - work;
    int64_t compared = 0, close = 0;
    int32_t verdict = sweepEdgesCross(&geo.sweep, corners + room / CLOSE_PAIR_WORK, &compared, &close);
    int64_t closeWork = CLOSE_PAIR_WORK * std::max<int64_t>(0, close - corners);
    // A refused polygon costs what the check did; one that goes on, the estimate of GLU's work.
    int64_t spent = verdict == CHECK_CLEAR ? work + closeWork : compared + closeWork + corners;
    geo.workLeft = std::max<int64_t>(0, geo.workLeft - std::max<int64_t>(0, spent - free));
    if (verdict == CHECK_CROSSING) return SKIP_CROSSING;
    if (verdict == CHECK_TOO_COMPLEX) return SKIP_COMPLEX;
    // GLU sweeps the plane checked here: it would work out the same normal, and is told it where that
    // cannot change its choice of path. A single contour small enough for the quick path is left to
    // GLU, because a normal given in advance would make GLU test its fan against that normal instead.
    if (contours == 1 && corners <= GLU_FAN_CORNERS) normal[0] = normal[1] = normal[2] = 0;
    return -1;
}
}  // namespace

namespace {
// The fan of a single outline's corners from the first, in their order (order 1) or the reverse
// (-1); nothing for 0. Groups are found through cornerGroups, since separators may sit before them.
void emitFan(int32_t polygons, const int32_t* values, int32_t corners, int32_t order) {
    const std::vector<int32_t>& at = geo.cornerGroups;
    for (int32_t i = 2; i < corners && order != 0; i++) {
        if (order > 0) emitTriangle(polygons, values, at[0], at[(size_t)i - 1], at[(size_t)i]);
        else emitTriangle(polygons, values, at[0], at[(size_t)(corners - i + 1)], at[(size_t)(corners - i)]);
    }
}

// A single outline whose edges cross has no cut that keeps to it; where fans are allowed, its
// corners' fan shows it rather than nothing.
bool fanInstead(int32_t polygons, const int32_t* values, int32_t corners) {
    if (!geo.fanCrossing || geo.contourEnds.size() != 1) return false;
    emitFan(polygons, values, corners, 1);
    geo.fanned++;
    return true;
}
}  // namespace

// Cuts one polygon (a -1 separates contours where the primitive has holes) into its triangles.
static void tessellatePolygon(int32_t polygons, const int32_t* values, int32_t count) {
    const PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    if (!p || p->groupSize <= 0 || !p->hasVertex) return;
    geo.coords.clear();
    geo.contourEnds.clear();
    geo.cornerGroups.clear();
    SourceView positions = viewOf(p->vertexSource, WIDTH_POSITION);
    for (int32_t g = 0; g < count;) {
        // A -1 separates contours only where the primitive has holes, as the validation read it.
        if (values[g] == -1 && p->holes) {
            int32_t corners = (int32_t)(geo.coords.size() / 3);
            if (corners > (geo.contourEnds.empty() ? 0 : geo.contourEnds.back())) geo.contourEnds.push_back(corners);
            g++;
            continue;
        }
        // The validation has checked every group of the polygon.
        const float* pos = positions.at(values[g + p->vertexOffset]);
        geo.coords.insert(geo.coords.end(), {(double)pos[0], (double)pos[1], (double)pos[2]});
        geo.cornerGroups.push_back(g);
        g += p->groupSize;
    }
    int32_t corners = (int32_t)(geo.coords.size() / 3);
    if (corners > (geo.contourEnds.empty() ? 0 : geo.contourEnds.back())) geo.contourEnds.push_back(corners);
    if (corners < 3) return;  // nothing to cut
    if (geo.contourEnds.size() == 1) {
        // GLU cuts a small contour that turns one way as a fan of its corners without sweeping;
        // the same fan is made here directly.
        int32_t order = gluFanOrder(geo.coords.data(), corners);
        if (order != FAN_NONE) {
            emitFan(polygons, values, corners, order);
            return;
        }
    }
    double normal[3];
    int32_t refused = checkPolygon(normal);
    if (refused == SKIP_CROSSING && fanInstead(polygons, values, corners)) return;
    if (refused >= 0) {
        geo.skipped[refused]++;
        return;
    }
    GLUtesselator* tess = tessellator();
    if (!tess) return;
    geo.events.clear();
    geo.badVertex = false;
    geo.tessError = 0;
    gluTessNormal(tess, normal[0], normal[1], normal[2]);
    gluTessBeginPolygon(tess, nullptr);
    gluTessBeginContour(tess);
    const GLdouble* c = geo.coords.data();
    for (int32_t g = 0; g < count;) {
        if (values[g] == -1 && p->holes) {
            gluTessEndContour(tess);
            gluTessBeginContour(tess);
            g++;
            continue;
        }
        gluTessVertex(tess, (GLdouble*)c, (void*)(intptr_t)(g + 1));
        c += 3;
        g += p->groupSize;
    }
    gluTessEndContour(tess);
    gluTessEndPolygon(tess);
    if (geo.tessError || geo.badVertex) {
        // Edges GLU still found crossing (its arithmetic is not exact), or it ran out of memory.
        bool crossing = geo.tessError == GLU_TESS_NEED_COMBINE_CALLBACK || geo.badVertex;
        if (crossing && fanInstead(polygons, values, corners)) return;
        geo.skipped[geo.tessError == GLU_TESS_NEED_COMBINE_CALLBACK || geo.badVertex ? SKIP_CROSSING : SKIP_COMPLEX]++;
        return;
    }
    replay(polygons, values);
}

namespace {
void cutPolygons(int32_t polygons);
}  // namespace

void tessellatePrimitive(int32_t polygons) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    if (!p) return;
    if (p->groupSize > 0 && p->hasVertex && p->values) cutPolygons(polygons);
    p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    // The triangles hold all the rest needs of the index lists.
    p->values = (int32_t*)MEM_FREE(p->values);
    p->polygonStart = (int32_t*)MEM_FREE(p->polygonStart);
    p->polygonBad = (uint8_t*)MEM_FREE(p->polygonBad);
    p->valueCount = p->valueCapacity = p->polygonCapacity = 0;  // polygonCount stays: it is reported
    if (p->triangleCount < p->triangleCapacity && p->triangleCount > 0) {
        p->triangleCapacity = p->triangleCount;
        p->corners = (int32_t*)MEM_REALLOC(p->corners, (int64_t)p->triangleCount * 3 * cornerInts(p) * 4);
    }
    if (p->triangleCount == 0 && geo.emptyMeshes++ == 0) {
        const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, p->geometry);
        geo.firstEmptyGeometry = g ? g->id : "";
    }
}

namespace {
// The polygons, strips or fans of a primitive into its triangles.
void cutPolygons(int32_t polygons) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    // Outlines give fewer triangles than corners; reserving that many up front spares the copies of
    // growing (pages never written cost nothing, and the rest is given back below).
    int64_t estimate = p->valueCount / p->groupSize;
    if (!p->corners && estimate > 64 && estimate < INT32_MAX / 3 / (3 * cornerInts(p))) {
        p->triangleCapacity = (int32_t)estimate;
        p->corners = (int32_t*)MEM_ALLOC(nullptr, estimate * 3 * cornerInts(p) * 4);
    }
    int32_t count = p->polygonCount, size = p->groupSize;
    uint8_t kind = p->kind;
    for (int32_t k = 0; k < count; k++) {
        if ((k & 4095) == 4095) importAdvance(4096);
        p = slotGet<PolygonsRec>(&polygonsTable, polygons);
        if (p->polygonBad && p->polygonBad[k]) continue;
        const int32_t* values = p->values + p->polygonStart[k];
        int32_t n = p->polygonStart[k + 1] - p->polygonStart[k];
        if (kind == PRIM_POLYGONS) {
            tessellatePolygon(polygons, values, n);
            continue;
        }
        // A strip or a fan gives n - 2 triangles of its groups; strips alternate their winding so
        // that every triangle faces the way the first does.
        int32_t groups = n / size;
        for (int32_t i = 2; i < groups; i++) {
            if (kind == PRIM_FANS) emitTriangle(polygons, values, 0, (i - 1) * size, i * size);
            else if (i % 2 == 0) emitTriangle(polygons, values, (i - 2) * size, (i - 1) * size, i * size);
            else emitTriangle(polygons, values, (i - 1) * size, (i - 2) * size, i * size);
        }
    }
}
}  // namespace

void releaseTriangles(int32_t polygons) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    if (!p) return;
    p->corners = (int32_t*)MEM_FREE(p->corners);
    p->triangleCapacity = 0;
}

void buildMesh(int32_t polygons, int32_t material, int32_t texInput, int32_t object, const char* textureDirectory) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    if (!p) return;
    int32_t triangles = p->triangleCount;
    int32_t storedSets = p->texCoordCount;
    int32_t per = 3 * cornerInts(p);
    if (texInput < 0 || texInput >= storedSets) texInput = 0;
    Mesh mesh;
    std::memset(&mesh, 0, sizeof mesh);
    materialInit(&mesh.material);
    int32_t textureId = -1;
    int32_t usable = materialImportTextures(material, textureDirectory, &textureId);
    p = slotGet<PolygonsRec>(&polygonsTable, polygons);
    // A mesh keeps one texture-coordinate set, and only with a usable texture.
    uint8_t sets = (uint8_t)(usable > 0 && storedSets > 0 ? 1 : 0);
    if (p->hasVertex && !p->hasNormal) mesh.material.mode = MATERIAL_UNLIT;
    else if (p->hasVertex && p->hasNormal && sets > 0) mesh.material.mode = MATERIAL_TEXTURED;
    if (mesh.material.mode == MATERIAL_TEXTURED) mesh.material.textureIds[0] = textureId;
    mesh.vertexCount = mesh.indexCount = 3 * triangles;
    mesh.hasPositions = p->hasVertex;
    mesh.hasNormals = p->hasNormal;
    mesh.texCoordSets = mesh.material.mode == MATERIAL_TEXTURED ? sets : 0;
    mesh.hasColours = p->hasColour;
    meshInitBuffers(&mesh);
    if (material >= 0) materialApplyColours(material, &mesh.material, textureDirectory);
    int32_t colourWidth = p->hasColour ? sourceColourWidth(p->colourSource) : 0;
    SourceView positions = viewOf(p->vertexSource, WIDTH_POSITION), normals = viewOf(p->normalSource, WIDTH_POSITION);
    SourceView colours = viewOf(p->colourSource, colourWidth);
    SourceView uvs = viewOf(mesh.texCoordSets > 0 ? p->texSources[texInput] : -1, WIDTH_TEXCOORD);
    int32_t c = 0;
    for (int32_t t = 0; t < triangles; t++) {
        const int32_t* tri = p->corners + (int64_t)t * per;
        for (int k = 0; k < 3; k++, c++) {
            const int32_t* corner = tri + k * cornerInts(p);
            if (mesh.hasPositions) std::memcpy(mesh.positions + 3 * c, positions.at(corner[0]), 12);
            if (mesh.hasNormals) std::memcpy(mesh.normals + 3 * c, normals.at(corner[1]), 12);
            if (mesh.hasColours) {
                const float* f = colours.at(corner[2]);
                for (int i = 0; i < 4; i++) {
                    float v = i < colourWidth ? f[i] * 255.0f : 255.0f;
                    mesh.colours[4 * c + i] = (uint8_t)(v <= 0.0f ? 0.0f : v >= 255.0f ? 255.0f : v);
                }
            }
            if (mesh.texCoordSets > 0) {
                const float* uv = uvs.at(corner[3 + texInput]);
                mesh.texCoords[0][2 * c] = uv[0];
                mesh.texCoords[0][2 * c + 1] = 1.0f - uv[1];  // the document's v runs the other way
            }
            mesh.indices[c] = c;
        }
    }
    importAdvance(p->polygonCount + (p->polygonCount & 4095));
    int32_t index = meshAdopt(-1, &mesh);
    meshFreeBuffers(&mesh);
    if (index >= 0) objectAddMesh(object, index);
}
