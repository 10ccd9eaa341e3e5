// Imports arbitrary bytes as a COLLADA 1.4 / 1.5 document held in memory, then releases everything
// it made. The seeds are later-profile documents; the input's length picks the up-axis override, so
// every turn of the model runs without spending a byte of the document on it.
#include "fuzz/fuzz_target.h"
#include "fuzz/import_once.h"

VCV_FUZZ_TARGET(import14) {
    static const char kAxes[4] = {0, 'X', 'Y', 'Z'};
    importSetUpOverride(kAxes[size % 4]);
    int result = importOnce(data, size, "vcv_fuzz_import14");
    importSetUpOverride(0);
    return result;
}
