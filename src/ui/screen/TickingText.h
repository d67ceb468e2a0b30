#pragma once

#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QWidget>

// One line of large type that changes a few characters at a time: a clock,
// a countdown. Its size fills the widget (digits measured as the widest, so
// it stays put while it ticks). Type this large is outlined anew at every
// painting, which on a 4K panel takes milliseconds; so each character is
// drawn once, on the background, into an image of its cell, and a change
// copies only the cells whose character changed. Its text is its accessible
// name, which assistive technology reads.
class TickingText final : public QWidget
{
    Q_OBJECT

public:
    TickingText(QWidget *parent, QFont::Weight weight);

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    const QColor &colour() const { return m_colour; }
    void setColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Lays the line out again when its shape or the widget's size changed.
    void layOut();
    // The cell of the character at index i: its advance, and the band the
    // line's ink takes.
    QRect cell(qsizetype i) const;
    const QImage &glyph(QChar c);
    void redrawAll();

    QString m_text;
    QColor m_colour;
    QFont m_face;
    // The text with its digits alike, for which the layout holds.
    QString m_shape;
    // The left edge of each cell, and the right edge of the last.
    QList<int> m_edges;
    int m_baseline = 0;
    int m_inkTop = 0;
    int m_inkBottom = 0;
    QHash<QChar, QImage> m_glyphs;
};
