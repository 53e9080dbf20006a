#include "cli/text_encoding.h"

std::string FileNameToUtf8(std::string_view name) {
    return IsValidUtf8(name) ? std::string(name) : Latin1ToUtf8(name);
}
