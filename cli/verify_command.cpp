#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/text_encoding.h"
#include "core/layer3_gain_shift.h"
#include "session/verify_session.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct VerifyOptions {
    std::string Source;
    std::vector<std::string> Parts;
    bool Json = false;
};

// "mm:ss.mmm", with hours in front from the first hour on.
std::string SampleTime(std::int64_t sample, std::int32_t rate) {
    const std::int64_t ms = rate > 0 ? (sample * 1000 + rate / 2) / rate : 0;
    const std::int64_t hours = ms / 3'600'000;
    char text[40];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(hours),
                      static_cast<long long>(ms / 60'000 % 60),
                      static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld.%03lld",
                      static_cast<long long>(ms / 60'000), static_cast<long long>(ms / 1000 % 60),
                      static_cast<long long>(ms % 1000));
    return text;
}

std::string Decibels(double dbfs) {
    if (std::isinf(dbfs))
        return "\u2212\u221e";
    char text[24];
    std::snprintf(text, sizeof text, "%.1f", std::abs(dbfs));
    return (dbfs < 0 ? "\u2212" : "") + std::string(text);
}

std::string Samples(std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " sample" : " samples");
}

// How a part that copies the source's frames sounds otherwise than the source.
std::string Differences(const PartCheck& check) {
    std::vector<std::string> found;
    if (check.SamplesBefore > 0)
        found.push_back("it plays " + Samples(check.SamplesBefore) + " before the source's start");
    if (check.SamplesAfter > 0)
        found.push_back((found.empty() ? "it plays " : "") + Samples(check.SamplesAfter) +
                        " after the source's end");
    if (check.FirstDifference < check.EndSample)
        found.push_back("first difference at " +
                        SampleTime(check.FirstDifference, check.SampleRateHz) + ", peak " +
                        Decibels(check.PeakDbfs) + " dBFS");
    std::string text;
    for (const std::string& difference : found)
        text += (text.empty() ? "" : ", ") + difference;
    return text;
}

// "gain +3.0 dB (fade in 2 s, fade out 1.5 s)"
std::string GainText(const PartGain& gain) {
    char text[96];
    std::snprintf(text, sizeof text, "gain %+.1f dB", gain.Steps * kGainStepDb);
    std::string line = text;
    std::vector<std::string> fades;
    for (const auto& [name, ms] :
         {std::pair{"fade in ", gain.FadeInMs}, {"fade out ", gain.FadeOutMs}}) {
        if (ms <= 0)
            continue;
        std::snprintf(text, sizeof text, "%s%g s", name, std::round(ms / 100.0) / 10.0);
        fades.push_back(text);
    }
    if (!fades.empty())
        line += " (" + fades.front() + (fades.size() > 1 ? ", " + fades.back() : "") + ")";
    return line;
}

std::string Line(const std::string& part, const std::string& source, const PartCheck& check) {
    switch (check.Match) {
    case PartMatch::Exact:
        return part + ": exact, " + SampleTime(check.StartSample, check.SampleRateHz) + "\u2013" +
               SampleTime(check.EndSample, check.SampleRateHz) + " (" +
               std::to_string(check.EndSample - check.StartSample) + " samples)";
    case PartMatch::FramesOnly:
        return part + ": frames " + std::to_string(check.FirstFrame) + "\u2013" +
               std::to_string(check.LastFrame) + " of " + source +
               ", not sample-exact: " + Differences(check);
    case PartMatch::Gained:
        return part + ": cut from " + source + ", frames " + std::to_string(check.FirstFrame) +
               "\u2013" + std::to_string(check.LastFrame) + ", " + GainText(check.Gain);
    case PartMatch::NotCut:
        break;
    }
    return part + ": not cut from " + source;
}

void JsonObject(JsonWriter& json, const std::string& part, const PartCheck& check) {
    static constexpr const char* kResults[] = {"exact", "frames", "not_cut", "gain"};
    json.BeginObject();
    json.String("part", FileNameToUtf8(part));
    json.String("result", kResults[static_cast<int>(check.Match)]);
    if (check.Match != PartMatch::NotCut) {
        json.Integer("first_frame", check.FirstFrame);
        json.Integer("last_frame", check.LastFrame);
        json.Integer("sample_rate_hz", check.SampleRateHz);
        json.Integer("start_sample", check.StartSample);
        json.Integer("end_sample", check.EndSample);
    }
    if (check.SamplesBefore > 0)
        json.Integer("samples_before_source", check.SamplesBefore);
    if (check.SamplesAfter > 0)
        json.Integer("samples_after_source", check.SamplesAfter);
    if (check.Match == PartMatch::Gained) {
        json.Number("gain_db", check.Gain.Steps * kGainStepDb);
        json.Integer("fade_in_ms", check.Gain.FadeInMs);
        json.Integer("fade_out_ms", check.Gain.FadeOutMs);
    }
    if (check.Match == PartMatch::FramesOnly && check.FirstDifference < check.EndSample) {
        json.Integer("first_difference_sample", check.FirstDifference);
        if (!std::isinf(check.PeakDbfs))
            json.Number("peak_dbfs", std::round(check.PeakDbfs * 10) / 10);
    }
    json.EndObject();
}

int RunVerify(const VerifyOptions& options) {
    const Result<VerifySession> session = VerifySession::Open(options.Source);
    if (!session) {
        std::cerr << PrintableText(ErrorMessage(session.Failure())) << "\n";
        return 1;
    }
    int exitCode = 0;
    JsonWriter json;
    json.BeginArray();
    for (const std::string& part : options.Parts) {
        const Result<PartCheck> check = session.Value().Check(part);
        if (!check) {
            std::cerr << PrintableText(ErrorMessage(check.Failure())) << "\n";
            exitCode = 1;
            continue;
        }
        if (!VerifySession::CutFromSource(check.Value()))
            exitCode = 1;
        if (options.Json)
            JsonObject(json, part, check.Value());
        else
            std::cout << PrintableText(Line(part, options.Source, check.Value())) << "\n";
    }
    json.EndArray();
    if (options.Json)
        std::cout << json.Text();
    return exitCode;
}

} // namespace

void RegisterVerifyCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* verify = app.add_subcommand(
        "verify", "Tell for each PART where its audio comes from in SOURCE and whether it plays "
                  "the source's samples exactly");
    verify->add_option("SOURCE", options->Source, "The file the parts were cut from")->required();
    verify->add_option("PART", options->Parts, "The parts to check")->required();
    verify->add_flag("--json", options->Json,
                     "Print a JSON array with one object per part: part, result (exact, frames, "
                     "not_cut), first_frame, last_frame, sample_rate_hz, start_sample, "
                     "end_sample, samples_before_source, samples_after_source, "
                     "first_difference_sample, peak_dbfs");
    verify->callback([options, &exitCode] { exitCode = RunVerify(*options); });
}
