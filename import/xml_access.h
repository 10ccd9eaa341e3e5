// Reading the document tree: attributes, element lookups by local name, number lists in text.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

// True when the node is an element whose local name is `name` (namespaces are ignored).
bool xmlIsElement(const xmlNode* node, const char* name);
// The first word of the attribute's value into out (outSize bytes, cut to fit); "" when absent.
void xmlAttrString(const xmlNode* element, const char* attribute, char* out, int32_t outSize);
// The first word of the attribute's value as a heap text of the importer (free with importTextFree);
// an empty text when absent. Never null.
char* xmlAttrText(const xmlNode* element, const char* attribute);
// The attribute's whole value, spaces included, as a heap text of the importer; "" when absent.
char* xmlAttrRawText(const xmlNode* element, const char* attribute);
// The attribute scanned as a decimal int32 into *out; *out unchanged when absent or not a number.
void xmlAttrInt(const xmlNode* element, const char* attribute, int32_t* out);
// The characters that separate numbers in the lists of a document: blanks (not carriage returns)
// and the markup characters a writer may leave between them.
struct NumberSeparators {
    bool is[256];
};
extern const NumberSeparators kNumberSeparators;
// Every tab, line feed, '<', '>' and '/' becomes a space (carriage returns stay).
void blankMarkup(char* text);
// Floats of the element's whole text (commas read as decimal points), at most max into out;
// returns how many were read. Tokens that are not finite numbers read as 0.
int32_t xmlReadFloats(const xmlNode* element, float* out, int32_t max);
// The numbers of the element's whole text as xmlReadFloats reads them, at most limit, in a new
// tracked array of exactly that many (null when none); *count receives how many.
float* xmlReadFloatArray(const xmlNode* element, int32_t limit, int32_t* count);
// One number at the start of a token, exactly as strtof reads it (*end: where it stopped).
float parseFloatToken(const char* token, const char** end);

// Heap texts of the importer's records (tracked allocations).
char* importTextCopy(const char* text);
char* importTextFree(char* text);
