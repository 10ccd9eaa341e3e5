// The network layer's two settings files in the data directory: the server configuration
// (nsconfig.stf) and the client's server list (nsstatus.stf, a slot table of 36-byte entries).
#pragma once
#include <cstdint>

#include "system/slot_table.h"

enum { SERVER_CONFIG_BYTES = 34, SERVER_LIST_ENTRY_BYTES = 36, NET_ADDRESS_BYTES = 32 };

// nsconfig.stf: a 32-byte NUL-terminated text (kept, not used by the server), then the uint16 port.
struct ServerConfig {
    char text[NET_ADDRESS_BYTES];
    uint16_t port;
};

// One record of nsstatus.stf: dotted IPv4 address text, port, and the kind (0, 1 or 2) that decides
// in which pass the clients try it.
struct ServerListEntry {
    char address[NET_ADDRESS_BYTES];  // always NUL-terminated once decoded
    uint16_t port;
    uint8_t kind;
};

// Reads nsconfig.stf from the data directory: 0, or -1 when it is missing or shorter than 34 bytes.
int32_t serverConfigLoad(ServerConfig* config);
// Writes the 34 bytes of the record to nsconfig.stf. 0 or -1.
int32_t serverConfigSave(const ServerConfig* config);

// An empty server list (slot units of 36 bytes).
void serverListInit(SlotTable* list);
// Loads nsstatus.stf into an empty list; -1 when the file cannot be read or is damaged (the records
// before the damage stay loaded).
int32_t serverListLoad(SlotTable* list);
// Writes the list to nsstatus.stf. 0 or -1.
int32_t serverListSave(const SlotTable* list);
// Overwrites the entry with the same address text and port, or takes the first free slot; returns
// the slot index.
int32_t serverListAdd(SlotTable* list, const ServerListEntry* entry);
// Decodes the entry in slot index: false when the slot is not in use. The address is cut at its
// 32nd byte.
bool serverListEntry(const SlotTable* list, int32_t index, ServerListEntry* out);
