#include "import/read_shared.h"

#include <cstring>

#include "import/workspace.h"
#include "import/xml_access.h"
#include "strings/text.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_import_1_11";

void readAssetElement(const xmlNode* a) {
    {
        for (const xmlNode* c = a->children; c; c = c->next) {
            if (xmlIsElement(c, "up_axis")) {
                char* text = (char*)xmlNodeGetContent(c);
                const char* t = text ? text : "";
                while (*t == ' ' || *t == '\t' || *t == '\n' || *t == '\r') t++;
                if ((t[0] == 'X' || t[0] == 'Y' || t[0] == 'Z') && std::strncmp(t + 1, "_UP", 3) == 0)
                    documentInfo.upAxis = t[0];
                else
                    importMessage("[WARNING] the up axis \"%.40s\" is none of X_UP, Y_UP and Z_UP; it is ignored.", t);
                xmlFree(text);
            } else if (xmlIsElement(c, "unit")) {
                char meter[64];
                xmlAttrString(c, "meter", meter, sizeof meter);
                replaceChar(meter, ',', '.');  // some exporters write a decimal comma
                const char* end = meter;
                float value = parseFloatToken(meter, &end);
                if (end != meter && value > 0.0f) documentInfo.unitMeter = value;
                xmlAttrString(c, "name", documentInfo.unitName, sizeof documentInfo.unitName);
            }
        }
    }
}

int32_t addNodeRecord(const xmlNode* element, const char* parentId, int32_t parentRecord, uint8_t library) {
    int32_t index = slotAdd(&nodeRecTable, 1, -1);
    NodeRec* n = slotGet<NodeRec>(&nodeRecTable, index);
    std::memset(n, 0, sizeof *n);
    slotInit(&n->transforms, 4, (int32_t)sizeof(TransformRec));
    slotInit(&n->instances, 4, (int32_t)sizeof(InstanceRec));
    n->id = xmlAttrText(element, "id");
    n->name = xmlAttrText(element, "name");
    n->parentId = importTextCopy(parentId);
    n->parentRecord = parentRecord;
    n->library = library;
    n->nodeIndex = -1;
    registerId(&nodeRecTable, n->id, index);
    return index;
}

bool readNodeTransform(int32_t record, const xmlNode* element) {
    static const struct {
        const char* name;
        uint8_t kind;
        int32_t count;
    } kinds[] = {{"translate", TRANSFORM_TRANSLATE, 3}, {"rotate", TRANSFORM_ROTATE, 4},
                 {"scale", TRANSFORM_SCALE, 3},         {"matrix", TRANSFORM_MATRIX, 16},
                 {"lookat", TRANSFORM_LOOKAT, 9},       {"skew", TRANSFORM_SKEW, 7}};
    for (const auto& k : kinds) {
        if (!xmlIsElement(element, k.name)) continue;
        NodeRec* n = slotGet<NodeRec>(&nodeRecTable, record);
        TransformRec* t = slotGet<TransformRec>(&n->transforms, slotAdd(&n->transforms, 1, -1));
        std::memset(t, 0, sizeof *t);
        t->kind = k.kind;
        if (k.kind == TRANSFORM_MATRIX) t->values[0] = t->values[5] = t->values[10] = t->values[15] = 1.0f;
        if (k.kind == TRANSFORM_SCALE) t->values[0] = t->values[1] = t->values[2] = 1.0f;
        int32_t read = xmlReadFloats(element, t->values, k.count);
        if (k.kind == TRANSFORM_MATRIX && read < 16) {
            // A matrix cut short is no transform anyone meant: it counts as the identity.
            std::memset(t->values, 0, sizeof t->values);
            t->values[0] = t->values[5] = t->values[10] = t->values[15] = 1.0f;
        }
        float* last = t->values + 12;
        if (k.kind == TRANSFORM_MATRIX && (last[0] != 0.0f || last[1] != 0.0f || last[2] != 0.0f || last[3] != 1.0f)) {
            // A node's transform is affine; a last row of anything else comes from a writer's fault
            // (some exporters put stray numbers there) and would project the model out of sight.
            last[0] = last[1] = last[2] = 0.0f;
            last[3] = 1.0f;
            importMessageOnce("[WARNING] a node's <matrix> has a last row other than 0 0 0 1; it is read as 0 0 0 1.");
        }
        return true;
    }
    return false;
}

