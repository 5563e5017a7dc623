// The preprocessor on a script of any bytes, in a scratch folder that holds a few files for
// its "include" and "loadfile" lines to name (see the seeds in corpus/preprocessor_fuzzer).

#include <algorithm>

#include "files/enciphered_format.h"
#include "fuzz_support.h"
#include "script/analyser.h"
#include "script/host_script.h"
#include "script/preprocessor.h"

namespace {

void writeNamedFiles() {
    WriteScratchFile("inc.qvtrx",
                     "# included\r\n  MUTE=1  \n*include=inc.qvtrx\n*loadfile=b,x.bin\n");
    WriteScratchFile("crypt.qvtrxc", EncipherFileBytes("GAIN=2\n*include=inc.qvtrx\n"));
    WriteScratchFile("x.bin", std::string("\x00\x01\xAB\xFF\n\r", 6));
    WriteScratchFile("empty.bin", "");
    WriteScratchFile("comments.qvtrx", "# only\n## comments\n");
}

// Names that leave the scratch folder could reach devices that never end (/dev/zero,
// /dev/stdin): such inputs are not the preprocessor's business here.
bool leavesTheFolder(const std::string& text) {
    return text.find('/') != std::string::npos || text.find('\\') != std::string::npos;
}

// What an analysis made, as text: each target with its body and where its lines came from, and
// what the checks learnt.
std::string analysed(bool read, const ScriptList& scripts, const ScriptCheck& check) {
    std::string made = read ? "read\n" : "refused\n";
    for (const auto& script : scripts) {
        made += script->host + ":" + script->port + " " + std::to_string(script->segment) + "\n";
        made += script->text;
        const auto lines =
            static_cast<int>(std::count(script->text.begin(), script->text.end(), '\n'));
        for (int line = 1; line <= lines; ++line) {
            made += std::to_string(AnalysedLine(*script, line)) + " ";
        }
    }
    for (const LineFact& fact : check.facts) {
        made += fact.name + "@" + std::to_string(fact.line) + "\n";
    }
    for (const ScriptProblem& problem : check.problems) {
        made += problem.message + "@" + std::to_string(problem.line) + "\n";
    }
    ClearSharedTables();
    return made;
}

// An analysis that reads the lines as they are prepared makes what one of the prepared text does.
void checkAnalysedAsPrepared(const std::string& path) {
    const auto text = std::make_shared<std::string>();
    ScriptList scripts;
    ScriptCheck check;
    ScriptAnalysis analysis(text, "localhost", "3004", scripts, &check);
    FUZZ_CHECK(preprocessScript(path, text.get(), &analysis));
    const bool read = analysis.finish();
    const std::string asPrepared = analysed(read, scripts, check);
    ScriptList afterwards;
    ScriptCheck checkAfterwards;
    const bool readAfterwards =
        AnalyseSharedScript(std::make_shared<const std::string>(*text), "localhost", "3004",
                            afterwards, &checkAfterwards);
    FUZZ_CHECK(asPrepared == analysed(readAfterwards, afterwards, checkAfterwards));
}

}  // namespace

void FuzzTargetSetUp() {
    writeNamedFiles();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string script = InputBytes(data, size);
    if (leavesTheFolder(script)) {
        return 0;
    }
    const std::string path = WriteScratchFile("main.qvtrx", script);
    std::string output = "CMD\n";
    if (!preprocessScript(path, &output)) {
        FUZZ_CHECK(output.compare(0, 4, "CMD\n") == 0);
        return 0;
    }
    // Output is appended to and never cleared; every piece of it ends with LF, and every line
    // has its origin.
    FUZZ_CHECK(output.compare(0, 4, "CMD\n") == 0);
    FUZZ_CHECK(output.back() == '\n');
    const auto lines = static_cast<std::size_t>(std::count(output.begin(), output.end(), '\n'));
    FUZZ_CHECK(TraceScriptOrigins(path, "main").lines.size() == lines - 1);
    // A text prepared on its own is the same.
    std::string alone;
    FUZZ_CHECK(preprocessScript(path, &alone));
    FUZZ_CHECK(output.compare(4, std::string::npos, alone) == 0);
    checkAnalysedAsPrepared(path);
    return 0;
}
