// The import workspace: what one COLLADA document holds, read into records before anything of the
// object model is built, and freed when the import ends. Identifiers and names are heap texts of
// exactly their length; lookups compare them exactly and the lowest slot of an id wins.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

#include "system/slot_table.h"

// One <source>: a float array and the stride of its accessor.
struct SourceRec {
    char* id;
    char* name;
    char* arrayType;     // "type" of <array>, or "float" for <float_array>
    int32_t valueCount;  // floats held in values (at most the array's "count")
    float* values;
    int32_t stride;      // floats per element; 0 when the accessor gives none
};

// One <image>.
struct ImageRec {
    char* id;
    char* name;
    char* source;  // the image file's URL
};

enum : uint8_t { USAGE_DIFFUSE = 0, USAGE_OPACITY = 1, USAGE_NONE = 255 };

// One <texture>: an image used as a diffuse or an opacity map.
struct TextureRec {
    char* id;
    char* name;
    char* imageUrl;
    uint8_t usage;
};

enum { MATERIAL_REC_TEXTURES = 32, MAX_TEX_INPUTS = 32 };

// One <material>: colours and the texture entries of its pass.
struct MaterialRec {
    char* id;
    char* name;
    uint8_t has[6];  // AMBIENT, DIFFUSE, SPECULAR, SHININESS, EMISSION, TRANSPARENCY
    float ambient[3];
    float diffuse[3];
    float specular[3];
    float shininess;
    float emission[3];
    float transparency;
    uint8_t textureCount;
    uint8_t textureUsage[MATERIAL_REC_TEXTURES];
    char* textureFile[MATERIAL_REC_TEXTURES];  // image path from resolveUrl
};

// One <polygons> element: its inputs and the triangles its polygons were cut into. A triangle is
// kept as the element index of every input at each of its three corners: per corner the vertex,
// normal and colour element, then one per texture-coordinate set.
struct PolygonsRec {
    int32_t groupSize;
    char* materialName;
    int32_t materialIndex;
    int32_t triangleCount;
    int32_t triangleCapacity;
    int32_t* corners;  // triangleCount * 3 * (3 + texCoordCount) element indices
    int32_t vertexSource;
    uint8_t hasVertex;
    int32_t vertexOffset;
    int32_t normalSource;
    uint8_t hasNormal;
    int32_t normalOffset;
    int32_t texSources[MAX_TEX_INPUTS];
    uint8_t texCoordCount;
    int32_t texOffsets[MAX_TEX_INPUTS];
    int32_t colourSource;
    uint8_t hasColour;
    int32_t colourOffset;
};

// One <geometry>: its polygons elements and the object made for it.
struct GeometryRec {
    char* id;
    char* name;
    SlotTable polygons;  // PolygonsRec indices
    int32_t objectIndex;
};

enum : uint8_t { TRANSFORM_TRANSLATE = 0, TRANSFORM_ROTATE = 1, TRANSFORM_SCALE = 2 };

// One translate (x, y, z), rotate (axis x, y, z, degrees) or scale (x, y, z) of a node.
struct TransformRec {
    uint8_t kind;
    float values[4];
};

// One <node>.
struct NodeRec {
    char* id;
    char* name;
    char* parentId;     // id of the enclosing node; "" under <scene>
    char* instanceUrl;  // "url" of its last <instance>
    SlotTable transforms;
    int32_t nodeIndex;  // the Node made for it
};

// Animations are read and dropped with the workspace.
struct AnimationRec {
    SlotTable samplers;  // SamplerRec
    SlotTable channels;  // ChannelRec
};
struct SamplerRec {
    char* input;
    char* output;
    char* interpolation;
    char* inTangent;
    char* outTangent;
};
struct ChannelRec {
    char* id;
    char* source;
    char* target;
};

// The workspace tables, one record per slot.
extern SlotTable imageTable;
extern SlotTable textureTable;
extern SlotTable materialRecTable;
extern SlotTable sourceTable;
extern SlotTable polygonsTable;
extern SlotTable geometryTable;
extern SlotTable animationTable;
extern SlotTable nodeRecTable;

// Directory of the document being read (ending in the separator); relative URLs resolve against it.
extern char documentDir[2048];
// The caller's message list during an import (-1 outside).
extern int32_t messageList;

// Starts DevIL and empties every table.
void importWorkspaceInit();
// Frees every record, inner table and text, then the tables.
void importWorkspaceFree();
// Appends a formatted message (white) to the message list.
void importMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same, unless the list already holds that very text (one message per cause, however many
// meshes meet it).
void importMessageOnce(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The fragment after the first '#' into idOut and the file path into pathOut (each 2048 bytes):
// "file://" URLs and absolute paths keep their path, others are joined to documentDir; '\' becomes
// '/'. 0 when the file exists there, or under its own name in documentDir (pathOut then names that);
// -1 otherwise (pathOut keeps the path tried). Percent-escapes are decoded when the literal path
// does not exist. The URL's first word is tried first, then the whole value (spaces included).
int32_t resolveUrl(char* idOut, char* pathOut, const char* url);
// Text after the first '#' of a URL (the whole URL when it has none) into out of 2048 bytes.
void urlFragment(char* out, const char* url);

// Reads a <source> into a new record; returns its index.
int32_t readSource(const xmlNode* element);
// Lowest source / material record whose id equals the URL's fragment, or -1.
int32_t findSource(const char* url);
int32_t findMaterialRec(const char* url);
// Lowest record of a table whose id equals `id`, or -1.
int32_t findById(SlotTable* table, const char* id);
// Records a record's id for findById (the first record of an id keeps it).
void registerId(SlotTable* table, const char* id, int32_t index);
// Walks the root's children and dispatches each library by type and the scene.
void readLibraries(const xmlNode* root);
