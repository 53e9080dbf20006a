#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const HintLines[] = {
    "Hint: If Preloading options turned on you can very",
    "precision detect timelength of mp3 file and check file for ",
    "errors. This function usefull with corrupted mp3 files.",
    "But this options take  several time on loading.",
    "Turn it off when split very large files.",
};

} // namespace

TOptions::TOptions(QWidget* parent) : QDialog(parent) {
    setObjectName("Options");
    setWindowTitle("Options");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(311, 360);

    auto* loadGroup = new QGroupBox("Load options", this);
    loadGroup->setObjectName("GroupBox1");
    preloadBox_ = new QCheckBox("&Preload file", loadGroup);
    preloadBox_->setObjectName("CheckBox1");
    auto* loadLayout = new QVBoxLayout(loadGroup);
    loadLayout->addWidget(preloadBox_);
    // The hint flows as one paragraph: its lines are wider than the dialog.
    QString hintText;
    for (const char* line : HintLines) {
        if (!hintText.isEmpty() && !hintText.endsWith(' ')) {
            hintText += ' ';
        }
        hintText += QString::fromLatin1(line);
    }
    auto* hint = new QLabel(hintText, loadGroup);
    hint->setObjectName("Label1");
    hint->setWordWrap(true);
    QFont hintFont = hint->font();
    hintFont.setPointSizeF(hintFont.pointSizeF() * 0.9);
    hint->setFont(hintFont);
    loadLayout->addWidget(hint);

    auto* saveGroup = new QGroupBox("Save options", this);
    saveGroup->setObjectName("GroupBox2");
    saveFrameBox_ = new QCheckBox("Save &info frame in VBR files", saveGroup);
    saveFrameBox_->setObjectName("CheckBox2");
    id3v2Box_ = new QCheckBox("Write ID3v&2 tags", saveGroup);
    id3v2Box_->setObjectName("CheckBox3");
    id3v2Box_->setToolTip("Each part begins with an ID3v2.3 tag, which every player reads");
    id3v24Box_ = new QCheckBox("ID3v2.&4 instead (UTF-8; not read by some players)", saveGroup);
    id3v24Box_->setObjectName("CheckBox6");
    id3v24Box_->setEnabled(false);
    connect(id3v2Box_, &QCheckBox::toggled, id3v24Box_, &QCheckBox::setEnabled);
    rebuildBox_ = new QCheckBox("&Rebuild information frame", saveGroup);
    rebuildBox_->setObjectName("CheckBox4");
    exactBox_ = new QCheckBox("Cut at the e&xact time", saveGroup);
    exactBox_->setObjectName("CheckBox5");
    exactBox_->setToolTip("Each part plays exactly the samples between its two times, without "
                          "a glitch at its start (Layer III files)");
    auto* saveLayout = new QVBoxLayout(saveGroup);
    saveLayout->addWidget(saveFrameBox_);
    saveLayout->addWidget(id3v2Box_);
    // Under the box it belongs to.
    auto* id3v24Row = new QHBoxLayout;
    id3v24Row->addSpacing(20);
    id3v24Row->addWidget(id3v24Box_);
    saveLayout->addLayout(id3v24Row);
    saveLayout->addWidget(rebuildBox_);
    saveLayout->addWidget(exactBox_);

    auto* ok = new QPushButton("&OK", this);
    ok->setObjectName("Button1");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel", this);
    cancel->setObjectName("Button2");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(loadGroup);
    layout->addWidget(saveGroup);
    layout->addStretch();
    layout->addLayout(buttons);
}

int TOptions::ShowWith(const SettingsStore::Values& values) {
    preloadBox_->setChecked(values.Preload);
    saveFrameBox_->setChecked(values.SaveFrame);
    id3v2Box_->setChecked(values.Id3v2);
    rebuildBox_->setChecked(values.RebuildInfoFrame);
    exactBox_->setChecked(values.ExactCuts);
    id3v24Box_->setChecked(values.Id3v24);
    return exec();
}

SettingsStore::Values TOptions::Chosen() const {
    return {preloadBox_->isChecked(), saveFrameBox_->isChecked(), id3v2Box_->isChecked(),
            rebuildBox_->isChecked(), exactBox_->isChecked(),     id3v24Box_->isChecked()};
}

void TOptions::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
