#include "controls/DrawingSurface.h"
#include "controls/XPGraphUtil.h"

#include <QTest>

#include <functional>

namespace {

using Paint = std::function<void(DrawingSurface &)>;

constexpr ColorValue marker = 0x00FF00FF;
constexpr ColorValue grey = 0x00808080;
constexpr ColorValue buttonFace = 0x00030201;

QPalette testPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    return palette;
}

// A 40 x 400 picture filled with the marker colour first, so that untouched pixels show.
QImage render(const Paint &paint)
{
    DrawingSurface surface;
    surface.begin(QSize(40, 400), testPalette());
    surface.fillRect(rectLTRB(0, 0, 40, 400), marker);
    paint(surface);
    surface.end();
    return surface.image();
}

Paint gradient(QRect rect, ColorValue start, ColorValue end, TFillDirection direction, quint8 count)
{
    return [=](DrawingSurface &s) { FillGradient(s, rect, start, end, direction, count); };
}

// A 10 x 10 red bitmap whose top left pixel is blue marks where each tile starts.
QImage tile()
{
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(QColor(255, 0, 0));
    bitmap.setPixelColor(0, 0, QColor(0, 0, 255));
    return bitmap;
}

ColorValue gray(int level)
{
    return rgbColor(level, level, level);
}

} // namespace

Q_DECLARE_METATYPE(Paint)

class TestXPGraphUtil final : public QObject
{
    Q_OBJECT

private slots:
    void darkenColor_data();
    void darkenColor();
    void pixels_data();
    void pixels();
};

void TestXPGraphUtil::darkenColor_data()
{
    QTest::addColumn<ColorValue>("color");
    QTest::addColumn<int>("amount");
    QTest::addColumn<ColorValue>("expected");

    QTest::newRow("white by 30") << clWhite << 30 << ColorValue(0x00E1E1E1);
    QTest::newRow("clamped at 0") << ColorValue(0x00101010) << 30 << clBlack;
    QTest::newRow("negative lightens, clamped at 255") << ColorValue(0x00F0F0F0) << -30 << clWhite;
    QTest::newRow("per channel") << ColorValue(0x00204060) << 0x30 << ColorValue(0x00001030);
    QTest::newRow("system colour resolved") << clBtnFace << 1 << ColorValue(0x00020100);
}

void TestXPGraphUtil::darkenColor()
{
    QFETCH(ColorValue, color);
    QFETCH(int, amount);
    QFETCH(ColorValue, expected);

    QCOMPARE(DarkenColor(color, amount, testPalette()), expected);
}

