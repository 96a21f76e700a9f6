// The setup manifest: the CR LF text appended to the engine file that carries the install script and
// the product's settings. Portable: the engine reads it, the builder writes and dumps it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

using StringList = std::vector<std::string>;

struct SetupManifest {
    StringList commands;             // 1: one command name per command
    StringList keys;                 // 2: one key per command
    StringList parameterStore;       // 3: each key line followed by that command's parameters
    StringList disabledFlags;        // 4: "C" marks a disabled command
    std::string productCode;         // 5
    std::string title;               // 6
    StringList pluginCommands;       // 7
    std::string publisher;           // 8
    std::string contact;             // 9
    std::string helpLink;            // 10
    std::string updateLink;          // 11
    std::string comments;            // 12
    std::string version;             // 13
    StringList webMedia;             // 14: pairs (block name, value)
    StringList mediaFolders;         // 15: one relative folder per command
    std::string buildKindLine = "1"; // 16: read as a number from the start of the line
    StringList componentSizes;       // 17: pairs (component name, size)
    std::string revisionCode;        // 18
    StringList mediaFiles;           // 19: triples (media name, file path, folder path)
    std::string askForLanguage;      // 20: "TRUE" asks at start
    std::string defaultLanguage;     // 21
    StringList commandHeaders;       // 22: pairs (header code, zero-based command position)
    StringList buildSettings;        // 23: pairs (NAME, VALUE)

    int buildKind() const;
};

struct ManifestReadOptions {
    // The engine turns the parameter lines "$DOLLAR$" and "$WILD_DOLLAR$" back into "$"; a dump keeps
    // them as stored so that it can be rebuilt byte for byte.
    bool decodeDollarLines = true;
};

struct ManifestReadResult {
    SetupManifest manifest;
    // False when the data ended before the last field was complete. The fields read so far are kept,
    // an unfinished list ends at the end of the data and the fields after it are empty.
    bool complete = true;
};

// Reads the 23 fields in order. Lines end with CR LF (a lone LF or CR also ends a line); nothing after
// the last field is read.
ManifestReadResult readSetupManifest(std::string_view data, ManifestReadOptions options = {});

class ManifestError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Writes the manifest in the form readSetupManifest reads. Throws ManifestError for content the form
// cannot carry: a line break inside an item, or a list item that is exactly "$" (it would end the list;
// parameter lines must be encoded with encodeParameterLine first).
std::string writeSetupManifest(const SetupManifest& manifest);

// The line under which a parameter value is stored: "$" becomes "$DOLLAR$", anything else is unchanged.
std::string encodeParameterLine(std::string_view value);

// The parameter lines "$DOLLAR$" and "$WILD_DOLLAR$" (letter case ignored) stand for "$".
bool isDollarLine(std::string_view line);

} // namespace quillon
