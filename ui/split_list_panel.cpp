#include "ui/split_list_panel.h"

#include "state/format_time.h"
#include "ui/app_context.h"
#include "ui/edit_section_dialog.h"
#include "ui/platform_services.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

namespace {

constexpr int ColumnCount = 10;

QString TimeText(std::int32_t ms) {
    return QString::fromStdString(FormatTime(ms));
}

// Tag texts are held as UTF-8.
QString TagText(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

QPushButton* MakeListButton(QWidget* parent, const char* name, const QString& caption,
                            const QString& hint, QStyle::StandardPixmap icon) {
    auto* button = new QPushButton(parent->style()->standardIcon(icon), caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setEnabled(false);
    return button;
}

} // namespace

SplitListPanel::SplitListPanel(AppContext& context, QWidget* parent)
    : QGroupBox(" Split List    (Hint: Mouse rightclick for menu, doubleclick for play)  ", parent),
      context_(context) {
    setObjectName("SplitListGroup");
    BuildListView();
    BuildButtons();
    BuildPopupMenu();
}

void SplitListPanel::BuildListView() {
    listView_ = new QTreeWidget(this);
    listView_->setObjectName("ListView1");
    listView_->setToolTip("Splitlist");
    listView_->setColumnCount(ColumnCount);
    listView_->setHeaderLabels(
        {"V", "Start", "End", "Length", "Title", "Artist", "Album", "Year", "Comment", "Volume"});
    listView_->header()->setMinimumSectionSize(20);
    // The time columns have room for hh:mm:ss.t; the volume takes what is left.
    const int time =
        listView_->fontMetrics().horizontalAdvance(QString::fromStdString(WidestTimeText())) + 12;
    const int widths[ColumnCount] = {25, time, time, time, 125, 125, 100, 50, 70, 70};
    for (int column = 0; column < ColumnCount; ++column) {
        listView_->setColumnWidth(column, widths[column]);
    }
    listView_->header()->setSectionsClickable(false);
    listView_->header()->setSectionsMovable(false);
    listView_->header()->setStretchLastSection(true);
    listView_->setRootIsDecorated(false);
    listView_->setIndentation(0);
    listView_->setItemsExpandable(false);
    listView_->setUniformRowHeights(true);
    listView_->setAllColumnsShowFocus(true);
    listView_->setSortingEnabled(false);
    listView_->setSelectionMode(QAbstractItemView::SingleSelection);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(listView_, &QTreeWidget::itemChanged, this, &SplitListPanel::ListView1ItemChanged);
    connect(listView_, &QTreeWidget::itemDoubleClicked, this, &SplitListPanel::PlaySelectedPart);
    connect(listView_, &QTreeWidget::customContextMenuRequested, this,
            &SplitListPanel::ShowPopupMenu);
}

void SplitListPanel::BuildButtons() {
    playButton_ =
        MakeListButton(this, "BitBtn4", "P&lay", "Play selected part", QStyle::SP_MediaPlay);
    editButton_ = MakeListButton(this, "BitBtn10", "&Edit", "Edit selected part",
                                 QStyle::SP_FileDialogDetailedView);
    removeButton_ = MakeListButton(this, "BitBtn2", "&Remove", "Remove selected part",
                                   QStyle::SP_DialogDiscardButton);
    removeAllButton_ = MakeListButton(this, "BitBtn1", "Re&move All",
                                      "Remove all parts from splitlist", QStyle::SP_TrashIcon);
    connect(playButton_, &QPushButton::clicked, this, &SplitListPanel::PlaySelectedPart);
    connect(editButton_, &QPushButton::clicked, this, &SplitListPanel::EditSelectedPart);
    connect(removeButton_, &QPushButton::clicked, this, &SplitListPanel::RemoveSelectedPart);
    connect(removeAllButton_, &QPushButton::clicked, this, &SplitListPanel::RemoveAllParts);

    auto* buttons = buttonColumn_ = new QVBoxLayout;
    buttons->addWidget(playButton_);
    buttons->addWidget(editButton_);
    buttons->addSpacing(16);
    buttons->addWidget(removeButton_);
    buttons->addWidget(removeAllButton_);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(listView_, 1);
    layout->addLayout(buttons);
}

void SplitListPanel::BuildPopupMenu() {
    popupMenu_ = new QMenu(this);
    popupMenu_->setObjectName("PopupMenu1");
    play1_ = popupMenu_->addAction("Play", this, &SplitListPanel::PlaySelectedPart);
    play1_->setObjectName("Play1");
    edit1_ = popupMenu_->addAction("Edit", this, &SplitListPanel::EditSelectedPart);
    edit1_->setObjectName("Edit1");
    delete1_ = popupMenu_->addAction("Delete", this, &SplitListPanel::RemoveSelectedPart);
    delete1_->setObjectName("Delete1");
}

void SplitListPanel::SetSplitButtonEnabler(std::function<void(bool)> enable) {
    enableSplitButton_ = std::move(enable);
}

void SplitListPanel::SetListButtonsEnabled(bool enabled) {
    if (enableSplitButton_) {
        enableSplitButton_(enabled);
    }
    removeAllButton_->setEnabled(enabled);
    removeButton_->setEnabled(enabled);
    playButton_->setEnabled(enabled);
    editButton_->setEnabled(enabled);
}

std::int32_t SplitListPanel::SelectedIndex() const {
    const QList<QTreeWidgetItem*> selected = listView_->selectedItems();
    if (listView_->topLevelItemCount() == 0 || selected.isEmpty()) {
        return -1;
    }
    return listView_->indexOfTopLevelItem(selected.front());
}

void SplitListPanel::AddSelectionToList(std::int32_t selectionStart, std::int32_t selectionEnd) {
    if (context_.List.IsFull()) {
        context_.Messages->Information(this, QString::fromStdString(LimitMessage()));
        return;
    }
    if (static_cast<std::int64_t>(selectionEnd) - selectionStart <= 0) {
        return;
    }
    const std::int32_t step = context_.State.PositionStep;
    const Result<ListChange> added = context_.Session.AddSection(
        PositionToMs(selectionStart, step), SectionEndMs(selectionEnd, context_.State));
    if (added) {
        SetListButtonsEnabled(true);
        AppendRows(added.Value().FirstRow, added.Value().RowsAdded);
    }
}

void SplitListPanel::AppendRows(std::int32_t firstIndex, std::int32_t count) {
    for (std::int32_t i = firstIndex; i < firstIndex + count; ++i) {
        AddListRow(i);
    }
}

void SplitListPanel::AddButton(QWidget* button) {
    buttonColumn_->insertWidget(buttonColumn_->count() - 1, button); // above the stretch
}

void SplitListPanel::SourceOpened() {
    listView_->clear();
    SetListButtonsEnabled(false);
}

void SplitListPanel::ShowList() {
    listView_->clear();
    AppendRows(0, context_.List.SplitCount());
    SetListButtonsEnabled(context_.List.SplitCount() > 0);
}

void SplitListPanel::AddListRow(std::int32_t index) {
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemNeverHasChildren);
    item->setCheckState(0, context_.List[index].Checked ? Qt::Checked : Qt::Unchecked);
    const QSignalBlocker blocker(listView_);
    listView_->addTopLevelItem(item);
    RefreshListRow(index);
}

void SplitListPanel::RefreshListRow(std::int32_t index) {
    QTreeWidgetItem* item = listView_->topLevelItem(index);
    const SplitListItem& entry = context_.List[index];
    const QSignalBlocker blocker(listView_);
    item->setText(1, TimeText(entry.StartMs));
    item->setText(2, TimeText(entry.EndMs));
    item->setText(3, TimeText(static_cast<std::int32_t>(static_cast<std::int64_t>(entry.EndMs) -
                                                        entry.StartMs)));
    item->setText(4, TagText(entry.Title));
    item->setText(5, TagText(entry.Artist));
    item->setText(6, TagText(entry.Album));
    item->setText(7, TagText(entry.Year));
    item->setText(8, TagText(entry.Comment));
    item->setText(9, QString::fromStdString(VolumeText(entry.Volume)));
}

void SplitListPanel::ListView1ItemChanged(QTreeWidgetItem* item, int column) {
    if (column != 0) {
        return;
    }
    const int index = listView_->indexOfTopLevelItem(item);
    if (index >= 0 && index < context_.List.SplitCount()) {
        context_.Session.Tick(index, item->checkState(0) == Qt::Checked);
    }
}

void SplitListPanel::RemoveSelectedPart() {
    const std::int32_t index = SelectedIndex();
    if (index < 0) {
        return;
    }
    context_.Session.Remove(index);
    delete listView_->takeTopLevelItem(index);
    if (context_.List.SplitCount() == 0) {
        SetListButtonsEnabled(false);
    }
}

void SplitListPanel::RemoveAllParts() {
    listView_->clear();
    context_.Session.RemoveAll();
    SetListButtonsEnabled(false);
}

void SplitListPanel::PlaySelectedPart() {
    const std::int32_t index = SelectedIndex();
    if (index < 0) {
        return;
    }
    const SplitListItem& entry = context_.List[index];
    emit PlayPartRequested(entry.StartMs, entry.EndMs);
}

void SplitListPanel::EditSelectedPart() {
    const std::int32_t index = SelectedIndex();
    if (index < 0) {
        return;
    }
    TForm4 dialog(context_, index, SliderMaximumOf(context_.State), window());
    if (dialog.exec() == QDialog::Accepted) {
        RefreshListRow(index);
    }
}

void SplitListPanel::PopupMenu1Popup() {
    const bool enabled = SelectedIndex() >= 0;
    play1_->setEnabled(enabled);
    edit1_->setEnabled(enabled);
    delete1_->setEnabled(enabled);
}

void SplitListPanel::ShowPopupMenu(const QPoint& position) {
    PopupMenu1Popup();
    popupMenu_->popup(listView_->viewport()->mapToGlobal(position));
}
