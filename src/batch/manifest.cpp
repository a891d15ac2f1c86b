#include "batch/manifest.h"

#include <charconv>
#include <filesystem>
#include <cmath>
#include <cstdio>
#include <span>
#include <stdexcept>

#include "channel/multipath_fading.h"
#include "keying/classic_labels.h"
#include "synth/file_labels.h"
#include "synth/level_report.h"
#include "text/number_text.h"
#include "wav/wav_writer.h"

namespace vantel::batch {
namespace {

std::string modeName(settings::Mode mode) {
    switch (mode) {
        case settings::Mode::FSKCW: return "fsk";
        case settings::Mode::ToneOnly: return "tone";
        default: return "onoff";
    }
}

std::string hexBytes(std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

double rmsOf(const FileResult& r) {
    const std::int64_t samples = r.prepared.setup.plan.totalSamples;
    return samples > 0 ? std::sqrt(static_cast<double>(r.stats.sumSquares) / static_cast<double>(samples)) : 0.0;
}

// "--filter-cf" gives "filter_cf_typed".
std::string typedFieldName(std::string_view option) {
    std::string name(option.substr(2));
    for (char& c : name) c = c == '-' ? '_' : c;
    return name + "_typed";
}

// Every typed option as typed, or the text it stands for when not given; the
// message also as its exact bytes.
void addTyped(ManifestRow& row, const FileRequest& request) {
    for (const TypedOption& option : kTypedOptions) {
        const bool automatic = option.id == Typed::Level && request.level.automatic;
        const std::string text = automatic ? std::string(kAutoLevel)
                                           : request.typed[option.id].value_or(std::string(untypedText(option)));
        row.emplace_back(typedFieldName(option.name), text);
        if (option.id == Typed::Message) row.emplace_back("message_typed_hex", hexBytes(text));
    }
}

void addUsed(ManifestRow& row, const TypedForm& f) {
    const bool tone = f.mode == settings::Mode::ToneOnly;
    row.emplace_back("wpm", tone ? std::nan("") : f.s.WPM);
    row.emplace_back("tone_length_s", tone ? text::readNumber(f.text(settings::Box::WPMtext)) : std::nan(""));
    row.emplace_back("tone_hz", f.s.ToneFreq);
    row.emplace_back("space_tone_hz", f.s.SPToneFreq);
    row.emplace_back("rate_hz", f.s.FSample);
    row.emplace_back("snr_db", f.s.SN);
    row.emplace_back("bw_hz", f.s.BW);
    row.emplace_back("level_db", text::readNumber(f.text(settings::Box::ScaleText)));
    row.emplace_back("filter", f.filterOn);
    row.emplace_back("filter_cf_hz", f.s.FilterCF);
    row.emplace_back("filter_bw_hz", f.s.FilterBW);
    row.emplace_back("fir_length", std::int64_t{f.firLength});
}

// The options that place the message in its file came after the rest and
// have their columns at the end of a row, so that readers of the earlier
// columns by position still work.
constexpr std::size_t kFramingFirst = static_cast<std::size_t>(Band::LeadIn);
constexpr std::span<const BandOption> kConditionOptions = std::span(kBandOptions).first(kFramingFirst);
constexpr std::size_t kRealismFirst = static_cast<std::size_t>(Band::QrmTraffic);
constexpr std::span<const BandOption> kFramingOptions =
    std::span(kBandOptions).subspan(kFramingFirst, kRealismFirst - kFramingFirst);
// Traffic, impulsive static, random QSB, fading paths and the receiver came
// later still.
constexpr std::span<const BandOption> kRealismOptions = std::span(kBandOptions).subspan(kRealismFirst);

// Band options as typed (nothing when not given).
void addBandTyped(ManifestRow& row, const FileRequest& options, std::span<const BandOption> which) {
    for (const BandOption& option : which) {
        const std::optional<std::string>& text = options.band[option.id];
        row.emplace_back(typedFieldName(option.name), text ? FieldValue(*text) : FieldValue(std::monostate{}));
    }
}

// The settings of traffic, static, random QSB, fading paths and the
// receiver the run used; nothing for those of an effect that is off.
FieldValue realismUsed(Band id, const channel::BandConditions& c) {
    const double none = std::nan("");
    const bool qrn = c.qrnRate > 0 || c.qrnModel != channel::QrnModel::Bursts;
    const bool classA = c.qrnModel == channel::QrnModel::ClassA;
    switch (id) {
        case Band::QrmTraffic:
            return c.qrmStations > 0 ? FieldValue(std::string(nameOf(c.qrmTraffic, channel::kQrmTrafficNames)))
                                     : FieldValue(std::string());
        case Band::QrmTimeSpread:
            return c.qrmStations > 0 && c.qrmTraffic == channel::QrmTraffic::Pileup ? c.qrmTimeSpreadS : none;
        case Band::QrnModel:
            return qrn ? FieldValue(std::string(nameOf(c.qrnModel, channel::kQrnModelNames))) : FieldValue(std::string());
        case Band::QrnIndex: return classA ? c.qrnIndex : none;
        case Band::QrnGamma: return classA ? c.qrnGamma : none;
        case Band::QsbRandom: return c.qsbRandomDb;
        case Band::QsbTime: return c.qsbRandomDb > 0 ? c.qsbTimeS : none;
        case Band::FadingPaths:
            return FieldValue(c.fadingPaths.empty() ? std::string() : channel::fadingPathsText(c.fadingPaths));
        case Band::Receiver: return c.receiver;
        case Band::IfShape:
            return c.receiver ? FieldValue(std::string(nameOf(c.ifShape, channel::kIfShapeNames))) : FieldValue(std::string());
        case Band::IfBw: return c.receiver ? c.ifBandwidthHz : none;
        case Band::Agc:
            return c.receiver ? FieldValue(std::string(nameOf(c.agc, channel::kAgcNames))) : FieldValue(std::string());
        case Band::Hum: return c.humHz;
        case Band::HumLevel: return c.humHz > 0 ? c.humLevelDb : none;
        default: return none;
    }
}

// The band conditions the run used. A setting that only shapes an effect
// that is off has no value.
void addBandUsed(ManifestRow& row, const FileRequest& options, const channel::BandConditions& c,
                 std::span<const BandOption> which) {
    const double none = std::nan("");
    for (const BandOption& option : which) {
        FieldValue value;
        switch (option.id) {
            case Band::Rise: value = c.riseMs; break;
            case Band::Farnsworth: value = c.farnsworthWpm; break;
            case Band::WordSpace: value = c.wordSpaceFactor; break;
            case Band::Jitter: value = c.jitterPercent; break;
            case Band::DashRatio: value = c.dashRatio; break;
            case Band::Weight: value = c.weightPercent; break;
            case Band::SpeedDrift: value = c.speedDriftPercent; break;
            case Band::Channel: value = options.band[Band::Channel].value_or(""); break;
            case Band::FadingSpread: value = c.fading ? c.fadingSpreadHz : none; break;
            case Band::FadingDelay: value = c.fading ? c.fadingDelayMs : none; break;
            case Band::QsbDepth: value = c.qsbDepthDb; break;
            case Band::QsbPeriod: value = c.qsbDepthDb > 0 ? c.qsbPeriodS : none; break;
            case Band::Qrm: value = std::int64_t{c.qrmStations}; break;
            case Band::QrmSpread: value = c.qrmStations > 0 ? c.qrmSpreadHz : none; break;
            case Band::QrmLevel: value = c.qrmStations > 0 ? c.qrmLevelDb : none; break;
            case Band::Qrn: value = c.qrnRate; break;
            case Band::QrnLevel: value = c.qrnRate > 0 ? c.qrnLevelDb : none; break;
            case Band::Chirp: value = c.chirpHz; break;
            case Band::Drift: value = c.driftHzPerMin; break;
            case Band::LeadIn: value = c.leadInS; break;
            case Band::Tail: value = c.tailS; break;
            case Band::Duration: value = c.durationS; break;
            case Band::CropFrom: value = c.cropFrom; break;
            default: value = realismUsed(option.id, c); break;
        }
        row.emplace_back(std::string(option.usedField), std::move(value));
    }
}

void addMeasured(ManifestRow& row, const FileResult& r) {
    row.emplace_back("samples", r.prepared.setup.plan.totalSamples);
    row.emplace_back("rms", rmsOf(r));
    row.emplace_back("peak", r.stats.peak);
    row.emplace_back("clipped", std::int64_t{r.stats.clipped});
    row.emplace_back("snr_measured_db", measuredSnrDb(r));
    row.emplace_back("snr_measured_2500hz_db", measuredSnrDb2500(r));
}

std::string numberText(double value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

std::string labelsCsv(const std::vector<keying::TimedLabel>& labels) {
    std::string text;
    for (const keying::TimedLabel& l : labels) {
        if (!text.empty()) text += ' ';
        text += std::to_string(l.start) + '-' + std::to_string(l.end);
    }
    return csvText(text);
}

// [["C",100,5380],...]: each label's text with its range, compact and in
// one field for readers of CSV.
std::string labelTriples(const std::vector<keying::TimedLabel>& labels) {
    std::string text = "[";
    for (const keying::TimedLabel& l : labels) {
        if (text.size() > 1) text += ',';
        text += "[" + jsonText(l.text) + "," + std::to_string(l.start) + "," + std::to_string(l.end) + "]";
    }
    return text + "]";
}

std::string labelsJson(const std::vector<keying::TimedLabel>& labels) {
    std::string text = "[";
    for (const keying::TimedLabel& l : labels) {
        if (text.size() > 1) text += ',';
        text += "{\"char\":" + jsonText(l.text) + ",\"start\":" + std::to_string(l.start) +
                ",\"end\":" + std::to_string(l.end) + "}";
    }
    return text + "]";
}

// A field in CSV (`json` false) or JSON form. Real numbers with no value to
// give (NaN, infinite) are an empty CSV field and JSON null.
std::string fieldText(const FieldValue& value, bool json) {
    return std::visit(
        [json](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return json ? "null" : "";
            } else if constexpr (std::is_same_v<T, JsonValue>) {
                return json ? v.json : csvText(v.json);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return json ? jsonText(v) : csvText(v);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return std::to_string(v);
            } else if constexpr (std::is_same_v<T, double>) {
                if (!std::isfinite(v)) return json ? "null" : "";
                return numberText(v);
            } else if constexpr (std::is_same_v<T, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, SeedValue>) {
                return json ? jsonText(std::to_string(v.value)) : std::to_string(v.value);
            } else {
                static_assert(std::is_same_v<T, std::vector<keying::TimedLabel>>);
                return json ? labelsJson(v) : labelsCsv(v);
            }
        },
        value);
}

// Length of the valid UTF-8 sequence at the start of `s`, or 0.
std::size_t utf8Length(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

// A JSON number, null when it has no finite value.
std::string jsonNumber(double value) { return std::isfinite(value) ? numberText(value) : "null"; }

// A station's part in QSOs, contests and pile-ups, and its own fist and
// transmitter; nothing for stations that only call over and over.
std::string trafficFields(const channel::QrmStation& station) {
    if (station.role.empty()) return {};
    return ",\"role\":" + jsonText(station.role) + ",\"partner\":" + std::to_string(station.partner) +
           ",\"jitter_percent\":" + jsonNumber(station.jitterPercent) +
           ",\"weight_percent\":" + jsonNumber(station.weightPercent) + ",\"chirp_hz\":" + jsonNumber(station.chirpHz) +
           ",\"drift_hz_per_min\":" + jsonNumber(station.driftHzPerMin) +
           ",\"fading_spread_hz\":" + jsonNumber(station.fadingSpreadHz);
}

// Each station as an object: its frequency, level, speed, message, first
// sample and the labels of its characters in file samples.
JsonValue qrmStationList(const std::vector<channel::QrmStation>& stations,
                         const std::vector<std::vector<keying::TimedLabel>>& labels) {
    std::string json = "[";
    for (std::size_t k = 0; k < stations.size(); ++k) {
        const channel::QrmStation& station = stations[k];
        if (json.size() > 1) json += ',';
        json += "{\"frequency_hz\":" + jsonNumber(station.frequencyHz) + ",\"level_db\":" + jsonNumber(station.levelDb) +
                ",\"wpm\":" + jsonNumber(station.wpm) + ",\"message\":" + jsonText(station.message) +
                ",\"start_sample\":" + std::to_string(station.startSample) + ",\"labels\":" + labelsJson(labels[k]) +
                trafficFields(station) + "}";
    }
    return {json + "]"};
}

// The message as sent: with timed keying the symbols timed (prosigns as
// "<AR>"), otherwise as the window's encoder sends it.
std::string sentMessage(const TypedForm& f, const synth::RunSetup& setup) {
    if (!settings::isMorseMode(f.mode)) return {};
    if (!setup.timed) return keying::encodedMessage(f.text(settings::Box::Messagetext));
    std::string sent;
    for (const keying::TimedLabel& l : setup.timed->labels) sent += l.text;
    return sent;
}

}  // namespace

ManifestRow manifestRow(std::size_t index, const std::string& fileName, const FileRequest& typed,
                        const FileResult& result) {
    const TypedForm& f = result.prepared.form;
    const synth::RunSetup& setup = result.prepared.setup;
    const std::string encoded = sentMessage(f, setup);
    const bool timed = setup.timed.has_value();
    const synth::FileLabels labels =
        synth::fileLabels(setup, f.text(settings::Box::Messagetext), f.filterOn, f.firLength);
    ManifestRow row;
    row.emplace_back("index", static_cast<std::int64_t>(index));
    row.emplace_back("file", fileName);
    row.emplace_back("seed", SeedValue{result.prepared.seed});
    row.emplace_back("mode", modeName(f.mode));
    addTyped(row, typed);
    row.emplace_back("no_filter_typed", !typed.filterOn);
    addUsed(row, f);
    row.emplace_back("message_encoded", encoded);
    // Timed keying has runs of any length, not one pattern of equal elements.
    row.emplace_back("keying_pattern", timed ? std::string() : setup.pattern.text());
    row.emplace_back("element_samples", timed ? std::nan("") : static_cast<double>(setup.plan.samplesPerElement));
    row.emplace_back("labels", labels.wanted);
    addMeasured(row, result);
    addBandTyped(row, typed, kConditionOptions);
    row.emplace_back("extended_typed", typed.extended);
    addBandUsed(row, typed, setup.conditions, kConditionOptions);
    row.emplace_back("fading", setup.conditions.fading);
    row.emplace_back("qrm_station_list", qrmStationList(setup.qrmStations, labels.stations));
    row.emplace_back("qrm_measured_db", result.measure.qrmDb());
    row.emplace_back("qrn_measured_db", result.measure.qrnDb());
    row.emplace_back("qrn_crashes", result.measure.qrnCrashes);
    // Added last, so that readers of the earlier columns by position still work.
    row.emplace_back("filter_delay_samples", labels.filterDelay);
    // The CSV labels hold no characters, and the CSV seed is a number that
    // readers holding numbers as doubles round: both again, whole, in both files.
    row.emplace_back("labels_with_text", JsonValue{labelTriples(labels.wanted)});
    row.emplace_back("seed_text", std::to_string(result.prepared.seed));
    addBandTyped(row, typed, kFramingOptions);
    addBandUsed(row, typed, setup.conditions, kFramingOptions);
    // Where a practice text came from, and the characters of any message that
    // were sent otherwise or dropped.
    row.emplace_back("text_source", result.prepared.textSource);
    row.emplace_back("text_changes", result.prepared.textChanges);
    addBandTyped(row, typed, kRealismOptions);
    addBandUsed(row, typed, setup.conditions, kRealismOptions);
    // With a receiver, the S/N label still holds at the antenna; this is the
    // wanted signal's key-down power over everything else at its output.
    row.emplace_back("snr_output_db", outputSnrDb(result));
    row.emplace_back("receiver_delay_samples", labels.receiverDelay);
    return row;
}

std::string csvHeader() {
    std::string header;
    for (const auto& [name, value] : manifestRow(0, "", FileRequest{}, FileResult{})) {
        if (!header.empty()) header += ',';
        header += name;
    }
    return header;
}

std::string csvLine(const ManifestRow& row) {
    std::string line;
    for (const auto& [name, value] : row) {
        if (!line.empty()) line += ',';
        line += fieldText(value, false);
    }
    return line;
}

std::string jsonLine(const ManifestRow& row) {
    std::string line = "{";
    for (const auto& [name, value] : row) {
        if (line.size() > 1) line += ',';
        line += jsonText(name);
        line += ':';
        line += fieldText(value, true);
    }
    return line + "}";
}

namespace {

const FieldValue& fieldOf(const ManifestRow& row, std::string_view name) {
    for (const auto& [field, value] : row) {
        if (field == name) return value;
    }
    throw std::logic_error("the manifest row has no field " + std::string(name));
}

}  // namespace

std::string metadataHeader() {
    std::string header = "file_name,text,labels";
    for (std::string_view name : kMetadataSettings) header.append(",").append(name);
    return header;
}

std::string metadataLine(const ManifestRow& row) {
    const auto& labels = std::get<std::vector<keying::TimedLabel>>(fieldOf(row, "labels"));
    std::string line = fieldText(fieldOf(row, "file"), false) + ',' + fieldText(fieldOf(row, "message_encoded"), false) +
                       ',' + csvText(labelTriples(labels));
    for (std::string_view name : kMetadataSettings) line += ',' + fieldText(fieldOf(row, name), false);
    return line;
}

std::string csvText(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string jsonText(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text.substr(i));
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out + "\"";
}

namespace {

// The rows are written out in pieces of about this much.
constexpr std::size_t kFlushBytes = 64 * 1024;

std::string shownIn(const std::string& folder, const char* name) {
    return (std::filesystem::path(folder) / name).string();
}

}  // namespace

ManifestWriter::ManifestWriter(const save::Folder& folder, const std::string& shownFolder, AudioFolder audioFolder,
                               const std::string& temporarySuffix)
    : csv_(folder, kManifestCsv, shownIn(shownFolder, kManifestCsv), temporarySuffix, save::Replace::Refused),
      json_(folder, kManifestJsonl, shownIn(shownFolder, kManifestJsonl), temporarySuffix, save::Replace::Refused) {
    csvBuffer_ = csvHeader() + '\n';
    if (audioFolder == AudioFolder::On) {
        metadata_.emplace(folder, kAudioFolderMetadata, shownIn(shownFolder, kAudioFolderMetadata), temporarySuffix,
                          save::Replace::Refused);
        metadataBuffer_ = metadataHeader() + '\n';
    }
}

void ManifestWriter::add(std::size_t index, Lines lines) {
    const std::lock_guard lock(mutex_);
    heldBack_.emplace(index, std::move(lines));
    while (!heldBack_.empty() && heldBack_.begin()->first == next_) {
        write(heldBack_.begin()->second);
        heldBack_.erase(heldBack_.begin());
        ++next_;
    }
    if (csvBuffer_.size() + jsonBuffer_.size() + metadataBuffer_.size() >= kFlushBytes) flush();
}

void ManifestWriter::finish() {
    const std::lock_guard lock(mutex_);
    for (const auto& [index, lines] : heldBack_) write(lines);
    heldBack_.clear();
    flush();
    // Never one without the others: those already in place are taken back
    // when a later one fails.
    std::vector<save::PendingFile*> files{&json_};
    if (metadata_) files.push_back(&*metadata_);
    files.push_back(&csv_);
    for (std::size_t i = 0; i < files.size(); ++i) {
        try {
            files[i]->publish();
        } catch (...) {
            for (std::size_t j = 0; j < i; ++j) files[j]->withdraw();
            throw;
        }
    }
}

void ManifestWriter::write(const Lines& lines) {
    csvBuffer_ += lines.csv;
    csvBuffer_ += '\n';
    jsonBuffer_ += lines.json;
    jsonBuffer_ += '\n';
    if (metadata_) {
        metadataBuffer_ += lines.metadata;
        metadataBuffer_ += '\n';
    }
}

void ManifestWriter::flush() {
    csv_.write(csvBuffer_.data(), csvBuffer_.size());
    json_.write(jsonBuffer_.data(), jsonBuffer_.size());
    if (metadata_) metadata_->write(metadataBuffer_.data(), metadataBuffer_.size());
    csvBuffer_.clear();
    jsonBuffer_.clear();
    metadataBuffer_.clear();
}

}  // namespace vantel::batch
