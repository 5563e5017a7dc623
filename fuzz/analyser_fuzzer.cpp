// The analyser on a script text of any bytes; the shared tables are cleared after each input.

#include <algorithm>

#include "exec/worker.h"
#include "fuzz_support.h"
#include "script/analyser.h"
#include "script/host_script.h"

namespace {

// Every host script holds a body that ends with LF, its lines traced to the text and its
// directives read; the caret has become a line break everywhere.
void checkHostScript(const CHostScript& script) {
    const std::string_view text = script.text;
    FUZZ_CHECK(!text.empty() && text.back() == '\n');
    FUZZ_CHECK(text.find('^') == std::string::npos);
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    FUZZ_CHECK(AnalysedLine(script, lines) > 0);
    // The directives read are the body's lines that begin with "*", in order.
    auto directive = script.directives.begin();
    int number = 0;
    for (std::size_t start = 0; start < text.size(); start = text.find('\n', start) + 1) {
        ++number;
        if (text[start] == '*') {
            FUZZ_CHECK(directive != script.directives.end() && directive->line == number);
            ++directive;
        }
    }
    FUZZ_CHECK(directive == script.directives.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScriptList scripts;
    AnalyseSharedScript(std::make_shared<const std::string>(InputBytes(data, size)), "localhost",
                        "3004", scripts);
    for (const auto& script : scripts) {
        checkHostScript(*script);
    }
    scripts.clear();
    ClearSharedTables();
    return 0;
}
