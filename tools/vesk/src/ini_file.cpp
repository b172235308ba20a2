#include "ini_file.h"

#include <sstream>
#include <utility>

#include "escaped_text.h"
#include "failure.h"
#include "input_file.h"

namespace vesk {

namespace {

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

std::string LowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

IniSection IniSection::Read(const std::filesystem::path& file, const std::string& section) {
    const InputFile in(file);
    // Far more than any settings file needs, and all of it is held at once.
    constexpr uint64_t kMaxSize = 1 << 20;
    if (in.Size() > kMaxSize)
        throw Failure(in.Name(), "is " + std::to_string(in.Size()) + " bytes; a settings file holds at most 1 MiB");
    std::string content(in.Size(), '\0');
    content.resize(in.ReadAt(0, std::span(reinterpret_cast<uint8_t*>(content.data()), content.size())));
    for (const auto& [mark, encoding] : {std::pair{"\xFF\xFE", "little"}, std::pair{"\xFE\xFF", "big"}})
        if (content.starts_with(mark))
            throw Failure(in.Name(), std::string("is UTF-16 (") + encoding + "-endian); save it as UTF-8");
    if (size_t nul = content.find('\0'); nul != std::string::npos)
        throw Failure(in.Name(), "holds a NUL byte (at offset " + std::to_string(nul) + "); a settings file is text");
    // The profile functions do not end a line at a CR alone: such a file
    // would read as one line.
    for (size_t cr = content.find('\r'); cr != std::string::npos; cr = content.find('\r', cr + 1))
        if (cr + 1 == content.size() || content[cr + 1] != '\n')
            throw Failure(in.Name(), "ends a line with CR alone (at offset " + std::to_string(cr) +
                                         "); save it with LF or CR LF line ends");
    if (content.starts_with(kUtf8ByteOrderMark)) content.erase(0, sizeof kUtf8ByteOrderMark - 1);
    IniSection result = Parse(content, section);
    if (!result.present_) throw Failure(in.Name(), "no [" + section + "] section");
    for (const Repeat& r : result.repeats_)
        Warn(in.Name() + ":" + std::to_string(r.line),
             Quoted(r.key) + " is given again; the value on line " + std::to_string(r.firstLine) + " counts");
    return result;
}

IniSection IniSection::Parse(const std::string& content, const std::string& section) {
    IniSection result;
    const std::string wanted = LowerCase(section);
    bool inSection = false;
    std::istringstream lines(content);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';') continue;
        if (trimmed.front() == '[') {
            size_t close = trimmed.find(']');
            std::string name = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = LowerCase(name) == wanted;
            result.present_ = result.present_ || inSection;
            continue;
        }
        size_t equals = trimmed.find('=');
        if (!inSection || equals == std::string::npos) continue;
        std::string key = Trim(trimmed.substr(0, equals));
        if (key.empty()) continue;
        auto [it, inserted] = result.values_.emplace(LowerCase(key), Unquote(Trim(trimmed.substr(equals + 1))));
        int& first = result.lines_[LowerCase(key)];
        if (inserted) {
            result.keys_.push_back(key);
            first = number;
        } else if (first > 0) {
            result.repeats_.push_back({key, first, number});
            first = -1;
        }
    }
    return result;
}

std::optional<std::string> IniSection::Get(const std::string& key) const {
    auto it = values_.find(LowerCase(key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::string FormatIniLine(const std::string& key, const std::string& value) {
    bool needsQuotes = !value.empty() &&
                       (IsBlank(value.front()) || IsBlank(value.back()) || IsQuote(value.front()) ||
                        IsQuote(value.back()));
    return key + "=" + (needsQuotes ? "\"" + value + "\"" : value) + "\r\n";
}

}  // namespace vesk
