#include "telling/metrics.h"

#include <chrono>
#include <cstdint>
#include <map>

#include "common/globals.h"
#include "exec/worker.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "telling/listeners.h"
#include "telling/run_words.h"

namespace {

constexpr const char* kLastSuccess = "transmitter_last_success_timestamp_seconds";
// A file of metrics is a few lines: more is not one of ours.
constexpr std::uint64_t kLongestMetricsBytes = 1u << 20;

double secondsSinceEpoch(std::chrono::system_clock::time_point at) {
    return std::chrono::duration<double>(at.time_since_epoch()).count();
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// A label's value as the format writes it: backslash, double quote and line feed escaped.
std::string labelValue(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        escaped += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return escaped;
}

void addMetric(std::string& text, const char* name, const char* help,
               const std::map<std::string, std::string>& samples) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    for (const auto& [labels, value] : samples) {
        text += name + labels + " " + value + "\n";
    }
}

// The last success the file already tells, as it wrote it; empty when none.
std::string lastSuccessBefore(const std::string& path) {
    std::string text;
    if (ReadRawFile(path, text, kLongestMetricsBytes) != RawRead::Done) {
        return std::string();
    }
    const std::string start = std::string(kLastSuccess) + " ";
    const auto at = text.find("\n" + start);
    if (at == std::string::npos) {
        return std::string();
    }
    const auto value = at + 1 + start.size();
    return text.substr(value, text.find('\n', value) - value);
}

}  // namespace

bool WriteMetrics(const RunOptions& options, const ScriptList& scripts,
                  const OutcomeRecorder& outcomes, int status) {
    if (options.metricsPath.empty()) {
        return true;
    }
    const auto now = std::chrono::system_clock::now();
    const double started = secondsSinceEpoch(RunStartedAt());
    std::string text;
    addMetric(text, "transmitter_run_timestamp_seconds", "When the run began.",
              {{"", number(started)}});
    addMetric(text, "transmitter_run_duration_seconds", "How long the run took.",
              {{"", number(secondsSinceEpoch(now) - started)}});
    addMetric(text, "transmitter_run_status", "The run's exit status.",
              {{"", std::to_string(status)}});
    std::map<std::string, std::string> ends;
    std::map<std::string, std::size_t> counts;
    for (const auto& script : scripts) {
        ++counts[OutcomeName(outcomes.of(*script).end)];
    }
    for (const auto& [end, count] : counts) {
        ends["{outcome=\"" + labelValue(end) + "\"}"] = std::to_string(count);
    }
    addMetric(text, "transmitter_targets", "The targets that ended each way.", ends);
    if (options.readBack != ReadBack::None) {
        std::map<std::string, std::string> differences;
        for (const auto& script : scripts) {
            // A target that could not be read back has no count to tell.
            const TargetOutcome& outcome = outcomes.of(*script);
            if (outcome.end != TargetEnd::Succeeded && outcome.end != TargetEnd::Differs &&
                outcome.end != TargetEnd::DidNotStick) {
                continue;
            }
            std::size_t left = 0;
            for (const SettingDifference& difference : outcome.differences) {
                left += difference.repaired ? 0 : 1;
            }
            differences["{target=\"" + labelValue(TargetName(*script)) + "\"}"] =
                std::to_string(left);
        }
        addMetric(text, "transmitter_differences",
                  "Settings a target holds otherwise than the show.", differences);
    }
    const std::string last =
        status == 0 ? number(secondsSinceEpoch(now)) : lastSuccessBefore(options.metricsPath);
    if (!last.empty()) {
        addMetric(text, kLastSuccess, "When a run last ended with status 0.", {{"", last}});
    }
    if (ReplaceRawFile(options.metricsPath, text) == RawWrite::Done) {
        return true;
    }
    LogMessage("%s: Can not write the metrics %s", g_scriptName.c_str(),
               options.metricsPath.c_str());
    return false;
}
