#pragma once

#include <QObject>
#include <QString>

class TForm1;

// "Save as chapters…" in the List menu: the ticked rows written as the chapters of one file
// named in a file dialog, asking before it replaces one, with progress and
// Cancel while a long source is copied; says how many chapters it wrote.
class ChapterFileCommand : public QObject {
    Q_OBJECT

public:
    ChapterFileCommand(TForm1& window, QObject* parent);

public slots:
    void SaveAsChapters();

private:
    QString SuggestedName() const;

    TForm1& window_;
};