void TestXPGraphUtil::pixels_data()
{
    QTest::addColumn<Paint>("paint");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<ColorValue>("expected");

    const ColorValue white = clWhite, black = clBlack, silver = clSilver;
    const auto xpPanel = gradient(rectLTRB(0, 0, 20, 20), white, grey, fdXP, 60);
    // clang-format off
    QTest::newRow("count 0: start colour") << gradient(rectLTRB(0, 0, 10, 10), white, black, fdTopToBottom, 0) << QPoint(5, 9) << white;
    QTest::newRow("count 1, from centre: start colour below") << gradient(rectLTRB(0, 0, 10, 11), white, black, fdVerticalFromCenter, 1) << QPoint(5, 10) << white;
    QTest::newRow("one row high: end colour") << gradient(rectLTRB(0, 0, 10, 1), white, black, fdTopToBottom, 60) << QPoint(5, 0) << black;
    QTest::newRow("height 10: row 0") << gradient(rectLTRB(0, 0, 10, 10), white, silver, fdTopToBottom, 60) << QPoint(3, 0) << white;
    QTest::newRow("height 10: row 1") << gradient(rectLTRB(0, 0, 10, 10), white, silver, fdTopToBottom, 60) << QPoint(3, 1) << gray(248);
    QTest::newRow("height 10: row 9") << gradient(rectLTRB(0, 0, 10, 10), white, silver, fdTopToBottom, 60) << QPoint(3, 9) << silver;
    QTest::newRow("half step falling rounds down") << gradient(rectLTRB(0, 0, 10, 3), white, black, fdTopToBottom, 60) << QPoint(0, 1) << gray(127);
    QTest::newRow("half step rising rounds up") << gradient(rectLTRB(0, 0, 10, 3), black, white, fdTopToBottom, 60) << QPoint(0, 1) << gray(128);
    QTest::newRow("height 340: band 0 is 5 rows") << gradient(rectLTRB(0, 0, 10, 340), white, silver, fdTopToBottom, 60) << QPoint(0, 4) << white;
    QTest::newRow("height 340: band 58") << gradient(rectLTRB(0, 0, 10, 340), white, silver, fdTopToBottom, 60) << QPoint(0, 294) << gray(193);
    QTest::newRow("height 340: band 59") << gradient(rectLTRB(0, 0, 10, 340), white, silver, fdTopToBottom, 60) << QPoint(0, 295) << silver;
    QTest::newRow("height 340: remainder") << gradient(rectLTRB(0, 0, 10, 340), white, silver, fdTopToBottom, 60) << QPoint(0, 339) << silver;
    QTest::newRow("bottom to top: top row end") << gradient(rectLTRB(0, 0, 10, 2), white, black, fdBottomToTop, 60) << QPoint(0, 0) << black;
    QTest::newRow("bottom to top: bottom row start") << gradient(rectLTRB(0, 0, 10, 2), white, black, fdBottomToTop, 60) << QPoint(0, 1) << white;
    QTest::newRow("left to right: right end") << gradient(rectLTRB(0, 0, 3, 5), white, black, fdLeftToRight, 60) << QPoint(2, 0) << black;
    QTest::newRow("right to left: left end") << gradient(rectLTRB(0, 0, 2, 5), white, black, fdRightToLeft, 60) << QPoint(0, 0) << black;
    QTest::newRow("right to left: remainder start") << gradient(rectLTRB(0, 0, 3, 5), white, black, fdRightToLeft, 2) << QPoint(2, 0) << white;
    QTest::newRow("from centre, height 11: upper 5 rows") << gradient(rectLTRB(0, 0, 10, 11), white, black, fdVerticalFromCenter, 60) << QPoint(0, 1) << gray(191);
    QTest::newRow("from centre, height 11: lower 6 rows") << gradient(rectLTRB(0, 0, 10, 11), white, black, fdVerticalFromCenter, 60) << QPoint(0, 9) << gray(204);
    QTest::newRow("from centre, width 11: left 5 columns") << gradient(rectLTRB(0, 0, 11, 5), white, black, fdHorizFromCenter, 60) << QPoint(1, 0) << gray(191);
    QTest::newRow("from centre, width 11: right 6 columns") << gradient(rectLTRB(0, 0, 11, 5), white, black, fdHorizFromCenter, 60) << QPoint(9, 0) << gray(204);
    QTest::newRow("empty rectangle untouched") << gradient(rectLTRB(0, 0, 0, 10), white, black, fdTopToBottom, 60) << QPoint(0, 0) << marker;
    QTest::newRow("system colours resolved") << gradient(rectLTRB(0, 0, 4, 4), clBtnFace, clBtnFace, fdTopToBottom, 60) << QPoint(1, 1) << buttonFace;
    QTest::newRow("xp: top rim in start colour") << xpPanel << QPoint(10, 0) << white;
    QTest::newRow("xp: top bevel, half step") << xpPanel << QPoint(10, 3) << gray(191);
    QTest::newRow("xp: body starts in end colour") << xpPanel << QPoint(10, 6) << grey;
    QTest::newRow("xp: lower band") << xpPanel << QPoint(10, 15) << gray(230);
    QTest::newRow("xp: left rim in start colour") << xpPanel << QPoint(0, 10) << white;
    QTest::newRow("xp: right outline") << xpPanel << QPoint(19, 10) << grey;
    QTest::newRow("xp: right band kept") << xpPanel << QPoint(16, 10) << marker;
    QTest::newRow("xp: corner from the pixel below") << xpPanel << QPoint(4, 3) << gray(196);
    QTest::newRow("xp: corner over the outline") << xpPanel << QPoint(0, 0) << white;
    QTest::newRow("xp: corner's last line is empty") << xpPanel << QPoint(6, 6) << grey;
    QTest::newRow("tile: first") << Paint([](DrawingSurface &s) { TileBitmap(s, rectLTRB(5, 5, 30, 30), tile()); }) << QPoint(5, 5) << ColorValue(0x00FF0000);
    QTest::newRow("tile: third, cut") << Paint([](DrawingSurface &s) { TileBitmap(s, rectLTRB(5, 5, 30, 30), tile()); }) << QPoint(25, 25) << ColorValue(0x00FF0000);
    QTest::newRow("tile: inside the cut tile") << Paint([](DrawingSurface &s) { TileBitmap(s, rectLTRB(5, 5, 30, 30), tile()); }) << QPoint(29, 29) << ColorValue(0x000000FF);
    QTest::newRow("tile: clipped") << Paint([](DrawingSurface &s) { TileBitmap(s, rectLTRB(5, 5, 30, 30), tile()); }) << QPoint(30, 30) << marker;
    QTest::newRow("tile: empty bitmap") << Paint([](DrawingSurface &s) { TileBitmap(s, rectLTRB(5, 5, 30, 30), QImage()); }) << QPoint(5, 5) << marker;
    // clang-format on
}

void TestXPGraphUtil::pixels()
{
    QFETCH(Paint, paint);
    QFETCH(QPoint, point);
    QFETCH(ColorValue, expected);

    QCOMPARE(fromQColor(render(paint).pixelColor(point)), expected);
}

QTEST_MAIN(TestXPGraphUtil)
#include "tst_xpgraphutil.moc"
