#pragma once
// Cuts a script text into one host script per target and prepares the named objects.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/line_cleaning.h"
#include "script/model.h"
#include "script/script_check.h"

struct AnalysisState;

// The analysis of one text, read a line at a time: as the preprocessor cleans a script into the
// text, or whole at the end. Appends to `scriptList`. The buffers of its "set" lines keep the
// text and share their values with it. With `check`, what the checks before the run need is
// noted in it, and the problems found (the analysis goes on past them). The shared objects it
// makes are the only ones.
class ScriptAnalysis {
  public:
    ScriptAnalysis(std::shared_ptr<const std::string> text, std::string defaultHost,
                   std::string defaultPort, ScriptList& scriptList, ScriptCheck* check = nullptr);
    ~ScriptAnalysis();
    ScriptAnalysis(const ScriptAnalysis&) = delete;
    ScriptAnalysis& operator=(const ScriptAnalysis&) = delete;

    // The text's next line, where it stays with its LF after it; the text after it need not
    // be there yet. Lines after one that could not be read are passed over.
    void addLine(std::string_view line, LineMarks marks);
    // What the lines added made is undone, the shared objects too: the text is put together
    // elsewhere, and finish() reads it whole.
    void startOver();
    // Reads the text up to its first NUL when no line was added, and ends the analysis. False
    // after a syntax error, logged now with its line number.
    bool finish();

  private:
    AnalysisState& state();

    std::shared_ptr<const std::string> text_;
    std::string defaultHost_;
    std::string defaultPort_;
    ScriptList& scripts_;
    ScriptCheck* check_;
    std::size_t scriptsBefore_;
    std::unique_ptr<AnalysisState> state_;
};

// The whole of `text` analysed at once.
bool AnalyseSharedScript(const std::shared_ptr<const std::string>& text,
                         const std::string& defaultHost, const std::string& defaultPort,
                         ScriptList& scriptList, ScriptCheck* check = nullptr);
