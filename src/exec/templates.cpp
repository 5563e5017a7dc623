#include "exec/templates.h"

#include "common/shown_command.h"
#include "files/log.h"
#include "script/model.h"

namespace {

enum class Filled { Value, NotFound, NoValue };

// Waits until the buffer holds a value or is released.
Filled bufferValue(const std::string& name, SharedBytes& value, const DirectiveSite& attempt) {
    const auto found = g_buffers.find(name);
    if (found == g_buffers.end()) {
        return Filled::NotFound;
    }
    CBufferShared& buffer = *found->second;
    RunObserver& observer = attempt.settings().tell();
    observer.waitBegins(attempt.target(), attempt.line(), WaitKind::Buffer, name);
    buffer.Wait();
    observer.waitEnds(attempt.target(), WaitKind::Buffer, name);
    if (buffer.IsReleased()) {
        return Filled::NoValue;
    }
    value = buffer.ShareValue();
    return Filled::Value;
}

}  // namespace

std::string FillTemplate(const std::string& line, const DirectiveSite& attempt) {
    const char* scriptName = attempt.settings().scriptName.c_str();
    const std::string rest = line.substr(1);
    std::string filled;
    std::size_t position = 0;
    for (;;) {
        const auto open = rest.find('$', position);
        if (open == std::string::npos) {
            filled.append(rest, position, std::string::npos);
            // A password from a value is known from now on, to be masked where it is repeated.
            if (IsLoginCommand(filled)) {
                KnowLoginPassword(filled);
            }
            return filled;
        }
        filled.append(rest, position, open - position);
        const auto close = rest.find('$', open + 1);
        if (close == std::string::npos) {
            LogMessage("%s: Syntax Error: missing a $ sign in $%s", scriptName,
                       ShownCommand(rest).c_str());
            position = open + 1;
            continue;
        }
        const std::string name = rest.substr(open + 1, close - open - 1);
        position = close + 1;
        SharedBytes value;
        const Filled result = bufferValue(name, value, attempt);
        if (result == Filled::NotFound) {
            LogMessage("%s: Syntax Error: buffer '%s' not found", scriptName, name.c_str());
        } else if (result == Filled::NoValue) {
            LogMessage("%s: Syntax Error: buffer '%s' has no value set", scriptName, name.c_str());
            return std::string();
        } else {
            // Room for the rest of the line and the LF the batch adds: a value may be a whole
            // loaded file, which must not be copied again to grow the line.
            filled.reserve(filled.size() + value.bytes.size() + (rest.size() - position) + 1);
            filled += value.bytes;
        }
    }
}
