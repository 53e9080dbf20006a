#include "core/text_encoding.h"

#include <algorithm>

namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when it is not
// a valid, shortest-form sequence of a scalar value.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto at = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = Utf8SequenceLength(utf8, i);
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (length == 1)
            out += utf8[i];
        else if (length == 2 && lead <= 0xC3)
            out += static_cast<char>(((lead & 0x03) << 6) | (utf8[i + 1] & 0x3F));
        else
            out += '?';
        i += length == 0 ? 1 : length;
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string PrintableText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = Utf8SequenceLength(utf8, i);
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const bool control =
            (length == 1 && (lead < 0x20 || lead == 0x7F)) ||
            (length == 2 && lead == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F);
        if (length == 0 || control)
            out += '?';
        else
            out.append(utf8.substr(i, length));
        i += length == 0 ? 1 : length;
    }
    return out;
}

std::string CutForMessage(std::string_view text) {
    constexpr std::size_t kLongest = 60;
    if (text.size() <= kLongest)
        return std::string(text);
    std::size_t end = 0;
    for (;;) {
        const std::size_t length = std::max<std::size_t>(Utf8SequenceLength(text, end), 1);
        if (end + length > kLongest)
            break;
        end += length;
    }
    return std::string(text.substr(0, end)) + "…";
}
