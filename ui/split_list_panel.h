#pragma once

#include <QGroupBox>
#include <cstdint>
#include <functional>

class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
struct AppContext;

// The split list group of the main window: the list view ListView1 kept in
// step with the SplitList model (one row per entry, the row's check mark
// mirrored in the entry's Checked), its buttons, its context menu, and the
// list commands.
class SplitListPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit SplitListPanel(AppContext& context, QWidget* parent = nullptr);

    // The main window's Split button is enabled and disabled with the list buttons.
    void SetSplitButtonEnabler(std::function<void(bool)> enable);
    void SetListButtonsEnabled(bool enabled);

    // Appends an entry for a slider selection (positions); silently ignores an
    // empty or reversed selection, and shows the limit message when the list is full.
    void AddSelectionToList(std::int32_t selectionStart, std::int32_t selectionEnd);
    // Rows for entries that were appended to the model directly (equal parts).
    void AppendRows(std::int32_t firstIndex, std::int32_t count);
    // Puts a button under the list's own buttons.
    void AddButton(QWidget* button);
    // A new source was opened: the list is emptied, Split and the list's buttons disabled.
    void SourceOpened();
    // Shows the list anew, as an undo, a redo or a load left it.
    void ShowList();

    // Index of the selected row, -1 when none.
    std::int32_t SelectedIndex() const;
    QTreeWidget* ListView() const { return listView_; }
    QMenu* PopupMenu() const { return popupMenu_; }

public slots:
    void RemoveSelectedPart();
    void RemoveAllParts();
    void PlaySelectedPart();
    void EditSelectedPart();
    // The opening rule of the context menu: its items need a selected row.
    void PopupMenu1Popup();

signals:
    // The main window plays an entry: slider selection, fields and player.
    void PlayPartRequested(std::int32_t startMs, std::int32_t endMs);

private:
    void BuildListView();
    void BuildButtons();
    void BuildPopupMenu();
    void AddListRow(std::int32_t index);
    void RefreshListRow(std::int32_t index);
    void ListView1ItemChanged(QTreeWidgetItem* item, int column);
    void ShowPopupMenu(const QPoint& position);

    AppContext& context_;
    QTreeWidget* listView_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QPushButton* editButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* removeAllButton_ = nullptr;
    QVBoxLayout* buttonColumn_ = nullptr;
    std::function<void(bool)> enableSplitButton_;
    QMenu* popupMenu_ = nullptr;
    QAction* play1_ = nullptr;
    QAction* edit1_ = nullptr;
    QAction* delete1_ = nullptr;
};
