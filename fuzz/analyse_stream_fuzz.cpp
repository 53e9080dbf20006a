// TAudioInfo::AnalyseStream over arbitrary bytes, as a whole range and as
// ranges that start later, end early or claim more bytes than there are.
#include "core/audio_info.h"
#include "fuzz_files.h"

#include <cstdint>
#include <sstream>
#include <string>

namespace {

void CheckResult(const TAudioInfo& info, AnalysisResult result, const std::string& bytes,
                 std::int64_t start, std::int64_t count) {
    const std::int64_t available = static_cast<std::int64_t>(bytes.size()) - start;
    const std::int64_t range = count < available ? count : available;
    if (info.PlayTimeMs < 0)
        FuzzFailure("negative play time");
    if (result != AnalysisResult::Ok && info.PlayTimeMs != 0)
        FuzzFailure("a refused analysis with a play time");
    if (result == AnalysisResult::NoFrameFound && info.FirstFrameOffset != -1)
        FuzzFailure("no frame found, yet a first frame offset");
    if (info.FirstFrameOffset == -1)
        return;
    if (info.FirstFrameOffset < 0 || info.FirstFrameOffset + 4 > range)
        FuzzFailure("first frame offset outside the range");
    const auto at = static_cast<std::size_t>(start + info.FirstFrameOffset);
    if (static_cast<std::uint8_t>(bytes[at]) != 0xFF ||
        (static_cast<std::uint8_t>(bytes[at + 1]) & 0xE0) != 0xE0)
        FuzzFailure("first frame offset without a sync pattern");
    if (info.IsVbr && !info.HasInfoFrame)
        FuzzFailure("a Xing source without an information frame");
}

void Analyse(const std::string& bytes, std::int64_t start, std::int64_t count) {
    std::istringstream in(bytes);
    in.seekg(start);
    TAudioInfo info;
    const AnalysisResult result = info.AnalyseStream(in, count);
    CheckResult(info, result, bytes, start, count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto count = static_cast<std::int64_t>(size);
    Analyse(bytes, 0, count);
    if (size == 0)
        return 0;
    // The last byte picks a shorter range, a later start and a range that claims too much.
    const std::int64_t cut = data[size - 1] % (count + 1);
    Analyse(bytes, 0, count - cut);
    Analyse(bytes, cut, count - cut);
    Analyse(bytes, 0, count + 1 + cut * 4096);
    return 0;
}
