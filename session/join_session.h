#pragma once

#include "core/engine_error.h"
#include "split/join_files.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The files to join, in the order they are joined, each read once for its
// format and length, and the join of them into one file.
class JoinSession {
public:
    void Add(const std::string& path);
    void Remove(std::size_t index);
    // Swaps the file with the one step places away; false when there is none.
    bool Move(std::size_t index, int step);

    std::size_t Count() const { return files_.size(); }
    const std::string& Path(std::size_t index) const { return files_[index].Path; }
    std::int64_t DurationMs(std::size_t index) const { return files_[index].DurationMs; }
    std::int64_t TotalMs() const;
    // Why the file cannot join the first one ("48000 Hz where a.mp3 has
    // 44100 Hz", or why it cannot be read), empty when it can.
    std::string Problem(std::size_t index) const;
    // Two files or more, and none with a problem.
    bool Joinable() const;

    // The listed files into outPath.
    JoinRequest Request(const std::string& outPath, bool overwrite) const;
    // Why outPath cannot be the target before anything is asked about it (it
    // is one of the files), as Run would refuse it.
    std::optional<Error> TargetRefusal(const std::string& outPath) const {
        return TargetAmongInputs(Request(outPath, false));
    }
    // Writes the joined file; may run on a thread of its own, as the request is a copy.
    static Result<JoinReport> Run(const JoinRequest& request, const JoinCallbacks& callbacks = {});
    // Whether the join was refused because its target exists and may not be replaced.
    static bool TargetExists(const Error& error);

private:
    std::vector<JoinFileFacts> files_;
};
