// The builder: validated workspace records become the object model's objects, meshes and nodes
// under a single root, whichever reader filled them.
#pragma once
#include <cstdint>

// Cuts every primitive into triangles, makes the objects, the nodes and their transforms, turns
// the model so that its up axis (upOverride 'X', 'Y' or 'Z', else the document's) becomes +Z, and
// returns the root node (-1 when the document holds no node). Nodes the links leave outside the
// root's tree are destroyed.
int32_t buildScene(const char* textureDirectory, char upOverride);
// At most this many nodes are built for one document; instance_node repeats beyond are left out
// with a message, so that nested instances cannot multiply without bound.
enum : int32_t { BUILD_MAX_NODES = 250000 };
// The name (else the id) a node of the last build had in the document; "" for other nodes.
const char* builtNodeName(int32_t node);
// Forgets the names of the last build.
void builtNamesClear();
