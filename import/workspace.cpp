#include "import/workspace.h"

#include <IL/il.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>

#include "import/geometry.h"
#include "import/material_import.h"
#include "import/scene_import.h"
#include "import/xml_access.h"
#include "strings/string_table.h"
#include "strings/text.h"
#include "system/clock.h"
#include "system/files.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_import_1_11";

SlotTable imageTable;
SlotTable textureTable;
SlotTable materialRecTable;
SlotTable sourceTable;
SlotTable polygonsTable;
SlotTable geometryTable;
SlotTable animationTable;
SlotTable nodeRecTable;
SlotTable verticesTable;
SlotTable controllerTable;
DocumentInfo documentInfo;
char documentDir[2048];
int32_t messageList = -1;

namespace {
// Id lookups: the lowest slot of each id per table, kept as records are added, so that a lookup
// made while reading sees exactly the records read so far.
struct WorkspaceState {
    std::unordered_map<const SlotTable*, std::unordered_map<std::string, int32_t>> ids;
};
WorkspaceState ws;

void freeText(char** text) { *text = importTextFree(*text); }

void freeTable(SlotTable* table, void (*freeRecord)(void*)) {
    for (int32_t i = 0; i < table->capacity; i++)
        if (slotUnits(table, i) > 0 && freeRecord) freeRecord(table->slots[i]);
    slotFree(table);
}

void freeInputs(SlotTable* inputs) {
    freeTable(inputs, [](void* p) { freeText(&((InputRec*)p)->source); });
}
}  // namespace

void importWorkspaceInit() {
    ilInit();
    slotInit(&imageTable, 4, (int32_t)sizeof(ImageRec));
    slotInit(&textureTable, 4, (int32_t)sizeof(TextureRec));
    slotInit(&materialRecTable, 4, (int32_t)sizeof(MaterialRec));
    slotInit(&sourceTable, 4, (int32_t)sizeof(SourceRec));
    slotInit(&polygonsTable, 4, (int32_t)sizeof(PolygonsRec));
    slotInit(&geometryTable, 4, (int32_t)sizeof(GeometryRec));
    slotInit(&animationTable, 4, (int32_t)sizeof(AnimationRec));
    slotInit(&nodeRecTable, 4, (int32_t)sizeof(NodeRec));
    slotInit(&verticesTable, 4, (int32_t)sizeof(VerticesRec));
    slotInit(&controllerTable, 4, (int32_t)sizeof(ControllerRec));
    std::memset(&documentInfo, 0, sizeof documentInfo);
    ws.ids.clear();
    geometryResetLookups();
    materialImportReset();
}

void importWorkspaceFree() {
    freeTable(&animationTable, [](void* p) {
        AnimationRec* a = (AnimationRec*)p;
        freeTable(&a->samplers, [](void* s) {
            SamplerRec* r = (SamplerRec*)s;
            freeText(&r->input);
            freeText(&r->output);
            freeText(&r->interpolation);
            freeText(&r->inTangent);
            freeText(&r->outTangent);
        });
        freeTable(&a->channels, [](void* c) {
            ChannelRec* r = (ChannelRec*)c;
            freeText(&r->id);
            freeText(&r->source);
            freeText(&r->target);
        });
    });
    freeTable(&materialRecTable, [](void* p) {
        MaterialRec* m = (MaterialRec*)p;
        freeText(&m->id);
        freeText(&m->name);
        for (int i = 0; i < MATERIAL_REC_TEXTURES; i++) freeText(&m->textureFile[i]);
        freeText(&m->texcoord);
    });
    freeTable(&imageTable, [](void* p) {
        ImageRec* r = (ImageRec*)p;
        freeText(&r->id);
        freeText(&r->name);
        freeText(&r->source);
    });
    freeTable(&textureTable, [](void* p) {
        TextureRec* r = (TextureRec*)p;
        freeText(&r->id);
        freeText(&r->name);
        freeText(&r->imageUrl);
    });
    freeTable(&sourceTable, [](void* p) {
        SourceRec* r = (SourceRec*)p;
        freeText(&r->id);
        freeText(&r->name);
        freeText(&r->arrayType);
        r->values = (float*)memFree(r->values, kModule, __LINE__);
    });
    freeTable(&polygonsTable, [](void* p) {
        PolygonsRec* r = (PolygonsRec*)p;
        freeText(&r->materialName);
        freeInputs(&r->inputs);
        r->values = (int32_t*)memFree(r->values, kModule, __LINE__);
        r->polygonStart = (int32_t*)memFree(r->polygonStart, kModule, __LINE__);
        r->polygonBad = (uint8_t*)memFree(r->polygonBad, kModule, __LINE__);
        r->corners = (int32_t*)memFree(r->corners, kModule, __LINE__);
    });
    freeTable(&verticesTable, [](void* p) {
        VerticesRec* r = (VerticesRec*)p;
        freeText(&r->id);
        freeInputs(&r->inputs);
    });
    freeTable(&controllerTable, [](void* p) {
        ControllerRec* r = (ControllerRec*)p;
        freeText(&r->id);
        freeText(&r->geometryUrl);
    });
    freeTable(&geometryTable, [](void* p) {
        GeometryRec* r = (GeometryRec*)p;
        freeText(&r->id);
        freeText(&r->name);
        slotFree(&r->polygons);
    });
    freeTable(&nodeRecTable, [](void* p) {
        NodeRec* r = (NodeRec*)p;
        freeText(&r->id);
        freeText(&r->name);
        freeText(&r->parentId);
        slotFree(&r->transforms);
        freeTable(&r->instances, [](void* i) {
            InstanceRec* in = (InstanceRec*)i;
            freeText(&in->url);
            freeTable(&in->bindings, [](void* b) {
                MaterialBindRec* m = (MaterialBindRec*)b;
                freeText(&m->symbol);
                freeText(&m->target);
                freeText(&m->texSemantic);
            });
        });
    });
    ws.ids.clear();
    geometryResetLookups();
    materialImportReset();
}

