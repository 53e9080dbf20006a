#pragma once

// A decode of a whole file from one offset, frame after frame with one
// decoder: what the program's piecewise decoding must agree with.

#include "media/mpeg_decoder.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Hands each frame to onFrame until it returns false. An error text, empty on success.
inline std::string DecodeFile(const std::string& path, std::int64_t byteOffset,
                              const std::function<bool(const DecodedFrame&)>& onFrame) {
    MpegDecoder decoder;
    if (!decoder.Ready())
        return decoder.ErrorText();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return path + ": cannot be opened";
    if (fseeko(file.get(), static_cast<off_t>(byteOffset), SEEK_SET) != 0)
        return path + ": cannot be read";
    std::vector<std::uint8_t> block(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
        if (got == 0)
            return std::ferror(file.get()) ? path + ": cannot be read" : std::string();
        decoder.Feed({block.data(), got});
        while (auto frame = decoder.NextFrame())
            if (!onFrame(*frame))
                return {};
    }
}
