#include "import/reader_later.h"

#include <cstring>
#include <vector>

#include "import/read_shared.h"
#include "import/reader_effects.h"
#include "import/workspace.h"
#include "import/xml_access.h"

namespace {
// Calls visit for every child of every library element of that name under the root.
template <typename F>
void forEachInLibraries(const xmlNode* root, const char* library, const char* element, F visit) {
    for (const xmlNode* lib = root->children; lib; lib = lib->next) {
        if (!xmlIsElement(lib, library)) continue;
        for (const xmlNode* c = lib->children; c; c = c->next)
            if (xmlIsElement(c, element)) visit(c);
    }
}

const char* idOrNone(const char* id) { return id[0] ? id : "(no id)"; }

// The <input>s of a primitive, with their offsets and sets.
void readInputs(int32_t primitive, const xmlNode* element) {
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (!xmlIsElement(c, "input")) continue;
        char semantic[64];
        xmlAttrString(c, "semantic", semantic, sizeof semantic);
        char* source = xmlAttrText(c, "source");
        int32_t offset = 0, set = -1;
        xmlAttrInt(c, "offset", &offset);
        xmlAttrInt(c, "set", &set);
        addPrimitiveInput(primitive, inputSemantic(semantic), offset, set, source);
        importTextFree(source);
    }
}

// One primitive element of a mesh; false for elements that are none.
bool readPrimitive(const xmlNode* element, int32_t geometry) {
    bool triangles = xmlIsElement(element, "triangles"), polylist = xmlIsElement(element, "polylist");
    bool polygons = xmlIsElement(element, "polygons"), strips = xmlIsElement(element, "tristrips");
    bool fans = xmlIsElement(element, "trifans");
    if (xmlIsElement(element, "lines") || xmlIsElement(element, "linestrips")) {
        const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, geometry);
        importMessageOnce("[WARNING] geometry %s: lines are not shown; its <%s> are skipped.", idOrNone(g->id),
                          (const char*)element->name);
        return true;
    }
    if (!triangles && !polylist && !polygons && !strips && !fans) return false;
    char* material = xmlAttrText(element, "material");
    int32_t index = addPrimitive(strips ? PRIM_STRIPS : fans ? PRIM_FANS : PRIM_POLYGONS, geometry, material);
    importTextFree(material);
    // Only <polygons> hold holes; a -1 anywhere else is an index that names nothing.
    slotGet<PolygonsRec>(&polygonsTable, index)->holes = polygons;
    readInputs(index, element);
    const xmlNode* vcount = nullptr;
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (xmlIsElement(c, "p")) {
            if (triangles || polylist) appendIndices(index, c);
            else appendPolygon(index, c);
        } else if (xmlIsElement(c, "vcount")) {
            vcount = c;
        } else if (polygons && xmlIsElement(c, "ph")) {
            // A polygon with holes: its outline in <p>, each hole in an <h>.
            beginPolygon(index);
            for (const xmlNode* part = c->children; part; part = part->next) {
                if (xmlIsElement(part, "p")) appendIndices(index, part);
                else if (xmlIsElement(part, "h")) appendHole(index, part);
            }
            endPolygon(index);
        }
    }
    if (triangles) splitFixedPolygons(index, 3);
    else if (polylist && vcount) splitCountedPolygons(index, vcount);
    else if (polylist) splitFixedPolygons(index, 3);  // a polylist without <vcount> holds no polygon count
    return true;
}

}  // namespace

void readLaterGeometry(const xmlNode* element) {
    int32_t index = addGeometryRecord(element);
    for (const xmlNode* m = element->children; m; m = m->next) {
        if (!xmlIsElement(m, "mesh")) {
            if (m->type == XML_ELEMENT_NODE && !xmlIsElement(m, "asset") && !xmlIsElement(m, "extra"))
                importMessageOnce("[WARNING] geometry %s: <%s> is not shown.",
                                  idOrNone(slotGet<GeometryRec>(&geometryTable, index)->id),
                                  (const char*)m->name);
            continue;
        }
        for (const xmlNode* c = m->children; c; c = c->next) {
            if (xmlIsElement(c, "source")) {
                readSource(c);
            } else if (xmlIsElement(c, "vertices")) {
                readVertices(c);
            } else {
                readPrimitive(c, index);
            }
        }
    }
}

