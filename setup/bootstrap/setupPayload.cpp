#include "setupPayload.h"

#include "bootstrap/engineState.h"
#include "bootstrap/engineTexts.h"
#include "bootstrap/peImage.h"
#include "bootstrap/supportFolder.h"
#include "bootstrap/traceLog.h"
#include "bootstrap/winFiles.h"
#include "media/uSevenZipAPI.h"

namespace quillon {

namespace {

uint64_t imageEndOf(const std::string& path) {
    std::string headers = readFileRange(path, 0, 4096);
    auto end = peImageEnd(headers);
    if (!end) throw std::runtime_error(path + " is not a Windows program file");
    return *end;
}

} // namespace

std::string appendedDataOf(const std::string& imagePath) {
    uint64_t size = fileSize(imagePath), end = imageEndOf(imagePath);
    return size > end ? readFileRange(imagePath, end, size - end) : std::string();
}

void readSetupManifestFromEngine() {
    EngineState& e = engine();
    trace("    <StubSize>");
    std::string self = modulePath(nullptr);
    uint64_t size = fileSize(self), end = imageEndOf(self);
    if (size <= end) throw StartupExit(ExitNoManifest, "For internal use only");
    trace("    </StubSize>");
    trace("    <StubData>");
    // The manifest is parsed straight from the engine file; no temporary copy is needed.
    std::string data = readFileRange(self, end, size - end);
    trace("    </StubData>");
    trace("    <GlobalLists>");
    e.manifest = std::make_unique<SetupManifest>(readSetupManifest(data).manifest);
    e.parameterStores = {&e.manifest->parameterStore};
    trace("    </GlobalLists>");
}

void createSupportFolder() {
    EngineState& e = engine();
    trace("    <SupportDir>");
    e.supportFolder = chooseSupportFolder(e.tempFolder);
    createFolderTree(e.supportFolder);
    trace("    </SupportDir>");
}

void extractSetupResource() {
    EngineState& e = engine();
    trace("    <ExtractArchive>");
    if (!fileExists(e.resourcePath))
        throw StartupExit(ExitNoSetupResource, engineText(EngineText::SetupResourceNotFound));
    std::string error;
    if (!SevenZipExtract(e.resourcePath, "", e.supportFolder, true, true, error))
        throw StartupExit(ExitResourceDecompression,
                          engineText(EngineText::SetupResourceDecompressionFailure));
    trace("    </ExtractArchive>");
}

void copySetupDatabase() {
    EngineState& e = engine();
    trace("    <ExtractResource>");
    std::string source = e.exeFolder + e.exeName;
    if (!fileExists(source + ".msi") && !fileExists(source + ".msp"))
        throw StartupExit(ExitNoSetupDatabase, engineText(EngineText::SetupDatabaseNotFound));
    trace("    </ExtractResource>");
    trace("    <ResourcePath>");
    for (const char* extension : {".msi", ".msp"}) {
        std::string from = source + extension, to = e.supportFolder + e.exeName + extension;
        if (!fileExists(from)) continue;
        if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
            throw WindowsError("Cannot copy " + from + " to " + to, GetLastError());
        // The copy is edited at run time, also when the source medium is read-only.
        SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    trace("    </ResourcePath>");
}

} // namespace quillon
