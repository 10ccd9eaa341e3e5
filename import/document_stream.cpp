#include "import/document_stream.h"

#include <libxml/parser.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "import/read_shared.h"
#include "import/reader_early.h"
#include "import/reader_later.h"
#include "import/workspace.h"
#include "import/xml_access.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "system/files.h"

// Parsing never reaches the network, and large arrays of numbers are allowed.
static const int kParseOptions = XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOWARNING | XML_PARSE_NOERROR;

namespace {
// libxml2 prints what it finds unless told otherwise; the importer says itself what went wrong, so
// while a document is parsed the library's reports are caught here. The first error is the one
// that explains the rest ("premature end of data" usually follows it).
struct ParseError {
    bool seen;
    int code;
    int line, column;
    char text[512];
};

void quietLibraryMessage(void*, const char*, ...) {}

void keepFirstError(void* context, xmlErrorPtr error) {
    ParseError* first = (ParseError*)context;
    if (first->seen || !error || error->level < XML_ERR_ERROR) return;
    first->seen = true;
    first->code = error->code;
    first->line = error->line;
    first->column = error->int2;
    textCopy(first->text, error->message ? error->message : "", sizeof first->text);
    size_t n = std::strlen(first->text);
    while (n > 0 && (first->text[n - 1] == '\n' || first->text[n - 1] == ' ' || first->text[n - 1] == '.'))
        first->text[--n] = '\0';
}

// The bytes of the document, from a file or from memory, handed to the parser piece by piece; the
// progress hook hears of each piece.
struct Source {
    std::FILE* file;
    const uint8_t* data;
    int64_t size, offset;
    bool failed;
};

int readPiece(void* context, char* buffer, int length) {
    Source* s = (Source*)context;
    size_t n = 0;
    if (s->file) {
        n = std::fread(buffer, 1, (size_t)length, s->file);
        if (n == 0 && std::ferror(s->file)) {
            s->failed = true;
            return -1;
        }
    } else {
        int64_t left = s->size - s->offset;
        n = (size_t)(left < length ? left : length);
        std::memcpy(buffer, s->data + s->offset, n);
    }
    s->offset += (int64_t)n;
    importAdvance((int64_t)n);
    return (int)n;
}

// Why a parsed root cannot be read ("" when it can): a document that declares entities (COLLADA
// documents declare none, and expanding nested entities while reading text could take unbounded
// memory), or a root element that is not COLLADA (in any namespace).
void unusableReason(const xmlDoc* doc, const xmlNode* root, const char* shownName, char* out, size_t cap) {
    out[0] = '\0';
    for (const xmlDtd* dtd : {doc ? doc->intSubset : nullptr, doc ? doc->extSubset : nullptr}) {
        if (dtd && (dtd->entities || dtd->pentities)) {
            std::snprintf(out, cap, "[ERROR] %s declares XML entities, which COLLADA documents never use; it is not read.",
                          shownName);
            return;
        }
    }
    if (!xmlIsElement(root, "COLLADA"))
        std::snprintf(out, cap, "[ERROR] %s is not a COLLADA document: its root element is <%s>.", shownName,
                      root && root->name ? (const char*)root->name : "");
}

// The profile a root element declares: its namespace, else its "version".
uint8_t documentProfile(const xmlNode* root, char* version, size_t versionSize) {
    xmlAttrString(root, "version", version, (int32_t)versionSize);
    const char* ns = root->ns && root->ns->href ? (const char*)root->ns->href : "";
    if (std::strcmp(ns, "http://www.collada.org/2005/11/COLLADASchema") == 0) return PROFILE_14;
    if (std::strcmp(ns, "http://www.collada.org/2008/03/COLLADASchema") == 0) return PROFILE_15;
    if (std::strncmp(version, "1.4", 3) == 0) return PROFILE_14;
    if (std::strncmp(version, "1.5", 3) == 0) return PROFILE_15;
    return PROFILE_EARLY;
}

bool geometryLibrary(const xmlNode* element) {
    return documentInfo.profile == PROFILE_EARLY ? earlyGeometryLibrary(element) : laterGeometryLibrary(element);
}

void readGeometry(const xmlNode* element) {
    if (documentInfo.profile == PROFILE_EARLY) readEarlyGeometry(element);
    else readLaterGeometry(element);
}

void readElement(const xmlNode* element) {
    if (documentInfo.profile == PROFILE_EARLY) readEarlyElement(element);
    else readLaterElement(element);
}

// An early document writes each polygon as its own <p>, a million of them in a big model; building
// an element and a text node for each, only to read and free them, would cost more than all the
// rest of the reading. So the <p> elements of a <polygons> are read straight from the parser's
// callbacks into a PolygonCapture hung on the <polygons> element, with the tree's own rules: tokens
// as forEachToken reads them, text directly in the <p> or in an <h> directly in it, an <h> adding
// -1 first, and a token ending where one text node of the tree would end.
struct Capture {
    xmlSAXHandler tree;           // the tree builder's handlers, which do everything else
    int8_t early;                 // -1 until the first <p>: whether the document is of the early profile
    PolygonCapture* into;         // the capture of the <p> being read, null outside one
    int32_t level;                // elements open inside that <p>
    bool inH;                     // the one element open inside it is an <h>
    int8_t lastKind;              // 1 text, 2 CDATA, 0 anything else: tokens run on within one kind
    int8_t token;                 // 0 none, 1 sign or digits so far, 2 the rest of a token
    bool negative, digits;
    int64_t value;
    std::vector<int32_t> lines;   // where each element open inside the <p> (and the <p>) started
    int32_t outstanding;          // captures hung on elements not yet freed
};

// A primitive holds no more values than this; what a document writes beyond it is dropped here,
// so that every polygon's end stays an int32.
const size_t kCapturedValues = INT32_MAX / 2;

Capture* captureOf(void* context) { return (Capture*)((xmlParserCtxtPtr)context)->_private; }

void endToken(Capture* c) {
    if (c->token && c->into->values.size() < kCapturedValues) {
        int64_t v = c->negative ? -c->value : c->value;
        c->into->values.push_back((!c->digits || v < INT32_MIN || v > INT32_MAX) ? -2 : (int32_t)v);
    }
    c->token = 0;
}

void takeText(Capture* c, const xmlChar* text, int length, int8_t kind) {
    if (c->lastKind != kind) endToken(c);
    c->lastKind = kind;
    if (!(c->level == 0 || (c->level == 1 && c->inH))) return;
    // The token state lives in locals while the characters pass: this loop reads every index of
    // the document.
    const bool* sep = kNumberSeparators.is;
    int8_t token = c->token;
    bool negative = c->negative, digits = c->digits;
    int64_t value = c->value;
    std::vector<int32_t>& out = c->into->values;
    for (int i = 0; i < length; i++) {
        unsigned char ch = text[i];
        if (sep[ch] || ch == 0) {
            if (token) {
                int64_t v = negative ? -value : value;
                if (out.size() < kCapturedValues)
                    out.push_back((!digits || v < INT32_MIN || v > INT32_MAX) ? -2 : (int32_t)v);
                token = 0;
            }
        } else if (token == 1 && ch >= '0' && ch <= '9') {
            digits = true;
            if (value < 10000000000LL) value = value * 10 + (ch - '0');
        } else if (token == 0) {
            token = 1;
            negative = ch == '-';
            digits = ch >= '0' && ch <= '9';
            value = digits ? ch - '0' : 0;
            if (!digits && ch != '+' && ch != '-') token = 2;
        } else {
            token = 2;
        }
    }
    c->token = token;
    c->negative = negative;
    c->digits = digits;
    c->value = value;
}

// Any other node ends the text node a token could run on in.
void otherNode(Capture* c) {
    endToken(c);
    c->lastKind = 0;
}

int32_t lineNow(xmlParserCtxtPtr context) {
    int line = context->input ? context->input->line : 0;
    return line > 65535 ? 65535 : line;  // as the tree keeps it
}

// Only a <polygons> where the reader looks for one (COLLADA, library, geometry, mesh, polygons):
// elsewhere its text could belong to an element read whole, such as a number array.
bool readablePolygons(xmlParserCtxtPtr context) {
    return context->nodeNr == 5 && xmlIsElement(context->nodeTab[4], "polygons") &&
           xmlIsElement(context->nodeTab[3], "mesh") && xmlIsElement(context->nodeTab[2], "geometry") &&
           xmlIsElement(context->nodeTab[1], "library");
}

bool earlyDocument(xmlParserCtxtPtr context, Capture* c) {
    if (c->early < 0) {
        const xmlNode* root = context->myDoc ? xmlDocGetRootElement(context->myDoc) : nullptr;
        char version[64];
        c->early = root && documentProfile(root, version, sizeof version) == PROFILE_EARLY;
    }
    return c->early == 1;
}

void captureStart(void* context, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri, int namespaceCount,
                  const xmlChar** namespaces, int attributeCount, int defaulted, const xmlChar** attributes) {
    xmlParserCtxtPtr ctxt = (xmlParserCtxtPtr)context;
    Capture* c = captureOf(context);
    if (c->into) {
        otherNode(c);
        c->lines.push_back(lineNow(ctxt));
        if (c->level == 0 && std::strcmp((const char*)name, "h") == 0) {
            if (c->into->values.size() < kCapturedValues) c->into->values.push_back(-1);
            c->inH = true;
        } else if (c->level == 0) {
            c->inH = false;
        }
        c->level++;
        return;
    }
    if (std::strcmp((const char*)name, "p") == 0 && readablePolygons(ctxt) && earlyDocument(ctxt, c)) {
        if (!ctxt->node->_private) {
            ctxt->node->_private = new PolygonCapture();
            c->outstanding++;
        }
        c->into = (PolygonCapture*)ctxt->node->_private;
        c->level = 0;
        c->lastKind = 0;
        c->token = 0;
        c->lines.assign(1, lineNow(ctxt));
        return;
    }
    c->tree.startElementNs(context, name, prefix, uri, namespaceCount, namespaces, attributeCount, defaulted,
                           attributes);
}

void captureEnd(void* context, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri) {
    Capture* c = captureOf(context);
    if (!c->into) {
        c->tree.endElementNs(context, name, prefix, uri);
        return;
    }
    otherNode(c);
    if (!c->lines.empty()) c->lines.pop_back();
    if (c->level > 0) {
        c->level--;
        return;
    }
    c->into->ends.push_back((int32_t)c->into->values.size());
    c->into = nullptr;
}

void captureCharacters(void* context, const xmlChar* text, int length) {
    Capture* c = captureOf(context);
    if (c->into) takeText(c, text, length, 1);
    else c->tree.characters(context, text, length);
}

void captureBlanks(void* context, const xmlChar* text, int length) {
    Capture* c = captureOf(context);
    if (c->into) takeText(c, text, length, 1);
    else c->tree.ignorableWhitespace(context, text, length);
}

void captureCData(void* context, const xmlChar* text, int length) {
    Capture* c = captureOf(context);
    if (c->into) takeText(c, text, length, 2);
    else c->tree.cdataBlock(context, text, length);
}

void captureComment(void* context, const xmlChar* text) {
    Capture* c = captureOf(context);
    if (c->into) otherNode(c);
    else c->tree.comment(context, text);
}

void captureInstruction(void* context, const xmlChar* target, const xmlChar* data) {
    Capture* c = captureOf(context);
    if (c->into) otherNode(c);
    else c->tree.processingInstruction(context, target, data);
}

void captureReference(void* context, const xmlChar* name) {
    Capture* c = captureOf(context);
    if (c->into) otherNode(c);
    else c->tree.reference(context, name);
}

void installCapture(xmlParserCtxtPtr context, Capture* c) {
    c->tree = *context->sax;
    c->early = -1;
    context->_private = c;
    context->sax->startElementNs = captureStart;
    context->sax->endElementNs = captureEnd;
    context->sax->characters = captureCharacters;
    context->sax->ignorableWhitespace = captureBlanks;
    context->sax->cdataBlock = captureCData;
    context->sax->comment = captureComment;
    context->sax->processingInstruction = captureInstruction;
    context->sax->reference = captureReference;
}

// Frees the captures hung on a subtree before the subtree itself goes.
void releaseCaptures(Capture* c, xmlNode* top) {
    for (xmlNode* n = top; n && c->outstanding > 0;) {
        if (n->type == XML_ELEMENT_NODE && n->_private) {
            delete (PolygonCapture*)n->_private;
            n->_private = nullptr;
            c->outstanding--;
        }
        if ((n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE) && n->children) {
            n = n->children;
            continue;
        }
        while (n != top && !n->next) n = n->parent;
        if (n == top) break;
        n = n->next;
    }
}

void freeNode(Capture* c, xmlNode* n) {
    xmlUnlinkNode(n);
    releaseCaptures(c, n);
    xmlFreeNode(n);
}

// What the stream has read so far: whether the root was seen and accepted.
struct Progress {
    bool rootSeen;
    bool refused;
};

// Reads, then frees, every element the parser has finished: the root's children before the one
// still open and, inside an open geometry library, its geometries before the one still open. A
// text node still growing at the end of a parent stays (the parser appends to it); with `all` the
// parse is over and everything goes.
void readFinished(xmlParserCtxtPtr context, Progress* progress, const char* shownName, char* reason, size_t cap,
                  bool all) {
    Capture* capture = captureOf(context);
    xmlDoc* doc = context->myDoc;
    xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
    if (!root || progress->refused) return;
    if (!progress->rootSeen) {
        progress->rootSeen = true;
        unusableReason(doc, root, shownName, reason, cap);
        progress->refused = reason[0] != '\0';
        if (progress->refused) return;
        documentInfo.profile = documentProfile(root, documentInfo.version, sizeof documentInfo.version);
    }
    xmlNode* open1 = !all && context->nodeNr > 1 ? context->nodeTab[1] : nullptr;
    xmlNode* open2 = !all && context->nodeNr > 2 ? context->nodeTab[2] : nullptr;
    auto growing = [all](const xmlNode* n) { return !all && !n->next && n->type != XML_ELEMENT_NODE; };
    for (xmlNode* c = root->children; c;) {
        xmlNode* next = c->next;
        bool geometries = c->type == XML_ELEMENT_NODE && geometryLibrary(c);
        if (geometries) {
            // A geometry library's finished geometries go one at a time, open or not.
            for (xmlNode* g = c->children; g && (c != open1 || g != open2) && !growing(g);) {
                xmlNode* after = g->next;
                if (xmlIsElement(g, "geometry")) readGeometry(g);
                freeNode(capture, g);
                g = after;
            }
        }
        if (c == open1) break;  // still being parsed
        if (growing(c)) break;
        if (c->type == XML_ELEMENT_NODE && !geometries) readElement(c);
        freeNode(capture, c);
        c = next;
    }
}

// The stream proper: the push parser takes the document a piece at a time, and what it finished is
// read and freed after each piece. -1 with *reason set, or with the parse error in *first, when the
// document cannot be read.
int32_t readStream(Source* source, ParseError* first, const char* shownName, char* reason, size_t cap) {
    enum { kPiece = 1 << 20 };
    std::vector<char> buffer((size_t)kPiece);
    int n = readPiece(source, buffer.data(), kPiece);
    // The first bytes go with the parser's creation, which tells the encoding from them.
    int head = n < 4 ? (n < 0 ? 0 : n) : 4;
    xmlParserCtxtPtr context = xmlCreatePushParserCtxt(nullptr, nullptr, buffer.data(), head, shownName);
    if (!context) {
        std::snprintf(reason, cap, "[ERROR] %s cannot be read: out of memory.", shownName);
        return -1;
    }
    xmlCtxtUseOptions(context, kParseOptions);
    Capture capture = {};
    installCapture(context, &capture);
    Progress progress = {false, false};
    bool stopped = n < 0 || xmlParseChunk(context, buffer.data() + head, n - head, 0) != 0;
    while (!stopped && n > 0 && !progress.refused) {
        readFinished(context, &progress, shownName, reason, cap, false);
        n = readPiece(source, buffer.data(), kPiece);
        stopped = n < 0 || (n > 0 && xmlParseChunk(context, buffer.data(), n, 0) != 0);
    }
    if (!stopped && !progress.refused) {
        stopped = xmlParseChunk(context, nullptr, 0, 1) != 0;
        // A document that ends inside an element is reported by the push parser as content after
        // its end; say what the whole-document parser says.
        if (stopped && context->nodeNr > 0 && (!first->seen || first->code == XML_ERR_DOCUMENT_END)) {
            // Inside a <p> read as it passed, the open element is the parser's, not the tree's.
            const xmlNode* open = context->nodeTab[context->nodeNr - 1];
            const char* name = open && open->name ? (const char*)open->name : "";
            long line = open ? xmlGetLineNo(open) : 0L;
            if (capture.into && context->name && !capture.lines.empty()) {
                name = (const char*)context->name;
                line = capture.lines.back();
            }
            std::snprintf(first->text, sizeof first->text, "Premature end of data in tag %s line %ld", name, line);
            first->seen = true;
        }
    }
    bool wellFormed = context->wellFormed && !stopped;
    if (wellFormed) readFinished(context, &progress, shownName, reason, cap, true);
    if (context->myDoc) {
        releaseCaptures(&capture, (xmlNode*)context->myDoc);
        xmlFreeDoc(context->myDoc);
    }
    xmlFreeParserCtxt(context);
    if (progress.refused) return -1;
    if (!wellFormed || !progress.rootSeen) {
        if (!first->seen) textCopy(first->text, "it holds no element", sizeof first->text);
        return -1;
    }
    return 0;
}

}  // namespace

