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
// drawn once into an image, and a change repaints only the characters that
// changed. Its text is its accessible name, which assistive technology reads.
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

private:
    // Lays the line out again when its shape or the widget's size changed.
    void layOut();
    int margin() const;
    // Where the character at index i is drawn.
    QRect place(qsizetype i) const;
    const QImage &glyph(QChar c);

    QString m_text;
    QColor m_colour;
    QFont m_face;
    // The text with its digits alike, for which the layout holds.
    QString m_shape;
    // Each character's cell: left edge and width; the band its ink takes.
    QList<qreal> m_left;
    QList<qreal> m_width;
    int m_baseline = 0;
    int m_inkTop = 0;
    int m_inkBottom = 0;
    QHash<QChar, QImage> m_glyphs;
};