namespace {

// A <controller>: the geometry a <skin> deforms with its bind-shape matrix, or the base geometry
// of a <morph>.
void readController(const xmlNode* element) {
    int32_t index = slotAdd(&controllerTable, 1, -1);
    ControllerRec* rec = slotGet<ControllerRec>(&controllerTable, index);
    std::memset(rec, 0, sizeof *rec);
    rec->id = xmlAttrText(element, "id");
    rec->geometryUrl = importTextCopy("");
    for (int i = 0; i < 16; i += 5) rec->bindShape[i] = 1.0f;
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (!xmlIsElement(c, "skin") && !xmlIsElement(c, "morph")) continue;
        importTextFree(rec->geometryUrl);
        rec->geometryUrl = xmlAttrText(c, "source");
        for (const xmlNode* b = c->children; b; b = b->next) {
            if (!xmlIsElement(b, "bind_shape_matrix")) continue;
            float m[16];
            if (xmlReadFloats(b, m, 16) == 16) std::memcpy(rec->bindShape, m, sizeof m);
        }
        break;
    }
    registerId(&controllerTable, rec->id, index);
}

// The instance_material bindings of an instance's <bind_material>.
void readBindings(int32_t record, int32_t instance, const xmlNode* element) {
    for (const xmlNode* bm = element->children; bm; bm = bm->next) {
        if (!xmlIsElement(bm, "bind_material")) continue;
        for (const xmlNode* tc = bm->children; tc; tc = tc->next) {
            if (!xmlIsElement(tc, "technique_common")) continue;
            for (const xmlNode* im = tc->children; im; im = im->next) {
                if (!xmlIsElement(im, "instance_material")) continue;
                NodeRec* n = slotGet<NodeRec>(&nodeRecTable, record);
                InstanceRec* in = slotGet<InstanceRec>(&n->instances, instance);
                MaterialBindRec* b = slotGet<MaterialBindRec>(&in->bindings, slotAdd(&in->bindings, 1, -1));
                b->symbol = xmlAttrText(im, "symbol");
                b->target = xmlAttrText(im, "target");
                b->texSemantic = importTextCopy("");
                b->texSet = -1;
                b->materialIndex = -1;
                for (const xmlNode* v = im->children; v; v = v->next) {
                    if (!xmlIsElement(v, "bind_vertex_input")) continue;
                    char inputSemantic[64];
                    xmlAttrString(v, "input_semantic", inputSemantic, sizeof inputSemantic);
                    if (std::strcmp(inputSemantic, "TEXCOORD") != 0) continue;
                    importTextFree(b->texSemantic);
                    b->texSemantic = xmlAttrText(v, "semantic");
                    xmlAttrInt(v, "input_set", &b->texSet);
                    break;  // the first texture-coordinate binding is the one used
                }
            }
        }
    }
}

// A <node> and everything below it, each node a record whose parent is the enclosing one's.
void readNodes(const xmlNode* element, int32_t parentRecord, uint8_t library) {
    struct Pending {
        const xmlNode* element;
        int32_t parentRecord;
    };
    std::vector<Pending> pending{{element, parentRecord}};
    while (!pending.empty()) {
        Pending p = pending.back();
        pending.pop_back();
        int32_t index = addNodeRecord(p.element, "", p.parentRecord, library);
        for (const xmlNode* c = p.element->children; c; c = c->next) {
            if (readNodeTransform(index, c)) continue;
            bool geometry = xmlIsElement(c, "instance_geometry"), controller = xmlIsElement(c, "instance_controller");
            if (geometry || controller || xmlIsElement(c, "instance_node")) {
                char* url = xmlAttrText(c, "url");
                uint8_t kind = geometry ? INSTANCE_GEOMETRY : controller ? INSTANCE_CONTROLLER : INSTANCE_NODE;
                int32_t instance = addNodeInstance(index, kind, url);
                importTextFree(url);
                if (kind != INSTANCE_NODE) readBindings(index, instance, c);
            }
        }
        for (const xmlNode* c = p.element->last; c; c = c->prev)
            if (xmlIsElement(c, "node")) pending.push_back({c, index});
    }
}

