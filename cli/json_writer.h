#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writes one JSON document of nested objects and arrays, two spaces of indent
// per level. Keys are ignored inside an array. String values must be UTF-8;
// they are escaped here.
class JsonWriter {
public:
    void BeginObject(std::string_view key = {});
    void EndObject();
    void BeginArray(std::string_view key = {});
    void EndArray();
    void String(std::string_view key, std::string_view utf8);
    void Integer(std::string_view key, std::int64_t value);
    void Boolean(std::string_view key, bool value);
    void Number(std::string_view key, double value);

    // The document, ending in a newline once every object is closed.
    const std::string& Text() const { return out_; }

private:
    void Begin(std::string_view key, char bracket, bool array);
    void End(char bracket);
    void BeginMember(std::string_view key);
    void Indent();

    struct Level {
        bool Array = false;
        bool HasMembers = false;
    };
    std::string out_;
    std::vector<Level> open_; // one entry per open object or array
};

// The text as a JSON string literal, quotes included.
std::string JsonQuoted(std::string_view utf8);
