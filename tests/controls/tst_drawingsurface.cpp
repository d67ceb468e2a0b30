#include "controls/DrawingSurface.h"

#include <QPalette>
#include <QTest>

#include <functional>

namespace {

using Paint = std::function<void(DrawingSurface &)>;

constexpr ColorValue red = 0x000000FF;

// Rows of an 8 x 5 picture joined by '|': '.' untouched (white), '#' black, 'o' red. The pen is
// black and the brush red.
QString draw(const Paint &paint)
{
    DrawingSurface surface;
    surface.begin(QSize(8, 5), QPalette());
    surface.fillRect(rectLTRB(0, 0, 8, 5), clWhite);
    surface.setPenColor(clBlack);
    surface.setBrushColor(red);
    paint(surface);
    surface.end();

    QStringList rows;
    for (int y = 0; y < 5; ++y) {
        QString row;
        for (int x = 0; x < 8; ++x) {
            const ColorValue pixel = fromQColor(surface.image().pixelColor(x, y));
            row += pixel == clWhite ? '.' : pixel == clBlack ? '#' : pixel == red ? 'o' : '?';
        }
        rows << row;
    }
    return rows.join('|');
}

QImage redSquare()
{
    QImage square(2, 2, QImage::Format_RGB32);
    square.fill(QColor(255, 0, 0));
    return square;
}

} // namespace

Q_DECLARE_METATYPE(Paint)

class TestDrawingSurface final : public QObject
{
    Q_OBJECT

private slots:
    void shapes_data();
    void shapes();
    void roundRectKeepsItsCornersOut();
    void pixelReadsResolvedSystemColour();
    void textStaysInsideItsRectangle();
    void aScaledScreenGetsItsOwnPixels();
};

void TestDrawingSurface::shapes_data()
{
    QTest::addColumn<Paint>("paint");
    QTest::addColumn<QString>("expected");

    const ColorValue black = clBlack;
    // clang-format off
    QTest::newRow("fill: right, bottom exclusive") << Paint([=](DrawingSurface &s) { s.fillRect(rectLTRB(2, 1, 6, 4), black); })
        << "........|..####..|..####..|..####..|........";
    QTest::newRow("frame along the inside") << Paint([=](DrawingSurface &s) { s.frameRect(rectLTRB(2, 1, 7, 5), black); })
        << "........|..#####.|..#...#.|..#...#.|..#####.";
    QTest::newRow("rectangle: pen and brush") << Paint([](DrawingSurface &s) { s.rectangle(rectLTRB(2, 1, 7, 5)); })
        << "........|..#####.|..#ooo#.|..#ooo#.|..#####.";
    QTest::newRow("hollow rectangle") << Paint([](DrawingSurface &s) { s.setBrushStyle(DrawingSurface::BrushStyle::Hollow); s.rectangle(rectLTRB(2, 1, 7, 5)); })
        << "........|..#####.|..#...#.|..#...#.|..#####.";
    QTest::newRow("arrow of 5, 3, 1") << Paint([=](DrawingSurface &s) { s.setBrushColor(black); s.polygon({{2, 1}, {6, 1}, {4, 3}}); })
        << "........|..#####.|...###..|....#...|........";
    QTest::newRow("line without end point") << Paint([](DrawingSurface &s) { s.line({1, 1}, {5, 1}); })
        << "........|.####...|........|........|........";
    QTest::newRow("diagonal without end point") << Paint([](DrawingSurface &s) { s.line({1, 1}, {4, 4}); })
        << "........|.#......|..#.....|...#....|........";
    QTest::newRow("polyline keeps its corner") << Paint([](DrawingSurface &s) { s.polyline({{1, 1}, {5, 1}, {5, 4}}); })
        << "........|.#####..|.....#..|.....#..|........";
    QTest::newRow("excluded band untouched") << Paint([=](DrawingSurface &s) { s.excludeClip(rectLTRB(3, 0, 6, 5)); s.fillRect(rectLTRB(0, 0, 8, 5), black); })
        << "###...##|###...##|###...##|###...##|###...##";
    QTest::newRow("clips intersect") << Paint([=](DrawingSurface &s) { s.clipTo(rectLTRB(0, 0, 4, 2)); s.clipTo(rectLTRB(2, 1, 8, 5)); s.fillRect(rectLTRB(0, 0, 8, 5), black); })
        << "........|..##....|........|........|........";
    QTest::newRow("restore lifts the clip") << Paint([=](DrawingSurface &s) { s.save(); s.excludeClip(rectLTRB(0, 0, 8, 5)); s.restore(); s.fillRect(rectLTRB(1, 1, 3, 3), black); })
        << "........|.##.....|.##.....|........|........";
    QTest::newRow("focus mark: every other pixel") << Paint([](DrawingSurface &s) { s.focusRect(rectLTRB(1, 1, 6, 4)); })
        << "........|.#.#.#..|........|.#.#.#..|........";
    QTest::newRow("image at a point") << Paint([](DrawingSurface &s) { s.drawImage(QPoint(3, 2), redSquare()); })
        << "........|........|...oo...|...oo...|........";
    QTest::newRow("image stretched") << Paint([](DrawingSurface &s) { s.drawImage(rectLTRB(1, 1, 5, 4), redSquare()); })
        << "........|.oooo...|.oooo...|.oooo...|........";
    // clang-format on
}

