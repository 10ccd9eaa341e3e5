// Putting meshes on screen: on its first draw a mesh's separate arrays are interleaved into one
// vertex store, in GL buffer objects when the driver offers them or in client memory otherwise;
// every draw sets the material and draws indexed triangles from that store.
#pragma once
#include <cstdint>

struct Mesh;

// Interleaves the arrays (position, normal, texture sets, colour) into buffer objects
// (BUFFER_VBO, indices moved too) or client memory (BUFFER_ARRAY, indices kept) and frees the
// separate arrays. Indices outside the vertex range become 0, so no draw reads past the store.
// A buffer object that cannot be mapped is given up and the mesh built in client memory instead.
void mesh_build_buffers(Mesh* mesh);
// The reverse: fresh separate arrays (and indices in BUFFER_VBO mode) filled from the store, the
// store deleted, bufferMode back to BUFFER_NONE. Nothing happens in BUFFER_NONE mode.
void mesh_release_buffers(Mesh* mesh);
// For a mesh about to be deleted: the store is deleted without reading it back (the separate arrays
// stay null) and bufferMode is back to BUFFER_NONE. Nothing happens in BUFFER_NONE mode.
void mesh_drop_buffers(Mesh* mesh);
// Draws the meshes of the object that belong to the pass (PASS_OPAQUE or PASS_TRANSPARENT), with
// the node's transform already on the modelview matrix. Meshes without positions, vertices or
// indices are skipped. With renderWireframe the triangles' edges are drawn instead of their faces.
void render_object(int32_t object, int32_t pass);
// Material colours, lighting, texturing, face culling and alpha test of a mesh.
void render_material(const Mesh* mesh);
// How a textured material binds its texture (set, id); the texture manager, which sits above the
// renderer, installs it at its start-up. Without one, textured meshes draw with whatever is bound.
void render_set_texture_bind_hook(void (*bind)(int32_t set, int32_t id));
