#include "ui/qt_platform_services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Presses the button of the open message box that the predicate picks, and
// records the box's title, icon and buttons.
struct BoxDriver {
    QString Title;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
    Qt::TextFormat Format = Qt::AutoText;

    void PressSoon(QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            Title = box->windowTitle();
            Icon = box->icon();
            Buttons = box->standardButtons();
            Format = box->textFormat();
            box->button(button)->click();
        });
    }
};

TEST(QtMessageBoxesTest, BoxesHaveTheirKindAndButtons) {
    QtMessageBoxes boxes;
    BoxDriver driver;

    driver.PressSoon(QMessageBox::Ok);
    boxes.Information(nullptr, "<b>Live</b>_001.mp3: done");
    EXPECT_EQ(driver.Format, Qt::PlainText);
    EXPECT_EQ(driver.Title, "Information");
    EXPECT_EQ(driver.Icon, QMessageBox::Information);
    EXPECT_EQ(driver.Buttons, QMessageBox::Ok);

    driver.PressSoon(QMessageBox::Ok);
    boxes.Error(nullptr, "Can't create file!");
    EXPECT_EQ(driver.Icon, QMessageBox::Critical);
    EXPECT_EQ(driver.Buttons, QMessageBox::Ok);

    driver.PressSoon(QMessageBox::Ok);
    boxes.Warning(nullptr, "Careful");
    EXPECT_EQ(driver.Icon, QMessageBox::Warning);
}

TEST(QtMessageBoxesTest, OverwriteAsksYesNoOrYesToAll) {
    QtMessageBoxes boxes;
    BoxDriver driver;
    using Answer = MessageBoxes::OverwriteAnswer;
    const std::pair<QMessageBox::StandardButton, Answer> cases[] = {
        {QMessageBox::Yes, Answer::Yes},
        {QMessageBox::No, Answer::No},
        {QMessageBox::YesToAll, Answer::YesToAll},
    };
    for (const auto& [button, answer] : cases) {
        driver.PressSoon(button);
        EXPECT_EQ(boxes.AskOverwrite(nullptr, "Overwrite?"), answer);
        EXPECT_EQ(driver.Icon, QMessageBox::Question);
        EXPECT_EQ(driver.Format, Qt::PlainText);
        EXPECT_EQ(driver.Buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll);
    }
}

// A sheet saved under a name typed without ".cue" gets the suffix, so the
// choosers of Load list and Import cue, which show only *.cue, find it again.
TEST(QtFileChoosersTest, SavedCueSheetsGetTheirSuffix) {
    QTemporaryDir dir;
    QtFileChoosers choosers;
    const std::pair<QString, QString> cases[] = {{"list", "list.cue"}, {"album.cue", "album.cue"}};
    for (const auto& [typed, saved] : cases) {
        QTimer::singleShot(0, [name = typed] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const std::optional<QString> path =
            choosers.ChooseCueToSave(nullptr, "Save list", dir.filePath("source.cue"));
        EXPECT_EQ(path.value_or("").toStdString(), dir.filePath(saved).toStdString());
    }
}

} // namespace
