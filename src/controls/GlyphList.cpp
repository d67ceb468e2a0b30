#include "controls/GlyphList.h"

GlyphList::GlyphList(QSize imageSize, QObject *parent) : QObject(parent), m_size(imageSize) {}

int GlyphList::add(const QImage &image)
{
    m_images << (image.size() == m_size ? image : image.scaled(m_size));
    emit changed();
    return int(m_images.size()) - 1;
}
