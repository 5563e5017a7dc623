#pragma once
// Template lines: commands into which buffer values are filled when they are sent.

#include <string>

#include "exec/directives.h"

// `line` begins with "$". That "$" is dropped and every buffer name between two "$" signs is
// replaced by the buffer's value, waiting for a buffer that does not hold one yet. Empty when
// nothing is to be sent: the template came out empty, or a buffer was released without a
// value ("has no value set").
// The wait for a buffer is told to the run's observer as the attempt's.
std::string FillTemplate(const std::string& line, const DirectiveSite& attempt);