int32_t addNodeInstance(int32_t record, uint8_t kind, const char* url) {
    NodeRec* n = slotGet<NodeRec>(&nodeRecTable, record);
    int32_t index = slotAdd(&n->instances, 1, -1);
    InstanceRec* in = slotGet<InstanceRec>(&n->instances, index);
    in->kind = kind;
    in->url = importTextCopy(url);
    slotInit(&in->bindings, 4, (int32_t)sizeof(MaterialBindRec));
    return index;
}

void readVertices(const xmlNode* element) {
    int32_t index = slotAdd(&verticesTable, 1, -1);
    VerticesRec* v = slotGet<VerticesRec>(&verticesTable, index);
    v->id = xmlAttrText(element, "id");
    slotInit(&v->inputs, 4, (int32_t)sizeof(InputRec));
    for (const xmlNode* in = element->children; in; in = in->next) {
        if (!xmlIsElement(in, "input")) continue;
        char semantic[64];
        xmlAttrString(in, "semantic", semantic, sizeof semantic);
        v = slotGet<VerticesRec>(&verticesTable, index);
        InputRec* r = slotGet<InputRec>(&v->inputs, slotAdd(&v->inputs, 1, -1));
        r->semantic = inputSemantic(semantic);
        r->offset = 0;
        r->set = -1;
        xmlAttrInt(in, "set", &r->set);
        r->source = xmlAttrText(in, "source");
    }
    registerId(&verticesTable, slotGet<VerticesRec>(&verticesTable, index)->id, index);
}

int32_t addGeometryRecord(const xmlNode* element) {
    int32_t index = slotAdd(&geometryTable, 1, -1);
    GeometryRec* rec = slotGet<GeometryRec>(&geometryTable, index);
    slotInit(&rec->polygons, 4, 4);
    rec->id = xmlAttrText(element, "id");
    rec->name = xmlAttrText(element, "name");
    rec->objectIndex = -1;
    registerId(&geometryTable, rec->id, index);
    return index;
}

int32_t addMaterialRecord(const xmlNode* element) {
    int32_t index = slotAdd(&materialRecTable, 1, -1);
    MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, index);
    std::memset(m, 0, sizeof *m);
    m->id = xmlAttrText(element, "id");
    m->name = xmlAttrText(element, "name");
    return index;
}

uint8_t inputSemantic(const char* name) {
    if (std::strcmp(name, "VERTEX") == 0) return INPUT_VERTEX;
    if (std::strcmp(name, "POSITION") == 0) return INPUT_POSITION;
    if (std::strcmp(name, "NORMAL") == 0) return INPUT_NORMAL;
    if (std::strcmp(name, "TEXCOORD") == 0) return INPUT_TEXCOORD;
    if (std::strcmp(name, "COLOR") == 0) return INPUT_COLOR;
    return INPUT_OTHER;
}

int32_t addPrimitive(uint8_t kind, int32_t geometry, const char* materialName) {
    int32_t index = slotAdd(&polygonsTable, 1, -1);
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, index);
    std::memset(p, 0, sizeof *p);
    p->kind = kind;
    p->holes = kind == PRIM_POLYGONS;
    p->geometry = geometry;
    p->materialName = importTextCopy(materialName);
    slotInit(&p->inputs, 4, (int32_t)sizeof(InputRec));
    p->vertexSource = p->normalSource = p->colourSource = -1;
    p->materialIndex = -1;
    GeometryRec* g = slotGet<GeometryRec>(&geometryTable, geometry);
    if (g) {
        int32_t slot = slotAdd(&g->polygons, 1, -1);
        *(int32_t*)g->polygons.slots[slot] = index;
    }
    return index;
}

