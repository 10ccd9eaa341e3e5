// Reading steps both COLLADA readers share: the <asset>, node records and their transforms, and
// primitives with their inputs and index lists.
#pragma once
#include <libxml/tree.h>

#include <cstdint>
#include <vector>

// Reads the <up_axis> and <unit> of an <asset> into documentInfo.
void readAssetElement(const xmlNode* asset);
// Adds a node record (id, name, links; transforms and instances are left to the caller). Returns
// its index.
int32_t addNodeRecord(const xmlNode* element, const char* parentId, int32_t parentRecord, uint8_t library);
// Adds a node's transform element (translate, rotate, scale, matrix, lookat, skew) to its record;
// false for any other element.
bool readNodeTransform(int32_t record, const xmlNode* element);
// Adds an instance of that kind and URL to a node record; returns its index in the record's table.
int32_t addNodeInstance(int32_t record, uint8_t kind, const char* url);

// Reads a <vertices> (its id and inputs) into a new record.
void readVertices(const xmlNode* element);
// Adds a geometry record with the element's id and name (registered) and no primitives yet;
// returns its index.
int32_t addGeometryRecord(const xmlNode* element);
// Adds a material record with the element's id and name, everything else zero; returns its index
// (registering the id is left to the caller, once the record is complete).
int32_t addMaterialRecord(const xmlNode* element);
// The INPUT_* of a semantic name.
uint8_t inputSemantic(const char* name);
// Adds a primitive record of a geometry; returns its index.
int32_t addPrimitive(uint8_t kind, int32_t geometry, const char* materialName);
// Adds an input (source copied); an offset outside 0 .. 65535 makes the input unusable.
void addPrimitiveInput(int32_t primitive, uint8_t semantic, int32_t offset, int32_t set, const char* source);
// Appends the indices of a <p> (an <h> adds -1, then its own) as one polygon, strip or fan.
void appendPolygon(int32_t primitive, const xmlNode* p);
// The <p> lists of one <polygons> element as the stream reads them straight from the parser's text,
// without building their elements: the values in document order (an <h> adds -1, then its own) and
// where each polygon's values end. The stream hangs it on the element (its _private).
struct PolygonCapture {
    std::vector<int32_t> values;
    std::vector<int32_t> ends;
};
// Appends a capture's polygons to a primitive, exactly as appendPolygon appends each <p>.
void appendCapturedPolygons(int32_t primitive, const PolygonCapture* capture);
// Appends the indices of a <p> without starting a polygon (the polygons are set afterwards).
void appendIndices(int32_t primitive, const xmlNode* p);
// A polygon of several elements (a <ph>): begin, its <p>'s indices, each hole (-1, then the <h>'s
// indices), end. An empty polygon is dropped.
void beginPolygon(int32_t primitive);
void appendHole(int32_t primitive, const xmlNode* h);
void endPolygon(int32_t primitive);
// Cuts the values into polygons of `groups` vertex groups each (<triangles>: 3); a rest shorter
// than a polygon is left out.
void splitFixedPolygons(int32_t primitive, int32_t groups);
// Cuts the values into polygons of the sizes a <vcount> lists. Sizes below 1 make no polygon; a
// polygon that runs past the values is kept (ending one past them) for the validation to refuse.
void splitCountedPolygons(int32_t primitive, const xmlNode* vcount);

// Values of a <p> list: tokens of its text, each <h> counting 1 (a hole separator) plus the tokens
// it holds itself (some writers put the hole contour inside <h>).
int32_t countIndices(const xmlNode* p);
// Reads the values (an <h> stores -1, then its own tokens); at most max; returns how many.
int32_t readIndices(const xmlNode* p, int32_t* out, int32_t max);
