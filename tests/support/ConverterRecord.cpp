#include "ConverterRecord.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

namespace {

[[noreturn]] void Fail(std::size_t line, const std::string& what)
{
    throw ConverterRecordError("converter record line " + std::to_string(line) + ": " + what);
}

std::string Unescape(const std::string& value, std::size_t line)
{
    std::string raw;
    raw.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\r' || c == '\0') {
            Fail(line, "unescaped control byte in value");
        }
        if (c != '\\') {
            raw += c;
            continue;
        }
        if (++i == value.size()) {
            Fail(line, "value ends inside an escape");
        }
        switch (value[i]) {
        case '\\': raw += '\\'; break;
        case 'n': raw += '\n'; break;
        case 'r': raw += '\r'; break;
        case '0': raw += '\0'; break;
        default: Fail(line, std::string("unknown escape \\") + value[i]);
        }
    }
    return raw;
}

std::uint64_t Number(const std::string& text, std::uint64_t limit, std::size_t line)
{
    if (text.empty() || text.size() > 20) {
        Fail(line, "not a number: " + text);
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            Fail(line, "not a number: " + text);
        }
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) {
            Fail(line, "number out of range: " + text);
        }
        value = value * 10 + digit;
    }
    return value;
}

struct Field {
    std::string value;
    std::size_t line;
};

// Collects one record's lines; every key but "arg" must occur exactly once.
class RecordFields {
public:
    void Add(const std::string& key, std::string value, std::size_t line)
    {
        if (key == "arg") {
            arguments_.push_back(std::move(value));
            return;
        }
        if (!fields_.emplace(key, Field{std::move(value), line}).second) {
            Fail(line, "repeated key " + key);
        }
    }

    ConverterRecord Build(std::size_t endLine)
    {
        endLine_ = endLine;
        ConverterRecord record;
        record.commandLine = Take("cmdline");
        std::uint64_t argc = U32("argc");
        if (argc != arguments_.size()) {
            Fail(endLine, "argc " + std::to_string(argc) + " but " + std::to_string(arguments_.size()) + " arguments");
        }
        record.arguments = std::move(arguments_);
        record.currentDirectory = Take("cwd");
        record.probeSet = Flag("probe_set");
        record.probe = Take("probe");
        record.startupFlags = U32("startup_flags");
        record.showWindow = U32("show_window");
        record.handleSet = Flag("handle_set");
        record.handleValue = U64("handle_value");
        record.handleValid = Flag("handle_valid");
        record.handleFlags = U32("handle_flags");
        record.handleInherit = Flag("handle_inherit");
        if (record.handleInherit != ((record.handleFlags & 1u) != 0)) {
            Fail(endLine, "handle_inherit disagrees with handle_flags");
        }
        record.errorMode = U32("error_mode");
        record.processId = U32("pid");
        record.inJob = Flag("in_job");
        record.encoding = Take("encoding");
        record.sleepMs = U32("sleep_ms");
        record.childStarted = Flag("child_started");
        record.writeRequested = Flag("write_requested");
        record.targetWritten = Flag("target_written");
        record.exitCode = U32("exit_code");
        record.startTime = U64("start_time");
        record.endTime = U64("end_time");
        if (!fields_.empty()) {
            Fail(fields_.begin()->second.line, "unknown key " + fields_.begin()->first);
        }
        return record;
    }

private:
    Field TakeField(const char* key)
    {
        auto found = fields_.find(key);
        if (found == fields_.end()) {
            Fail(endLine_, std::string("record lacks key ") + key);
        }
        Field field = std::move(found->second);
        fields_.erase(found);
        return field;
    }
    std::string Take(const char* key) { return TakeField(key).value; }
    std::uint64_t U64(const char* key)
    {
        Field field = TakeField(key);
        return Number(field.value, UINT64_MAX, field.line);
    }
    std::uint32_t U32(const char* key)
    {
        Field field = TakeField(key);
        return static_cast<std::uint32_t>(Number(field.value, UINT32_MAX, field.line));
    }
    bool Flag(const char* key)
    {
        Field field = TakeField(key);
        if (field.value != "0" && field.value != "1") {
            Fail(field.line, std::string("flag ") + key + " is neither 0 nor 1");
        }
        return field.value == "1";
    }

    std::map<std::string, Field> fields_;
    std::vector<std::string> arguments_;
    std::size_t endLine_ = 0;
};

}  // namespace

std::vector<ConverterRecord> ParseConverterRecords(const std::string& bytes)
{
    std::vector<ConverterRecord> records;
    RecordFields current;
    bool open = false;
    std::size_t lineNumber = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        ++lineNumber;
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) {
            Fail(lineNumber, "last line has no line feed (truncated record)");
        }
        std::string line = bytes.substr(at, end - at);
        at = end + 1;
        if (line == "--") {
            if (!open) {
                Fail(lineNumber, "empty record");
            }
            records.push_back(current.Build(lineNumber));
            current = RecordFields();
            open = false;
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) {
            Fail(lineNumber, "not a key=value line");
        }
        current.Add(line.substr(0, equals), Unescape(line.substr(equals + 1), lineNumber), lineNumber);
        open = true;
    }
    if (open) {
        Fail(lineNumber, "record not terminated by --");
    }
    return records;
}

std::vector<ConverterRecord> ReadConverterRecords(const std::string& path)
{
    std::error_code error;
    std::filesystem::file_type type = std::filesystem::status(path, error).type();
    if (type == std::filesystem::file_type::not_found) {
        return {};
    }
    if (type != std::filesystem::file_type::regular) {
        throw ConverterRecordError("converter record path is not a readable file: " + path);
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw ConverterRecordError("cannot open converter record file " + path);
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        throw ConverterRecordError("error reading converter record file " + path);
    }
    return ParseConverterRecords(bytes);
}

std::vector<std::string> ConversionOptions(const std::vector<ConverterRecord>& records)
{
    std::vector<std::string> runs;
    for (const ConverterRecord& record : records) {
        std::string options;
        for (std::size_t i = 1; i < record.arguments.size() && record.arguments[i] != "-layout"; ++i) {
            options += (options.empty() ? "" : " ") + record.arguments[i];
        }
        if (options != "-v") {
            runs.push_back(options);
        }
    }
    return runs;
}
