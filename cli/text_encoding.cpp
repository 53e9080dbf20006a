#include "cli/text_encoding.h"

std::string FileNameToUtf8(std::string_view name) {
    return IsValidUtf8(name) ? std::string(name) : Latin1ToUtf8(name);
}

std::string Latin1ToPrintableUtf8(std::string_view latin1) {
    std::string printable(latin1);
    for (char& c : printable) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || (byte >= 0x7F && byte <= 0x9F))
            c = '?';
    }
    return Latin1ToUtf8(printable);
}
