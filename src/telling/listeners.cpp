#include "telling/listeners.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/globals.h"
#include "common/strings.h"
#include "files/console.h"
#include "files/log.h"

void RunListeners::attemptBegins(const CHostScript& target, int attempt) {
    for (RunObserver* listener : listeners_) {
        listener->attemptBegins(target, attempt);
    }
}

void RunListeners::connected(const CHostScript& target, const std::string& address) {
    for (RunObserver* listener : listeners_) {
        listener->connected(target, address);
    }
}

void RunListeners::sent(const CHostScript& target, std::string_view commands) {
    for (RunObserver* listener : listeners_) {
        listener->sent(target, commands);
    }
}

void RunListeners::received(const CHostScript& target, std::string_view bytes) {
    for (RunObserver* listener : listeners_) {
        listener->received(target, bytes);
    }
}

void RunListeners::judged(const CHostScript& target, int line, std::string_view command,
                          const std::string& answer, Verdict verdict) {
    for (RunObserver* listener : listeners_) {
        listener->judged(target, line, command, answer, verdict);
    }
}

void RunListeners::queryAnswered(const CHostScript& target, const std::string& answer) {
    for (RunObserver* listener : listeners_) {
        listener->queryAnswered(target, answer);
    }
}

void RunListeners::answersTaken(const CHostScript& target) {
    for (RunObserver* listener : listeners_) {
        listener->answersTaken(target);
    }
}

void RunListeners::waitBegins(const CHostScript& target, int line, WaitKind kind,
                              const std::string& what) {
    for (RunObserver* listener : listeners_) {
        listener->waitBegins(target, line, kind, what);
    }
}

void RunListeners::waitEnds(const CHostScript& target, WaitKind kind, const std::string& what) {
    for (RunObserver* listener : listeners_) {
        listener->waitEnds(target, kind, what);
    }
}

void RunListeners::attemptEnds(const CHostScript& target, int attempt, AttemptResult result,
                               const AttemptReport& report) {
    for (RunObserver* listener : listeners_) {
        listener->attemptEnds(target, attempt, result, report);
    }
}

void RunListeners::attemptProgressed(const CHostScript& target, const AttemptReport& report) {
    for (RunObserver* listener : listeners_) {
        listener->attemptProgressed(target, report);
    }
}

void RunListeners::targetEnds(const CHostScript& target, TargetEnd end) {
    for (RunObserver* listener : listeners_) {
        listener->targetEnds(target, end);
    }
}

void AnswerPrinter::queryAnswered(const CHostScript& target, const std::string& answer) {
    // A file or a pipe gets the answer as the server sent it; a terminal, nothing that acts on it.
    const std::string shown = onTerminal_ ? EscapedControls(answer) : answer;
    const std::string whole = labelled_ ? TargetName(target) + ": " + shown + "\n" : shown + "\n";
    noteWrite(WriteForPerson(stdout, whole));
}

void AnswerPrinter::answersTaken(const CHostScript&) {
    flush();
}

void AnswerPrinter::attemptEnds(const CHostScript&, int, AttemptResult, const AttemptReport&) {
    flush();
}

void AnswerPrinter::flush() {
    noteWrite(std::fflush(stdout) == 0);
}

// The first failed write is logged, once for the whole run. A process given no standard
// output at all (a copy without a console, a stream its caller closed) has nowhere to print,
// and loses nothing anyone could read.
void AnswerPrinter::noteWrite(bool written) {
    if (!written && errno != EBADF && !failed_.exchange(true)) {
        LogMessage("%s: Error writing answers to standard output - %s", g_scriptName.c_str(),
                   std::strerror(errno));
    }
}
