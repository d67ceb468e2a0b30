#pragma once

#include <QFont>
#include <QLabel>

// A label whose type is as large as its rectangle allows: all its lines,
// wrapped where wrapping is on, fit without clipping. Its text stays the
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int flags() const;
    void fit();

    qreal m_largest;
    bool m_wrap;
    QFont m_fitted;
    // What the size was found for.
    QString m_fittedFor;
    QSize m_fittedIn;
};
