#include "net/settings.h"

#include <cstring>

#include "strings/text.h"
#include "system/files.h"
#include "system/memory.h"

namespace {
static const char* const kModule = "vornet_1_11";
const char* const kConfigFile = "nsconfig.stf";
const char* const kServerListFile = "nsstatus.stf";

void encodeEntry(const ServerListEntry* entry, uint8_t* out) {
    std::memset(out, 0, SERVER_LIST_ENTRY_BYTES);
    textCopy((char*)out, entry->address, NET_ADDRESS_BYTES);
    out[32] = (uint8_t)(entry->port & 0xFF);
    out[33] = (uint8_t)(entry->port >> 8);
    out[34] = entry->kind;
}
}  // namespace

int32_t serverConfigLoad(ServerConfig* config) {
    uint8_t* bytes = nullptr;
    int32_t size = 0;
    if (readWholeFile(kConfigFile, dataDirectory, &bytes, &size) != 0) return -1;
    int32_t status = -1;
    if (size >= SERVER_CONFIG_BYTES) {
        std::memcpy(config->text, bytes, NET_ADDRESS_BYTES);
        config->text[NET_ADDRESS_BYTES - 1] = '\0';
        config->port = (uint16_t)(bytes[32] | bytes[33] << 8);
        status = 0;
    }
    MEM_FREE(bytes);
    return status;
}

int32_t serverConfigSave(const ServerConfig* config) {
    uint8_t bytes[SERVER_CONFIG_BYTES] = {};
    textCopy((char*)bytes, config->text, NET_ADDRESS_BYTES);
    bytes[32] = (uint8_t)(config->port & 0xFF);
    bytes[33] = (uint8_t)(config->port >> 8);
    return writeWholeFile(kConfigFile, dataDirectory, bytes, SERVER_CONFIG_BYTES);
}

void serverListInit(SlotTable* list) {
    *list = SlotTable{};
    slotInit(list, 4, SERVER_LIST_ENTRY_BYTES);
}

int32_t serverListLoad(SlotTable* list) { return slotLoad(kServerListFile, dataDirectory, list); }

int32_t serverListSave(const SlotTable* list) { return slotSave(kServerListFile, dataDirectory, list); }

int32_t serverListAdd(SlotTable* list, const ServerListEntry* entry) {
    uint8_t bytes[SERVER_LIST_ENTRY_BYTES];
    encodeEntry(entry, bytes);
    int32_t index = -1;
    ServerListEntry existing;
    for (int32_t i = 0; i < list->capacity && index == -1; i++)
        if (serverListEntry(list, i, &existing) && existing.port == entry->port &&
            std::strcmp(existing.address, entry->address) == 0)
            index = i;
    if (index == -1) index = slotAdd(list, 1, -1);
    if (index == -1) return -1;
    std::memcpy(slotData(list, index), bytes, SERVER_LIST_ENTRY_BYTES);
    return index;
}

bool serverListEntry(const SlotTable* list, int32_t index, ServerListEntry* out) {
    const uint8_t* bytes = (const uint8_t*)slotData(list, index);
    if (bytes == nullptr) return false;
    // The file's text need not be terminated: it ends at its 32nd byte whatever it holds.
    std::memcpy(out->address, bytes, NET_ADDRESS_BYTES);
    out->address[NET_ADDRESS_BYTES - 1] = '\0';
    out->port = (uint16_t)(bytes[32] | bytes[33] << 8);
    out->kind = bytes[34];
    return true;
}
