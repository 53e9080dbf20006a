#include "split/output_naming.h"

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

enum TagKind { kSourceName, kTitle, kArtist, kNumber, kNoTag };

TagKind KindOf(char letter) {
    switch (letter) {
    case 'F':
    case 'f':
        return kSourceName;
    case 'T':
    case 't':
        return kTitle;
    case 'A':
    case 'a':
        return kArtist;
    case 'N':
    case 'n':
        return kNumber;
    default:
        return kNoTag;
    }
}

std::uint8_t Bit(TagKind kind) {
    return static_cast<std::uint8_t>(1u << kind);
}

// What "$F" stands for: the name after the last separator, less its last four
// characters (the extension with its dot) when it has that many.
std::string SourceNameTag(const std::string& sourceFileName) {
    const std::size_t slash = sourceFileName.find_last_of('/');
    std::string name =
        slash == std::string::npos ? sourceFileName : sourceFileName.substr(slash + 1);
    if (name.size() >= 4)
        name.resize(name.size() - 4);
    return name;
}

// The text still to be scanned: the template with the replacements pushed on
// top of it. Each character carries the kinds of tag whose text brought it in.
class TagStream {
public:
    explicit TagStream(const std::string& text) { frames_.push_back({&text, 0, 0}); }

    bool Next(char& c, std::uint8_t& kinds) {
        while (!frames_.empty() && frames_.back().Position == frames_.back().Text->size())
            frames_.pop_back();
        if (frames_.empty())
            return false;
        Frame& top = frames_.back();
        c = (*top.Text)[top.Position++];
        kinds = top.Kinds;
        return true;
    }

    void Push(const std::string& text, std::uint8_t kinds) { frames_.push_back({&text, 0, kinds}); }

private:
    struct Frame {
        const std::string* Text;
        std::size_t Position;
        std::uint8_t Kinds;
    };
    std::vector<Frame> frames_;
};

std::string JoinFolder(const std::string& folder, const std::string& fileName) {
    if (folder.empty())
        return fileName;
    if (folder.back() == '/')
        return folder + fileName;
    return folder + "/" + fileName;
}

// How many bytes at text[i] make one character that no file name may hold:
// one of the nine the file systems refuse, a C0 control (NUL among them) or
// DEL, or a C1 control in UTF-8; 0 for any other character.
std::size_t UnfitAt(std::string_view text, std::size_t i) {
    static constexpr std::string_view kRefused = "/\\:*?\"<>|";
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || kRefused.find(text[i]) != std::string_view::npos)
        return 1;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F)
        return 2;
    return 0;
}

// A tag's text as it may stand in a name: every character a name cannot hold is "_".
std::string NameSafe(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t unfit = UnfitAt(text, i);
        safe += unfit == 0 ? text.substr(i, 1) : "_";
        i += unfit == 0 ? 1 : unfit;
    }
    return safe;
}

std::string TooLong() {
    return "the name is longer than " + std::to_string(kMaxPartNameBytes) + " bytes";
}

} // namespace

std::string ThreeDigit(std::int32_t n) {
    const std::string digits = std::to_string(n);
    if (n >= 0 && n < 10)
        return "00" + digits;
    if (n >= 10 && n < 100)
        return "0" + digits;
    return digits;
}

Result<std::string> ExpandNameTemplate(const std::string& nameTemplate, std::int32_t index,
                                       const SplitListItem& entry,
                                       const std::string& sourceFileName,
                                       bool& appendSequenceNumber) {
    const std::array<std::string, 4> values = {NameSafe(SourceNameTag(sourceFileName)),
                                               NameSafe(entry.Title), NameSafe(entry.Artist),
                                               ThreeDigit(index + 1)};
    TagStream stream(nameTemplate);
    std::string result;
    char c = 0;
    std::uint8_t kinds = 0;
    while (stream.Next(c, kinds)) {
        // Crafted tags that refer to each other could grow a name without end.
        if (result.size() > kMaxPartNameBytes)
            return Error{ErrorCategory::Name, -1, TooLong()};
        if (c != '$') {
            // A name that a tag's dot begins would be hidden.
            result += c == '.' && kinds != 0 && result.empty() ? '_' : c;
            continue;
        }
        char letter = 0;
        std::uint8_t letterKinds = 0;
        if (!stream.Next(letter, letterKinds)) {
            result += c;
            break;
        }
        const TagKind kind = KindOf(letter);
        const std::uint8_t pairKinds = kinds | letterKinds;
        if (kind == kNoTag || (pairKinds & Bit(kind)) != 0) {
            result += c;
            result += letter;
            continue;
        }
        if (kind == kNumber)
            appendSequenceNumber = false;
        stream.Push(values[kind], pairKinds | Bit(kind));
    }
    return result;
}

Result<PartFile> BuildPartFile(const std::string& nameTemplate, std::int32_t index,
                               const SplitList& list, const std::string& sourceFileName,
                               const std::string& targetFolder, bool& appendSequenceNumber) {
    Result<std::string> name =
        ExpandNameTemplate(nameTemplate, index, list[index], sourceFileName, appendSequenceNumber);
    // The name never became whole: the part is named by its number.
    if (!name)
        return Error{ErrorCategory::Name, -1,
                     "Can't create file for part " + std::to_string(index + 1) + " in " +
                         targetFolder + ": " + name.Failure().Text};
    if (appendSequenceNumber && list.SplitCount() > 1)
        name.Value() += ThreeDigit(index + 1);
    // Nothing before ".mp3" would hide the file: the part is named by its number.
    if (name.Value().empty())
        name.Value() = ThreeDigit(index + 1);
    PartFile part;
    part.FileName = name.Value() + ".mp3";
    part.Path = JoinFolder(targetFolder, part.FileName);
    if (const std::string problem = NameProblem(part.FileName); !problem.empty())
        return Error{ErrorCategory::Name, -1, RefusedNameMessage(part.Path, problem)};
    return part;
}

std::string NameProblem(const std::string& fileName) {
    if (fileName.size() > kMaxPartNameBytes)
        return TooLong();
    for (std::size_t i = 0; i < fileName.size(); ++i) {
        if (UnfitAt(fileName, i) == 0)
            continue;
        const auto c = static_cast<unsigned char>(fileName[i]);
        if (c < 0x20 || c >= 0x7F)
            return "it holds a control character, which a file name cannot hold";
        return std::string("it holds \"") + fileName[i] + "\", which a file name cannot hold";
    }
    return {};
}

bool IsSourceFile(const std::string& path, const std::string& sourceFileName) {
    std::error_code error;
    return std::filesystem::equivalent(path, sourceFileName, error) && !error;
}

std::string RefusedNameMessage(const std::string& path, const std::string& why) {
    return "Can't create file " + path + ": " + why;
}
