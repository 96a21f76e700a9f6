#include "scriptCompiler.h"

#include "bootstrap/asciiText.h"
#include "script/mEval.h"
#include "script/parameterConventions.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace quillon {

namespace {

const char* const CompiledNames[] = {
    "KWIB_COMPRESSCACHE",
    "KWIB_DISABLEROLLBACK",
    "KWIB_DISABLEVISTARESTARTMANAGER",
    "IISHOST",
    "OVERRIDECACHE",
    "KWIBLOGO",
    "TIME",
    "DATE",
    "NEWINSTANCE",
    "SELECTED",
    "WINDOWHANDLE",
    "EXEDIR",
    "EXEFILE",
    "UNINSTALLLINK",
    "ENGINECACHE",
    "COPYWEBLOCK",
    "ABORT",
    "SILENT",
    "LOGGED",
    "CMDLINE",
    "REBOOTNOW",
    "SFXPATH",
    "SFXFILE",
    "LASTERROR",
    "PROGRESSMODE",
    "PROGRESSTEXT",
    "PROGRESS",
    "LICENSE",
    "USERNAME",
    "USERCOMPANY",
    "REBOOTCOMPUTER",
    "RUNAPP",
    "WIZARD",
    "VERSION",
    "TARGETDIR",
    "STARTMENU",
    "ADVERTISE",
    "ALLUSERS",
    "COMPLETE",
    "MINIMUM",
    "PERSONALIZED",
    "MODIFY",
    "REPAIR",
    "REMOVE",
    "DATADIR",
    "PRODUCTCODE",
    "REVISIONCODE",
    "ROOTDIR",
    "MAINTENANCE",
    "NEWLINE",
    "NEEDSUPGRADE",
    "TITLE",
    "COMPANY",
    "TEMPDIR",
    "SUPPORTDIR",
    "MSIFILE",
    "LANGUAGE",
};

// The parameters whose raw text names a variable the command writes.
const std::map<std::string_view, std::vector<size_t>> OutputParameters = {
    {"Get Folder Location", {1}},
    {"Mathematics", {4}},
    {"Get INI File Settings", {1}},
    {"Extract 7Zip Archive", {3}},
    {"Run Light Mode Setup", {2}},
    {"Read from Text File", {2, 3}},
    {"Parse String", {3, 4}},
    {"Check File Version", {1}},
    {"Get System Settings", {1}},
    {"Get OS or SP Level", {1}},
    {"Read Registry", {1}},
    {"Check Registry", {1}},
    {"Does File/Folder Exist", {1}},
    {"Run Program", {5}},
    {"Run Program As", {8}},
    {"Localization Variable", {1}},
    {"Get Temporary File", {1}},
    {"Get IIS Property", {1}},
    {"Get File Version", {2}},
    {"Get Environment", {2}},
    {"Get IIS Site Index", {2}},
    {"Get IIS Site List", {1}},
    {"MessageBox", {5}},
    {"Check Service", {3}},
    {"Check Process", {2}},
    {"Register Library", {3}},
    {"Apply Changes", {2}},
    {"Apply Patch", {1}},
    {"Get Component State", {2}},
    {"Get Component Space", {2}},
    {"IIS Anonymous User", {1}},
};

// Commands whose parameter 1 names a variable that must already exist.
const std::string_view ReadsNamedVariable[] = {"Convert Path", "Convert Case", "Extract Path",
                                               "Replace String"};

// Commands whose output variable may be written $NAME$ (besides Set Variable): the name between the
// dollars is the one they write when they run, so that is the one defined.
const std::string_view DollarFormOutputs[] = {"Localization Variable", "Get Temporary File", "Get Environment"};

// Commands whose output variable must be named: (command, parameter).
const std::map<std::string_view, size_t> RequiredOutput = {
    {"Is MSI Setup Installed", 2}, {"Find All Files", 4}, {"Check Disk Space", 1}};

constexpr std::string_view SavedWithInstance = "$KWIB$KWIB$";

bool isLegalFileName(std::string_view name) {
    size_t cut = name.find_last_of("\\:");
    std::string_view file = cut == std::string_view::npos ? name : name.substr(cut + 1);
    return file.find_first_of("/*?\"<>|") == std::string_view::npos;
}

class Compiler {
  public:
    Compiler(const ScriptModel& script, TVariableManager& store, const AssignmentRules& rules,
             std::vector<std::string>& labels)
        : script_(script), store_(store), rules_(rules), labels_(labels) {}

    CompileResult run() {
        labels_.clear();
        store_.clear();
        for (const char* name : CompiledNames)
            assignVariable(store_, rules_, name, "",
                           std::string_view(name) == "PROGRESSMODE" ? "Initialization" : "Compilation");
        if (!checkBlocks() || !collectLabels()) return result_;
        defineSavedVariables();
        if (checkCommands()) checkWizardLoops();
        return result_;
    }

  private:
    const std::string& p(size_t command, size_t n) const { return script_.parameter(command, n); }

    bool fail(size_t command, std::string message) {
        result_.result = static_cast<long long>(command);
        result_.message = std::move(message);
        return false;
    }

    void define(const std::string& name) {
        if (!name.empty()) assignVariable(store_, rules_, asciiUppered(name), "", "Compilation");
    }

    // A variable written as $NAME$ or as the bare name.
    bool known(const std::string& written) const {
        std::string name = nameOfReference(written);
        return store_.exists(name.empty() ? written : name);
    }

