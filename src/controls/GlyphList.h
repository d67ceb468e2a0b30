#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>

// Small images of one size, shared by the controls that show them; changed() tells them to look
// again.
class GlyphList final : public QObject
{
    Q_OBJECT

public:
    explicit GlyphList(QSize imageSize, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(GlyphList)

    int width() const { return m_size.width(); }
    int height() const { return m_size.height(); }

    // Images of another size are scaled to the list's. Returns the new image's index.
    int add(const QImage &image);
    // A null image for an index out of range.
    QImage image(int index) const { return m_images.value(index); }

signals:
    void changed();

private:
    QSize m_size;
    QList<QImage> m_images;
};
