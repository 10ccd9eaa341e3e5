// Reading a COLLADA document as a stream: libxml2's push parser takes the file a piece at a time;
// every child of the root it has finished (inside a geometry library, every geometry) goes to the
// reader of the document's profile and is freed, so that the memory a document takes follows its
// largest element, not the whole file. An early document's <p> lists are read straight from the
// parser's callbacks, without building their elements.
#pragma once
#include <cstdint>

// Reads the file at path (data null) or the bytes into the workspace, which the caller has started.
// On success the messages are "Open %s." (shownName) and then what the reading said, and the
// result is 0; a document that is missing, unreadable, not well-formed XML, declares entities or is
// no COLLADA document gives only the message that says so, and -1 (whatever was read is then
// worthless: the caller frees the workspace).
int32_t readDocument(const char* path, const uint8_t* data, int64_t size, const char* shownName);