    bool checkBlocks() {
        long openers = 0, ends = 0, depth = 0;
        for (size_t i = 0; i < script_.size(); ++i) {
            if (script_.disabled(i)) continue;
            const std::string& name = script_.name(i);
            if (name == "If" || name == "Wizard Loop")
                ++openers, ++depth;
            else if (name == "End")
                ++ends, --depth;
            else if (name == "Label" && depth != 0)
                return fail(i, "LABEL statements cannot be nested inside loops/conditionals");
        }
        if (openers == ends) return true;
        result_.result = CompileResult::BlockMismatch;
        result_.message = ends < openers ? "Insufficient END statements" : "Too many END statements";
        return false;
    }

    bool collectLabels() {
        for (size_t i = 0; i < script_.size(); ++i) {
            if (script_.name(i) != "Label") continue;
            std::string label = asciiUppered(p(i, 1));
            if (std::find(labels_.begin(), labels_.end(), label) != labels_.end())
                return fail(i, "LABEL re-defined: " + p(i, 1));
            labels_.push_back(label);
        }
        return true;
    }

    // A Set Variable that saves its variable with the instance makes it known to the whole script.
    void defineSavedVariables() {
        for (size_t i = 0; i < script_.size(); ++i) {
            if (script_.name(i) != "Set Variable") continue;
            const std::string& target = p(i, 1);
            size_t marker = target.find(SavedWithInstance);
            if (marker == std::string::npos) continue;
            std::string name = nameWithOptionalDollars(target.substr(0, marker));
            if (target.substr(marker + SavedWithInstance.size()) == "TRUE" && !store_.exists(name))
                define(name);
        }
    }

    bool checkCommands() {
        for (size_t i = 0; i < script_.size(); ++i)
            if (!script_.disabled(i) && !checkCommand(i)) return false;
        return true;
    }

    bool checkCommand(size_t i) {
        const std::string& name = script_.name(i);
        if (name == "Web Media Block") {
            if (!p(i, 1).empty() && p(i, 2).empty())
                return fail(i, "Web Media Block must have at least one download URL");
            if (!isLegalFileName(p(i, 1))) return fail(i, "Web Media Block name must be a legal file name");
        } else if (name == "Delete Files") {
            if (!truthOf(p(i, 3)) && !truthOf(p(i, 4)))
                return fail(i, "At least one delete mode must be selected");
        } else if (name == "Install Files") {
            if (p(i, 3).empty())
                return fail(i, "A target folder must be specified for files that are being installed.\r"
                               "The value $TARGETDIR$ represents the destination folder chosen by the user.");
        } else if (std::find(std::begin(ReadsNamedVariable), std::end(ReadsNamedVariable), name) !=
                   std::end(ReadsNamedVariable)) {
            // Replace String also takes the $NAME$ form, as it does when it runs.
            bool found = name == "Replace String" ? known(p(i, 1)) : store_.exists(p(i, 1));
            if (!found) return fail(i, "Variable not defined: " + p(i, 1));
        } else if (name == "GoTo Label") {
            if (std::find(labels_.begin(), labels_.end(), asciiUppered(p(i, 1))) == labels_.end())
                return fail(i, "LABEL undefined: " + p(i, 1));
        } else if (name == "If" || name == "Else If") {
            if (p(i, 1).empty()) return fail(i, "Variable required");
            if (!nameOfReference(p(i, 3)).empty() && !known(p(i, 3)))
                return fail(i, "Variable not defined: " + p(i, 3));
            if (!known(p(i, 1))) return fail(i, "Variable not defined: " + p(i, 1));
        } else if (name == "Display Dialog") {
            if (p(i, 1).empty()) return fail(i, "Dialog name not specified");
            define(p(i, 2));
            if (!p(i, 4).empty() && !known(p(i, 4))) return fail(i, "Variable not defined: " + p(i, 4));
        } else if (name == "Evaluate Expression") {
            define(p(i, 2));
            if (!expressionSyntaxAccepted(p(i, 1)))
                return fail(
                    i, "Syntax error in expression. Please review the help topic \"Evaluate Expression\" "
                       "for the correct syntax.");
        } else if (auto required = RequiredOutput.find(name); required != RequiredOutput.end()) {
            if (p(i, required->second).empty()) return fail(i, "Variable required");
            define(p(i, required->second));
        } else if (name == "Set Variable") {
            const std::string& target = p(i, 1);
            define(nameWithOptionalDollars(target.substr(0, target.find(SavedWithInstance))));
        } else if (auto outputs = OutputParameters.find(name); outputs != OutputParameters.end()) {
            bool dollarForm = std::find(std::begin(DollarFormOutputs), std::end(DollarFormOutputs), name) !=
                              std::end(DollarFormOutputs);
            for (size_t n : outputs->second)
                define(dollarForm ? nameWithOptionalDollars(p(i, n)) : p(i, n));
        }
        return true;
    }

    void checkWizardLoops() {
        bool inLoop = false;
        for (size_t i = 0; i < script_.size(); ++i) {
            if (script_.disabled(i)) continue;
            const std::string& name = script_.name(i);
            if (name == "Wizard Loop") {
                inLoop = true;
            } else if (name == "End") {
                inLoop = false;
            } else if (inLoop && name != "Display Dialog" && name != "Comment" && name != "Ignore") {
                fail(i, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP");
                return;
            }
        }
    }

    const ScriptModel& script_;
    TVariableManager& store_;
    const AssignmentRules& rules_;
    std::vector<std::string>& labels_;
    CompileResult result_;
};

} // namespace

CompileResult compileScript(const ScriptModel& script, TVariableManager& store, const AssignmentRules& rules,
                            std::vector<std::string>& labels) {
    return Compiler(script, store, rules, labels).run();
}

} // namespace quillon
