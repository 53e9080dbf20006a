#pragma once

#include <QLabel>

// A one-line label that ends its text with "…" where its width cuts it off,
// so a cut line reads as cut. text() stays whole.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;

    // The text as drawn at the label's present width.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