namespace {
// Work is counted from any thread; the hook is told only on the thread that set the stage (it
// draws the viewer's window).
struct ImportProgress {
    ImportProgressHook hook = nullptr;
    float from = 0.0f, to = 0.0f, told = 0.0f;
    int64_t total = 0;
    std::atomic<int64_t> done{0};
    double lastTold = 0.0;
    std::thread::id teller;
};
ImportProgress progress;
}  // namespace

void importSetProgressHook(ImportProgressHook hook) {
    progress.hook = hook;
    progress.told = 0.0f;
    progress.lastTold = 0.0;
}

// Tells the hook the share done, at once or when the last telling is 50 ms old.
static void tellProgress(bool now) {
    if (!progress.hook || std::this_thread::get_id() != progress.teller) return;
    double time = clockSeconds();
    if (!now && time - progress.lastTold < 0.05) return;
    int64_t done = progress.done.load();
    double share = done >= progress.total ? 1.0 : (double)done / (double)progress.total;
    float fraction = progress.from + (float)((progress.to - progress.from) * share);
    if (fraction < progress.told) fraction = progress.told;
    progress.told = fraction;
    progress.lastTold = time;
    progress.hook(fraction);
}

void importStage(float from, float to, int64_t total) {
    progress.from = from;
    progress.to = to;
    progress.total = total > 0 ? total : 1;
    progress.done = 0;
    progress.teller = std::this_thread::get_id();
    if (from == 0.0f) progress.told = 0.0f;
    tellProgress(true);
}

void importAdvance(int64_t units) {
    progress.done += units;
    tellProgress(false);
}

// Formats and appends a message; with once set, a text already in the list is not added again.
static void appendMessage(bool once, const char* format, va_list args) {
    if (messageList < 0) return;
    char text[4096];
    std::vsnprintf(text, sizeof text, format, args);
    if (once)
        for (int32_t i = 0; i < stringTableCount(messageList); i++)
            if (std::strcmp(stringTableText(messageList, i), text) == 0) return;
    static const uint8_t white[4] = {255, 255, 255, 255};
    stringTableAdd(messageList, text, white);
}

void importMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendMessage(false, format, args);
    va_end(args);
}

void importMessageOnce(const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendMessage(true, format, args);
    va_end(args);
}

void registerId(SlotTable* table, const char* id, int32_t index) {
    ws.ids[table].emplace(id, index);  // an id seen before keeps its lower slot
}

int32_t findById(SlotTable* table, const char* id) {
    auto t = ws.ids.find(table);
    if (t == ws.ids.end()) return -1;
    auto r = t->second.find(id);
    return r == t->second.end() ? -1 : r->second;
}

void urlFragment(char* out, const char* url) {
    const char* hash = std::strchr(url, '#');
    textCopy(out, hash ? hash + 1 : url, 2048);
}

