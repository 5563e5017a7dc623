// The digest's one-call functions go through OpenSSL's provider machinery, which would bring
// a great deal of code and start-up work into every run for one hash: the plain functions do it.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "plan/rerun.h"

#include <openssl/sha.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "common/shown_command.h"
#include "common/strings.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "script/host_script.h"

namespace {

std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256_CTX context;
    SHA256_Init(&context);
    SHA256_Update(&context, bytes.data(), bytes.size());
    SHA256_Final(digest, &context);
    std::string hex;
    AppendHex(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest), hex);
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
        while (NextLine(script->text, position, line)) {
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

namespace {

// What a rerun needs of a report, read as it streams by: its digest, and each target's place,
// name and outcome; attempts and answers pass without being kept, so that a report of any size
// takes little memory.
class ReportReader : public nlohmann::json_sax<nlohmann::json> {
  public:
    struct Target {
        bool hasPlace = false;
        std::size_t place = 0;
        std::optional<std::string> name;
        std::optional<std::string> outcome;
    };
    std::optional<std::string> digest;
    bool hasTargets = false;
    bool wellFormed = true;  // every target an object with the three fields of their kinds
    std::vector<Target> targets;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t number) override {
        if (inTargetField("place")) {
            targets.back().place = static_cast<std::size_t>(number);
            targets.back().hasPlace = true;
            return value(true);
        }
        return value();
    }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t& text) override {
        if (depth_ == 1 && key_ == "digest") {
            digest = text;
        } else if (inTargetField("target")) {
            targets.back().name = text;
            return value(true);
        } else if (inTargetField("outcome")) {
            targets.back().outcome = text;
            return value(true);
        }
        return value();
    }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override {
        if (inTargets() && depth_ == 2) {
            targets.emplace_back();
        }
        ++depth_;
        return true;
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool start_array(std::size_t) override {
        if (depth_ == 1 && key_ == "targets") {
            hasTargets = true;
            targetsDepth_ = depth_ + 1;
        } else if (inTargets() && depth_ == 2) {
            wellFormed = false;  // a target that is not an object
        }
        ++depth_;
        return true;
    }
    bool end_array() override {
        --depth_;
        if (depth_ + 1 == targetsDepth_) {
            targetsDepth_ = 0;
        }
        return true;
    }
    bool key(string_t& name) override {
        if (depth_ <= 3) {
            key_ = name;
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

  private:
    bool inTargets() const { return targetsDepth_ != 0; }
    bool inTargetField(const char* field) const {
        return inTargets() && depth_ == 3 && key_ == field;
    }
    // A scalar where a target stands is no target; one in a field the reader keeps must be of
    // that field's kind (`kept`).
    bool value(bool kept = false) {
        if (inTargets() && depth_ == 2) {
            wellFormed = false;
        } else if (!kept && inTargets() && depth_ == 3 &&
                   (key_ == "place" || key_ == "target" || key_ == "outcome")) {
            wellFormed = false;
        }
        return true;
    }

    int depth_ = 0;
    int targetsDepth_ = 0;
    std::string key_;
};

}  // namespace

bool ReadRerunReport(const RunOptions& options, const ScriptList& scripts, RunPlan& plan) {
    if (options.rerunPath.empty()) {
        return true;
    }
    std::FILE* file = OpenRegularFile(options.rerunPath);
    if (file == nullptr) {
        refuse(options, "it cannot be read");
        return false;
    }
    ReportReader report;
    const bool parsed = nlohmann::json::sax_parse(file, &report);
    std::fclose(file);
    if (!parsed || !report.digest || !report.hasTargets) {
        refuse(options, "it is not a report of this program (--report writes one)");
        return false;
    }
    if (*report.digest != plan.showDigest) {
        refuse(options,
               "the show has changed since the report was written: its script, its "
               "targets or the names of the values given from outside");
        return false;
    }
    if (report.targets.empty()) {
        refuse(options, "it names no target");
        return false;
    }
    std::vector<const CHostScript*> byPlace(LastPlace(scripts) + 1, nullptr);
    for (const auto& script : scripts) {
        byPlace[script->place] = script.get();
    }
    std::vector<bool> named(byPlace.size(), false);
    plan.rerunPlaces.clear();
    for (const ReportReader::Target& target : report.targets) {
        const CHostScript* found =
            target.hasPlace && target.place < byPlace.size() ? byPlace[target.place] : nullptr;
        if (!report.wellFormed || found == nullptr || !target.name || !target.outcome ||
            TargetName(*found) != *target.name) {
            refuse(options, "it is not a report of this show");
            return false;
        }
        if (named[target.place]) {
            LogMessage("--rerun=%s: it names %s (place %s) twice", options.rerunNamed.c_str(),
                       target.name->c_str(), std::to_string(target.place).c_str());
            return false;
        }
        named[target.place] = true;
        if (*target.outcome != "succeeded") {
            plan.rerunPlaces.push_back(target.place);
        }
    }
    return true;
}
