#include "import/xml_access.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

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

char* xmlAttrRawText(const xmlNode* element, const char* attribute) {
    xmlChar* value = xmlGetProp(element, (const xmlChar*)attribute);
    if (!value) return importTextCopy("");
    char* copy = importTextCopy((const char*)value);
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

float parseFloatToken(const char* token, const char** end) {
    // Most numbers in documents have at most seven significant digits and a small exponent: then
    // the mantissa and the power of ten are exact floats and one correctly rounded multiplication or
    // division gives exactly what strtof gives. Anything else goes to strtof.
    static const float kPowers[11] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const char* p = token;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint32_t mantissa = 0;
    int32_t exponent = 0;
    bool digits = false, exact = true;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) exact = false;  // hexadecimal: strtof's own rules
    for (; *p >= '0' && *p <= '9'; p++) {
        digits = true;
        if (mantissa > (1u << 24) / 10) exact = false;
        mantissa = mantissa * 10 + (uint32_t)(*p - '0');
    }
    if (*p == '.') {
        for (p++; *p >= '0' && *p <= '9'; p++) {
            digits = true;
            if (mantissa > (1u << 24) / 10) exact = false;
            mantissa = mantissa * 10 + (uint32_t)(*p - '0');
            exponent--;
        }
    }
    if (digits && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (*q == '+' || *q == '-') negativeExponent = *q++ == '-';
        if (*q >= '0' && *q <= '9') {
            int32_t e = 0;
            for (; *q >= '0' && *q <= '9'; q++)
                if (e < 100000) e = e * 10 + (*q - '0');
            exponent += negativeExponent ? -e : e;
            p = q;
        }
    }
    if (!digits || !exact || mantissa > (1u << 24) || exponent < -10 || exponent > 10) {
        char* stop = nullptr;
        float v = std::strtof(token, &stop);
        if (end) *end = stop;
        return v;
    }
    if (end) *end = p;
    float v = exponent < 0 ? (float)mantissa / kPowers[-exponent] : (float)mantissa * kPowers[exponent];
    return negative ? -v : v;
}

// Reads up to max numbers of a prepared text into out; returns how many.
static int32_t readNumbers(char* text, float* out, int32_t max) {
    int32_t n = 0;
    char* p = text;
    while (n < max) {
        while (*p == ' ') p++;
        if (!*p) break;
        char* token = p;
        while (*p && *p != ' ') p++;
        char saved = *p;
        *p = '\0';
        const char* stop = nullptr;
        float v = parseFloatToken(token, &stop);
        // Infinities and NaNs would poison bounds and the tessellator; they read as 0.
        out[n++] = (stop == token || !std::isfinite(v)) ? 0.0f : v;
        *p = saved;
    }
    return n;
}

const NumberSeparators kNumberSeparators = [] {
    NumberSeparators t = {};
    for (unsigned char c : {' ', '\t', '\n', '<', '>', '/'}) t.is[c] = true;
    return t;
}();

namespace {
// The text of an element whose only child is one text node (how writers store number lists); null
// for anything else, which the general reading below takes.
const char* soleText(const xmlNode* element) {
    const xmlNode* c = element->children;
    return c && !c->next && c->type == XML_TEXT_NODE && c->content ? (const char*)c->content : nullptr;
}

// Reads up to max numbers of a text as it stands, exactly as readNumbers reads the prepared text:
// separators as blankMarkup makes them, decimal commas as points.
int32_t scanNumbers(const char* text, float* out, int32_t max) {
    const unsigned char* p = (const unsigned char*)text;
    const bool* sep = kNumberSeparators.is;
    int32_t n = 0;
    while (n < max) {
        while (sep[*p]) p++;
        if (!*p) break;
        const unsigned char* start = p;
        bool comma = false;
        while (*p && !sep[*p]) comma |= *p++ == ',';
        const char* token = (const char*)start;
        const char* end = (const char*)p;
        const char* stop = nullptr;
        float v = 0.0f;
        char copy[64];
        if (!comma) {
            v = parseFloatToken(token, &stop);
        } else if (end - token < (ptrdiff_t)sizeof copy) {
            size_t length = (size_t)(end - token);
            std::memcpy(copy, token, length);
            copy[length] = '\0';
            replaceChar(copy, ',', '.');
            v = parseFloatToken(copy, &stop);
            stop = token + (stop - copy);
        } else {
            // A token this long is no number anyone wrote; read as the prepared text would read it.
            std::string longer(token, (size_t)(end - token));
            replaceChar(&longer[0], ',', '.');
            v = parseFloatToken(longer.c_str(), &stop);
            stop = token + (stop - longer.c_str());
        }
        // The token ends where the prepared text would have cut it, whatever strtof skips; infinities
        // and NaNs would poison bounds and the tessellator.
        out[n++] = (stop == token || stop > end || !std::isfinite(v)) ? 0.0f : v;
    }
    return n;
}
}  // namespace

int32_t xmlReadFloats(const xmlNode* element, float* out, int32_t max) {
    if (const char* text = soleText(element)) return scanNumbers(text, out, max);
    char* text = preparedText(element);
    if (!text) return 0;
    int32_t n = readNumbers(text, out, max);
    xmlFree(text);
    return n;
}

float* xmlReadFloatArray(const xmlNode* element, int32_t limit, int32_t* count) {
    *count = 0;
    if (const char* text = soleText(element)) {
        // Every number takes a character and a separator, so the text bounds what a lying count
        // may make us allocate; a count that tells the truth costs exactly its numbers.
        size_t length = std::strlen(text);
        int64_t room = (int64_t)(length / 2 + 1);
        int32_t capacity = limit < room ? limit : (int32_t)room;
        if (capacity <= 0) return nullptr;
        float* values = (float*)MEM_ALLOC(nullptr, (int64_t)capacity * 4);
        *count = scanNumbers(text, values, capacity);
        if (*count == 0) return (float*)MEM_FREE(values);
        if (*count < capacity) values = (float*)MEM_REALLOC(values, (int64_t)*count * 4);
        return values;
    }
    char* text = preparedText(element);
    if (!text) return nullptr;
    int32_t tokens = countTokens(text, ' ');
    int32_t n = limit < tokens ? limit : tokens;
    float* values = nullptr;
    if (n > 0) {
        values = (float*)MEM_ALLOC(nullptr, (int64_t)n * 4);
        *count = readNumbers(text, values, n);
    }
    xmlFree(text);
    return values;
}
