// Parses arbitrary bytes as a language file, then sorts the entries: every entry must stay readable
// and lie inside the input.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "strings/string_table.h"
#include "strings/text.h"

VCV_FUZZ_TARGET(string_table) {
    if (size > (1u << 20)) return 0;
    stringsInit();
    int32_t table = stringTableCreate(-1);
    stringTableParse((const char*)data, (int32_t)size, table);
    int32_t count = stringTableCount(table);
    size_t total = 0;
    for (int32_t i = 0; i < count; i++) total += std::strlen(stringTableText(table, i));
    if (total > size) std::abort();
    int32_t sorted = stringTableSorted(table);
    if (stringTableCount(sorted) != count) std::abort();
    for (int32_t i = 1; i < count; i++)
        if (textCompareNoCase(stringTableText(sorted, i - 1), stringTableText(sorted, i)) > 0) std::abort();
    stringsShutdown();
    return 0;
}
