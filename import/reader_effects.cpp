#include "import/reader_effects.h"

#include <libxml/tree.h>

#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "import/read_shared.h"
#include "import/workspace.h"
#include "import/xml_access.h"
#include "system/files.h"

namespace {
// What a material takes from its effect. An effect is worked out once however many materials
// instantiate it, so its image is looked for (and a missing one reported) once.
struct EffectInfo {
    uint8_t has[6];
    float ambient[3];
    float diffuse[3];
    float specular[3];
    float shininess;
    float emission[3];
    bool hasOpacity;    // <transparent> or <transparency> gave an opacity by the standard formulas
    float opacity;
    bool textured;      // the diffuse colour is a texture that leads to an image record
    bool fileFound;     // its file exists (file then names it), else file names the path tried
    std::string file;
    std::string texcoord;
};

// The effects of the document being read by id (the first of an id wins), and those worked out.
// Reset on every call: the nodes belong to one document.
struct EffectsState {
    std::unordered_map<std::string, const xmlNode*> effects;
    std::unordered_map<const xmlNode*, EffectInfo> done;
    bool inverted;  // the document's writer means "how transparent" by <transparency> (see applyOpacity)
    std::unordered_set<std::string> reported;  // missing image files already said
};
EffectsState fx;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The element's whole text without surrounding blanks.
std::string elementText(const xmlNode* element) {
    std::string text;
    xmlChar* content = xmlNodeGetContent(element);
    if (!content) return text;
    const char* s = (const char*)content;
    size_t begin = 0, end = std::strlen(s);
    while (begin < end && isBlank(s[begin])) begin++;
    while (end > begin && isBlank(s[end - 1])) end--;
    text.assign(s + begin, end - begin);
    xmlFree(content);
    return text;
}

const xmlNode* firstChild(const xmlNode* parent, const char* name) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (xmlIsElement(c, name)) return c;
    return nullptr;
}

std::string attrWord(const xmlNode* element, const char* attribute) {
    char* text = xmlAttrText(element, attribute);
    std::string word(text);
    importTextFree(text);
    return word;
}

// A <newparam> of that sid, looked for from the innermost scope (technique, profile, effect) out.
const xmlNode* findParam(const xmlNode* const scopes[3], const std::string& sid) {
    if (sid.empty()) return nullptr;
    for (int i = 0; i < 3; i++)
        for (const xmlNode* c = scopes[i] ? scopes[i]->children : nullptr; c; c = c->next)
            if (xmlIsElement(c, "newparam") && attrWord(c, "sid") == sid) return c;
    return nullptr;
}

// The numbers of a colour or float parameter (<color>/<float>, or <param ref> naming a newparam
// with <float>...<float4>) into out; how many were read, 0 when it holds neither.
int32_t readValue(const xmlNode* element, const xmlNode* const scopes[3], float* out, int32_t max) {
    for (const xmlNode* c = element->children; c; c = c->next) {
        if (xmlIsElement(c, "color") || xmlIsElement(c, "float")) return xmlReadFloats(c, out, max);
        if (xmlIsElement(c, "param")) {
            const xmlNode* param = findParam(scopes, attrWord(c, "ref"));
            for (const xmlNode* v = param ? param->children : nullptr; v; v = v->next)
                if (xmlIsElement(v, "float") || xmlIsElement(v, "float2") || xmlIsElement(v, "float3") ||
                    xmlIsElement(v, "float4"))
                    return xmlReadFloats(v, out, max);
            return 0;
        }
    }
    return 0;
}

// The image record a <texture texture="..."> leads to: sampler2D -> instance_image (1.5), or
// sampler2D -> source -> surface -> init_from (1.4); exporters that write the image id straight
// into the attribute are met by trying it as an image id. -1 when none.
int32_t textureImage(const xmlNode* texture, const xmlNode* const scopes[3]) {
    std::string name = attrWord(texture, "texture");
    std::string imageId;
    const xmlNode* sampler = firstChild(findParam(scopes, name), "sampler2D");
    if (sampler) {
        if (const xmlNode* instance = firstChild(sampler, "instance_image")) {
            char id[2048];
            char* url = xmlAttrText(instance, "url");
            urlFragment(id, url);
            importTextFree(url);
            imageId = id;
        } else if (const xmlNode* source = firstChild(sampler, "source")) {
            const xmlNode* surface = firstChild(findParam(scopes, elementText(source)), "surface");
            if (const xmlNode* init = firstChild(surface, "init_from")) imageId = elementText(init);
        }
    }
    int32_t image = imageId.empty() ? -1 : findById(&imageTable, imageId.c_str());
    if (image < 0) image = findById(&imageTable, name.c_str());
    return image;
}

