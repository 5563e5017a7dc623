#pragma once
// Host scripts: the body lines one worker runs, each ended by LF and numbered from 1; the
// target stands beside them.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/model.h"

// "host:port", as the script writes them: how messages, reports and records name a target.
std::string TargetName(const CHostScript& target);

// The highest place among the targets of a run, which may run only some of the script's.
std::size_t LastPlace(const ScriptList& scripts);

// The analysed line a host script's line (from 1) came from; 0 for line 0 (the greeting and
// FORCEREPLY) or a line the program added.
int AnalysedLine(const CHostScript& script, int scriptLine);

// Whether `bytes` stand in the host script's text, as the commands of a batch of its own lines
// go out: a view of them stays good for the whole run.
bool StandsInHostScript(const CHostScript& script, std::string_view bytes);

// A body as a host script holds it: every "^" a line break, ended by LF.
std::string HostScriptText(std::string body);
// Appends the new host script for that host and port, its text the body as HostScriptText
// makes it, taken over without a copy, with a copy of `objects`.
void AdoptHostScript(std::string body, const std::string& host, const std::string& port,
                     const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList);
// The same for a body that stands in `text` as it is, lines ended by LF and free of "^": the
// host script is a view of the text, which it keeps.
void ViewHostScript(const std::shared_ptr<const std::string>& text, std::string_view body,
                    const std::string& host, const std::string& port,
                    const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList);