void addPrimitiveInput(int32_t primitive, uint8_t semantic, int32_t offset, int32_t set, const char* source) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, primitive);
    InputRec* in = slotGet<InputRec>(&p->inputs, slotAdd(&p->inputs, 1, -1));
    in->semantic = semantic;
    in->offset = (offset >= 0 && offset < 65536) ? offset : -1;
    in->set = set;
    in->source = importTextCopy(source);
    if (in->offset >= 0 && in->offset + 1 > p->groupSize) p->groupSize = in->offset + 1;
}

namespace {
// Calls emit for every token of a text, as an int (-2 for a token that is not a number).
template <typename F>
void forEachToken(const char* text, F emit) {
    if (!text) return;
    const unsigned char* p = (const unsigned char*)text;
    const bool* sep = kNumberSeparators.is;
    for (;;) {
        while (sep[*p]) p++;
        if (!*p) return;
        // Like "%d": an optional sign and digits at the start; the rest of the token is ignored.
        bool negative = false;
        if (*p == '+' || *p == '-') negative = *p++ == '-';
        int64_t v = 0;
        bool digits = false;
        for (; *p >= '0' && *p <= '9'; p++) {
            digits = true;
            if (v < 10000000000LL) v = v * 10 + (*p - '0');
        }
        while (*p && !sep[*p]) p++;
        if (negative) v = -v;
        emit((!digits || v < INT32_MIN || v > INT32_MAX) ? -2 : (int32_t)v);
    }
}

// Walks a <p>: its own text and every <h>, which gives -1 followed by the tokens it holds.
template <typename F>
void walkIndices(const xmlNode* p, F emit) {
    for (const xmlNode* c = p->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
            forEachToken((const char*)c->content, emit);
        } else if (xmlIsElement(c, "h")) {
            emit(-1);
            for (const xmlNode* t = c->children; t; t = t->next)
                if (t->type == XML_TEXT_NODE || t->type == XML_CDATA_SECTION_NODE)
                    forEachToken((const char*)t->content, emit);
        }
    }
}

// Appends values to a primitive, growing its list by doubling; a list as long as an int32 can count
// takes no more.
struct ValueSink {
    PolygonsRec* p;
    void operator()(int32_t v) {
        if (p->valueCount == p->valueCapacity) {
            if (p->valueCapacity >= INT32_MAX / 2) return;
            p->valueCapacity = p->valueCapacity ? 2 * p->valueCapacity : 256;
            p->values = (int32_t*)MEM_REALLOC(p->values, (int64_t)p->valueCapacity * 4);
        }
        p->values[p->valueCount++] = v;
    }
};

// Room for one more polygon starting at `start`; false when the list cannot grow.
bool pushPolygonStart(PolygonsRec* p, int32_t start) {
    if (p->polygonCount + 2 > p->polygonCapacity) {
        if (p->polygonCapacity >= INT32_MAX / 2) return false;
        p->polygonCapacity = p->polygonCapacity < 16 ? 16 : 2 * p->polygonCapacity;
        p->polygonStart = (int32_t*)MEM_REALLOC(p->polygonStart, (int64_t)p->polygonCapacity * 4);
    }
    p->polygonStart[p->polygonCount] = start;
    p->polygonStart[p->polygonCount + 1] = p->valueCount;
    return true;
}
}  // namespace

void appendIndices(int32_t primitive, const xmlNode* p) {
    PolygonsRec* rec = slotGet<PolygonsRec>(&polygonsTable, primitive);
    // A long list is reserved at once for as many values as its text can hold (each takes a digit
    // and a separator): untouched pages cost nothing, and growing by copies would.
    const xmlNode* text = p->children;
    if (text && !text->next && text->type == XML_TEXT_NODE && text->content) {
        int64_t room = (int64_t)(std::strlen((const char*)text->content) / 2 + 1) + rec->valueCount;
        if (room > 4096 && room < INT32_MAX / 2 && room > rec->valueCapacity) {
            rec->values = (int32_t*)MEM_REALLOC(rec->values, room * 4);
            rec->valueCapacity = (int32_t)room;
        }
    }
    ValueSink sink{rec};
    walkIndices(p, [&sink](int32_t v) { sink(v); });
}

