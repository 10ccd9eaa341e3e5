#include "import/scene_import.h"

#include <libxml/parser.h>

#include <cstring>
#include <string>
#include <unordered_map>

#include "import/geometry.h"
#include "import/workspace.h"
#include "import/xml_access.h"
#include "object/node.h"
#include "object/object.h"
#include "system/files.h"
#include "strings/text.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_import_1_11";
static const char* const kAutoRoot = "VORTEN_AUTO_ROOT_NODE";

// Parsing never reaches the network, and large arrays of numbers are allowed.
static const int kParseOptions = XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOWARNING | XML_PARSE_NOERROR;

static void readTransform(int32_t record, uint8_t kind, const xmlNode* element, int32_t count) {
    NodeRec* n = slotGet<NodeRec>(&nodeRecTable, record);
    TransformRec* t = slotGet<TransformRec>(&n->transforms, slotAdd(&n->transforms, 1, -1));
    std::memset(t, 0, sizeof *t);
    t->kind = kind;
    xmlReadFloats(element, t->values, count);
}

void readNode(const xmlNode* element, const char* parentId) {
    int32_t index = slotAdd(&nodeRecTable, 1, -1);
    NodeRec* n = slotGet<NodeRec>(&nodeRecTable, index);
    slotInit(&n->transforms, 4, (int32_t)sizeof(TransformRec));
    n->id = xmlAttrText(element, "id");
    n->name = xmlAttrText(element, "name");
    n->parentId = importTextCopy(parentId);
    n->instanceUrl = importTextCopy("");
    n->nodeIndex = -1;
    registerId(&nodeRecTable, n->id, index);
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (xmlIsElement(c, "instance")) {
            n = slotGet<NodeRec>(&nodeRecTable, index);
            importTextFree(n->instanceUrl);
            n->instanceUrl = xmlAttrText(c, "url");
        } else if (xmlIsElement(c, "translate")) {
            readTransform(index, TRANSFORM_TRANSLATE, c, 3);
        } else if (xmlIsElement(c, "rotate")) {
            readTransform(index, TRANSFORM_ROTATE, c, 4);
        } else if (xmlIsElement(c, "scale")) {
            readTransform(index, TRANSFORM_SCALE, c, 3);
        } else if (xmlIsElement(c, "node")) {
            // The id is copied: reading the child may move this record.
            char* id = importTextCopy(slotGet<NodeRec>(&nodeRecTable, index)->id);
            readNode(c, id);
            importTextFree(id);
        }
    }
}

void readScene(const xmlNode* scene) {
    for (const xmlNode* c = scene->children; c; c = c->next)
        if (xmlIsElement(c, "node")) readNode(c, "");
}

// Node kind and attachment of a record: an object for an instance of a known geometry.
static void resolveInstance(const NodeRec* n, uint8_t* kind, int32_t* attachment) {
    *kind = NODE_EMPTY;
    *attachment = -1;
    char fragment[2048];
    urlFragment(fragment, n->instanceUrl);
    const GeometryRec* g = slotGet<GeometryRec>(&geometryTable, findById(&geometryTable, fragment));
    if (n->instanceUrl[0] && g) {
        *kind = NODE_OBJECT;
        *attachment = g->objectIndex;
    }
}

// The node of the first other record whose id is the record's parent id, or -1.
static int32_t findParentNode(int32_t record) {
    const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, record);
    if (!n->parentId[0]) return -1;
    int32_t first = findById(&nodeRecTable, n->parentId);
    if (first != record) {
        const NodeRec* o = slotGet<NodeRec>(&nodeRecTable, first);
        return o ? o->nodeIndex : -1;
    }
    // The record has its own parent's id: the next record of that id is the parent.
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        const NodeRec* o = slotGet<NodeRec>(&nodeRecTable, i);
        if (o && i != record && std::strcmp(o->id, n->parentId) == 0) return o->nodeIndex;
    }
    return -1;
}

namespace {
struct SceneImportState {
    std::unordered_map<int32_t, int32_t> recordOfNode;  // node index -> node record
    std::unordered_map<int32_t, std::string> names;     // node index -> document name or id
};
SceneImportState sceneState;
}  // namespace

void applyTransforms(int32_t record) {
    const NodeRec* r = slotGet<NodeRec>(&nodeRecTable, record);
    if (!r) return;
    Node* n = nodeGet(r->nodeIndex);
    if (!n) return;
    int32_t count = r->transforms.capacity;
    for (int32_t i = 0; i < count; i++) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind == TRANSFORM_TRANSLATE) nodeSetPosition(n, t->values[0], t->values[1], t->values[2]);
    }
    for (int32_t i = count - 1; i >= 0; i--) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind == TRANSFORM_ROTATE) nodeRotate(n, t->values[3], t->values[0], t->values[1], t->values[2]);
    }
    for (int32_t i = 0; i < count; i++) {
        const TransformRec* t = slotGet<TransformRec>(&r->transforms, i);
        if (t && t->kind == TRANSFORM_SCALE) nodeSetScale(n, t->values[0], t->values[1], t->values[2]);
    }
    int32_t node = r->nodeIndex;
    for (int32_t i = 0;; i++) {
        Node* parent = nodeGet(node);
        if (!parent || i >= parent->children.capacity) break;
        if (slotUnits(&parent->children, i) <= 0) continue;
        int32_t child = *(int32_t*)parent->children.slots[i];
        auto found = sceneState.recordOfNode.find(child);
        if (found != sceneState.recordOfNode.end()) applyTransforms(found->second);
    }
}

