#pragma once

#include "session/split_session.h"

#include <QString>

class MessageBoxes;
class FileChoosers;
class DesktopShell;

// The program-wide state that the main window owns and its dialogs read and
// write. The source, the list and the save options live in the session, and
// the window changes the list only through it, so every change can be undone;
// the names below are views into the session.
struct AppContext {
    SplitSession Session;
    TAudioInfo& AudioInfo = Session.Info();
    SessionState& State = Session.State();
    SplitList& List = Session.UnrecordedList(); // read it; tests also set one up with it
    bool PreloadOption = false;
    bool& SaveFrameOption = Session.Options().SaveInfoFrame;
    bool& Id3v2Option = Session.Options().Id3v2;
    bool& RebuildInfoFrameOption = Session.Options().RebuildInfoFrame;
    bool& ExactCutsOption = Session.Options().ExactCuts;
    bool& Id3v24Option = Session.Options().Id3v24;
    QString ProgramFolder; // where the help document lies
    QString TargetFolder;

    MessageBoxes* Messages = nullptr;
    FileChoosers* Choosers = nullptr;
    DesktopShell* Shell = nullptr;
};
