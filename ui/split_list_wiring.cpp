#include "ui/split_list_wiring.h"

#include "state/format_time.h"
#include "ui/list_file_commands.h"
#include "ui/main_window.h"
#include "ui/media_player.h"
#include "ui/overview_strip.h"
#include "ui/platform_services.h"
#include "ui/position_slider.h"
#include "ui/save_dialog.h"
#include "ui/split_by_parts_dialog.h"
#include "ui/split_list_panel.h"
#include "ui/up_down.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QLayout>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

SplitListWiring::SplitListWiring(TForm1& window) : QObject(&window), window_(window) {
    setObjectName("SplitListWiring");
    panel_ = new SplitListPanel(window.Context(), window.SplitListPlace());
    window.SplitListPlace()->layout()->addWidget(panel_);
    panel_->SetSplitButtonEnabler(
        [&window](bool enabled) { window.SetSplitButtonEnabled(enabled); });

    connect(&window, &TForm1::AddToListRequested, this, &SplitListWiring::BitBtn6Click);
    connect(&window, &TForm1::SplitByPartsRequested, this, &SplitListWiring::BitBtn11Click);
    connect(&window, &TForm1::SourceOpened, panel_, &SplitListPanel::SourceOpened);
    connect(panel_, &SplitListPanel::PlayPartRequested, this, &SplitListWiring::PlaySelectedPart);
    window.SetSaveDialog([this] { ShowSaveDialog(); });
    window.installEventFilter(this);
    new ListFileCommands(window, *panel_, this);
    RepaintOverviewWithRows();
}

// The overview draws the list's sections as bands: every added, removed or
// edited row repaints it.
void SplitListWiring::RepaintOverviewWithRows() {
    OverviewStrip* overview = window_.Overview();
    const QAbstractItemModel* rows = panel_->ListView()->model();
    const auto repaint = [overview] { overview->update(); };
    connect(rows, &QAbstractItemModel::rowsInserted, overview, repaint);
    connect(rows, &QAbstractItemModel::rowsRemoved, overview, repaint);
    connect(rows, &QAbstractItemModel::dataChanged, overview, repaint);
    connect(rows, &QAbstractItemModel::modelReset, overview, repaint);
}

bool SplitListWiring::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Show && saveDialog_ == nullptr) {
        CreateDialogs();
    }
    return QObject::eventFilter(watched, event);
}

void SplitListWiring::CreateDialogs() {
    saveDialog_ = new TForm2(window_.Context(), &window_);
    splitByPartsDialog_ = new TForm8(window_.Context(), *panel_, &window_);
}

void SplitListWiring::BitBtn6Click() {
    const PositionSlider* slider = window_.TrackBar1();
    panel_->AddSelectionToList(slider->SelStart(), slider->SelEnd());
}

void SplitListWiring::BitBtn11Click() {
    if (splitByPartsDialog_ == nullptr) {
        CreateDialogs();
    }
    if (splitByPartsDialog_->exec() == QDialog::Accepted) {
        panel_->SetListButtonsEnabled(true);
    }
}

void SplitListWiring::ShowSaveDialog() {
    if (saveDialog_ == nullptr) {
        CreateDialogs();
    }
    saveDialog_->exec();
}

// The slider shows the entry rounded down to whole positions; the player gets its exact range.
void SplitListWiring::PlaySelectedPart(std::int32_t startMs, std::int32_t endMs) {
    try {
        PlayRange(startMs, endMs);
    } catch (const MediaPlayerError& error) {
        window_.Context().Messages->Error(&window_, QString::fromStdString(error.what()));
    }
}

void SplitListWiring::PlayRange(std::int32_t startMs, std::int32_t endMs) {
    window_.Player().Stop();
    window_.Timer1()->stop();
    const std::int32_t step = window_.Context().State.PositionStep;
    const std::int32_t selectionStart = MsToPosition(startMs, step);
    const std::int32_t selectionEnd = MsToPosition(endMs, step);
    window_.TrackBar1()->SetSelection(selectionStart, selectionEnd);
    window_.UpDown1()->SetPosition(selectionStart);
    window_.LabeledEdit1()->setText(QString::fromStdString(FormatTime(startMs)));
    window_.UpDown2()->SetPosition(selectionEnd);
    window_.LabeledEdit2()->setText(QString::fromStdString(FormatTime(endMs)));
    window_.PlaySection(startMs, endMs);
    window_.ShowSelectionLength();
}
