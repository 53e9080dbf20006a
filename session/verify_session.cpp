#include "session/verify_session.h"

#include <utility>

Result<VerifySession> VerifySession::Open(const std::string& sourcePath) {
    Result<SourceFrameIndex> index = SourceFrameIndex::Build(sourcePath);
    if (!index)
        return index.Failure();
    return VerifySession(std::move(index.Value()));
}
