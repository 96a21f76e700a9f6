// Any text as a project file: the parser either reports a located error or gives a manifest that the
// writer can carry, and whose project text (as dumped) parses back to the same manifest. The input is
// also tried as a manifest, as `builder dump` would meet it.
#include "bootstrap/setupManifest.h"
#include "projectFile.h"
#include "projectWriter.h"

#include <cstdint>
#include <cstdlib>

using namespace quillon;
using namespace quillon::builder;

namespace {

void checkDumpOf(const SetupManifest& manifest, const std::string& name) {
    std::string bytes = writeSetupManifest(manifest);
    std::string text = writeProjectText(manifest, name);
    try {
        if (writeSetupManifest(parseProject(text, "dump").manifest) != bytes) std::abort();
    } catch (const ProjectError&) {
        // Some manifests have no project form (a product code that is no GUID); dump reports those.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    ManifestReadResult read = readSetupManifest(input, {.decodeDollarLines = false});
    if (read.complete) checkDumpOf(read.manifest, "setup");

    Project project;
    try {
        project = parseProject(input, "fuzz");
    } catch (const ProjectError&) {
        return 0;
    }
    std::string bytes = writeSetupManifest(project.manifest);
    // What the parser accepts, the dump must give back exactly: here a failure to parse is a fault too.
    if (writeSetupManifest(parseProject(writeProjectText(project.manifest, project.name), "dump").manifest) !=
        bytes)
        std::abort();
    return 0;
}
