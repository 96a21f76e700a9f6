// Substitution over hostile values: the input's first lines define variables (NAME=VALUE), the last
// line is the text to expand. Whatever they hold, expansion ends and stays bounded.
#include "script/VariableManager.h"
#include "script/commaText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    quillon::TVariableManager store;
    size_t start = 0;
    std::string_view text;
    while (true) {
        size_t end = input.find('\n', start);
        std::string_view line =
            input.substr(start, end == std::string_view::npos ? input.size() - start : end - start);
        if (end == std::string_view::npos) {
            text = line;
            break;
        }
        size_t equals = line.find('=');
        if (equals != std::string_view::npos) store.put(line.substr(0, equals), line.substr(equals + 1));
        start = end + 1;
    }
    for (bool quoted : {false, true}) {
        std::string out = quoted ? store.substituteQuoted(text) : store.substitute(text);
        // Bounded: the last replacement may add at most one value (plus quotes) beyond the limit check.
        if (out.size() > quillon::TVariableManager::MaxExpandedLength + text.size() + 2) std::abort();
    }
    quillon::TVariableManager copy;
    copy.replaceAllFromCommaText(store.commaText());
    if (copy.listAll().size() != store.listAll().size()) std::abort();
    return 0;
}