void TestDrawingSurface::shapes()
{
    QFETCH(Paint, paint);
    QFETCH(QString, expected);

    QCOMPARE(draw(paint), expected);
}

void TestDrawingSurface::roundRectKeepsItsCornersOut()
{
    DrawingSurface surface;
    surface.begin(QSize(12, 8), QPalette());
    surface.fillRect(rectLTRB(0, 0, 12, 8), clWhite);
    surface.setPenColor(clBlack);
    surface.setBrushColor(red);
    surface.roundRect(rectLTRB(0, 0, 12, 8), 6, 6);

    for (const QPoint corner : {QPoint(0, 0), QPoint(11, 0), QPoint(0, 7), QPoint(11, 7)})
        QCOMPARE(surface.pixel(corner), clWhite);
    for (const QPoint edge : {QPoint(6, 0), QPoint(0, 4), QPoint(11, 4), QPoint(6, 7)})
        QCOMPARE(surface.pixel(edge), clBlack);
    QCOMPARE(surface.pixel({6, 4}), red);
}

void TestDrawingSurface::pixelReadsResolvedSystemColour()
{
    QPalette palette;
    palette.setColor(QPalette::Highlight, QColor(1, 2, 3));
    DrawingSurface surface;
    surface.begin(QSize(4, 4), palette);
    surface.fillRect(rectLTRB(0, 0, 4, 4), clHighlight);

    QCOMPARE(surface.pixel({2, 2}), ColorValue(0x00030201));
}

void TestDrawingSurface::textStaysInsideItsRectangle()
{
    DrawingSurface surface;
    surface.begin(QSize(60, 30), QPalette());
    surface.fillRect(rectLTRB(0, 0, 60, 30), clWhite);
    QFont font;
    font.setPixelSize(20);
    surface.setFont(font);
    surface.setFontColor(red);
    const QRect box = rectLTRB(10, 5, 40, 25);
    surface.drawText(box, QStringLiteral("WWWWWW"), Qt::AlignCenter);
    surface.end();

    int inked = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 60; ++x) {
            if (fromQColor(surface.image().pixelColor(x, y)) == clWhite)
                continue;
            QVERIFY2(box.contains(x, y), qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
            ++inked;
        }
    }
    QVERIFY(inked > 0);
}

// At 200 % every pixel of the drawing is two by two of the screen's, drawn
// there rather than scaled up afterwards (which blurs edges and letters).
void TestDrawingSurface::aScaledScreenGetsItsOwnPixels()
{
    DrawingSurface surface;
    surface.begin(QSize(8, 5), QPalette(), 2.0);
    surface.fillRect(rectLTRB(0, 0, 8, 5), clWhite);
    surface.fillRect(rectLTRB(2, 1, 3, 2), red);
    surface.end();
    QCOMPARE(surface.image().size(), QSize(16, 10));
    QCOMPARE(surface.image().devicePixelRatio(), 2.0);
    for (const QPoint &at : {QPoint(4, 2), QPoint(5, 3)})
        QCOMPARE(fromQColor(surface.image().pixelColor(at)), red);
    QCOMPARE(fromQColor(surface.image().pixelColor(6, 2)), clWhite);
    QCOMPARE(surface.pixel({2, 1}), red);
}

QTEST_MAIN(TestDrawingSurface)
#include "tst_drawingsurface.moc"
