// Template filling. The input is buffer lines, then template lines after the first line
// "--": "name,value" stores and raises a value, "!name" releases a buffer without one; every
// later line that begins with "$" is filled. No buffer is left unraised, so nothing waits.

#include <algorithm>

#include "exec/attempt.h"
#include "exec/templates.h"
#include "exec/worker.h"
#include "fuzz_support.h"
#include "script/model.h"

namespace {

void defineBuffer(const std::string& line) {
    if (!line.empty() && line[0] == '!') {
        FindOrCreate(g_buffers, line.substr(1)).Release();
        return;
    }
    const auto comma = line.find(',');
    CBufferShared& buffer = FindOrCreate(g_buffers, line.substr(0, comma));
    buffer.SetValue(comma == std::string::npos ? std::string() : line.substr(comma + 1));
    buffer.Raise();
}

void fillTemplate(const std::string& line) {
    static const CHostScript target;
    static RunObserver silent;
    static const RunSettings settings = [] {
        RunSettings made;
        made.observer = &silent;
        return made;
    }();
    AttemptReport report;
    const HostAttempt attempt(target, settings, report);
    const std::string filled = FillTemplate(line, attempt);
    // A template without a second "$" is its text after the first one.
    if (line.find('$', 1) == std::string::npos) {
        FUZZ_CHECK(filled == line.substr(1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = InputBytes(data, size);
    bool templates = false;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!templates) {
            templates = line == "--";
            if (!templates) {
                defineBuffer(line);
            }
        } else if (!line.empty() && line[0] == '$') {
            fillTemplate(line);
        }
    }
    ClearSharedTables();
    return 0;
}
