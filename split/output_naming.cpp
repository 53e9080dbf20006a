#include "split/output_naming.h"

#include <array>
#include <filesystem>
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

} // namespace

std::string ThreeDigit(std::int32_t n) {
    const std::string digits = std::to_string(n);
    if (n >= 0 && n < 10)
        return "00" + digits;
    if (n >= 10 && n < 100)
        return "0" + digits;
    return digits;
}

std::string ExpandNameTemplate(const std::string& nameTemplate, std::int32_t index,
                               const SplitListItem& entry, const std::string& sourceFileName,
                               bool& appendSequenceNumber) {
    const std::array<std::string, 4> values = {SourceNameTag(sourceFileName), entry.Title,
                                               entry.Artist, ThreeDigit(index + 1)};
    TagStream stream(nameTemplate);
    std::string result;
    char c = 0;
    std::uint8_t kinds = 0;
    while (stream.Next(c, kinds)) {
        if (c != '$') {
            result += c;
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

PartFile BuildPartFile(const std::string& nameTemplate, std::int32_t index, const SplitList& list,
                       const std::string& sourceFileName, const std::string& targetFolder,
                       bool& appendSequenceNumber) {
    std::string name =
        ExpandNameTemplate(nameTemplate, index, list[index], sourceFileName, appendSequenceNumber);
    if (appendSequenceNumber && list.SplitCount() > 1)
        name += ThreeDigit(index + 1);
    PartFile part;
    part.FileName = name + ".mp3";
    part.Path = JoinFolder(targetFolder, part.FileName);
    part.Accepted = CheckPartFileName(part.FileName) && !IsSourceFile(part.Path, sourceFileName);
    return part;
}

std::string PartFilePath(const std::string& nameTemplate, std::int32_t index, const SplitList& list,
                         const std::string& sourceFileName, const std::string& targetFolder,
                         bool& appendSequenceNumber) {
    return BuildPartFile(nameTemplate, index, list, sourceFileName, targetFolder,
                         appendSequenceNumber)
        .Path;
}

bool CheckPartFileName(const std::string& fileName) {
    // The nine characters no file name may hold, and the NUL that would cut the
    // name short on its way to the system.
    static const std::string kRefused("/\\:*?\"<>|\0", 10);
    return fileName.size() <= 255 && fileName.find_first_of(kRefused) == std::string::npos;
}

bool IsSourceFile(const std::string& path, const std::string& sourceFileName) {
    std::error_code error;
    return std::filesystem::equivalent(path, sourceFileName, error) && !error;
}

std::string RefusedNameMessage(const std::string& path) {
    return "Can't create file " + path;
}
