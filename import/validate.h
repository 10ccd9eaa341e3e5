// The validation pass between reading and building: every reference and index the readers stored
// is checked once here, so that the builder works on records that hold together.
#pragma once

// Resolves each primitive's inputs into its sources (a VERTEX input through its <vertices>), marks
// the polygons, strips and fans whose vertex groups are cut short or name elements outside their
// sources (counted for the import report), and resolves each node instance's target and material
// bindings. What cannot be resolved is said in the import's messages (later profiles; the early
// profile keeps its quiet rules) and left at -1.
void validateWorkspace();
