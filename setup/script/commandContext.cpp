#include "commandContext.h"

#include "bootstrap/asciiText.h"
#include "installer/pendingProperties.h"
#include "script/parameterConventions.h"
#include "script/scriptInterpreter.h"

namespace quillon {

CommandContext::CommandContext(ScriptInterpreter& interpreter, size_t position)
    : interpreter_(interpreter), position_(position) {}

TVariableManager& CommandContext::variables() const {
    return interpreter_.variables();
}

const std::string& CommandContext::name() const {
    return interpreter_.script().name(position_);
}

const std::string& CommandContext::raw(size_t n) const {
    return interpreter_.script().parameter(position_, n);
}

std::string CommandContext::substituted(size_t n) const {
    return variables().substitute(raw(n));
}

std::string CommandContext::pathText(size_t n) const {
    return pathTextOf(substituted(n));
}

bool CommandContext::boolean(size_t n) const {
    return truthOf(raw(n));
}

int32_t CommandContext::integer(size_t n) const {
    return integerOf(raw(n));
}

int64_t CommandContext::integer64(size_t n) const {
    return integer64Of(raw(n));
}

std::string CommandContext::localizable(std::string_view text, size_t index) const {
    std::string value(text);
    if (valueOrEmpty("LANGUAGE").empty()) return value;
    return interpreter_.host().translate(value, raw(0), index);
}

std::string CommandContext::valueOrEmpty(std::string_view name) const {
    return variables().valueOf(name);
}

std::string CommandContext::variablePathText(std::string_view name) const {
    return pathTextOf(variables().substitute(valueOrEmpty(name)));
}

void CommandContext::createIfAbsent(std::string_view name) const {
    std::string upper = asciiUppered(name);
    if (!upper.empty() && !variables().exists(upper)) variables().put(upper, "");
}

void CommandContext::assignResult(std::string_view variable, std::string_view value) const {
    assignVariable(variables(), interpreter_.rules(), asciiUppered(variable), value, name() + " Action");
}

std::string CommandContext::beginChangeCommand() const {
    std::string header = interpreter_.headers().headerOf(position_);
    std::string property = "A" + header;
    setInstallerProperty(property, "TRUE");
    interpreter_.appendProperty(property, "TRUE");
    return header;
}

} // namespace quillon
