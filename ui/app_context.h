#pragma once

#include "core/audio_info.h"
#include "split/split_list.h"
#include "state/session_state.h"

#include <QString>

class MessageBoxes;
class FileChoosers;
class DesktopShell;

// The program-wide state that the main window owns and its dialogs read and write.
struct AppContext {
    TAudioInfo AudioInfo;
    SessionState State;
    SplitList List;
    bool PreloadOption = false;
    bool SaveFrameOption = true;
    bool Id3v2Option = false;
    bool RebuildInfoFrameOption = false;
    bool ExactCutsOption = false;
    QString ProgramFolder; // where the help document lies
    QString TargetFolder;

    MessageBoxes* Messages = nullptr;
    FileChoosers* Choosers = nullptr;
    DesktopShell* Shell = nullptr;
};
