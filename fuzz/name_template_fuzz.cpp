// ExpandNameTemplate and BuildPartFile with arbitrary templates, titles,
// artists and source names: the expansion must end, and its name must be
// accepted or refused by NameProblem without a crash.
#include "core/id3v1_tag.h"
#include "fuzz_files.h"
#include "split/output_naming.h"
#include "split/split_list.h"

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

// The limits the program holds its inputs to: a template of at most 255
// characters, tag texts of at most 30 bytes, a file name of at most 255.
struct NamingInput {
    std::string Template;
    std::string Title;
    std::string Artist;
    std::string SourceFileName;
    std::string TargetFolder;
    std::int32_t Rows = 1;
    std::int32_t Index = 0;
};

NamingInput ConsumeInput(FuzzedDataProvider& in) {
    NamingInput n;
    n.Rows = in.ConsumeIntegralInRange(1, SplitList::MaxParts);
    n.Index = in.ConsumeIntegralInRange(0, n.Rows - 1);
    n.Title = in.ConsumeRandomLengthString(30);
    n.Artist = in.ConsumeRandomLengthString(30);
    n.TargetFolder = in.ConsumeRandomLengthString(64);
    n.SourceFileName = in.ConsumeRandomLengthString(64) + "/" + in.ConsumeRandomLengthString(255);
    n.Template = in.ConsumeRandomLengthString(255);
    return n;
}

SplitList ListFor(const NamingInput& n) {
    TID3v1Tag tag;
    tag.Title = n.Title;
    tag.Artist = n.Artist;
    SplitList list;
    for (std::int32_t i = 0; i < n.Rows; ++i)
        list.AddEntry(0, 1000, tag);
    list[n.Index].Title = n.Title;
    list[n.Index].Artist = n.Artist;
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const NamingInput n = ConsumeInput(in);
    const SplitList list = ListFor(n);

    bool append = true;
    const Result<std::string> name =
        ExpandNameTemplate(n.Template, n.Index, list[n.Index], n.SourceFileName, append);
    if (!name) {
        if (n.Template.size() <= kMaxPartNameBytes && n.Template.find('$') == std::string::npos)
            FuzzFailure("a short template without tags was refused as too long");
        return 0;
    }
    if (n.Template.find('$') == std::string::npos && (name.Value() != n.Template || !append))
        FuzzFailure("a template without tags was changed");

    bool appendForPath = true;
    const Result<PartFile> part =
        BuildPartFile(n.Template, n.Index, list, n.SourceFileName, n.TargetFolder, appendForPath);
    if (appendForPath != append)
        FuzzFailure("BuildPartFile and ExpandNameTemplate disagree about the number");
    std::string stem = name.Value() + (append && n.Rows > 1 ? ThreeDigit(n.Index + 1) : "");
    // An empty name would hide the file: the part is named by its number.
    if (stem.empty())
        stem = ThreeDigit(n.Index + 1);
    const std::string fileName = stem + ".mp3";
    // A name that would leave the folder or that the file system cannot hold is refused.
    const bool mustRefuse =
        fileName.find_first_of(std::string("/\\:*?\"<>|\0", 10)) != std::string::npos ||
        fileName.size() > kMaxPartNameBytes;
    if (part.Ok() && mustRefuse)
        FuzzFailure("a name with a refused character or of more than 255 bytes was accepted");
    if (part.Ok() != NameProblem(fileName).empty())
        FuzzFailure("a part file accepted or refused against its name's check");
    if (!part)
        return 0;
    const std::string& path = part.Value().Path;
    if (part.Value().FileName != fileName)
        FuzzFailure("the file name is not the expansion, the number and the extension");
    if (path.size() < fileName.size() ||
        path.compare(path.size() - fileName.size(), fileName.size(), fileName) != 0 ||
        path.compare(0, n.TargetFolder.size(), n.TargetFolder) != 0)
        FuzzFailure("the path is not the folder followed by the file name");
    return 0;
}