// Decodes %XX escapes in place.
static void percentDecode(char* text) {
    char* o = text;
    for (const char* p = text; *p; p++) {
        auto hex = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        if (p[0] == '%' && hex(p[1]) >= 0 && hex(p[2]) >= 0) {
            *o++ = (char)(hex(p[1]) * 16 + hex(p[2]));
            p += 2;
        } else {
            *o++ = *p;
        }
    }
    *o = '\0';
}

// The entry of dir whose name equals name but for letter case (the lowest in byte order when
// several do) into name. Only the folder's own listing is read.
static bool findLetterCase(const char* dir, char* name, bool file) {
    char best[PATH_CAPACITY] = "";
    for (int32_t r = findFirst(name, dir, file ? 1 : 0); r == 0; r = findNext())
        if (textCompareNoCase(foundName, name) == 0 && (!best[0] || std::strcmp(foundName, best) < 0))
            std::memcpy(best, foundName, std::strlen(foundName) + 1);
    if (!best[0]) return false;
    std::memcpy(name, best, std::strlen(best) + 1);
    return true;
}

// Files written on systems that ignore letter case name them in any case: each component of the
// path that does not exist as written is looked up in its folder without regard to case. True, with
// path rewritten, when the whole path then exists. Folders are listed only for missing components,
// at most a fixed number of them.
static bool matchLetterCase(char* path) {
    enum { MAX_SEARCHES = 32 };
    size_t length = std::strlen(path);
    char built[PATH_CAPACITY];
    size_t used = 0;
    const char* p = path;
    if (*p == '/') built[used++] = *p++;
    built[used] = '\0';
    int32_t searches = 0;
    while (*p) {
        const char* slash = std::strchr(p, '/');
        size_t part = slash ? (size_t)(slash - p) : std::strlen(p);
        if (part == 0) {
            p++;
            continue;
        }
        char name[PATH_CAPACITY];
        std::memcpy(name, p, part);
        name[part] = '\0';
        p += part;
        while (*p == '/') p++;
        bool last = *p == '\0';
        const char* dir = built[0] ? built : "./";
        if (!fileExistsIn(name, dir)) {
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || ++searches > MAX_SEARCHES) return false;
            if (!findLetterCase(dir, name, last)) return false;
        }
        size_t nameLength = std::strlen(name);
        if (used + nameLength + 2 > sizeof built) return false;
        std::memcpy(built + used, name, nameLength);
        used += nameLength;
        if (!last) built[used++] = '/';
        built[used] = '\0';
    }
    if (used == 0 || used > length || !fileExists(built)) return false;
    std::memcpy(path, built, used + 1);
    return true;
}

// The file exists at path, or under its own name in documentDir (path then becomes that); each
// spelled as written first, then with letter case disregarded.
static bool locate(char* path) {
    if (path[0] && fileExists(path)) return true;
    char name[PATH_CAPACITY];
    fileNamePart(name, path);
    if (name[0] && fileExistsIn(name, documentDir)) {
        joinPath(path, documentDir, name);
        return true;
    }
    if (path[0] && matchLetterCase(path)) return true;
    char inFolder[PATH_CAPACITY];
    if (name[0] && joinPath(inFolder, documentDir, name) == 0 && matchLetterCase(inFolder)) {
        std::memcpy(path, inFolder, std::strlen(inFolder) + 1);
        return true;
    }
    return false;
}

// locate, then the same with percent-escapes decoded. path is left as given when neither finds it.
static bool locateOrDecoded(char* path) {
    char tried[PATH_CAPACITY];
    std::memcpy(tried, path, std::strlen(path) + 1);
    if (locate(path)) return true;
    if (std::strchr(tried, '%')) {
        char decoded[PATH_CAPACITY];
        std::memcpy(decoded, tried, std::strlen(tried) + 1);
        percentDecode(decoded);
        if (locate(decoded)) {
            std::memcpy(path, decoded, std::strlen(decoded) + 1);
            return true;
        }
    }
    std::memcpy(path, tried, std::strlen(tried) + 1);
    return false;
}

