#include "manifest.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "synth/level_report.h"
#include "text/number_text.h"
#include "wav/wav_writer.h"

namespace vantel::gen {
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
void addTyped(ManifestRow& row, const GenOptions& options) {
    for (const TypedOption& option : kTypedOptions) {
        const std::string text = options.typed[option.id].value_or(std::string(untypedText(option)));
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

std::string labelsCsv(const std::vector<CharacterLabel>& labels) {
    std::string text;
    for (const CharacterLabel& l : labels) {
        if (!text.empty()) text += ' ';
        text += std::to_string(l.start) + '-' + std::to_string(l.end);
    }
    return csvText(text);
}

std::string labelsJson(const std::vector<CharacterLabel>& labels) {
    std::string text = "[";
    for (const CharacterLabel& l : labels) {
        if (text.size() > 1) text += ',';
        text += "{\"char\":" + jsonText(std::string_view(&l.character, 1)) + ",\"start\":" + std::to_string(l.start) +
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
            if constexpr (std::is_same_v<T, std::string>) {
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

}  // namespace

ManifestRow manifestRow(std::size_t index, const std::string& fileName, const GenOptions& typed,
                        const FileResult& result) {
    const TypedForm& f = result.prepared.form;
    const bool morse = settings::isMorseMode(f.mode);
    const std::string encoded = morse ? encodedMessage(f.text(settings::Box::Messagetext)) : std::string();
    const synth::RunSetup& setup = result.prepared.setup;
    ManifestRow row;
    row.emplace_back("index", static_cast<std::int64_t>(index));
    row.emplace_back("file", fileName);
    row.emplace_back("seed", SeedValue{result.prepared.seed});
    row.emplace_back("mode", modeName(f.mode));
    addTyped(row, typed);
    row.emplace_back("no_filter_typed", typed.noFilter);
    addUsed(row, f);
    row.emplace_back("message_encoded", encoded);
    row.emplace_back("keying_pattern", setup.pattern.text());
    row.emplace_back("element_samples", setup.plan.samplesPerElement);
    row.emplace_back("labels", characterLabels(encoded, setup.plan.samplesPerElement));
    addMeasured(row, result);
    return row;
}

std::string csvHeader() {
    std::string header;
    for (const auto& [name, value] : manifestRow(0, "", GenOptions{}, FileResult{})) {
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

ManifestWriter::ManifestWriter(const std::filesystem::path& folder)
    : folder_(folder),
      csvTemporary_(folder / (std::string(kManifestCsv) + ".partial-" + std::to_string(::getpid()))),
      jsonTemporary_(folder / (std::string(kManifestJsonl) + ".partial-" + std::to_string(::getpid()))) {
    csv_.open(csvTemporary_, std::ios::binary | std::ios::trunc);
    json_.open(jsonTemporary_, std::ios::binary | std::ios::trunc);
    csv_ << csvHeader() << '\n';
    check();
}

ManifestWriter::~ManifestWriter() {
    if (finished_) return;
    csv_.close();
    json_.close();
    std::error_code ignored;
    std::filesystem::remove(csvTemporary_, ignored);
    std::filesystem::remove(jsonTemporary_, ignored);
}

void ManifestWriter::add(std::size_t index, const ManifestRow& row) {
    Lines lines{csvLine(row), jsonLine(row)};
    const std::lock_guard lock(mutex_);
    heldBack_.emplace(index, std::move(lines));
    while (!heldBack_.empty() && heldBack_.begin()->first == next_) {
        write(heldBack_.begin()->second);
        heldBack_.erase(heldBack_.begin());
        ++next_;
    }
    check();
}

void ManifestWriter::finish() {
    const std::lock_guard lock(mutex_);
    for (const auto& [index, lines] : heldBack_) write(lines);
    heldBack_.clear();
    csv_.close();
    json_.close();
    check();
    std::filesystem::rename(csvTemporary_, folder_ / kManifestCsv);
    std::filesystem::rename(jsonTemporary_, folder_ / kManifestJsonl);
    finished_ = true;
}

void ManifestWriter::write(const Lines& lines) {
    csv_ << lines.csv << '\n';
    json_ << lines.json << '\n';
}

void ManifestWriter::check() {
    if (!csv_.fail() && !json_.fail()) return;
    throw wav::FileError("Cannot write the manifest in " + folder_.string());
}

}  // namespace vantel::gen
