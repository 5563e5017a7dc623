#pragma once
// Expands "include" and "loadfile" lines of a script file.

#include <string>
#include <vector>

class ScriptAnalysis;

// Appends the preprocessed lines of the file to `output` (never cleared): in one pass over the
// file's text, each line cleaned, its origin recorded, and its *include and *loadfile lines
// replaced by what they bring in. False on failure, after a message; false at once, silently,
// for an empty path or no output. `analysis`, when given, is for the text `output` will hold,
// and reads the lines of an empty one in the same pass.
bool preprocessScript(const std::string& path, std::string* output,
                      ScriptAnalysis* analysis = nullptr);

// Where each line of the preprocessed text came from: the file as the script names it (an index
// in `files`), and its line there (from 1). Kept as runs of consecutive lines of one file, so
// that a script of a million lines costs a few entries.
class LineOrigins {
  public:
    struct Line {
        std::size_t file;
        int line;
    };
    void add(std::size_t file, int line) {
        if (runs_.empty() || runs_.back().origin.file != file ||
            runs_.back().origin.line + static_cast<int>(size_ - runs_.back().first) != line) {
            runs_.push_back({size_, {file, line}});
        }
        ++size_;
    }
    // `count` consecutive lines of one file, the first at `origin`.
    void addRun(Line origin, std::size_t count);
    std::size_t size() const { return size_; }
    // The origin of the preprocessed line at `index` (from 0), which is below size().
    Line at(std::size_t index) const;
    // Whether the line at `index` is the one after that at `index - 1` in the same file.
    bool continuesRun(std::size_t index) const;
    // The index of the last line of the run of lines that follow one another in one file, that
    // holds the line at `index` (below size()).
    std::size_t runEnd(std::size_t index) const;

    struct Run {
        std::size_t first;  // the index of its first line
        Line origin;        // of its first line
    };
    const std::vector<Run>& runs() const { return runs_; }

  private:
    // The first run that begins after the line at `index`.
    std::vector<Run>::const_iterator runAfter(std::size_t index) const;

    std::vector<Run> runs_;
    std::size_t size_ = 0;
};
struct ScriptOrigins {
    std::vector<std::string> files;
    LineOrigins lines;
};
// The origin of every line of the text preprocessScript gave for `path`, which messages name
// `shownName`: as it recorded them when it prepared that file, or as the launch recorded them
// for its background copy; none for a script not prepared.
ScriptOrigins TraceScriptOrigins(const std::string& path, const std::string& shownName);
// Keeps `origins` as those of the script at `path`: preprocessScript does so as it prepares a
// file, and the background copy with the origins the launch recorded.
void RecordScriptOrigins(const std::string& path, ScriptOrigins origins);
// The files the text of the script at `path` comes from: the script itself, then the files its
// *include lines name, each as a path to open, as preprocessScript found them.
std::vector<std::string> ScriptFiles(const std::string& path);
