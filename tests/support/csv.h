#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

// Test-side reading of CSV as the manifests write it (RFC 4180 quoting),
// kept independent of the writer.
namespace vantel::testing {

using CsvRecord = std::map<std::string, std::string>;

// Splits CSV text into records of fields; quoted fields may hold commas,
// doubled quotes and line breaks.
inline std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(field);
            field.clear();
        } else if (c == '\n') {
            record.push_back(field);
            records.push_back(record);
            record.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return records;
}

// Records keyed by the header's column names.
inline std::vector<CsvRecord> readCsvRecords(const std::string& text) {
    const auto rows = parseCsv(text);
    std::vector<CsvRecord> records;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        CsvRecord record;
        for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) record[rows[0][c]] = rows[r][c];
        records.push_back(record);
    }
    return records;
}

// A manifest's CSV labels ("1-721 2161-3601 ...") as sample ranges.
struct Span {
    std::int64_t start, end;
};

inline std::vector<Span> labelSpans(const std::string& text) {
    std::vector<Span> spans;
    std::istringstream in(text);
    std::string pair;
    while (in >> pair) {
        const std::size_t dash = pair.find('-');
        spans.push_back({std::stoll(pair.substr(0, dash)), std::stoll(pair.substr(dash + 1))});
    }
    return spans;
}

}  // namespace vantel::testing
