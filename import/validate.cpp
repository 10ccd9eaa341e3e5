#include "import/validate.h"

#include <cstring>

#include "import/geometry.h"
#include "import/workspace.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_import_1_11";

namespace {
const char* semanticName(uint8_t semantic) {
    static const char* const kNames[] = {"VERTEX", "POSITION", "NORMAL", "TEXCOORD", "COLOR", "OTHER"};
    return semantic <= INPUT_OTHER ? kNames[semantic] : "OTHER";
}

bool laterProfile() { return documentInfo.profile != PROFILE_EARLY; }

const char* geometryId(const PolygonsRec* p) {
    const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, p->geometry);
    return g && g->id[0] ? g->id : "(no id)";
}

int32_t sourceByUrl(const char* url) {
    char fragment[2048];
    urlFragment(fragment, url);
    return findById(&sourceTable, fragment);
}

// Gives one resolved input to the primitive's fields; the last input of a kind wins, texture
// coordinates add up to the table's room.
void assignInput(PolygonsRec* p, uint8_t semantic, int32_t source, int32_t offset, int32_t set) {
    if (semantic == INPUT_POSITION) {
        p->vertexSource = source;
        p->vertexOffset = offset;
        p->hasVertex = source >= 0;
    } else if (semantic == INPUT_NORMAL) {
        p->normalSource = source;
        p->normalOffset = offset;
        p->hasNormal = source >= 0;
    } else if (semantic == INPUT_TEXCOORD) {
        if (p->texCoordCount < MAX_TEX_INPUTS && source >= 0) {
            p->texSources[p->texCoordCount] = source;
            p->texOffsets[p->texCoordCount] = offset;
            p->texSets[p->texCoordCount] = set;
            p->texCoordCount++;
        }
    } else if (semantic == INPUT_COLOR) {
        p->colourSource = source;
        p->colourOffset = offset;
        p->hasColour = source >= 0;
    }
}

void reportMissing(const PolygonsRec* p, const InputRec* in) {
    if (laterProfile())
        importMessageOnce("[WARNING] geometry %s: the %s input names %s, which the document does not hold.",
                          geometryId(p), semanticName(in->semantic), in->source);
}

void resolveInputs(PolygonsRec* p) {
    for (int32_t i = 0; i < p->inputs.capacity; i++) {
        const InputRec* in = slotGet<InputRec>(&p->inputs, i);
        if (!in || in->offset < 0) continue;
        if (in->semantic != INPUT_VERTEX) {
            int32_t source = sourceByUrl(in->source);
            if (source < 0 && in->semantic != INPUT_OTHER) reportMissing(p, in);
            assignInput(p, in->semantic, source, in->offset, in->set);
            continue;
        }
        char fragment[2048];
        urlFragment(fragment, in->source);
        const VerticesRec* v = slotGet<VerticesRec>(&verticesTable, findById(&verticesTable, fragment));
        if (!v) {
            // A VERTEX input may name the position source itself.
            int32_t source = findById(&sourceTable, fragment);
            if (source < 0) reportMissing(p, in);
            assignInput(p, INPUT_POSITION, source, in->offset, -1);
            continue;
        }
        // The position is the POSITION input of the <vertices>, else its first input; the others
        // share the VERTEX input's offset.
        int32_t position = -1;
        for (int32_t k = 0; k < v->inputs.capacity && position < 0; k++) {
            const InputRec* vin = slotGet<InputRec>(&v->inputs, k);
            if (vin && vin->semantic == INPUT_POSITION) position = k;
        }
        for (int32_t k = 0; k < v->inputs.capacity && position < 0; k++)
            if (slotGet<InputRec>(&v->inputs, k)) position = k;
        for (int32_t k = 0; k < v->inputs.capacity; k++) {
            const InputRec* vin = slotGet<InputRec>(&v->inputs, k);
            if (!vin || (k != position && (vin->semantic == INPUT_POSITION || vin->semantic == INPUT_OTHER))) continue;
            int32_t source = sourceByUrl(vin->source);
            if (source < 0) reportMissing(p, vin);
            assignInput(p, k == position ? (uint8_t)INPUT_POSITION : vin->semantic, source, in->offset, vin->set);
        }
        if (position < 0) reportMissing(p, in);
    }
}

// One input's view of its source, for the check of every group.
struct Reach {
    int32_t offset;
    const SourceRec* source;
    int64_t stride;
    int32_t width;
};

bool withinSource(const Reach& r, int32_t element) {
    return element >= 0 && (int64_t)element * r.stride + r.width <= r.source->valueCount;
}

