#pragma once
// One attempt at a host script: connect, send the body lines one by one, carry out the
// run-time directives, and check the answers at the checkpoints.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exec/answers.h"
#include "exec/attempt_result.h"
#include "exec/batch.h"
#include "exec/directives.h"
#include "exec/tcp_link.h"
#include "script/model.h"

// One attempt at a host script; `report` tells why it failed and what it sent, and the run's
// observer hears all it does.
AttemptResult RunHostScript(const CHostScript& script, const RunSettings& settings,
                            AttemptReport& report);

class HostAttempt : public DirectiveSite {
  public:
    HostAttempt(const CHostScript& script, const RunSettings& settings, AttemptReport& report);
    HostAttempt(const HostAttempt&) = delete;
    HostAttempt& operator=(const HostAttempt&) = delete;

    AttemptResult run();

    // Sends the queued commands, then, with checking, reads and judges every answer due so
    // far. Done when all is well, else the result that ends the attempt.
    AttemptResult checkpoint() override;
    bool checking() const override { return checking_; }
    const RunSettings& settings() const override { return settings_; }
    const CHostScript& target() const override { return script_; }
    int line() const override;
    void setPendingBuffer(CBufferShared* buffer) override { pendingBuffer_ = buffer; }
    void setAnswerCheck(AnswerCheck check) override { answerCheck_ = std::move(check); }

  private:
    bool nextLine(std::string_view& line);
    // The answer the line being handled is due, as the checking queues it.
    DueAnswer due() const { return {lineStart_, lineCount_}; }
    AttemptResult connect();
    AttemptResult handleLine(std::string_view line);
    // The directive of the line being handled, as the analyser read it; null for a command.
    const BodyDirective* directiveOfLine();
    // Queues a command line as it goes out; an empty one goes out as nothing.
    AttemptResult queueCommand(std::string_view command);
    AttemptResult compareLine(const std::string& command);
    AttemptResult keepOldValues();
    AttemptResult writeUndoBlock(const std::vector<OldValue>& values);
    AttemptResult repair();
    void markReady(AttemptResult waited);
    void moveToLine(int number);
    AttemptResult untilOnce(const std::string& command, std::string_view name);
    // Stores a pending answer, or sends a batch that has grown large enough.
    AttemptResult afterQueued();
    AttemptResult stepAnswered();
    AttemptResult flushCommands();
    AttemptResult storePendingAnswer();
    // After the command the pending checks are about: its answer read and judged.
    AttemptResult checkAnswered();
    AttemptResult judgeExpected(const AnswerCheck& check, const std::string& command);
    AttemptResult runUntil(const std::string& command);
    // The answer could not be judged in the steps a match may take: said as such, never as a
    // mismatch.
    AttemptResult patternTooCostly(const AnswerCheck& check, const std::string& shown,
                                   TargetEnd end);
    AttemptResult untilFailed(const AnswerCheck& check, const std::string& command,
                              const std::string& last);
    BlockedSend whileSendBlocked(std::size_t sent);
    // Tells the observer the batch's bytes up to `sent` that it has not heard yet.
    void tellSent(std::size_t sent);
    // An answer *until waited for, shown at once.
    void showAnswer(const std::string& answer);
    const char* name() const { return settings_.scriptName.c_str(); }
    AttemptResult closeBlind();

    const CHostScript& script_;
    const RunSettings settings_;  // the run's, with the target's own limits
    AttemptReport& report_;
    const std::string_view text_;
    const bool checking_;
    HeldConnection connection_;
    std::optional<AnswerReader> answers_;  // the connection's, once it is made
    CommandBatch batch_;
    std::size_t batchTold_ = 0;  // bytes of the batch the observer has heard of
    std::size_t readCursor_ = 0;
    std::size_t lineStart_ = 0;      // start of the line being handled
    int lineCount_ = 0;              // its number, from 1
    std::size_t nextDirective_ = 0;  // the first of the script's directives not passed yet
    CheckProgress progress_;
    std::string lastAnswer_;
    CBufferShared* pendingBuffer_ = nullptr;
    std::optional<AnswerCheck> answerCheck_;
    AttemptResult drainResult_ =
        AttemptResult::Done;    // result of a check made while a send was blocked
    AnswerCount blindAnswers_;  // answers dropped unread in a blind run
    std::chrono::steady_clock::time_point connectedAt_;
    bool undoKept_ = false;       // the old values are kept, or need not be
    std::size_t undoReads_ = 0;   // queries sent for the undo, not the show's
    std::vector<bool> setAgain_;  // a compare's settings that a later line of the show sets again
};
