// Images, effects and materials of COLLADA 1.4 and 1.5 documents, read into the workspace's image
// and material records: a material takes the colours of the profile_COMMON technique of the effect
// it instantiates, and its diffuse texture as the image file the effect's sampler leads to.
#pragma once
#include <libxml/tree.h>

// Reads every <image> of every library_images of the document into image records.
void readImages14(const xmlNode* root);
// Reads every <material> of every library_materials into a material record, its effect looked up
// among the document's library_effects (the libraries may come in any order). Unresolved
// references leave the material with default colours and say so in the import's messages.
void readMaterials14(const xmlNode* root);
