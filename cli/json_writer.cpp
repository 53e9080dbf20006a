#include "cli/json_writer.h"

#include <charconv>
#include <cmath>

std::string JsonQuoted(std::string_view utf8) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void JsonWriter::BeginObject(std::string_view key) {
    Begin(key, '{', false);
}

void JsonWriter::EndObject() {
    End('}');
}

void JsonWriter::BeginArray(std::string_view key) {
    Begin(key, '[', true);
}

void JsonWriter::EndArray() {
    End(']');
}

void JsonWriter::Begin(std::string_view key, char bracket, bool array) {
    if (!open_.empty())
        BeginMember(key);
    out_ += bracket;
    open_.push_back({array, false});
}

void JsonWriter::End(char bracket) {
    const bool hadMembers = open_.back().HasMembers;
    open_.pop_back();
    if (hadMembers) {
        out_ += "\n";
        Indent();
    }
    out_ += bracket;
    if (open_.empty())
        out_ += "\n";
}

void JsonWriter::String(std::string_view key, std::string_view utf8) {
    BeginMember(key);
    out_ += JsonQuoted(utf8);
}

void JsonWriter::Integer(std::string_view key, std::int64_t value) {
    BeginMember(key);
    out_ += std::to_string(value);
}

void JsonWriter::Boolean(std::string_view key, bool value) {
    BeginMember(key);
    out_ += value ? "true" : "false";
}

void JsonWriter::Number(std::string_view key, double value) {
    BeginMember(key);
    if (!std::isfinite(value)) {
        out_ += "null";
        return;
    }
    // The shortest text that reads back as the same double.
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    out_.append(text, written.ptr);
}

void JsonWriter::BeginMember(std::string_view key) {
    Level& level = open_.back();
    if (level.HasMembers)
        out_ += ",";
    level.HasMembers = true;
    out_ += "\n";
    Indent();
    if (!level.Array)
        out_ += JsonQuoted(key) + ": ";
}

void JsonWriter::Indent() {
    out_.append(2 * open_.size(), ' ');
}
