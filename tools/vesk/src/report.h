// An ordered tree of named facts, printed as indented text or as JSON, so
// inspect says the same things in both forms.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vesk {

class Report {
public:
    static Report Object() { return Report(Kind::Object); }
    static Report Array() { return Report(Kind::Array); }
    static Report Text(std::string text);
    static Report Number(uint64_t value, bool hex = false);
    static Report Boolean(bool value);

    Report& Add(const std::string& name, Report value);  // objects
    Report& Add(const std::string& name, uint64_t value, bool hex = false) { return Add(name, Number(value, hex)); }
    Report& AddText(const std::string& name, const std::string& text) { return Add(name, Text(text)); }
    Report& Push(Report value);                          // arrays

    void PrintText(std::ostream& out, int indent = 0) const;
    void PrintJson(std::ostream& out, int indent = 0) const;

private:
    enum class Kind { Object, Array, Text, Number, Boolean };
    explicit Report(Kind kind) : kind_(kind) {}
    bool IsScalar() const { return kind_ == Kind::Text || kind_ == Kind::Number || kind_ == Kind::Boolean; }
    void PrintScalarText(std::ostream& out) const;

    Kind kind_;
    std::string text_;
    uint64_t number_ = 0;
    bool hex_ = false;
    std::vector<std::pair<std::string, Report>> fields_;
    std::vector<Report> items_;
};

}  // namespace vesk
