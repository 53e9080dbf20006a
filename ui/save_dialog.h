#pragma once

#include <QDialog>
#include <QPointer>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class myThread2;
struct PlannedPart;
struct SplitJob;
struct AppContext;

// "Save file(s)": the target folder, the name template, and the Save that
// names every checked part, asks before overwriting, and runs the split under
// the progress dialog. Created once; keeps the running worker, which may
// outlive a cancelled progress dialog.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* FolderTitle = "Please select the destination folder";
    static constexpr const char* NoFolderText = "There is no selected folder";
    static constexpr const char* WaitStoppedText =
        "The split still running was stopped; this one did not start";

    explicit TForm2(AppContext& context, QWidget* parent = nullptr);
    // Stops a worker that still runs and waits for it.
    ~TForm2() override;

    // The worker of the last split while it runs, else null.
    myThread2* SplitThread() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void FormCreate();
    void FocusNextStep();
    void ComboBox1Change(const QString& text);
    void NormalizeChange(int index);
    void BitBtn1Click();
    void BitBtn2Click();
    void Button1Click();
    void Button2Click();
    bool WaitForRunningSplit();
    void SettleWithUser(std::vector<PlannedPart>& plan);
    bool AskOverwrite(const std::string& path, bool& yesToAll);
    // True when every part was written.
    bool RunSplit(SplitJob job);

    AppContext& context_;
    QPointer<myThread2> splitThread_;
    QPushButton* bitBtn1_ = nullptr;
    QLineEdit* folderEdit_ = nullptr;
    QComboBox* comboBox1_ = nullptr;
    QComboBox* normalize_ = nullptr;
    QPlainTextEdit* memo1_ = nullptr;
    QLineEdit* fileNameEdit_ = nullptr;
    QPushButton* button2_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* bitBtn2_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};
