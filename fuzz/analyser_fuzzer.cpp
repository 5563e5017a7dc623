// The analyser on a script text of any bytes; the shared tables are cleared after each input.

#include "exec/worker.h"
#include "fuzz_support.h"
#include "script/analyser.h"

namespace {

// Every host script starts with its two head lines and ends its body with LF; the caret has
// become a line break everywhere.
void checkHostScript(const CHostScript& script) {
    const std::string& text = script.text;
    FUZZ_CHECK(text.compare(0, 6, "*host=") == 0);
    const auto secondLine = text.find('\n') + 1;
    FUZZ_CHECK(text.compare(secondLine, 6, "*port=") == 0);
    FUZZ_CHECK(text.back() == '\n');
    const auto body = text.find('\n', secondLine) + 1;
    FUZZ_CHECK(text.find('^', body) == std::string::npos);
    FUZZ_CHECK(body < text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScriptList scripts;
    analyseSharedScript(std::make_shared<const std::string>(InputBytes(data, size)), "localhost",
                        "3004", scripts);
    for (const auto& script : scripts) {
        checkHostScript(*script);
    }
    scripts.clear();
    ClearSharedTables();
    return 0;
}
