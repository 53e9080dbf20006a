#pragma once

#include <QDialog>
#include <cstdint>

class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;
class QPushButton;
class UpDownButtons;
struct AppContext;

// "Edit section info": changes one split list entry's start and end (in whole
// slider positions), its five tag texts and its part's volume. Created for one edit.
class TForm4 : public QDialog {
    Q_OBJECT

public:
    TForm4(AppContext& context, std::int32_t entryIndex, std::int32_t sliderMaximum,
           QWidget* parent = nullptr);

    std::int32_t EditStartMs() const { return editStartMs_; }
    std::int32_t EditEndMs() const { return editEndMs_; }

private:
    void BuildControls();
    void FormShow(std::int32_t sliderMaximum);
    void UpDown1Click();
    void UpDown2Click();
    void Button2Click();

    AppContext& context_;
    std::int32_t entryIndex_;
    std::int32_t editStartMs_ = 0;
    std::int32_t editEndMs_ = 0;

    QLineEdit* labeledEdit1_ = nullptr;
    UpDownButtons* upDown1_ = nullptr;
    QLineEdit* labeledEdit2_ = nullptr;
    UpDownButtons* upDown2_ = nullptr;
    QLineEdit* title_ = nullptr;
    QLineEdit* artist_ = nullptr;
    QLineEdit* album_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QLineEdit* year_ = nullptr;
    QDoubleSpinBox* gain_ = nullptr;
    QSpinBox* fadeIn_ = nullptr;
    QSpinBox* fadeOut_ = nullptr;
    QPushButton* button2_ = nullptr;
    QPushButton* button1_ = nullptr;
};