// Opacity from <transparent> and <transparency> by the standard formulas: A_ONE takes the colour's
// alpha times the transparency, RGB_ZERO one minus the colour's luminance times the transparency
// (A_ZERO and RGB_ONE, of the later version, the complements).
void readOpacity(EffectInfo* e, const xmlNode* transparent, const xmlNode* transparency,
                 const xmlNode* const scopes[3]) {
    if (!transparent && !transparency) return;
    float colour[4] = {1, 1, 1, 1};
    std::string mode = "A_ONE";
    if (transparent) {
        if (firstChild(transparent, "texture")) return;  // an opacity map: no single value to give
        readValue(transparent, scopes, colour, 4);
        std::string written = attrWord(transparent, "opaque");
        if (!written.empty()) mode = written;
    }
    float amount = 1.0f;
    if (transparency) readValue(transparency, scopes, &amount, 1);
    float luminance = 0.212671f * colour[0] + 0.715160f * colour[1] + 0.072169f * colour[2];
    if (mode == "RGB_ZERO") e->opacity = 1.0f - luminance * amount;
    else if (mode == "RGB_ONE") e->opacity = luminance * amount;
    else if (mode == "A_ZERO") e->opacity = 1.0f - colour[3] * amount;
    else e->opacity = colour[3] * amount;
    e->hasOpacity = true;
}

// Exporters disagree on what <transparency> means. Blender's (2.4x) and the FBX exporter write their
// opaque materials as "white, A_ONE, transparency 0", which by the formulas is fully invisible: they
// mean how transparent, not how opaque. A material nobody could see is never what a file means, so
// a document in which any effect comes out fully invisible is read the other way round (opacity
// 1 - the formula's). Maya, Max and later Blender write opaque as opacity 1 and keep the formulas.
// Only 0 < opacity < 1 makes a material see-through; it is stored as transparency = 1 - opacity.
void applyOpacity(MaterialRec* m, const EffectInfo& e) {
    if (!e.hasOpacity) return;
    float opacity = fx.inverted ? 1.0f - e.opacity : e.opacity;
    if (opacity > 0.0f && opacity < 1.0f) {
        m->has[5] = 1;
        m->transparency = 1.0f - opacity;
    }
}

// The colours and texture of an effect's profile_COMMON technique.
EffectInfo readEffect(const xmlNode* effect) {
    EffectInfo e;
    std::memset(e.has, 0, sizeof e.has);
    for (float* f : {e.ambient, e.diffuse, e.specular, e.emission}) f[0] = f[1] = f[2] = 0.0f;
    e.shininess = 0.0f;
    e.hasOpacity = false;
    e.opacity = 1.0f;
    e.textured = false;
    e.fileFound = false;
    const xmlNode* profile = firstChild(effect, "profile_COMMON");
    const xmlNode* technique = firstChild(profile, "technique");
    const xmlNode* const scopes[3] = {technique, profile, effect};
    const xmlNode* shading = nullptr;
    for (const xmlNode* c = technique ? technique->children : nullptr; c && !shading; c = c->next)
        if (xmlIsElement(c, "constant") || xmlIsElement(c, "lambert") || xmlIsElement(c, "phong") ||
            xmlIsElement(c, "blinn"))
            shading = c;
    if (!shading) return e;
    static const struct {
        const char* name;
        int flag;
    } colours[] = {{"ambient", 0}, {"diffuse", 1}, {"specular", 2}, {"emission", 4}};
    float* targets[5] = {e.ambient, e.diffuse, e.specular, nullptr, e.emission};
    const xmlNode* transparent = nullptr;
    const xmlNode* transparency = nullptr;
    for (const xmlNode* c = shading->children; c; c = c->next) {
        if (xmlIsElement(c, "shininess")) {
            if (readValue(c, scopes, &e.shininess, 1) == 1) e.has[3] = 1;
        } else if (xmlIsElement(c, "transparent")) {
            transparent = c;
        } else if (xmlIsElement(c, "transparency")) {
            transparency = c;
        } else {
            for (const auto& k : colours) {
                if (!xmlIsElement(c, k.name)) continue;
                float value[4] = {0, 0, 0, 1};
                if (readValue(c, scopes, value, 4) >= 3) {
                    e.has[k.flag] = 1;
                    std::memcpy(targets[k.flag], value, sizeof(float) * 3);
                }
                const xmlNode* texture = k.flag == 1 ? firstChild(c, "texture") : nullptr;
                if (!texture || e.textured) continue;
                int32_t image = textureImage(texture, scopes);
                if (image < 0) {
                    char* effectId = xmlAttrText(effect, "id");
                    importMessage("[WARNING] effect %s: texture %s not found.", effectId,
                                      attrWord(texture, "texture").c_str());
                    importTextFree(effectId);
                    continue;
                }
                e.textured = true;
                e.texcoord = attrWord(texture, "texcoord");
                const ImageRec* r = slotGet<ImageRec>(&imageTable, image);
                char id[2048], path[PATH_CAPACITY];
                e.fileFound = resolveUrl(id, path, r->source) == 0;
                // One message per missing file, however many effects use it (kept here: a document
                // may name thousands, and the message list is searched linearly).
                const char* missing = path[0] ? path : r->id;
                if (!e.fileFound && fx.reported.insert(missing).second)
                    importMessage("[ERROR] image %s not found.", missing);
                e.file = path;
            }
        }
    }
    readOpacity(&e, transparent, transparency, scopes);
    return e;
}

