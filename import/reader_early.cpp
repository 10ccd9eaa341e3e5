#include "import/reader_early.h"

#include <cstring>
#include <vector>

#include "import/material_import.h"
#include "import/read_shared.h"
#include "import/workspace.h"
#include "import/xml_access.h"

namespace {
void readAnimationLibrary(const xmlNode* library) {
    for (const xmlNode* anim = library->children; anim; anim = anim->next) {
        if (!xmlIsElement(anim, "animation")) continue;
        int32_t index = slotAdd(&animationTable, 1, -1);
        AnimationRec* a = slotGet<AnimationRec>(&animationTable, index);
        slotInit(&a->samplers, 4, (int32_t)sizeof(SamplerRec));
        slotInit(&a->channels, 4, (int32_t)sizeof(ChannelRec));
        for (const xmlNode* c = anim->children; c; c = c->next) {
            if (xmlIsElement(c, "source")) {
                readSource(c);
            } else if (xmlIsElement(c, "sampler")) {
                a = slotGet<AnimationRec>(&animationTable, index);
                SamplerRec* s = slotGet<SamplerRec>(&a->samplers, slotAdd(&a->samplers, 1, -1));
                s->input = importTextCopy("");
                s->output = importTextCopy("");
                s->interpolation = importTextCopy("");
                s->inTangent = importTextCopy("");
                s->outTangent = importTextCopy("");
                for (const xmlNode* in = c->children; in; in = in->next) {
                    if (!xmlIsElement(in, "input")) continue;
                    char semantic[64];
                    xmlAttrString(in, "semantic", semantic, sizeof semantic);
                    char** slot = std::strcmp(semantic, "INPUT") == 0           ? &s->input
                                  : std::strcmp(semantic, "OUTPUT") == 0        ? &s->output
                                  : std::strcmp(semantic, "INTERPOLATION") == 0 ? &s->interpolation
                                  : std::strcmp(semantic, "IN_TANGENT") == 0    ? &s->inTangent
                                  : std::strcmp(semantic, "OUT_TANGENT") == 0   ? &s->outTangent
                                                                                : nullptr;
                    if (!slot) continue;
                    importTextFree(*slot);
                    *slot = xmlAttrText(in, "source");
                }
            } else if (xmlIsElement(c, "channel")) {
                a = slotGet<AnimationRec>(&animationTable, index);
                ChannelRec* ch = slotGet<ChannelRec>(&a->channels, slotAdd(&a->channels, 1, -1));
                ch->id = xmlAttrText(c, "id");
                ch->source = xmlAttrText(c, "source");
                ch->target = xmlAttrText(c, "target");
            }
        }
    }
}

// Adds the record of one <node> element: ids, instance and transforms; its child nodes are left to
// the caller. Returns the record's index.
int32_t readNodeRecord(const xmlNode* element, const char* parentId) {
    int32_t index = addNodeRecord(element, parentId, -1, 0);
    int32_t instance = -1;
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (xmlIsElement(c, "instance")) {
            // The last <instance> is the one that counts.
            char* url = xmlAttrText(c, "url");
            NodeRec* n = slotGet<NodeRec>(&nodeRecTable, index);
            if (instance < 0) {
                instance = addNodeInstance(index, INSTANCE_GEOMETRY, url);
            } else {
                InstanceRec* in = slotGet<InstanceRec>(&n->instances, instance);
                importTextFree(in->url);
                in->url = importTextCopy(url);
            }
            importTextFree(url);
        } else {
            readNodeTransform(index, c);
        }
    }
    return index;
}

// One <polygons> element: inputs ("idx" gives the offset, 0 when absent) and every <p>.
void readPolygons(const xmlNode* element, int32_t geometry) {
    char* material = xmlAttrText(element, "material");
    int32_t index = addPrimitive(PRIM_POLYGONS, geometry, material);
    importTextFree(material);
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (!xmlIsElement(c, "input")) continue;
        char semantic[64];
        xmlAttrString(c, "semantic", semantic, sizeof semantic);
        char* source = xmlAttrText(c, "source");
        int32_t idx = 0;
        xmlAttrInt(c, "idx", &idx);
        addPrimitiveInput(index, inputSemantic(semantic), idx, -1, source);
        importTextFree(source);
    }
    // The stream read the <p> lists as they passed; the tree holds none.
    if (const PolygonCapture* captured = (const PolygonCapture*)element->_private)
        appendCapturedPolygons(index, captured);
}
}  // namespace

bool earlyGeometryLibrary(const xmlNode* element) {
    if (!xmlIsElement(element, "library")) return false;
    char type[64];
    xmlAttrString(element, "type", type, sizeof type);
    return std::strcmp(type, "GEOMETRY") == 0;
}

void readEarlyGeometry(const xmlNode* g) {
    int32_t index = addGeometryRecord(g);
    for (const xmlNode* m = g->children; m; m = m->next) {
        if (!xmlIsElement(m, "mesh")) continue;
        for (const xmlNode* c = m->children; c; c = c->next) {
            if (xmlIsElement(c, "source")) readSource(c);
            else if (xmlIsElement(c, "vertices")) readVertices(c);
            else if (xmlIsElement(c, "polygons")) readPolygons(c, index);
        }
    }
}

void readNode(const xmlNode* element, const char* parentId) {
    // Nesting is as deep as the document makes it, so the elements still to read wait on a heap
    // stack rather than in calls. Records are added in document order (a node before the nodes
    // inside it), as a recursive reading would add them.
    struct Pending {
        const xmlNode* element;
        int32_t parentRecord;  // -1: the caller's parentId
    };
    std::vector<Pending> pending{{element, -1}};
    while (!pending.empty()) {
        Pending p = pending.back();
        pending.pop_back();
        const NodeRec* parent = slotGet<NodeRec>(&nodeRecTable, p.parentRecord);
        int32_t index = readNodeRecord(p.element, parent ? parent->id : parentId);
        for (const xmlNode* c = p.element->last; c; c = c->prev)
            if (xmlIsElement(c, "node")) pending.push_back({c, index});
    }
}

void readScene(const xmlNode* scene) {
    for (const xmlNode* c = scene->children; c; c = c->next)
        if (xmlIsElement(c, "node")) readNode(c, "");
}

void readEarlyElement(const xmlNode* c) {
    if (xmlIsElement(c, "asset")) {
        readAssetElement(c);
    } else if (xmlIsElement(c, "library")) {
        char type[64];
        xmlAttrString(c, "type", type, sizeof type);
        if (std::strcmp(type, "ANIMATION") == 0) readAnimationLibrary(c);
        else if (std::strcmp(type, "IMAGE") == 0) readImageLibrary(c);
        else if (std::strcmp(type, "TEXTURE") == 0) readTextureLibrary(c);
        else if (std::strcmp(type, "MATERIAL") == 0) readMaterialLibrary(c);
        else if (std::strcmp(type, "GEOMETRY") == 0)
            for (const xmlNode* g = c->children; g; g = g->next)
                if (xmlIsElement(g, "geometry")) readEarlyGeometry(g);
    } else if (xmlIsElement(c, "scene")) {
        readScene(c);
    }
}