// Marks the polygons that cannot be cut: groups cut short, indices outside a source, a contour
// separator in a strip or fan, or a polygon running past the values (a <vcount> that lists more
// than <p> holds).
void checkPolygons(int32_t index) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, index);
    Reach reach[3 + MAX_TEX_INPUTS];
    int32_t reaches = 0;
    auto add = [&](bool present, int32_t source, int32_t offset, int32_t width) {
        const SourceRec* s = slotGet<SourceRec>(&sourceTable, source);
        if (!present || !s) return;
        reach[reaches++] = {offset, s, s->stride > 0 ? s->stride : width, width};
    };
    add(p->hasVertex, p->vertexSource, p->vertexOffset, WIDTH_POSITION);
    add(p->hasNormal, p->normalSource, p->normalOffset, WIDTH_POSITION);
    add(p->hasColour, p->colourSource, p->colourOffset, p->hasColour ? sourceColourWidth(p->colourSource) : 3);
    for (int32_t j = 0; j < p->texCoordCount; j++) add(true, p->texSources[j], p->texOffsets[j], WIDTH_TEXCOORD);
    int32_t size = p->groupSize, bad = 0, pastEnd = 0;
    for (int32_t k = 0; k < p->polygonCount; k++) {
        int32_t start = p->polygonStart[k], end = p->polygonStart[k + 1];
        bool usable = end <= p->valueCount && size > 0;
        if (!usable && end > p->valueCount) pastEnd++;
        for (int32_t g = start; usable && g < end;) {
            if (p->values[g] == -1 && p->holes) {
                g++;
                continue;
            }
            if ((int64_t)g + size > end) {
                usable = false;
                break;
            }
            for (int32_t r = 0; r < reaches && usable; r++) usable = withinSource(reach[r], p->values[g + reach[r].offset]);
            g += size;
        }
        if (usable) continue;
        if (!p->polygonBad) p->polygonBad = (uint8_t*)MEM_ALLOC(nullptr, p->polygonCount);
        if (bad == 0) std::memset(p->polygonBad, 0, (size_t)p->polygonCount);
        p->polygonBad[k] = 1;
        bad++;
        geometryNoteSkipped(SKIP_INDICES);
    }
    if (!laterProfile()) return;
    if (pastEnd > 0)
        importMessage("[WARNING] geometry %s: <vcount> lists more vertices than <p> holds; %d polygon%s cut short.",
                      geometryId(p), pastEnd, pastEnd == 1 ? " is" : "s are");
    int32_t used = p->polygonCount > 0 ? p->polygonStart[p->polygonCount] : 0;
    if (pastEnd == 0 && used < p->valueCount)
        importMessage("[WARNING] geometry %s: <p> holds %d values beyond its last whole polygon (%d per vertex, "
                      "as the inputs' offsets say); they are ignored.",
                      geometryId(p), p->valueCount - used, p->groupSize);
}

void resolveInstances(NodeRec* n) {
    for (int32_t i = 0; i < n->instances.capacity; i++) {
        InstanceRec* in = slotGet<InstanceRec>(&n->instances, i);
        if (!in) continue;
        char fragment[2048];
        urlFragment(fragment, in->url);
        SlotTable* table = in->kind == INSTANCE_NODE         ? &nodeRecTable
                           : in->kind == INSTANCE_CONTROLLER ? &controllerTable
                                                             : &geometryTable;
        in->target = in->url[0] ? findById(table, fragment) : -1;
        if (in->target < 0 && laterProfile()) {
            const char* what = in->kind == INSTANCE_NODE ? "node" : in->kind == INSTANCE_CONTROLLER ? "controller" : "geometry";
            importMessageOnce("[WARNING] node %s: the %s %s is not in the document.", n->id[0] ? n->id : "(no id)",
                              what, in->url);
        }
        for (int32_t b = 0; b < in->bindings.capacity; b++) {
            MaterialBindRec* m = slotGet<MaterialBindRec>(&in->bindings, b);
            if (!m) continue;
            m->materialIndex = findMaterialRec(m->target);
            if (m->materialIndex < 0)
                importMessageOnce("[WARNING] material %s bound to symbol %s is not in the document.", m->target,
                                  m->symbol);
        }
    }
}
}  // namespace

void validateWorkspace() {
    for (int32_t i = 0; i < polygonsTable.capacity; i++) {
        PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, i);
        if (!p) continue;
        resolveInputs(p);
        if (!laterProfile()) p->materialIndex = findMaterialRec(p->materialName);
        checkPolygons(i);
    }
    for (int32_t i = 0; i < nodeRecTable.capacity; i++)
        if (NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i)) resolveInstances(n);
}
