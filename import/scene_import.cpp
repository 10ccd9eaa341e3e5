#include "import/scene_import.h"

#include <cstring>

#include "import/document_stream.h"
#include "import/reader_later.h"
#include "import/scene_build.h"
#include "import/validate.h"
#include "import/workspace.h"
#include "object/node.h"
#include "system/files.h"
#include "strings/text.h"

static char upOverride = 0;

static DocumentInfo lastDocument;

// The stages of an import: the reader of the document's profile fills the workspace as the
// document streams past, the validation checks the records and the builder makes the model. The
// root node, or -1 after the messages that say why.
static int32_t importDocument(const char* path, const uint8_t* data, int64_t size, const char* shownName,
                              const char* textureDirectory) {
    importWorkspaceInit();
    if (readDocument(path, data, size, shownName) != 0) {
        importWorkspaceFree();
        messageList = -1;
        return -1;
    }
    if (documentInfo.profile != PROFILE_EARLY) finishLaterDocument();
    importStage(0.7f, 0.72f, 1);
    validateWorkspace();
    int64_t polygons = 0;
    for (int32_t i = 0; i < polygonsTable.capacity; i++)
        if (const PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, i)) polygons += p->polygonCount;
    importStage(0.72f, 1.0f, 2 * polygons);  // each polygon is cut, then built into a mesh
    int32_t root = buildScene(textureDirectory, upOverride);
    lastDocument = documentInfo;
    importWorkspaceFree();
    if (root < 0) importMessage("[ERROR] %s holds no node to show.", shownName);
    importMessage("Done.");
    messageList = -1;
    return root;
}

static void beginImport(int32_t previousRoot, const char* documentDirectory, int32_t messages) {
    textCopy(documentDir, documentDirectory, sizeof documentDir);
    messageList = messages;
    nodeDestroy(previousRoot);
    builtNamesClear();
    std::memset(&lastDocument, 0, sizeof lastDocument);
}

const char* importNodeName(int32_t node) { return builtNodeName(node); }

void importSetUpOverride(char axis) { upOverride = (axis == 'X' || axis == 'Y' || axis == 'Z') ? axis : 0; }

const DocumentInfo* importLastDocument() { return &lastDocument; }

int32_t importScene(int32_t previousRoot, const char* fileName, const char* documentDirectory,
                    const char* textureDirectory, int32_t messages) {
    beginImport(previousRoot, documentDirectory, messages);
    char path[PATH_CAPACITY];
    if (joinPath(path, documentDirectory, fileName) != 0) {
        importMessage("[ERROR] the path of %s is too long.", fileName);
        messageList = -1;
        return -1;
    }
    return importDocument(path, nullptr, 0, path, textureDirectory);
}

int32_t importSceneMemory(int32_t previousRoot, const uint8_t* data, int32_t size, const char* documentDirectory,
                          const char* textureDirectory, int32_t messages) {
    beginImport(previousRoot, documentDirectory, messages);
    if (size <= 0 || !data) {
        importMessage("[ERROR] memory.dae is empty.");
        messageList = -1;
        return -1;
    }
    return importDocument(nullptr, data, size, "memory.dae", textureDirectory);
}
