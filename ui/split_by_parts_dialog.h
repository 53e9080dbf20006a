#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class SplitListPanel;
class UpDownButtons;
struct AppContext;

// "Split by parts": divides the whole source into a number of equal entries
// with an optional overlap. Created once; the count and overlap persist.
class TForm8 : public QDialog {
    Q_OBJECT

public:
    TForm8(AppContext& context, SplitListPanel& panel, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void LabeledEdit1Edited(const QString& text);
    void UpDown1Click();
    void UpDown2Click();
    void Button1Click();
    bool LabeledEdit1KeyPress(QKeyEvent* event);

    AppContext& context_;
    SplitListPanel& panel_;
    QLineEdit* labeledEdit1_ = nullptr;
    UpDownButtons* upDown1_ = nullptr;
    QLineEdit* labeledEdit2_ = nullptr;
    UpDownButtons* upDown2_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};
