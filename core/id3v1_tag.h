#pragma once

#include "core/engine_error.h"

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

// The 128 genre names, indexed by genre number (0..147).
const std::array<std::string_view, 148>& GenreList();

using TagBlockBytes = std::array<std::uint8_t, 128>;

// The ID3v1 tag at the end of a source file. Texts are Latin-1 bytes held
// one byte per char, exactly as they stand in the file.
class TID3v1Tag {
public:
    bool Present = false;
    bool FullComment = false;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Comment;
    std::string Year;
    std::uint32_t GenreId = 0;
    std::string GenreName;

    // Reads the last 128 of the count bytes that follow the stream's position.
    // An error when the stream delivers fewer bytes.
    Result<void> ReadFromStream(std::istream& in, std::int64_t count);
    void ParseBlock(const std::uint8_t* block, std::int64_t length);
    // 1 Title, 2 Artist, 3 Year, 4 Album, 5 Comment; others do nothing.
    void SetField(int field, std::string_view text);
};

// The written form of a tag block: "TAG", texts padded with spaces, genre byte.
TagBlockBytes EncodeTagBlock(std::string_view title, std::string_view artist,
                             std::string_view album, std::string_view year,
                             std::string_view comment, std::uint8_t genre);