// One spelling of a URL: the fragment into idOut, the file path into pathOut; 0 when it names a file.
static int32_t resolveText(char* idOut, char* pathOut, const char* url, size_t length) {
    idOut[0] = '\0';
    pathOut[0] = '\0';
    const char* hash = (const char*)std::memchr(url, '#', length);
    if (hash) {
        size_t idLength = length - (size_t)(hash + 1 - url);
        if (idLength >= 2048) idLength = 2047;
        std::memcpy(idOut, hash + 1, idLength);
        idOut[idLength] = '\0';
    }
    size_t before = hash ? (size_t)(hash - url) : length;
    char text[PATH_CAPACITY];
    if (before >= sizeof text) return -1;
    std::memcpy(text, url, before);
    text[before] = '\0';
    // "\dir\file" is how Windows exporters write a path from the document's own drive or folder.
    bool windowsRooted = std::strchr(text, '\\') && (text[0] == '\\' || text[0] == '/');
    replaceChar(text, '\\', '/');
    if (std::strncmp(text, "file:///", 8) == 0) {
        textCopy(pathOut, text + 7, PATH_CAPACITY);  // keeps the leading '/' of the absolute path
    } else if (text[0] == '/') {
        textCopy(pathOut, text, PATH_CAPACITY);  // already absolute: not joined to the document's folder
    } else if (text[0]) {
        if (joinPath(pathOut, documentDir, text) != 0) return -1;
    } else {
        return -1;  // only a fragment: no file to find
    }
    if (locateOrDecoded(pathOut)) return 0;
    if (windowsRooted) {
        char relative[PATH_CAPACITY];
        if (joinPath(relative, documentDir, text + 1) == 0 && locateOrDecoded(relative)) {
            std::memcpy(pathOut, relative, std::strlen(relative) + 1);
            return 0;
        }
    }
    return -1;
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

int32_t resolveUrl(char* idOut, char* pathOut, const char* url) {
    // An attribute's first word is the URL, as it always was; when that names no file and the
    // value holds more (a file name with a raw space), the whole value is tried.
    while (isBlank(*url)) url++;
    size_t whole = std::strlen(url);
    while (whole > 0 && isBlank(url[whole - 1])) whole--;
    size_t word = 0;
    while (word < whole && !isBlank(url[word])) word++;
    int32_t found = resolveText(idOut, pathOut, url, word);
    if (found == 0 || word == whole) return found;
    char wholeId[2048], wholePath[PATH_CAPACITY];
    found = resolveText(wholeId, wholePath, url, whole);
    std::memcpy(idOut, wholeId, std::strlen(wholeId) + 1);
    std::memcpy(pathOut, wholePath, std::strlen(wholePath) + 1);
    return found;
}

// Allocates a float array of at most `count` values for the source and fills it from the element.
static void readArrayValues(SourceRec* s, const xmlNode* array) {
    int32_t count = 0;
    xmlAttrInt(array, "count", &count);
    s->values = (float*)memFree(s->values, kModule, __LINE__);
    s->valueCount = 0;
    if (count <= 0) return;
    // The declared count may exceed the numbers written (some exporters overstate it); only what
    // the text holds is kept, so a lying count cannot make a huge allocation.
    s->values = xmlReadFloatArray(array, count, &s->valueCount);
    if (s->valueCount < count && documentInfo.profile != PROFILE_EARLY)
        importMessage("[WARNING] source %s: its array says it holds %d numbers but holds %d.", s->id[0] ? s->id : "(no id)",
                      count, s->valueCount);
}

int32_t readSource(const xmlNode* element) {
    int32_t index = slotAdd(&sourceTable, 1, -1);
    SourceRec* s = slotGet<SourceRec>(&sourceTable, index);
    std::memset(s, 0, sizeof *s);
    s->id = xmlAttrText(element, "id");
    s->name = xmlAttrText(element, "name");
    s->arrayType = importTextCopy("");
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (xmlIsElement(c, "array")) {
            freeText(&s->arrayType);
            s->arrayType = xmlAttrText(c, "type");
            if (std::strcmp(s->arrayType, "float") == 0) readArrayValues(s, c);
        } else if (xmlIsElement(c, "float_array")) {
            freeText(&s->arrayType);
            s->arrayType = importTextCopy("float");
            readArrayValues(s, c);
        } else if (xmlIsElement(c, "technique")) {
            char profile[64];
            xmlAttrString(c, "profile", profile, sizeof profile);
            if (std::strcmp(profile, "COMMON") != 0) continue;
            for (const xmlNode* a = c->children; a; a = a->next)
                if (xmlIsElement(a, "accessor")) xmlAttrInt(a, "stride", &s->stride);
        }
    }
    registerId(&sourceTable, s->id, index);
    return index;
}

int32_t sourceColourWidth(int32_t source) {
    const SourceRec* s = slotGet<SourceRec>(&sourceTable, source);
    return (s && s->stride >= 4) ? 4 : WIDTH_COLOUR;
}

int32_t findMaterialRec(const char* url) {
    char id[2048];
    urlFragment(id, url);
    return findById(&materialRecTable, id);
}
