// The manifest's single-line fields as the project file names them, shared by the reader and the
// writer of project files so that the two never disagree.
#pragma once

#include "bootstrap/setupManifest.h"

#include <string>

namespace quillon {

struct ManifestSetting {
    const char* name;
    std::string SetupManifest::*field;
};

inline constexpr ManifestSetting ManifestSettings[] = {
    {"title", &SetupManifest::title},
    {"product-code", &SetupManifest::productCode},
    {"revision-code", &SetupManifest::revisionCode},
    {"publisher", &SetupManifest::publisher},
    {"contact", &SetupManifest::contact},
    {"help-link", &SetupManifest::helpLink},
    {"update-link", &SetupManifest::updateLink},
    {"comments", &SetupManifest::comments},
    {"version", &SetupManifest::version},
    {"build-kind", &SetupManifest::buildKindLine},
    {"ask-language", &SetupManifest::askForLanguage},
    {"default-language", &SetupManifest::defaultLanguage},
};

} // namespace quillon
