#include "import/reader_effects.h"
void readImages14(const xmlNode*) {}
void readMaterials14(const xmlNode*) {}
