#pragma once
// The directives that act while a host script runs: wait, waitfor, event, rendezvous,
// savenext, set, expect, until.

#include <memory>
#include <string>

#include "exec/attempt_result.h"
#include "exec/run_observer.h"
#include "script/answer_pattern.h"
#include "script/synchro.h"

// A check of the next command's answer: it must match (*expect), or the command, a query, is
// sent again every `everyMs` until its answer matches, for at most `withinMs` (*until).
struct AnswerCheck {
    bool until = false;
    std::string pattern;
    long long withinMs = 0;
    long long everyMs = 0;
    std::shared_ptr<const AnswerPattern> compiled;  // the analyser's, shared by the targets
};

// What a directive needs of the attempt it runs in.
class DirectiveSite {
  public:
    // Sends the queued commands and, with checking, judges every answer due so far.
    virtual AttemptResult checkpoint() = 0;
    virtual bool checking() const = 0;
    virtual const RunSettings& settings() const = 0;
    virtual const CHostScript& target() const = 0;
    // The analysed line being carried out.
    virtual int line() const = 0;
    // The buffer that receives the answer to the next command sent.
    virtual void setPendingBuffer(CBufferShared* buffer) = 0;
    virtual void setAnswerCheck(AnswerCheck check) = 0;

  protected:
    ~DirectiveSite() = default;
};

// The directive of `line` as the analyser read it. A directive that cannot be carried out only
// logs its message and gives Done; any other result comes from a failed checkpoint and ends
// the attempt.
AttemptResult RunDirective(DirectiveSite& attempt, const BodyDirective& directive,
                           const std::string& line);
