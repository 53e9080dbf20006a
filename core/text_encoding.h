#pragma once

#include <string>
#include <string_view>

// Texts inside the program are UTF-8; the ID3v1 block holds Latin-1, one byte
// per character.

// Latin-1 bytes as UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);

// UTF-8 as Latin-1: a character beyond U+00FF, or a byte that starts no valid
// sequence, becomes "?".
std::string Utf8ToLatin1(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

// Text for a message: a control character (C0, DEL, C1) and a byte that
// starts no valid UTF-8 sequence become "?", so no name or tag can move a
// terminal's cursor, clear its screen or retitle its window.
std::string PrintableText(std::string_view utf8);

// Input quoted in a message, cut to 60 bytes on a character boundary with "…"
// after it, so that a huge word in a file cannot fill the screen.
std::string CutForMessage(std::string_view text);