// The visual scene the <scene> names, else the document's first.
const xmlNode* chosenVisualScene(const xmlNode* root) {
    char wanted[2048] = "";
    for (const xmlNode* s = root->children; s; s = s->next) {
        if (!xmlIsElement(s, "scene")) continue;
        for (const xmlNode* c = s->children; c; c = c->next) {
            if (!xmlIsElement(c, "instance_visual_scene")) continue;
            char* url = xmlAttrText(c, "url");
            urlFragment(wanted, url);
            importTextFree(url);
        }
    }
    const xmlNode* first = nullptr;
    const xmlNode* named = nullptr;
    forEachInLibraries(root, "library_visual_scenes", "visual_scene", [&](const xmlNode* v) {
        if (!first) first = v;
        if (!named && wanted[0]) {
            char* id = xmlAttrText(v, "id");
            if (std::strcmp(id, wanted) == 0) named = v;
            importTextFree(id);
        }
    });
    if (wanted[0] && !named && first)
        importMessage("[WARNING] the scene names the visual scene %s, which the document does not hold; the first "
                      "one is shown.",
                      wanted);
    return named ? named : first;
}
}  // namespace

namespace {
// The elements read at the end (images, effects, materials, visual scenes, the scene), copied
// into a small document of their own as they stream past: materials may name effects written
// after them, and the scene comes last.
struct LaterState {
    xmlDoc* kept = nullptr;
    xmlNode* keptRoot = nullptr;
};
LaterState later;
}  // namespace

bool laterGeometryLibrary(const xmlNode* element) { return xmlIsElement(element, "library_geometries"); }

void readLaterElement(const xmlNode* c) {
    if (xmlIsElement(c, "asset")) {
        readAssetElement(c);
    } else if (laterGeometryLibrary(c)) {
        for (const xmlNode* g = c->children; g; g = g->next)
            if (xmlIsElement(g, "geometry")) readLaterGeometry(g);
    } else if (xmlIsElement(c, "library_controllers")) {
        for (const xmlNode* k = c->children; k; k = k->next)
            if (xmlIsElement(k, "controller")) readController(k);
    } else if (xmlIsElement(c, "library_nodes")) {
        for (const xmlNode* n = c->children; n; n = n->next)
            if (xmlIsElement(n, "node")) readNodes(n, -1, 1);
    } else if (xmlIsElement(c, "library_images") || xmlIsElement(c, "library_effects") ||
               xmlIsElement(c, "library_materials") || xmlIsElement(c, "library_visual_scenes") ||
               xmlIsElement(c, "scene")) {
        if (!later.kept) {
            later.kept = xmlNewDoc((const xmlChar*)"1.0");
            later.keptRoot = later.kept ? xmlNewDocNode(later.kept, nullptr, (const xmlChar*)"COLLADA", nullptr) : nullptr;
            if (later.keptRoot) xmlDocSetRootElement(later.kept, later.keptRoot);
        }
        xmlNode* copy = later.keptRoot ? xmlDocCopyNode((xmlNode*)c, later.kept, 1) : nullptr;
        if (copy) xmlAddChild(later.keptRoot, copy);
    }
}

void finishLaterDocument() {
    const xmlNode* root = later.keptRoot;
    if (root) {
        readImages14(root);
        readMaterials14(root);
        if (const xmlNode* scene = chosenVisualScene(root)) {
            int32_t sceneRecord = addNodeRecord(scene, "", -1, 0);
            for (const xmlNode* c = scene->children; c; c = c->next)
                if (xmlIsElement(c, "node")) readNodes(c, sceneRecord, 0);
        }
    }
    laterDocumentDiscard();
}

void laterDocumentDiscard() {
    if (later.kept) xmlFreeDoc(later.kept);
    later.kept = nullptr;
    later.keptRoot = nullptr;
}
