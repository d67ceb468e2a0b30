#include "controls/TFlatComboBox.h"

#include "controls/FlatComboStyle.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>

TFlatComboBox::TFlatComboBox(QWidget *parent) : QComboBox(parent)
{
    resize(145, 25);
    setMaxVisibleItems(8);
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_flatStyle = new FlatComboStyle(m_FlatButtonWidth);
    m_flatStyle->setParent(this);
    QComboBox::setStyle(m_flatStyle);
    m_SystemButtonWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);

    // The list's window exists from here on (view() creates it) and only its visibility tells
    // reliably whether the list is down: a click outside closes it without hidePopup().
    m_listWindow = view()->window();
    m_listWindow->installEventFilter(this);

    setEditable(true);
    applyColorToChildren();
}

TFlatComboBox::~TFlatComboBox()
{
    if (m_listWindow)
        m_listWindow->removeEventFilter(this);
}

void TFlatComboBox::setStyle(ComboStyle style)
{
    m_Style = style;
    setEditable(style == csDropDown || style == csSimple);
    applyColorToChildren();
    update();
}

void TFlatComboBox::setColor(ColorValue color)
{
    if (m_Color == color)
        return;
    m_Color = color;
    applyColorToChildren();
    update();
}

void TFlatComboBox::setIndexedColor(int index, ColorValue color)
{
    switch (index) {
    case 0:
        m_ColorArrow = color;
        break;
    case 1:
        m_ColorArrowBackground = color;
        break;
    default:
        m_ColorBorder = color;
        break;
    }
    update();
}

void TFlatComboBox::setUseAdvColors(bool use)
{
    if (m_UseAdvColors == use)
        return;
    m_UseAdvColors = use;
    RecomputeDerivedColors();
    update();
}

void TFlatComboBox::setIndexedAdvColor(int index, int percentage)
{
    const auto value = TAdvColors(std::clamp(percentage, 0, 100));
    if (index == 0)
        m_AdvColorBorder = value;
    else
        m_AdvColorArrowBackground = value;
    RecomputeDerivedColors();
    update();
}

void TFlatComboBox::RecomputeDerivedColors()
{
    const QWidget *parent = parentWidget();
    if (!m_UseAdvColors || !parent)
        return;
    const ColorValue parentColor = fromQColor(parent->palette().color(parent->backgroundRole()));
    m_ColorBorder = DeriveShade(parentColor, m_ColorBorder, m_AdvColorBorder);
    m_ColorArrowBackground =
        DeriveShade(parentColor, m_ColorArrowBackground, m_AdvColorArrowBackground);
}

// The edit field and the list are separate widgets that paint their own background.
void TFlatComboBox::applyColorToChildren()
{
    const QColor background = toQColor(m_Color, palette());
    const auto paint = [&background](QWidget *child) {
        QPalette p = child->palette();
        p.setColor(QPalette::Base, background);
        child->setPalette(p);
    };
    paint(view());
    if (QLineEdit *edit = lineEdit())
        paint(edit);
}

bool TFlatComboBox::isDroppedDown() const
{
    return m_listWindow && m_listWindow->isVisible();
}

QRect TFlatComboBox::GetButtonRect() const
{
    return rectLTRB(width() - m_FlatButtonWidth - 1, 0, width() - 1, height());
}

void TFlatComboBox::paintEvent(QPaintEvent *event)
{
    const QRect updateRect = event->rect();
    const int w = width();
    const int h = height();
    m_surface.begin(size(), palette(), devicePixelRatioF());

    m_surface.fillRect(updateRect.intersected(rectLTRB(0, 0, w - m_FlatButtonWidth - 4, h)),
                       m_Color);
    if (GetButtonRect().intersects(updateRect))
        PaintButton(m_surface);

    // Whatever the content draws must stay clear of the button band.
    m_surface.save();
    m_surface.excludeClip(rectLTRB(w - m_SystemButtonWidth - 2, 0, w, h));
    paintCurrentItem(m_surface);
    m_surface.restore();

    if (m_Style != csDropDown)
        PaintSelectionGap(m_surface);
    RepaintFrame(m_surface);
    // This outline coincides with the frame's inner ring, so it has to come after the frame.
    if (m_Style == csDropDown && isDroppedDown())
        m_surface.frameRect(rectLTRB(2, 2, w - m_FlatButtonWidth - 3, h - 2), clWindow);

    m_surface.end();
    m_surface.paint(this, updateRect);
}

