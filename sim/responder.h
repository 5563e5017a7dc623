#pragma once
// The answer protocol: what the server answers to one received line.

#include <string>
#include <vector>

#include "options.h"
#include "values.h"

struct Reply {
    std::vector<std::string> lines;  // without line ends; the answer proper comes last
    bool isCommand = false;          // counts towards --close-after
};

class Responder {
  public:
    Responder(const SimOptions& options, ValueStore& values);
    // `line` is one received line without its LF (a CR before the LF is ignored). An empty
    // line gets no answer; FORCEREPLY gets the FORCEREPLY answer; every other line is a
    // command and gets exactly one answer.
    Reply answer(const std::string& line);

  private:
    std::string answerCommand(const std::string& command);
    bool isRefused(const std::string& command) const;
    std::string padded(std::string answer) const;
    void applyLaterValues();

    const SimOptions& options_;
    ValueStore& values_;
};
