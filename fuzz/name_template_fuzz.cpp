// ExpandNameTemplate and PartFilePath with arbitrary templates, titles,
// artists and source names: the expansion must end, and its path must be
// accepted or refused by CheckPartFileName without a crash.
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
    const std::string name =
        ExpandNameTemplate(n.Template, n.Index, list[n.Index], n.SourceFileName, append);
    if (n.Template.find('$') == std::string::npos && (name != n.Template || !append))
        FuzzFailure("a template without tags was changed");

    bool appendForPath = true;
    const PartFile part =
        BuildPartFile(n.Template, n.Index, list, n.SourceFileName, n.TargetFolder, appendForPath);
    if (appendForPath != append)
        FuzzFailure("BuildPartFile and ExpandNameTemplate disagree about the number");
    const std::string fileName =
        name + (append && n.Rows > 1 ? ThreeDigit(n.Index + 1) : "") + ".mp3";
    if (part.FileName != fileName)
        FuzzFailure("the file name is not the expansion, the number and the extension");
    if (part.Path.size() < fileName.size() ||
        part.Path.compare(part.Path.size() - fileName.size(), fileName.size(), fileName) != 0 ||
        part.Path.compare(0, n.TargetFolder.size(), n.TargetFolder) != 0)
        FuzzFailure("the path is not the folder followed by the file name");
    bool appendForPathAlone = true;
    if (PartFilePath(n.Template, n.Index, list, n.SourceFileName, n.TargetFolder,
                     appendForPathAlone) != part.Path)
        FuzzFailure("PartFilePath differs from BuildPartFile");
    // A name that would leave the folder or that the file system cannot hold is refused.
    const bool mustRefuse =
        fileName.find_first_of("/\\:*?\"<>|") != std::string::npos || fileName.size() > 255;
    const bool passes = CheckPartFileName(fileName);
    if (passes && mustRefuse)
        FuzzFailure("a name with a refused character or of more than 255 characters was accepted");
    if (part.Accepted && !passes)
        FuzzFailure("a part file accepted whose name does not pass the check");
    return 0;
}
