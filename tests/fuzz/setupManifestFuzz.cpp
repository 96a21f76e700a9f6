// Any bytes read as a setup manifest: the reader must end, and a complete manifest must survive
// writing and reading again unchanged.
#include "bootstrap/setupManifest.h"

#include <cstdint>
#include <cstdlib>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    readSetupManifest(input); // the engine's way, with "$DOLLAR$" lines decoded
    ManifestReadResult read = readSetupManifest(input, {.decodeDollarLines = false});
    if (!read.complete) return 0;
    std::string written = writeSetupManifest(read.manifest);
    ManifestReadResult again = readSetupManifest(written, {.decodeDollarLines = false});
    if (!again.complete || writeSetupManifest(again.manifest) != written) std::abort();
    return 0;
}