int32_t readDocument(const char* path, const uint8_t* data, int64_t size, const char* shownName) {
    Source source = {nullptr, data, size, 0, false};
    if (!data) {
        char why[256];
        switch (checkReadableFile(path, why, sizeof why)) {
            case FILE_MISSING: importMessage("[ERROR] %s does not exist.", shownName); return -1;
            case FILE_IS_DIRECTORY: importMessage("[ERROR] %s is a folder, not a document.", shownName); return -1;
            case FILE_NOT_REGULAR: importMessage("[ERROR] %s is not a regular file.", shownName); return -1;
            case FILE_UNREADABLE: importMessage("[ERROR] %s cannot be read: %s.", shownName, why); return -1;
            default: break;
        }
        source.file = std::fopen(path, "rb");
        if (!source.file) {
            importMessage("[ERROR] %s cannot be read: %s.", shownName, std::strerror(errno));
            return -1;
        }
        source.size = std::fseek(source.file, 0, SEEK_END) == 0 ? (int64_t)std::ftell(source.file) : 0;
        std::rewind(source.file);
    }
    // What the reading says waits until the document proved readable: then "Open" comes first.
    int32_t caller = messageList;
    int32_t held = caller >= 0 ? stringTableCreate(-1) : -1;
    messageList = held;
    ParseError first = {false, 0, 0, 0, ""};
    char reason[1024] = "";
    xmlGenericErrorFunc savedHandler = xmlGenericError;
    void* savedContext = xmlGenericErrorContext;
    xmlStructuredErrorFunc savedStructured = xmlStructuredError;
    void* savedStructuredContext = xmlStructuredErrorContext;
    xmlSetGenericErrorFunc(nullptr, quietLibraryMessage);
    xmlSetStructuredErrorFunc(&first, keepFirstError);
    importStage(0.0f, 0.7f, source.size);
    int32_t result = readStream(&source, &first, shownName, reason, sizeof reason);
    xmlSetStructuredErrorFunc(savedStructuredContext, savedStructured);
    xmlSetGenericErrorFunc(savedContext, savedHandler);
    if (source.file) std::fclose(source.file);
    messageList = caller;
    if (result == 0 && !source.failed) {
        importMessage("Open %s.", shownName);
        static const uint8_t white[4] = {255, 255, 255, 255};
        for (int32_t i = 0; held >= 0 && i < stringTableCount(held); i++)
            stringTableAdd(caller, stringTableText(held, i), white);
    } else if (source.failed) {
        importMessage("[ERROR] %s cannot be read: the file could not be read to its end.", shownName);
    } else if (reason[0]) {
        importMessage("%s", reason);
    } else if (first.line > 0) {
        importMessage("[ERROR] %s is not well-formed XML: %s (line %d, column %d).", shownName, first.text, first.line,
                      first.column);
    } else {
        importMessage("[ERROR] %s is not well-formed XML: %s.", shownName, first.text);
    }
    if (held >= 0) stringTableDestroy(held);
    if (result != 0 || source.failed) laterDocumentDiscard();
    return result == 0 && !source.failed ? 0 : -1;
}
