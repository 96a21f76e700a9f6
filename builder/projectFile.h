// The project file setup.qsc: the setup's settings, its lists and its script in an editable text form,
// read into the manifest the engine carries plus the files the build assembles. builder/README.md
// describes the form.
#pragma once

#include "bootstrap/setupManifest.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::builder {

inline constexpr const char* projectFileName = "setup.qsc";

// A fault in a project, located: what() is "FILE:LINE: message".
class ProjectError : public std::runtime_error {
  public:
    ProjectError(const std::string& file, int line, const std::string& message);
};

// A file or folder the project names, relative to the project folder. `line` is where it was named,
// or the [setup] line when the default applies, so that a missing file is reported there.
struct ProjectPath {
    std::string path; // empty for "none"
    int line = 1;
};

struct Project {
    std::string fileName; // as errors name it
    std::string name = "setup";
    SetupManifest manifest;
    ProjectPath supportFiles{"files"};
    ProjectPath database{"product.wxs"};
    ProjectPath databasePatch;
    ProjectPath languageFile;
    // "FILE:LINE: warning: ..." for what builds but would not run as written.
    std::vector<std::string> warnings;

    ProjectError error(const ProjectPath& at, const std::string& message) const {
        return ProjectError(fileName, at.line, message);
    }
};

// Throws ProjectError for the first fault. `fileName` only names the file in messages.
Project parseProject(std::string_view text, const std::string& fileName);

} // namespace quillon::builder
