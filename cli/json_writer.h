#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes one JSON document of nested objects, two spaces of indent per level.
// String values must be UTF-8; they are escaped here.
class JsonWriter {
public:
    void BeginObject(std::string_view key = {});
    void EndObject();
    void String(std::string_view key, std::string_view utf8);
    void Integer(std::string_view key, std::int64_t value);
    void Boolean(std::string_view key, bool value);
    void Number(std::string_view key, double value);

    // The document, ending in a newline once every object is closed.
    const std::string& Text() const { return out_; }

private:
    void BeginMember(std::string_view key);
    void Indent();

    std::string out_;
    std::vector<bool> hasMembers_; // one entry per open object
};

// The text as a JSON string literal, quotes included.
std::string JsonQuoted(std::string_view utf8);