// The editable styles show the current text in their edit field, a child widget.
void TFlatComboBox::paintCurrentItem(DrawingSurface &surface)
{
    if (isEditable())
        return;
    const QRect area = m_flatStyle->editFieldRect(rect());
    const bool selected = hasFocus() && !isDroppedDown();
    if (selected)
        surface.fillRect(area, clHighlight);

    QRect textRect = area.adjusted(2, 0, 0, 0);
    const QIcon icon = itemIcon(currentIndex());
    if (!icon.isNull()) {
        const QImage image = icon.pixmap(iconSize(), devicePixelRatio(),
                                         isEnabled() ? QIcon::Normal : QIcon::Disabled)
                                 .toImage();
        const int y = area.top() + (area.height() - iconSize().height()) / 2;
        surface.drawImage(QPoint(textRect.left(), y), image);
        textRect.setLeft(textRect.left() + iconSize().width() + 4);
    }

    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    const QPalette::ColorRole role = selected ? QPalette::HighlightedText : QPalette::Text;
    surface.setFont(font());
    surface.setFontColor(fromQColor(palette().color(group, role)));
    surface.drawText(textRect, currentText(),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine);
}

void TFlatComboBox::PaintFrame(DrawingSurface &surface)
{
    QRect r = rectLTRB(0, 0, width() - (m_FlatButtonWidth + 1), height());
    surface.frameRect(r, m_ColorBorder);
    // The two inner rings keep the box flat where a style would draw a sunken edge.
    r.adjust(1, 1, -1, -1);
    surface.frameRect(r, m_Color);
    r.adjust(1, 1, -1, -1);
    surface.frameRect(r, m_Color);
}

void TFlatComboBox::PaintButton(DrawingSurface &surface)
{
    const QRect r = GetButtonRect().adjusted(-1, 0, 1, 0);
    surface.fillRect(r, m_ColorArrowBackground);
    surface.frameRect(r, m_ColorBorder);

    const int x0 = r.left() + r.width() / 2 - 6;
    const int y0 = r.top() + r.height() / 2 - 1;
    const QList<QPoint> arrow =
        isDroppedDown() ? QList<QPoint>{{x0 + 4, y0 + 2}, {x0 + 8, y0 + 2}, {x0 + 6, y0}}
                        : QList<QPoint>{{x0 + 4, y0}, {x0 + 8, y0}, {x0 + 6, y0 + 2}};
    const auto drawArrow = [&surface](const QList<QPoint> &points, ColorValue color) {
        surface.setPenColor(color);
        surface.setBrushColor(color);
        surface.setBrushStyle(DrawingSurface::BrushStyle::Solid);
        surface.polygon(points);
    };
    if (isEnabled()) {
        drawArrow(arrow, m_ColorArrow);
    } else {
        QList<QPoint> shadow = arrow;
        for (QPoint &point : shadow)
            point += QPoint(1, 1);
        drawArrow(shadow, clWhite);
        drawArrow(arrow, 0x00808080);
    }
}

void TFlatComboBox::PaintSelectionGap(DrawingSurface &surface)
{
    if (!hasSelectionGap())
        return;
    const int cw = width();
    const int ch = height();
    // The strip between where the item is drawn and the button, so that the selection reaches
    // the button.
    const QRect strip =
        rectLTRB(cw - 2 - m_FlatButtonWidth - 8, 3, cw - 2 - (m_FlatButtonWidth + 3), ch - 3);
    if (hasFocus() && !isDroppedDown()) {
        surface.fillRect(strip, clHighlight);
        surface.frameRect(rectLTRB(3, 3, cw - m_FlatButtonWidth - 5, ch - 3), clHighlight);
    } else {
        surface.fillRect(strip, m_Color);
    }
}

void TFlatComboBox::RepaintFrame(DrawingSurface &surface)
{
    PaintFrame(surface);
    if (m_Style != csSimple)
        PaintButton(surface);
}

bool TFlatComboBox::ComputeActive() const
{
    const QLineEdit *edit = lineEdit();
    return isDroppedDown() || hasFocus() || (edit && edit->hasFocus());
}

void TFlatComboBox::RefreshActive()
{
    const bool active = ComputeActive();
    if (active == m_ActiveState)
        return;
    m_ActiveState = active;
    update();
}

void TFlatComboBox::focusInEvent(QFocusEvent *event)
{
    QComboBox::focusInEvent(event);
    RefreshActive();
    if (hasSelectionGap())
        update();
}

void TFlatComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    RefreshActive();
    if (hasSelectionGap())
        update();
}

void TFlatComboBox::keyPressEvent(QKeyEvent *event)
{
    const QString before = currentText();
    QComboBox::keyPressEvent(event);
    if (hasSelectionGap() && currentText() != before)
        update();
}

void TFlatComboBox::changeEvent(QEvent *event)
{
    QComboBox::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        update();
        break;
    case QEvent::FontChange:
        m_ItemHeight = DefaultItemHeight;
        update();
        break;
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        RecomputeDerivedColors();
        applyColorToChildren();
        update();
        break;
    default:
        break;
    }
}

bool TFlatComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_listWindow) {
        if (event->type() == QEvent::Show) {
            RefreshActive();
            update();
        } else if (event->type() == QEvent::Hide) {
            RefreshActive();
            // The arrow points down again.
            update(GetButtonRect().adjusted(-2, 0, 0, 0));
        }
    }
    return QComboBox::eventFilter(watched, event);
}
