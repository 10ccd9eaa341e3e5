#include "import/xml_access.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "strings/text.h"
#include "system/memory.h"

static const char* const kModule = "vor3d_import_1_11";

bool xmlIsElement(const xmlNode* node, const char* name) {
    return node && node->type == XML_ELEMENT_NODE && node->name &&
           std::strcmp((const char*)node->name, name) == 0;
}

char* importTextCopy(const char* text) {
    size_t len = std::strlen(text);
    char* copy = (char*)MEM_ALLOC(nullptr, (int64_t)len + 1);
    std::memcpy(copy, text, len + 1);
    return copy;
}

char* importTextFree(char* text) { return (char*)MEM_FREE(text); }

// The first whitespace-delimited word of a value: start and length.
static const char* firstWord(const char* value, size_t* length) {
    while (*value == ' ' || *value == '\t' || *value == '\n' || *value == '\r') value++;
    size_t n = 0;
    while (value[n] && value[n] != ' ' && value[n] != '\t' && value[n] != '\n' && value[n] != '\r') n++;
    *length = n;
    return value;
}

void xmlAttrString(const xmlNode* element, const char* attribute, char* out, int32_t outSize) {
    if (outSize <= 0) return;
    out[0] = '\0';
    xmlChar* value = xmlGetProp(element, (const xmlChar*)attribute);
    if (!value) return;
    size_t n = 0;
    const char* word = firstWord((const char*)value, &n);
    if (n >= (size_t)outSize) n = (size_t)outSize - 1;
    std::memcpy(out, word, n);
    out[n] = '\0';
    xmlFree(value);
}

char* xmlAttrText(const xmlNode* element, const char* attribute) {
    xmlChar* value = xmlGetProp(element, (const xmlChar*)attribute);
    if (!value) return importTextCopy("");
    size_t n = 0;
    const char* word = firstWord((const char*)value, &n);
    char* copy = (char*)MEM_ALLOC(nullptr, (int64_t)n + 1);
    std::memcpy(copy, word, n);
    copy[n] = '\0';
    xmlFree(value);
    return copy;
}

void xmlAttrInt(const xmlNode* element, const char* attribute, int32_t* out) {
    xmlChar* value = xmlGetProp(element, (const xmlChar*)attribute);
    if (!value) return;
    char* end = nullptr;
    long v = std::strtol((const char*)value, &end, 10);
    if (end != (char*)value && v >= INT32_MIN && v <= INT32_MAX) *out = (int32_t)v;
    xmlFree(value);
}

void blankMarkup(char* text) {
    for (; *text; text++)
        if (*text == '\t' || *text == '\n' || *text == '<' || *text == '>' || *text == '/') *text = ' ';
}

// The element's text with markup characters blanked and decimal commas made points; null when none.
static char* preparedText(const xmlNode* element) {
    xmlChar* content = xmlNodeGetContent(element);
    if (!content) return nullptr;
    char* text = (char*)content;
    blankMarkup(text);
    replaceChar(text, ',', '.');
    return text;
}

int32_t xmlReadFloats(const xmlNode* element, float* out, int32_t max) {
    char* text = preparedText(element);
    if (!text) return 0;
    int32_t n = 0;
    char* p = text;
    while (n < max) {
        while (*p == ' ') p++;
        if (!*p) break;
        char* token = p;
        while (*p && *p != ' ') p++;
        char saved = *p;
        *p = '\0';
        char* end = nullptr;
        float v = std::strtof(token, &end);
        // Infinities and NaNs would poison bounds and the tessellator; they read as 0.
        out[n++] = (end == token || !std::isfinite(v)) ? 0.0f : v;
        *p = saved;
    }
    xmlFree(text);
    return n;
}

int32_t xmlCountTokens(const xmlNode* element) {
    char* text = preparedText(element);
    if (!text) return 0;
    int32_t n = countTokens(text, ' ');
    xmlFree(text);
    return n;
}
