// Reading a COLLADA document as a stream: libxml2's reader builds one child of the root at a time
// (inside a geometry library, one geometry at a time), hands it to the reader of the document's
// profile and frees it, so that the memory a document takes follows its largest element, not the
// whole file.
#pragma once
#include <cstdint>

// Reads the file at path (data null) or the bytes into the workspace, which the caller has started.
// On success the messages are "Open %s." (shownName) and then what the reading said, and the
// result is 0; a document that is missing, unreadable, not well-formed XML, declares entities or is
// no COLLADA document gives only the message that says so, and -1 (whatever was read is then
// worthless: the caller frees the workspace).
int32_t readDocument(const char* path, const uint8_t* data, int64_t size, const char* shownName);
// Test hook: 1 makes readDocument build the whole tree first and read it afterwards, the way the
// importer once worked; 0 (the default) streams.
void readDocumentWhole(bool whole);
