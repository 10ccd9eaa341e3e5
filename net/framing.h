// Message framing of the network layer, as pure functions on bytes. A message starts with its type
// byte; what follows depends on the type and, for some types, on length bytes inside the message.
// The receive steps read a message part by part, asking these functions how many bytes come next.
#pragma once
#include <cstdint>

enum { NET_MESSAGE_CAPACITY = 256 };  // receive areas hold the last complete message
enum { NET_SIDE_SERVER = 0, NET_SIDE_CLIENT = 1 };

// Bytes the next part of a server-side message needs, given the first `have` bytes (have >= 1, the
// type byte first): > 0 more bytes, 0 when the message is complete, -1 when it is malformed (unknown
// type, a length byte outside 1 ... 31).
int32_t serverFrameNext(const uint8_t* message, int32_t have);
// The same for the client side. lengthTable gives the total length (type byte included) of types
// 0x20 ... 0x3F; a type whose length is below 1 is unknown.
int32_t clientFrameNext(const uint8_t* message, int32_t have, const uint8_t lengthTable[256]);
// Dispatches to one of the two by side (NET_SIDE_*).
int32_t frameNext(int32_t side, const uint8_t* message, int32_t have, const uint8_t lengthTable[256]);
