#pragma once

#include "session/join_session.h"

#include <QDialog>
#include <QStringList>
#include <atomic>
#include <thread>

class QLabel;
class QLineEdit;
class QTreeWidget;
class QProgressBar;
class QPushButton;
struct AppContext;

// "Join files": the files in the order they will be joined, each with its
// length and a warning when it cannot join the first one, the total, the file
// to join them into, and Join, which runs off the UI thread with its progress
// shown until it ends or Cancel stops it.
class JoinDialog : public QDialog {
    Q_OBJECT

public:
    explicit JoinDialog(AppContext& context, QWidget* parent = nullptr);
    ~JoinDialog() override;

    void AddFiles(const QStringList& paths);
    QStringList Files() const;
    bool Joining() const { return worker_.joinable(); }

    QTreeWidget* FileList() const { return list_; }
    QLabel* TotalLabel() const { return total_; }
    QLabel* StatusLabel() const { return status_; }
    QPushButton* JoinButton() const { return join_; }

    // Cancel stops a join under way, else closes the dialog.
    void reject() override;

signals:
    void JoinEnded();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void AddClick();
    void RemoveClick();
    void MoveClick(int step);
    void ChooseTargetClick();
    void JoinClick();
    void ShowFiles();
    void ClearOutcome();
    void ShowFailure(const Error& error);
    void ShowProgress(std::int64_t done, std::int64_t total);
    void JoinFinished(const Result<JoinReport>& joined);
    void StopJoining();

    AppContext& context_;
    JoinSession files_;
    QTreeWidget* list_ = nullptr;
    QLabel* total_ = nullptr;
    QLineEdit* target_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* join_ = nullptr;
    QPushButton* cancel_ = nullptr;
    std::vector<QWidget*> editing_; // the controls a running join disables
    std::atomic<bool> stop_{false};
    std::thread worker_;
};
