#include "frontend/rerun.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "common/shown_command.h"
#include "common/strings.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "frontend/listeners.h"
#include "frontend/system.h"

namespace {

// The most a report of the largest fleet takes: more is not such a report.
constexpr std::uint64_t kLongestReportBytes = 1024u * 1024u * 1024u;

std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    appendHex(std::string_view(reinterpret_cast<const char*>(digest), length), hex);
    return hex;
}

void refuse(const RunOptions& options, const char* why) {
    LogMessage("--rerun=%s: %s", options.rerunNamed.c_str(), why);
}

}  // namespace

std::string ShowDigest(const ScriptList& scripts, const RunOptions& options) {
    std::string show;
    for (const auto& script : scripts) {
        show += script->host + ":" + script->port + "\n";
        std::size_t position = 0;
        std::string_view line;
        while (nextLine(script->text, position, line)) {
            show += IsLoginCommand(line) ? ShownCommand(line) : std::string(line);
            show += '\n';
        }
        show += '\0';
    }
    std::vector<std::string> names;
    for (const OutsideValue& value : options.outsideValues) {
        names.push_back(value.name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& name : names) {
        show += name + '\0';
    }
    return "sha256:" + sha256Hex(show);
}

bool ReadRerunReport(RunOptions& options, const ScriptList& scripts) {
    if (options.rerunPath.empty()) {
        return true;
    }
    std::string text;
    if (readRawFile(options.rerunPath, text, kLongestReportBytes) != RawRead::Done) {
        refuse(options, "it cannot be read");
        return false;
    }
    const nlohmann::json report = nlohmann::json::parse(text, nullptr, false);
    if (!report.is_object() || !report.contains("digest") || !report["digest"].is_string() ||
        !report.contains("targets") || !report["targets"].is_array()) {
        refuse(options, "it is not a report of this program (--report writes one)");
        return false;
    }
    if (report["digest"].get<std::string>() != options.showDigest) {
        refuse(options,
               "the show has changed since the report was written: its script, its "
               "targets or the names of the values given from outside");
        return false;
    }
    std::vector<const CHostScript*> byPlace(LastPlace(scripts) + 1, nullptr);
    for (const auto& script : scripts) {
        byPlace[script->place] = script.get();
    }
    options.rerunPlaces.clear();
    for (const auto& target : report["targets"]) {
        const bool read = target.is_object() && target.contains("place") &&
                          target["place"].is_number_unsigned() && target.contains("outcome") &&
                          target["outcome"].is_string() && target.contains("target") &&
                          target["target"].is_string();
        const std::size_t place = read ? target["place"].get<std::size_t>() : 0;
        const CHostScript* found = place < byPlace.size() ? byPlace[place] : nullptr;
        if (found == nullptr || TargetName(*found) != target["target"].get<std::string>()) {
            refuse(options, "it is not a report of this show");
            return false;
        }
        if (target["outcome"].get<std::string>() != "succeeded") {
            options.rerunPlaces.push_back(place);
        }
    }
    return true;
}

std::string RerunCommand(const RunOptions& options, std::size_t failed) {
    std::vector<std::string> again;
    bool checkGiven = false;
    for (const std::string& argument : options.userArguments) {
        const std::string name = OptionName(argument);
        if (name == "--rerun" || (options.ranAsService && name == "--check-back")) {
            continue;
        }
        checkGiven = checkGiven || startsWith(name, "--check-");
        again.push_back(name == "--report" ? "--rerun=" + OptionValue(argument) : argument);
    }
    // A service runs the default mode in the foreground: so does the line.
    if (options.ranAsService && !checkGiven) {
        again.insert(again.begin(), "--check-full");
    }
    return "to send again to the " + std::to_string(failed) + " failed target" +
           (failed == 1 ? "" : "s") + ": " + EscapedControls(PastableCommand(again));
}
