#pragma once

#include <QFont>
#include <QLabel>

// A label whose type is as large as its rectangle allows: all its lines,
// wrapped where wrapping is on, fit without clipping. A text too long for
// that at a size still readable across a room is wrapped between any
// characters and cut short with "…" rather than clipped. Its text stays the
// label's own, which assistive technology reads.
class FittedLabel final : public QLabel
{
    Q_OBJECT

public:
    // largest: the largest type as a share of the label's height, so that a
    // short text does not swell into a banner.
    FittedLabel(QWidget *parent, qreal largest, bool wrap, QFont::Weight weight = QFont::Normal);

    QSize sizeHint() const override { return {}; }
    QSize minimumSizeHint() const override { return {}; }

    // As painted: the face, and the lines when the text was cut short
    // (empty when it is drawn whole).
    QFont shownFont();
    QStringList shownLines();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int flags() const;
    void fit();

    qreal m_largest;
    bool m_wrap;
    QFont m_fitted;
    QStringList m_lines;
    // What the size was found for.
    QString m_fittedFor;
    QSize m_fittedIn;
};