// The <init_from> of an image: its text (earlier versions, and some writers of the later one) or
// its <ref>. Embedded pixels (<hex>, <data>) give no path.
void readImage(const xmlNode* element) {
    int32_t index = slotAdd(&imageTable, 1, -1);
    ImageRec* r = slotGet<ImageRec>(&imageTable, index);
    r->id = xmlAttrText(element, "id");
    r->name = xmlAttrText(element, "name");
    std::string source;
    if (const xmlNode* init = firstChild(element, "init_from")) {
        if (const xmlNode* ref = firstChild(init, "ref")) source = elementText(ref);
        else if (!firstChild(init, "hex")) source = elementText(init);
    }
    r->source = importTextCopy(source.c_str());
    registerId(&imageTable, r->id, index);
}

void readImagesIn(const xmlNode* parent) {
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (xmlIsElement(c, "image")) readImage(c);
}

// The effect a material instantiates, worked out (once per effect); null when there is none.
const EffectInfo* materialEffect(const xmlNode* material, char effectId[2048]) {
    effectId[0] = '\0';
    if (const xmlNode* instance = firstChild(material, "instance_effect")) {
        char* url = xmlAttrText(instance, "url");
        urlFragment(effectId, url);
        importTextFree(url);
    }
    auto found = fx.effects.find(effectId);
    if (found == fx.effects.end()) return nullptr;
    auto done = fx.done.find(found->second);
    if (done == fx.done.end()) done = fx.done.emplace(found->second, readEffect(found->second)).first;
    return &done->second;
}
}  // namespace

void readImages14(const xmlNode* root) {
    for (const xmlNode* library = root ? root->children : nullptr; library; library = library->next) {
        if (xmlIsElement(library, "library_images")) {
            readImagesIn(library);
        } else if (xmlIsElement(library, "library_effects")) {
            for (const xmlNode* effect = library->children; effect; effect = effect->next) {
                if (!xmlIsElement(effect, "effect")) continue;
                readImagesIn(effect);
                const xmlNode* profile = firstChild(effect, "profile_COMMON");
                readImagesIn(profile);
                readImagesIn(firstChild(profile, "technique"));
            }
        }
    }
}

void readMaterials14(const xmlNode* root) {
    fx.effects.clear();
    fx.done.clear();
    fx.inverted = false;
    fx.reported.clear();
    for (const xmlNode* library = root ? root->children : nullptr; library; library = library->next) {
        if (!xmlIsElement(library, "library_effects")) continue;
        for (const xmlNode* effect = library->children; effect; effect = effect->next)
            if (xmlIsElement(effect, "effect")) fx.effects.emplace(attrWord(effect, "id"), effect);
    }
    // Every effect in use is worked out first: how the document means <transparency> depends on all.
    char effectId[2048];
    for (const xmlNode* library = root ? root->children : nullptr; library; library = library->next)
        for (const xmlNode* c = xmlIsElement(library, "library_materials") ? library->children : nullptr; c;
             c = c->next)
            if (xmlIsElement(c, "material")) materialEffect(c, effectId);
    for (const auto& done : fx.done)
        if (done.second.hasOpacity && done.second.opacity <= 0.0f) fx.inverted = true;
    for (const xmlNode* library = root ? root->children : nullptr; library; library = library->next) {
        if (!xmlIsElement(library, "library_materials")) continue;
        for (const xmlNode* c = library->children; c; c = c->next) {
            if (!xmlIsElement(c, "material")) continue;
            int32_t index = addMaterialRecord(c);
            MaterialRec* m = slotGet<MaterialRec>(&materialRecTable, index);
            registerId(&materialRecTable, m->id, index);
            const EffectInfo* e = materialEffect(c, effectId);
            if (!e) {
                importMessage("[WARNING] material %s: effect %s not found.", m->id, effectId);
                continue;
            }
            std::memcpy(m->has, e->has, sizeof m->has);
            std::memcpy(m->ambient, e->ambient, sizeof m->ambient);
            std::memcpy(m->diffuse, e->diffuse, sizeof m->diffuse);
            std::memcpy(m->specular, e->specular, sizeof m->specular);
            std::memcpy(m->emission, e->emission, sizeof m->emission);
            m->shininess = e->shininess;
            applyOpacity(m, *e);
            if (e->textured) {
                m->textureCount = 1;
                m->textureUsage[0] = e->fileFound ? USAGE_DIFFUSE : USAGE_NONE;
                m->textureFile[0] = importTextCopy(e->file.c_str());
                m->texcoord = importTextCopy(e->texcoord.c_str());
            }
        }
    }
    fx.effects.clear();
    fx.done.clear();
    fx.reported.clear();
}