void beginPolygon(int32_t primitive) {
    PolygonsRec* rec = slotGet<PolygonsRec>(&polygonsTable, primitive);
    pushPolygonStart(rec, rec->valueCount);
}

void appendHole(int32_t primitive, const xmlNode* h) {
    PolygonsRec* rec = slotGet<PolygonsRec>(&polygonsTable, primitive);
    ValueSink sink{rec};
    sink(-1);
    walkIndices(h, [&sink](int32_t v) { sink(v); });
}

void endPolygon(int32_t primitive) {
    PolygonsRec* rec = slotGet<PolygonsRec>(&polygonsTable, primitive);
    if (rec->polygonCount + 2 > rec->polygonCapacity) return;  // beginPolygon found no room
    if (rec->valueCount == rec->polygonStart[rec->polygonCount]) return;  // an empty polygon is none
    rec->polygonCount++;
    rec->polygonStart[rec->polygonCount] = rec->valueCount;
}

void appendPolygon(int32_t primitive, const xmlNode* p) {
    beginPolygon(primitive);
    appendIndices(primitive, p);
    endPolygon(primitive);
}

void appendCapturedPolygons(int32_t primitive, const PolygonCapture* capture) {
    PolygonsRec* rec = slotGet<PolygonsRec>(&polygonsTable, primitive);
    int64_t room = (int64_t)rec->valueCount + (int64_t)capture->values.size();
    if (room > rec->valueCapacity && room < INT32_MAX / 2) {
        rec->values = (int32_t*)MEM_REALLOC(rec->values, room * 4);
        rec->valueCapacity = (int32_t)room;
    }
    ValueSink sink{rec};
    size_t at = 0;
    for (int32_t end : capture->ends) {
        beginPolygon(primitive);
        for (; at < (size_t)end; at++) sink(capture->values[at]);
        endPolygon(primitive);
    }
}

void splitFixedPolygons(int32_t primitive, int32_t groups) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, primitive);
    if (p->groupSize <= 0 || groups <= 0) return;
    int64_t per = (int64_t)groups * p->groupSize;
    int32_t count = (int32_t)(p->valueCount / per);
    p->polygonStart = (int32_t*)MEM_REALLOC(p->polygonStart, ((int64_t)count + 1) * 4);
    p->polygonCapacity = count + 1;
    for (int32_t k = 0; k <= count; k++) p->polygonStart[k] = (int32_t)(k * per);
    p->polygonCount = count;
}

void splitCountedPolygons(int32_t primitive, const xmlNode* vcount) {
    PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, primitive);
    if (p->groupSize <= 0) return;
    int64_t at = 0;
    int32_t groupSize = p->groupSize;
    walkIndices(vcount, [&](int32_t n) {
        // A polygon of no corners is none; past the values, one polygon shows the rest is missing.
        if (n <= 0 || at > p->valueCount || !pushPolygonStart(p, (int32_t)at)) return;
        at += (int64_t)n * groupSize;
        p->polygonCount++;
        p->polygonStart[p->polygonCount] = at > p->valueCount ? p->valueCount + 1 : (int32_t)at;
    });
}

int32_t countIndices(const xmlNode* p) {
    int64_t n = 0;
    walkIndices(p, [&n](int32_t) { n++; });
    return n > INT32_MAX ? INT32_MAX : (int32_t)n;
}

int32_t readIndices(const xmlNode* p, int32_t* out, int32_t max) {
    int32_t n = 0;
    walkIndices(p, [&](int32_t v) {
        if (n < max) out[n++] = v;
    });
    return n;
}
