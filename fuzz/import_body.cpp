// Imports arbitrary bytes as a COLLADA document held in memory, then releases everything it made.
#include "fuzz/fuzz_target.h"
#include "fuzz/import_once.h"

VCV_FUZZ_TARGET(import) { return importOnce(data, size, "vcv_fuzz_import"); }
