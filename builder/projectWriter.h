// The way back from a manifest to project text, for `builder dump`: the text parses to the same
// manifest, so dumping a setup and building the dump gives the same manifest bytes.
#pragma once

#include "bootstrap/setupManifest.h"

#include <string>
#include <string_view>

namespace quillon::builder {

// `name` becomes the name setting. Lists the script form cannot carry (a key list that does not match
// the commands, a parameter store that is not each key followed by its parameters, ...) are written
// raw in their own sections.
std::string writeProjectText(const SetupManifest& manifest, std::string_view name);

} // namespace quillon::builder
