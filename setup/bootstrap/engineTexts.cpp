#include "engineTexts.h"

#include "asciiText.h"
#include "textLines.h"

#include <array>
#include <utility>

namespace quillon {

namespace {

// Lines 91 to 111 of a block carry no text of the engine's and are skipped.
constexpr std::pair<int, const char*> Defaults[] = {
    {1,
     "Please install the common controls update from Microsoft before attempting to install this product."},
    {2, "Setup resource not found"},
    {3, "Setup resource decompression failure"},
    {4, "Setup database not found"},
    {5, "Runtime error in install: "},
    {6, "bytes"},
    {7, "KB"},
    {8, "MB"},
    {9, "Attempting to get value of undefined variable "},
    {10, "Attempting to set value of undefined variable "},
    {11, "Copying: "},
    {12, "Unable to copy installation data to local folders"},
    {13, "Downloading Web Media: "},
    {14, "Unable to download installation data from the web"},
    {15, "Extracting Web Media: "},
    {16, "Unable to extract installation data downloaded from the web"},
    {17, "Please locate your original setup sources to continue operation"},
    {18, "Original setup sources required to complete operation, sources not found"},
    {19, "General setup failure"},
    {20, "Runtime error in setup script:"},
    {21, "% complete"},
    {22, "bytes received"},
    {23, "Quillon Wizard"},
    {24, "Quillon is preparing the Quillon Wizard which will install this application. Please wait."},
    {25, "Retry Download?"},
    {26, "Downloading of installation data from the web has failed. Would you like to try again?"},
    {27, " Proxy Information (optional) "},
    {28, "Proxy &Server:"},
    {29, "Proxy &Port:"},
    {30, "If you choose No, setup will exit. However, you will be able to resume your download from where it "
         "left off when you re-run setup."},
    {31, "&Yes"},
    {32, "&No"},
    {33, "Retry Extraction?"},
    {34, "Extraction of installation data downloaded from the web has failed. What would you like to do?"},
    {35, "&Download a fresh copy of the installation data."},
    {36, "Try to &extract the existing download data again."},
    {37, "If you choose Cancel, setup will exit. Your existing download data will be preserved."},
    {38, "&OK"},
    {39, "&Cancel"},
    {40, "Are you sure you want to cancel?"},
    {41, "Proxy &User:"},
    {42, "Proxy Pass&word:"},
    {43, "Fatal Error"},
    {44, "Error"},
    {45, "Warning"},
    {46, "Message"},
    {47, "Files in Use"},
    {48, "Out of Disk Space"},
    {49, "Downloading of installation data from the web has failed. Please make sure you are connected to "
         "the Internet."},
    {50, "Would you like to:"},
    {51, "Try to &resume the broken download?"},
    {52, "Download a &new copy of the data instead?"},
    {53, "If you choose Cancel, setup will exit. However, you will be able to resume your download from "
         "where it left off when you re-run setup."},
    {54, ""},
    {55, "Locating resource"},
    {56, "Connecting to"},
    {57, "Redirecting to"},
    {58, "Beginning data transfer"},
    {59, "Transferring data"},
    {60, "Finishing data transfer"},
    {61, "Beginning component download"},
    {62, "Installing components"},
    {63, "Finishing component download"},
    {64, "Resuming broken download"},
    {65, "Requesting data"},
    {66, "CLASSID available"},
    {67, "Download data recognized"},
    {68, "Saving download information"},
    {69, "Beginning synchronous operation"},
    {70, "Finishing synchronous operation"},
    {71, "Beginning data upload"},
    {72, "Uploading data"},
    {73, "Finishing data upload"},
    {74, "Protocol CLASSID"},
    {75, "Encoding"},
    {76, "Download data recognized and verified"},
    {77, "Class install location"},
    {78, "Decoding"},
    {79, "Loading data handler"},
    {80, "Content disposition attach"},
    {81, "Download data filtered"},
    {82, "CLSID can instantiate"},
    {83, "COM services unavailable"},
    {84, "Direct bind"},
    {85, "Unrecognized download data"},
    {86, "Detecting proxy information"},
    {87, "Accept ranges"},
    {88, "A previously executed setup still has pending operations on the system. Please restart your "
         "computer before attempting to install this product."},
    {89, "Select Setup Language"},
    {90, "Please select the language to use during the installation:"},
    {112, "Unable to play Flash movie"},
    {113, "Will be &installed on local hard drive"},
    {114, "&Entire feature will be installed on local hard drive"},
    {115, "Entire feature will be &unavailable"},
};

bool isEngineTextLine(int id) {
    return (id >= 1 && id <= 90) || (id >= 112 && id <= EngineTextBlockLines);
}

struct TextTable {
    std::array<std::string, EngineTextBlockLines + 1> texts;
    TextTable() { reset(); }
    void reset() {
        for (auto& t : texts)
            t.clear();
        for (auto& [id, text] : Defaults)
            texts[id] = text;
    }
};

TextTable& table() {
    static TextTable instance;
    return instance;
}

void applyBlock(TextLines& lines) {
    for (int id = 1; id <= EngineTextBlockLines; ++id) {
        // Reading past the end yields empty lines.
        std::string line = lines.next().value_or("");
        if (isEngineTextLine(id)) table().texts[id] = std::move(line);
    }
}

} // namespace

const std::string& engineText(int id) {
    static const std::string none;
    return isEngineTextLine(id) ? table().texts[id] : none;
}

void resetEngineTexts() {
    table().reset();
}

void applyLanguageFile(std::string_view contents, std::string_view userLanguage) {
    TextLines lines(contents);
    applyBlock(lines);
    std::string wanted = asciiUppered(userLanguage);
    while (!lines.atEnd()) {
        std::string name = asciiUppered(lines.next().value_or(""));
        applyBlock(lines);
        if (name == wanted) break;
    }
}

} // namespace quillon
