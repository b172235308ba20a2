#include "report.h"

#include <cstdio>

#include "escaped_text.h"

namespace vesk {

namespace {

void Indent(std::ostream& out, int indent) {
    for (int i = 0; i < indent; ++i) out << "  ";
}

}  // namespace

Report Report::Text(std::string text) {
    Report r(Kind::Text);
    r.text_ = std::move(text);
    return r;
}

Report Report::Number(uint64_t value, bool hex) {
    Report r(Kind::Number);
    r.number_ = value;
    r.hex_ = hex;
    return r;
}

Report Report::Boolean(bool value) {
    Report r(Kind::Boolean);
    r.number_ = value;
    return r;
}

Report& Report::Add(const std::string& name, Report value) {
    fields_.emplace_back(name, std::move(value));
    return *this;
}

Report& Report::Push(Report value) {
    items_.push_back(std::move(value));
    return *this;
}

void Report::PrintScalarText(std::ostream& out) const {
    if (kind_ == Kind::Text) {
        out << Quoted(text_, '"');
    } else if (kind_ == Kind::Boolean) {
        out << (number_ ? "true" : "false");
    } else if (hex_) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(number_));
        out << text;
    } else {
        out << number_;
    }
}

void Report::PrintText(std::ostream& out, int indent) const {
    if (IsScalar()) {
        Indent(out, indent);
        PrintScalarText(out);
        out << '\n';
        return;
    }
    for (const auto& [name, value] : fields_) {
        Indent(out, indent);
        out << name << ':';
        if (value.IsScalar()) {
            out << ' ';
            value.PrintScalarText(out);
            out << '\n';
        } else {
            out << '\n';
            value.PrintText(out, indent + 1);
        }
    }
    for (size_t i = 0; i < items_.size(); ++i) {
        Indent(out, indent);
        out << '[' << i << "]\n";
        items_[i].PrintText(out, indent + 1);
    }
}

void Report::PrintJson(std::ostream& out, int indent) const {
    switch (kind_) {
    case Kind::Text:
        out << Quoted(text_, '"', EscapeForm::Json);
        break;
    case Kind::Number:
        out << number_;
        break;
    case Kind::Boolean:
        out << (number_ ? "true" : "false");
        break;
    case Kind::Object:
    case Kind::Array: {
        const bool object = kind_ == Kind::Object;
        const size_t count = object ? fields_.size() : items_.size();
        out << (object ? '{' : '[');
        for (size_t i = 0; i < count; ++i) {
            out << (i ? ",\n" : "\n");
            Indent(out, indent + 1);
            if (object) {
                out << Quoted(fields_[i].first, '"', EscapeForm::Json);
                out << ": ";
                fields_[i].second.PrintJson(out, indent + 1);
            } else {
                items_[i].PrintJson(out, indent + 1);
            }
        }
        if (count) {
            out << '\n';
            Indent(out, indent);
        }
        out << (object ? '}' : ']');
        break;
    }
    }
    if (indent == 0) out << '\n';
}

}  // namespace vesk
