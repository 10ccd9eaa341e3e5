// The import workspace: what one COLLADA document holds, read into records before anything of the
// object model is built, and freed when the import ends. Identifiers and names are heap texts of
// exactly their length; lookups compare them exactly and the lowest slot of an id wins.
#pragma once
#include <libxml/tree.h>

#include <cstdint>

#include "import/scene_import.h"
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

// One <material>: colours and the texture entries of its pass (early profile), or of the effect
// it instantiates (later profiles).
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
    char* texcoord;  // the "texcoord" semantic of the diffuse texture (later profiles); may be null
};

// What the reader found in the document's root and <asset>.
extern DocumentInfo documentInfo;

// What an input feeds. VERTEX names a <vertices> element, whose own inputs share its offset.
enum : uint8_t {
    INPUT_VERTEX = 0, INPUT_POSITION = 1, INPUT_NORMAL = 2, INPUT_TEXCOORD = 3, INPUT_COLOR = 4, INPUT_OTHER = 5
};
// One <input> of a primitive or of a <vertices> element.
struct InputRec {
    uint8_t semantic;
    int32_t offset;  // the value of a vertex group it reads ("idx" or "offset"); -1 when unusable
    int32_t set;     // "set", -1 when absent
    char* source;    // URL as written
};

// One <vertices>: its id and inputs (offsets unused).
struct VerticesRec {
    char* id;
    SlotTable inputs;  // InputRec
};

enum : uint8_t { PRIM_POLYGONS = 0, PRIM_STRIPS = 1, PRIM_FANS = 2 };

// One primitive element of a mesh (<polygons>, <polylist>, <triangles>, <tristrips>, <trifans>),
// filled in three stages. The reader keeps its inputs and every index as written: values holds the
// vertex groups one after another, -1 separating the contours of a polygon (an <h>), and polygon k
// (a polygon, a strip or a fan) is values[polygonStart[k] .. polygonStart[k + 1]). The validation
// resolves the inputs into the source fields below and marks polygons whose groups are cut short or
// name elements outside their sources. The builder cuts the polygons into triangles, kept as the
// element index of every input at each corner: the vertex, normal and colour element, then one per
// texture-coordinate set.
struct PolygonsRec {
    uint8_t kind;
    uint8_t holes;       // 1: a -1 value separates the contours of a polygon; 0: it is a bad index
    int32_t geometry;    // GeometryRec index
    char* materialName;  // the material's URL (early profile) or the symbol an instance binds
    SlotTable inputs;    // InputRec, in document order
    int32_t groupSize;   // values per vertex group: the highest offset + 1
    int32_t valueCount;
    int32_t valueCapacity;
    int32_t* values;
    int32_t polygonCount;
    int32_t polygonCapacity;
    int32_t* polygonStart;  // polygonCount + 1 entries
    // Set by the validation.
    int32_t materialIndex;  // early profile: the material record its URL names, or -1
    uint8_t* polygonBad;    // per polygon, 1 when skipped; null when every polygon is usable
    int32_t vertexSource;
    uint8_t hasVertex;
    int32_t vertexOffset;
    int32_t normalSource;
    uint8_t hasNormal;
    int32_t normalOffset;
    int32_t texSources[MAX_TEX_INPUTS];
    int32_t texSets[MAX_TEX_INPUTS];  // the "set" of each texture-coordinate input
    uint8_t texCoordCount;
    int32_t texOffsets[MAX_TEX_INPUTS];
    int32_t colourSource;
    uint8_t hasColour;
    int32_t colourOffset;
    // Set by the builder.
    int32_t triangleCount;
    int32_t triangleCapacity;
    int32_t* corners;  // triangleCount * 3 * (3 + texCoordCount) element indices
};

// One <geometry>: its primitives and, for the early profile, the object made for it.
struct GeometryRec {
    char* id;
    char* name;
    SlotTable polygons;  // PolygonsRec indices
    int32_t objectIndex;
};

// One <controller>: the geometry its <skin> deforms and the skin's bind-shape matrix (row-major).
struct ControllerRec {
    char* id;
    char* geometryUrl;
    float bindShape[16];
};

enum : uint8_t {
    TRANSFORM_TRANSLATE = 0, TRANSFORM_ROTATE = 1, TRANSFORM_SCALE = 2, TRANSFORM_MATRIX = 3,
    TRANSFORM_LOOKAT = 4, TRANSFORM_SKEW = 5
};

// One transform element of a node: translate (x, y, z), rotate (axis x, y, z, degrees), scale
// (x, y, z), matrix (16, row-major), lookat (eye, target, up) or skew (degrees, rotation axis,
// translation axis).
struct TransformRec {
    uint8_t kind;
    float values[16];
};

// One instance_material of an instance: the symbol a primitive names, the material it stands for
// and the texture-coordinate set bound to a semantic of the material's texture.
struct MaterialBindRec {
    char* symbol;
    char* target;
    char* texSemantic;  // bind_vertex_input "semantic"; "" when absent
    int32_t texSet;     // its "input_set"; -1 when absent
    int32_t materialIndex;  // the target's material record, or -1 (set by the validation)
};

enum : uint8_t { INSTANCE_GEOMETRY = 0, INSTANCE_NODE = 1, INSTANCE_CONTROLLER = 2 };

// One instance in a node: of a geometry, a library node or a controller.
struct InstanceRec {
    uint8_t kind;
    char* url;
    SlotTable bindings;  // MaterialBindRec
    int32_t target;      // the geometry, node or controller record the URL names, or -1 (validation)
};

// One <node>.
struct NodeRec {
    char* id;
    char* name;
    char* parentId;        // early profile: id of the enclosing node; "" under <scene>
    int32_t parentRecord;  // later profiles: the enclosing node's record; -1 at the top
    uint8_t library;       // 1 for a node of library_nodes, built only where an instance_node names it
    SlotTable transforms;  // TransformRec, in document order
    SlotTable instances;   // InstanceRec, in document order
    int32_t nodeIndex;     // the Node made for it (early profile)
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
extern SlotTable verticesTable;
extern SlotTable controllerTable;
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
// The import's progress, told to the caller's hook (importSetProgressHook) at most every 50 ms: a
// stage covers [from, to) of the whole import and `total` units of its work; importAdvance adds
// units done (from any thread; the hook is told only on the thread that set the stage, and
// importAdvance(0) there tells it how far the others have come). The share told never goes back.
void importStage(float from, float to, int64_t total);
void importAdvance(int64_t units);
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
// Lowest material record whose id equals the URL's fragment, or -1.
int32_t findMaterialRec(const char* url);
// Lowest record of a table whose id equals `id`, or -1.
int32_t findById(SlotTable* table, const char* id);
// Records a record's id for findById (the first record of an id keeps it).
void registerId(SlotTable* table, const char* id, int32_t index);
// Floats per element an input needs.
enum { WIDTH_POSITION = 3, WIDTH_TEXCOORD = 2, WIDTH_COLOUR = 3 };
// Floats a colour element of the source holds: 4 with a stride of 4 or more, else 3.
int32_t sourceColourWidth(int32_t source);