// Everything after the document was parsed: workspace, objects, nodes, root, transforms.
static int32_t importDocument(xmlDoc* doc, const char* textureDirectory) {
    xmlNode* root = xmlDocGetRootElement(doc);
    importWorkspaceInit();
    readLibraries(root);

    for (int32_t i = 0; i < geometryTable.capacity; i++) {
        GeometryRec* g = slotGet<GeometryRec>(&geometryTable, i);
        if (!g) continue;
        int32_t object = objectCreate(-1);
        g = slotGet<GeometryRec>(&geometryTable, i);
        g->objectIndex = object;
        for (int32_t k = 0; k < g->polygons.capacity; k++) {
            g = slotGet<GeometryRec>(&geometryTable, i);
            if (slotUnits(&g->polygons, k) <= 0) continue;
            buildMesh(*(int32_t*)g->polygons.slots[k], object, textureDirectory);
        }
    }
    geometryReport();

    int32_t topLevel = 0, rootRecord = -1;
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (n && n->parentId[0] == '\0') {
            topLevel++;
            rootRecord = i;
        }
    }
    if (topLevel > 1) {
        importMessage("[WARNING] %d root node found instead of 1.", topLevel);
        int32_t autoRoot = slotAdd(&nodeRecTable, 1, -1);
        NodeRec* a = slotGet<NodeRec>(&nodeRecTable, autoRoot);
        slotInit(&a->transforms, 4, (int32_t)sizeof(TransformRec));
        a->id = importTextCopy(kAutoRoot);
        a->name = importTextCopy(kAutoRoot);
        a->parentId = importTextCopy("");
        a->instanceUrl = importTextCopy("");
        a->nodeIndex = -1;
        registerId(&nodeRecTable, kAutoRoot, autoRoot);
        for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
            NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
            if (n && i != autoRoot && n->parentId[0] == '\0') {
                importTextFree(n->parentId);
                n->parentId = importTextCopy(kAutoRoot);
            }
        }
        rootRecord = autoRoot;
    }

    sceneState.recordOfNode.clear();
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (!n) continue;
        uint8_t kind;
        int32_t attachment;
        resolveInstance(n, &kind, &attachment);
        int32_t node = nodeCreate(-1, kind, attachment);
        n = slotGet<NodeRec>(&nodeRecTable, i);
        n->nodeIndex = node;
        sceneState.recordOfNode.emplace(node, i);
        sceneState.names[node] = n->name[0] ? n->name : n->id;
    }
    for (int32_t i = 0; i < nodeRecTable.capacity; i++) {
        const NodeRec* n = slotGet<NodeRec>(&nodeRecTable, i);
        if (n) nodeSetParent(findParentNode(i), n->nodeIndex);
    }

    int32_t result = -1;
    if (rootRecord >= 0) {
        result = slotGet<NodeRec>(&nodeRecTable, rootRecord)->nodeIndex;
        applyTransforms(rootRecord);
        nodeUpdateMatrices(result, false);
    }
    sceneState.recordOfNode.clear();
    importWorkspaceFree();
    return result;
}

// A usable document: parsed, with a root element and without entity declarations. COLLADA files
// declare none, and expanding nested entities while reading text could take unbounded memory.
static bool usableDocument(xmlDoc* doc) {
    if (!doc || !xmlDocGetRootElement(doc)) return false;
    for (xmlDtd* dtd : {doc->intSubset, doc->extSubset})
        if (dtd && (dtd->entities || dtd->pentities)) return false;
    return true;
}

static void beginImport(int32_t previousRoot, const char* documentDirectory, int32_t messages) {
    textCopy(documentDir, documentDirectory, sizeof documentDir);
    messageList = messages;
    nodeDestroy(previousRoot);
    sceneState.names.clear();
}

const char* importNodeName(int32_t node) {
    auto found = sceneState.names.find(node);
    return found == sceneState.names.end() ? "" : found->second.c_str();
}

int32_t importScene(int32_t previousRoot, const char* fileName, const char* documentDirectory,
                    const char* textureDirectory, int32_t messages) {
    beginImport(previousRoot, documentDirectory, messages);
    char path[PATH_CAPACITY];
    xmlDoc* doc = nullptr;
    if (joinPath(path, documentDirectory, fileName) == 0) doc = xmlReadFile(path, nullptr, kParseOptions);
    if (!usableDocument(doc)) {
        if (doc) xmlFreeDoc(doc);
        messageList = -1;
        return -1;
    }
    importMessage("Open %s.", path);
    int32_t root = importDocument(doc, textureDirectory);
    xmlFreeDoc(doc);
    importMessage("Done.");
    messageList = -1;
    return root;
}

int32_t importSceneMemory(int32_t previousRoot, const uint8_t* data, int32_t size, const char* documentDirectory,
                          const char* textureDirectory, int32_t messages) {
    beginImport(previousRoot, documentDirectory, messages);
    xmlDoc* doc = size > 0 ? xmlReadMemory((const char*)data, size, "memory.dae", nullptr, kParseOptions) : nullptr;
    if (!usableDocument(doc)) {
        if (doc) xmlFreeDoc(doc);
        messageList = -1;
        return -1;
    }
    importMessage("Open %s.", "memory.dae");
    int32_t root = importDocument(doc, textureDirectory);
    xmlFreeDoc(doc);
    importMessage("Done.");
    messageList = -1;
    return root;
}
