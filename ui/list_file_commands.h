#pragma once

#include "session/split_session.h"

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QToolButton;
class SplitListPanel;
class TForm1;

// The split list's "List" menu: cue sheets in and out, the source's chapters
// in, the list out as the chapters of one file, saved lists, and
// splitting at pauses; and a cue sheet dropped onto the window is imported.
class ListFileCommands : public QObject {
    Q_OBJECT

public:
    ListFileCommands(TForm1& window, SplitListPanel& panel, QObject* parent = nullptr);

    QMenu* Menu() const { return menu_; }
    void ImportCueFile(const QString& path);
    void LoadListFile(const QString& path);

public slots:
    void ImportCue();
    void ImportChapters();
    void ExportCue();
    void SaveList();
    void LoadList();
    void SplitAtPauses();
    // Take back the last change to the list, or take it again.
    void Undo();
    void Redo();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnableActions();
    bool WriteText(const QString& path, const std::string& text);
    QString SuggestedCueName() const;
    void ShowWarnings(const std::vector<std::string>& warnings);
    void ShowChange(const Result<ListChange>& change, bool replaced);

    TForm1& window_;
    SplitListPanel& panel_;
    QToolButton* button_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* importCue_ = nullptr;
    QAction* importChapters_ = nullptr;
    QAction* exportCue_ = nullptr;
    QAction* saveList_ = nullptr;
    QAction* saveChapters_ = nullptr;
    QAction* loadList_ = nullptr;
    QAction* splitAtPauses_ = nullptr;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    PauseSettings pauseSettings_;
};
