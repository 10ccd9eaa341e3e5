#include "import/scene_import.h"

#include <libxml/parser.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/geometry.h"
#include "import/workspace.h"
#include "import/xml_access.h"
#include "object/node.h"
#include "object/object.h"
#include "object/object_model.h"
#include "system/files.h"
#include "strings/text.h"

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

// Adds the record of one <node> element: ids, instance and transforms; its child nodes are left to
// the caller. Returns the record's index.
static int32_t readNodeRecord(const xmlNode* element, const char* parentId) {
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
        }
    }
    return index;
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

// The record's transforms on its node: the last translate, the rotations in document order, the
// last scale.
static void applyOwnTransforms(const NodeRec* r, Node* n) {
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
}

void applyTransforms(int32_t record) {
    const NodeRec* r = slotGet<NodeRec>(&nodeRecTable, record);
    if (!r) return;
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    nodeWalkPush(&walk, r->nodeIndex, 0, record);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        // The root's record is given; a child's is found through its node. A child that no record
        // made keeps its transform, and so does its subtree.
        int32_t own = step.tag;
        if (step.depth > 0) {
            auto found = sceneState.recordOfNode.find(step.node);
            if (found == sceneState.recordOfNode.end()) continue;
            own = found->second;
        }
        Node* n = nodeGet(step.node);
        applyOwnTransforms(slotGet<NodeRec>(&nodeRecTable, own), n);
        nodeWalkChildren(&walk, n, &step, 0);
    }
    nodeWalkEnd(&walk);
}

