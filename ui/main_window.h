#pragma once

#include "ui/app_context.h"
#include "ui/player_control.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

struct Error;
class MediaPlayer;
class OverviewStrip;
class PositionSlider;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class RecentFilesMenu;
class SettingsStore;
struct SourceSession;
class TOptions;
class UpDownButtons;

// The main window: the source and its information, the position slider, the
// preview player, the selection, and the place of the split list.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    using PlayerFactory = std::function<std::unique_ptr<MediaPlayer>()>;

    struct Services {
        MessageBoxes& Messages;
        FileChoosers& Choosers;
        DesktopShell& Shell;
        SettingsStore& Settings;
        PlayerFactory Player;       // the audible player
        PlayerFactory SilentPlayer; // takes over when the audible one refuses a file
    };

    // The size the window opens at first, and its smallest.
    static constexpr int ClientWidth = 456;
    static constexpr int ClientHeight = 587;
    static constexpr const char* NoFileText = "There is no selected file";
    static constexpr const char* NoSoundText = "No sound output: the preview is silent";

    explicit TForm1(Services services, QWidget* parent = nullptr);
    ~TForm1() override;

    AppContext& Context() { return context_; }
    MediaPlayer& Player() { return *player_; }
    PositionSlider* TrackBar1() const { return trackBar1_; }
    OverviewStrip* Overview() const { return overview_; }
    UpDownButtons* UpDown1() const { return upDown1_; }
    UpDownButtons* UpDown2() const { return upDown2_; }
    QLineEdit* LabeledEdit1() const { return labeledEdit1_; }
    QLineEdit* LabeledEdit2() const { return labeledEdit2_; }
    QLabel* Label13() const { return label13_; }
    QTimer* Timer1() const { return timer1_; }
    PlayerControl* MediaPlayer1() const { return mediaPlayer1_; }
    TOptions* Options() const { return options_; }
    // The empty place under the button row where the split list group stands;
    // it has a layout to add the group to.
    QWidget* SplitListPlace() const { return splitListPlace_; }

    // Opens a file as Open does with a chosen one (a file named at start).
    void OpenFile(const QString& path);
    // The "Split" button, enabled together with the split list's own buttons.
    void SetSplitButtonEnabled(bool enabled);
    // Recomputes the selection size and shows the selection length text.
    void ShowSelectionLength();
    // Opens a source as the Open button does, without the chooser and without
    // asking about the split list: the caller has asked.
    void OpenSourceFile(const QString& path) { OpenChosen(path, false); }
    // A playing player moves to the slider's position, however near it is.
    void SeekPlayerToSlider();
    // The play position moves to q (player units), finer than the slider: the
    // player goes there, playing on if it played, and the slider to the
    // position that holds q.
    void MovePlayPosition(std::int64_t q);
    // Plays the section from startMs to endMs, as the part of those times holds it.
    void PlaySection(std::int32_t startMs, std::int32_t endMs);
    // True when the split list holds no rows that emptying it would lose, or
    // the user agrees to lose them.
    bool MayDiscardList();
    // Shown by "Split" after it has stopped any preview.
    void SetSaveDialog(std::function<void()> show) { showSaveDialog_ = std::move(show); }

signals:
    // A new source is open; the split list has been emptied.
    void SourceOpened();
    void AddToListRequested();
    void SplitByPartsRequested();

public slots:
    void BitBtn3Click();
    void JoinFilesClick();
    void TrackBar1Change();
    void Timer1Timer();
    void MediaPlayer1Click(PlayerControl::Button button);
    void BitBtn7Click();
    void BitBtn8Click();
    void BitBtn9Click();
    void UpDown1Click();
    void UpDown2Click();
    void BitBtn5Click();
    void BitBtn6Click();
    void BitBtn11Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildLayout();
    QGroupBox* BuildSourceGroup();
    QWidget* BuildInfoRow();
    QWidget* BuildPositionRow();
    QWidget* BuildButtonRow();
    QWidget* BuildBottomRow();
    void ResetTexts();
    void ReadSettings();
    void FormShow();

    // Open, in its steps.
    void OpenChosen(const QString& chosen, bool askAboutList = true);
    void ShowRefusal(const Error& error);
    void OpenPlayer(const SourceSession& session);
    void ShowSoundNotice();
    void WalkUnderLoadingWindow();
    void SetUpPositions();
    void EnableSourceButtons();
    void ShowSourceInfo();

    // Selection and playback.
    long double PositionToPlayerReal(std::int32_t position) const;
    void ShowSelectionField(QLineEdit* field, std::int32_t ms);
    void StopAndRewind();
    void ReseekPlaying(long double minDistance);
    void ShowSaveDialog();
    void ShowError(const std::exception& error);
    template <typename Command> void Guard(Command command);
    QString TimeText(std::int32_t ms) const;
    void ShowPositionText();
    char DecimalSeparator() const;

    Services services_;
    AppContext context_;
    std::unique_ptr<MediaPlayer> audible_;
    std::unique_ptr<MediaPlayer> silent_;
    MediaPlayer* player_ = nullptr;
    std::function<void()> showSaveDialog_;

    QWidget* bottomRow_ = nullptr;
    QLineEdit* edit2_ = nullptr;
    QLabel* tagLabels_[6] = {};
    QLabel* label8_ = nullptr;
    QLabel* label9_ = nullptr;
    QLabel* label23_ = nullptr;
    QLabel* label10_ = nullptr;
    QLabel* label11_ = nullptr;
    QLabel* framesLabel_ = nullptr;
    QLabel* chaptersLabel_ = nullptr; // "Chapters: 12" when the source has chapters
    QLabel* label13_ = nullptr;
    QLabel* label14_ = nullptr;
    QLabel* soundNotice_ = nullptr;
    QLineEdit* labeledEdit1_ = nullptr;
    QLineEdit* labeledEdit2_ = nullptr;
    UpDownButtons* upDown1_ = nullptr;
    UpDownButtons* upDown2_ = nullptr;
    PositionSlider* trackBar1_ = nullptr;
    OverviewStrip* overview_ = nullptr;
    PlayerControl* mediaPlayer1_ = nullptr;
    QPushButton* bitBtn3_ = nullptr;
    RecentFilesMenu* recentFiles_ = nullptr;
    QPushButton* bitBtn5_ = nullptr;
    QPushButton* bitBtn6_ = nullptr;
    QPushButton* bitBtn7_ = nullptr;
    QPushButton* bitBtn8_ = nullptr;
    QPushButton* bitBtn9_ = nullptr;
    QPushButton* bitBtn11_ = nullptr;
    QWidget* splitListPlace_ = nullptr;
    QTimer* timer1_ = nullptr;
    TOptions* options_ = nullptr;
};
