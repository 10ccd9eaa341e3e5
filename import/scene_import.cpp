#include "import/scene_import.h"

#include <libxml/parser.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "import/reader_early.h"
#include "import/reader_later.h"
#include "import/scene_build.h"
#include "import/validate.h"
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

static char upOverride = 0;

// The profile a root element declares: its namespace, else its "version".
static uint8_t documentProfile(const xmlNode* root, char* version, size_t versionSize) {
    xmlAttrString(root, "version", version, (int32_t)versionSize);
    const char* ns = root->ns && root->ns->href ? (const char*)root->ns->href : "";
    if (std::strcmp(ns, "http://www.collada.org/2005/11/COLLADASchema") == 0) return PROFILE_14;
    if (std::strcmp(ns, "http://www.collada.org/2008/03/COLLADASchema") == 0) return PROFILE_15;
    if (std::strncmp(version, "1.4", 3) == 0) return PROFILE_14;
    if (std::strncmp(version, "1.5", 3) == 0) return PROFILE_15;
    return PROFILE_EARLY;
}

static DocumentInfo lastDocument;

// Everything after the document was parsed: the reader of its profile fills the workspace, the
// document is freed, the validation checks the records and the builder makes the model.
static int32_t importDocument(xmlDoc* doc, const char* textureDirectory) {
    xmlNode* root = xmlDocGetRootElement(doc);
    importWorkspaceInit();
    documentInfo.profile = documentProfile(root, documentInfo.version, sizeof documentInfo.version);
    // Reading goes by geometries, each counted as it is read.
    int64_t geometries = 0;
    for (const xmlNode* library = root->children; library; library = library->next)
        for (const xmlNode* c = library->children; c; c = c->next) geometries += xmlIsElement(c, "geometry");
    importStage(0.5f, 0.65f, geometries);
    if (documentInfo.profile == PROFILE_EARLY) readEarlyDocument(root);
    else readLaterDocument(root);
    xmlFreeDoc(doc);  // the records hold all the rest needs; the tree's memory goes back now
    importStage(0.65f, 0.7f, 1);
    validateWorkspace();
    int64_t polygons = 0;
    for (int32_t i = 0; i < polygonsTable.capacity; i++)
        if (const PolygonsRec* p = slotGet<PolygonsRec>(&polygonsTable, i)) polygons += p->polygonCount;
    importStage(0.7f, 1.0f, 2 * polygons);  // each polygon is cut, then built into a mesh
    int32_t result = buildScene(textureDirectory, upOverride);
    lastDocument = documentInfo;
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

// Parses a file (data null) or bytes in memory, both fed to the parser in pieces so that the
// progress hook hears between them; a document that cannot be used gives null after a message that
// says why.
xmlDoc* parseDocument(const char* path, const uint8_t* data, int32_t size, const char* shownName) {
    std::FILE* file = nullptr;
    int64_t total = size;
    if (!data) {
        char reason[256];
        switch (checkReadableFile(path, reason, sizeof reason)) {
            case FILE_MISSING: importMessage("[ERROR] %s does not exist.", shownName); return nullptr;
            case FILE_IS_DIRECTORY: importMessage("[ERROR] %s is a folder, not a document.", shownName); return nullptr;
            case FILE_NOT_REGULAR: importMessage("[ERROR] %s is not a regular file.", shownName); return nullptr;
            case FILE_UNREADABLE: importMessage("[ERROR] %s cannot be read: %s.", shownName, reason); return nullptr;
            default: break;
        }
        file = std::fopen(path, "rb");
        if (!file) {
            importMessage("[ERROR] %s cannot be read: %s.", shownName, std::strerror(errno));
            return nullptr;
        }
        total = std::fseek(file, 0, SEEK_END) == 0 ? (int64_t)std::ftell(file) : 0;
        std::rewind(file);
    }
    enum { kPiece = 1 << 20 };
    std::vector<char> buffer(file ? (size_t)kPiece : 0);
    int64_t offset = 0;
    // The next piece of the document; empty at its end.
    auto next = [&](const char** piece) -> size_t {
        if (file) {
            *piece = buffer.data();
            return std::fread(buffer.data(), 1, kPiece, file);
        }
        *piece = (const char*)data + offset;
        size_t n = (size_t)std::min<int64_t>(kPiece, total - offset);
        offset += (int64_t)n;
        return n;
    };
    ParseError first = {false, 0, 0, ""};
    xmlGenericErrorFunc savedHandler = xmlGenericError;
    void* savedContext = xmlGenericErrorContext;
    xmlStructuredErrorFunc savedStructured = xmlStructuredError;
    void* savedStructuredContext = xmlStructuredErrorContext;
    xmlSetGenericErrorFunc(nullptr, quietLibraryMessage);
    xmlSetStructuredErrorFunc(&first, keepFirstError);
    importStage(0.0f, 0.5f, total);
    const char* piece = nullptr;
    size_t n = next(&piece);
    // The first bytes go with the parser's creation, which tells the encoding from them.
    size_t head = n < 4 ? n : 4;
    xmlParserCtxt* context = xmlCreatePushParserCtxt(nullptr, nullptr, piece, (int)head, shownName);
    bool readFailed = false;
    if (context) {
        xmlCtxtUseOptions(context, kParseOptions);
        bool stopped = xmlParseChunk(context, piece + head, (int)(n - head), 0) != 0;
        importAdvance((int64_t)n);
        while (!stopped && n > 0) {
            n = next(&piece);
            if (n > 0) stopped = xmlParseChunk(context, piece, (int)n, 0) != 0;
            importAdvance((int64_t)n);
        }
        readFailed = file && std::ferror(file);
        if (!stopped) xmlParseChunk(context, nullptr, 0, 1);
    }
    xmlSetStructuredErrorFunc(savedStructuredContext, savedStructured);
    xmlSetGenericErrorFunc(savedContext, savedHandler);
    if (file) std::fclose(file);
    if (!context) {
        importMessage("[ERROR] %s cannot be read: out of memory.", shownName);
        return nullptr;
    }
    xmlDoc* doc = context->myDoc;
    bool wellFormed = context->wellFormed;
    xmlFreeParserCtxt(context);
    if (readFailed) {
        importMessage("[ERROR] %s cannot be read: the file could not be read to its end.", shownName);
        if (doc) xmlFreeDoc(doc);
        return nullptr;
    }
    if (!doc || !wellFormed) {
        if (!first.seen) textCopy(first.text, "it holds no element", sizeof first.text);
        if (first.line > 0)
            importMessage("[ERROR] %s is not well-formed XML: %s (line %d, column %d).", shownName, first.text,
                          first.line, first.column);
        else
            importMessage("[ERROR] %s is not well-formed XML: %s.", shownName, first.text);
        if (doc) xmlFreeDoc(doc);
        return nullptr;
    }
    if (!usableDocument(doc, shownName)) {
        xmlFreeDoc(doc);
        return nullptr;
    }
    return doc;
}

// The import of a parsed document, between "Open %s." and "Done.".
int32_t importParsed(xmlDoc* doc, const char* shownName, const char* textureDirectory) {
    importMessage("Open %s.", shownName);
    int32_t root = importDocument(doc, textureDirectory);
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