// Nodes that the links leave outside the returned tree (a parent id that names no node, parents
// that name each other) would stay in the object model through every later import, since only the
// returned tree is destroyed by the next one: they are dropped with their references.
static void dropUnreachableNodes(int32_t root) {
    std::vector<uint8_t> reachable((size_t)nodeTable.capacity, 0);
    NodeWalk walk;
    nodeWalkBegin(&walk, &nodeTable);
    if (root >= 0) nodeWalkPush(&walk, root, 0, 0);
    NodeWalkStep step;
    while (nodeWalkNext(&walk, &step)) {
        reachable[(size_t)step.node] = 1;
        nodeWalkChildren(&walk, nodeGet(step.node), &step, 0);
    }
    nodeWalkEnd(&walk);
    for (const auto& entry : sceneState.recordOfNode) {
        int32_t node = entry.first;
        if (node < 0 || (node < (int32_t)reachable.size() && reachable[(size_t)node])) continue;
        nodeDestroy(node);
        sceneState.names.erase(node);
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
    dropUnreachableNodes(result);
    sceneState.recordOfNode.clear();
    importWorkspaceFree();
    return result;
}

namespace {
// libxml2 prints what it finds unless told otherwise; the importer says itself what went wrong, so
// while a document is parsed the library's reports are caught here. The first error is the one
// that explains the rest ("premature end of data" usually follows it).
struct ParseError {
    bool seen;
    int line, column;
    char text[512];
};

void quietLibraryMessage(void*, const char*, ...) {}

void keepFirstError(void* context, xmlErrorPtr error) {
    ParseError* first = (ParseError*)context;
    if (first->seen || !error || error->level < XML_ERR_ERROR) return;
    first->seen = true;
    first->line = error->line;
    first->column = error->int2;
    textCopy(first->text, error->message ? error->message : "", sizeof first->text);
    size_t n = std::strlen(first->text);
    while (n > 0 && (first->text[n - 1] == '\n' || first->text[n - 1] == ' ' || first->text[n - 1] == '.'))
        first->text[--n] = '\0';
}

// A root element named COLLADA (in any namespace) that declares no entities. COLLADA files declare
// none, and expanding nested entities while reading text could take unbounded memory.
bool usableDocument(xmlDoc* doc, const char* shownName) {
    for (xmlDtd* dtd : {doc->intSubset, doc->extSubset}) {
        if (dtd && (dtd->entities || dtd->pentities)) {
            importMessage("[ERROR] %s declares XML entities, which COLLADA documents never use; it is not read.",
                          shownName);
            return false;
        }
    }
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (!xmlIsElement(root, "COLLADA")) {
        importMessage("[ERROR] %s is not a COLLADA document: its root element is <%s>.", shownName,
                      root && root->name ? (const char*)root->name : "");
        return false;
    }
    return true;
}

// Parses a file (data null) or bytes in memory; a document that cannot be used gives null after a
// message that says why.
xmlDoc* parseDocument(const char* path, const uint8_t* data, int32_t size, const char* shownName) {
    if (!data) {
        char reason[256];
        switch (checkReadableFile(path, reason, sizeof reason)) {
            case FILE_MISSING: importMessage("[ERROR] %s does not exist.", shownName); return nullptr;
            case FILE_IS_DIRECTORY: importMessage("[ERROR] %s is a folder, not a document.", shownName); return nullptr;
            case FILE_NOT_REGULAR: importMessage("[ERROR] %s is not a regular file.", shownName); return nullptr;
            case FILE_UNREADABLE: importMessage("[ERROR] %s cannot be read: %s.", shownName, reason); return nullptr;
            default: break;
        }
    }
    xmlParserCtxt* context = xmlNewParserCtxt();
    if (!context) {
        importMessage("[ERROR] %s cannot be read: out of memory.", shownName);
        return nullptr;
    }
    ParseError first = {false, 0, 0, ""};
    xmlGenericErrorFunc savedHandler = xmlGenericError;
    void* savedContext = xmlGenericErrorContext;
    xmlStructuredErrorFunc savedStructured = xmlStructuredError;
    void* savedStructuredContext = xmlStructuredErrorContext;
    xmlSetGenericErrorFunc(nullptr, quietLibraryMessage);
    xmlSetStructuredErrorFunc(&first, keepFirstError);
    xmlDoc* doc = data ? xmlCtxtReadMemory(context, (const char*)data, size, shownName, nullptr, kParseOptions)
                       : xmlCtxtReadFile(context, path, nullptr, kParseOptions);
    xmlSetStructuredErrorFunc(savedStructuredContext, savedStructured);
    xmlSetGenericErrorFunc(savedContext, savedHandler);
    if (!doc || !context->wellFormed) {
        if (!first.seen) textCopy(first.text, "it holds no element", sizeof first.text);
        if (first.line > 0)
            importMessage("[ERROR] %s is not well-formed XML: %s (line %d, column %d).", shownName, first.text,
                          first.line, first.column);
        else
            importMessage("[ERROR] %s is not well-formed XML: %s.", shownName, first.text);
        if (doc) xmlFreeDoc(doc);
        doc = nullptr;
    }
    xmlFreeParserCtxt(context);
    if (doc && !usableDocument(doc, shownName)) {
        xmlFreeDoc(doc);
        doc = nullptr;
    }
    return doc;
}

// The import of a parsed document, between "Open %s." and "Done.".
int32_t importParsed(xmlDoc* doc, const char* shownName, const char* textureDirectory) {
    importMessage("Open %s.", shownName);
    int32_t root = importDocument(doc, textureDirectory);
    xmlFreeDoc(doc);
    if (root < 0) importMessage("[ERROR] %s holds no node to show.", shownName);
    importMessage("Done.");
    messageList = -1;
    return root;
}
}  // namespace

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
    if (joinPath(path, documentDirectory, fileName) != 0) {
        importMessage("[ERROR] the path of %s is too long.", fileName);
        messageList = -1;
        return -1;
    }
    xmlDoc* doc = parseDocument(path, nullptr, 0, path);
    if (!doc) {
        messageList = -1;
        return -1;
    }
    return importParsed(doc, path, textureDirectory);
}

int32_t importSceneMemory(int32_t previousRoot, const uint8_t* data, int32_t size, const char* documentDirectory,
                          const char* textureDirectory, int32_t messages) {
    beginImport(previousRoot, documentDirectory, messages);
    xmlDoc* doc = size > 0 ? parseDocument(nullptr, data, size, "memory.dae") : nullptr;
    if (size <= 0) importMessage("[ERROR] memory.dae is empty.");
    if (!doc) {
        messageList = -1;
        return -1;
    }
    return importParsed(doc, "memory.dae", textureDirectory);
}
