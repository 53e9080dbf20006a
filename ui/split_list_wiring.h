#pragma once

#include <QObject>
#include <cstdint>

class SplitListPanel;
class TForm1;
class TForm2;
class TForm8;

// Puts the split list into the main window and carries out its requests:
// "Add to List", "Split by parts", the Split button's save dialog, playing an
// entry, emptying the list when a source is opened, and repainting the
// overview when the rows change. The save and "Split by parts" dialogs are
// created when the window is first shown.
class SplitListWiring : public QObject {
    Q_OBJECT

public:
    explicit SplitListWiring(TForm1& window);

    SplitListPanel* Panel() const { return panel_; }
    TForm2* SaveDialog() const { return saveDialog_; }
    TForm8* SplitByPartsDialog() const { return splitByPartsDialog_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateDialogs();
    void RepaintOverviewWithRows();
    void BitBtn6Click();
    void BitBtn11Click();
    void ShowSaveDialog();
    void PlaySelectedPart(std::int32_t startMs, std::int32_t endMs);
    void PlayRange(std::int32_t startMs, std::int32_t endMs);

    TForm1& window_;
    SplitListPanel* panel_ = nullptr;
    TForm2* saveDialog_ = nullptr;
    TForm8* splitByPartsDialog_ = nullptr;
};
