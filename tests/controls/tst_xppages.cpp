#include "controls/XpTabs.h"
#include "controls/xpPages.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <functional>

namespace {

using Setup = std::function<void(TxpPageControl &)>;

constexpr ColorValue red = 0x000000FF;
constexpr ColorValue blue = 0x00FF0000;
constexpr ColorValue face = 0x00C8D0D4;
constexpr ColorValue window = 0x00EEEEEE;
constexpr ColorValue shadow = 0x00808080;
constexpr ColorValue darkShadow = 0x00404040;
constexpr ColorValue white = clWhite;
constexpr ColorValue hotOuter = XpTabs::HotEdgeOuter;
constexpr ColorValue hotInner = XpTabs::HotEdgeInner;

QColor qcolor(ColorValue color)
{
    return toQColor(color, QPalette());
}

// A 300 x 200 control with three white sheets "A", "B", "C" and tabs of 80 x 24 pixels, in a
// palette of classic button colours; page 0 is selected. Tab k of a horizontal strip starts at
// x = 2 + 80k (buttons: 83k), of a vertical one at y = 2 + 24k.
struct Pages
{
    TxpPageControl control;

    explicit Pages(TxpPageControlStyle style = pcsXP, TxpTabPosition position = tpTop)
    {
        QPalette palette;
        palette.setColor(QPalette::Window, qcolor(window));
        palette.setColor(QPalette::Button, qcolor(face));
        palette.setColor(QPalette::Light, qcolor(white));
        palette.setColor(QPalette::Dark, qcolor(shadow));
        palette.setColor(QPalette::Shadow, qcolor(darkShadow));
        palette.setColor(QPalette::ButtonText, Qt::black);
        control.setPalette(palette);
        control.resize(300, 200);
        control.setTabWidth(80);
        control.setTabHeight(24);
        control.setBorderColor(red);
        for (const char *caption : {"A", "B", "C"})
            control.addSheet(QString::fromLatin1(caption));
        control.setStyle(style);
        control.setTabPosition(position);
    }

    bool show()
    {
        control.show();
        control.activateWindow();
        return QTest::qWaitForWindowActive(&control);
    }

    ColorValue pixel(QPoint point)
    {
        QImage image(control.size(), QImage::Format_ARGB32);
        control.render(&image);
        return fromQColor(image.pixelColor(point));
    }

    // Where the current page stands in the control.
    QRect pageArea() const
    {
        const QWidget *page = control.currentWidget();
        return QRect(page->mapTo(&control, QPoint(0, 0)), page->size());
    }
};

Setup hover(QPoint point)
{
    return [point](TxpPageControl &control) {
        QMouseEvent move(QEvent::MouseMove, point, control.mapToGlobal(point), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&control, &move);
    };
}

const Setup hotTrack = [](TxpPageControl &control) { control.setHotTrack(true); };
const Setup plain = [](TxpPageControl &) {};

QImage filled(QSize size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(TxpPageControlStyle)
Q_DECLARE_METATYPE(TxpTabPosition)
Q_DECLARE_METATYPE(TxpTabBGStyle)

class TestXpPages final : public QObject
{
    Q_OBJECT

private slots:
    void painting_data();
    void painting();
    void consoleSettings();
    void captionShadow();
    void styleAndPosition_data();
    void styleAndPosition();
    void sheetBackground_data();
    void sheetBackground();
    void backgroundImageRule_data();
    void backgroundImageRule();
    void imageIndex_data();
    void imageIndex();
    void glyphs_data();
    void glyphs();
    void ownerDrawing_data();
    void ownerDrawing();
    void tabToPageIndex_data();
    void tabToPageIndex();
    void hints_data();
    void hints();
    void hotTracking_data();
    void hotTracking();
    void changeIsTheUsersOnly_data();
    void changeIsTheUsersOnly();
};

void TestXpPages::painting_data()
{
    QTest::addColumn<TxpPageControlStyle>("style");
    QTest::addColumn<TxpTabPosition>("position");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<ColorValue>("expected");

    const ColorValue inactive = 0x00FAFAFA, d20 = 0x00E6E6E6, d10 = 0x00F0F0F0;
    const Setup ownerDraw = [](TxpPageControl &control) { control.setOwnerDraw(true); };
    // clang-format off
    QTest::newRow("xp top: active tab") << pcsXP << tpTop << plain << QPoint(6, 14) << white;
    QTest::newRow("xp top: inactive tab") << pcsXP << tpTop << plain << QPoint(88, 14) << inactive;
    QTest::newRow("xp top: inactive shadow") << pcsXP << tpTop << plain << QPoint(100, 23) << d20;
    QTest::newRow("xp top: inactive light shadow") << pcsXP << tpTop << plain << QPoint(100, 22) << d10;
    QTest::newRow("xp top: tab outline") << pcsXP << tpTop << plain << QPoint(160, 14) << red;
    QTest::newRow("xp top: hot edge, outer") << pcsXP << tpTop << hotTrack << QPoint(40, 0) << hotOuter;
    QTest::newRow("xp top: hot edge, inner") << pcsXP << tpTop << hotTrack << QPoint(40, 1) << hotInner;
    QTest::newRow("xp top: frame, right") << pcsXP << tpTop << plain << QPoint(299, 100) << red;
    QTest::newRow("xp top: strip background") << pcsXP << tpTop << plain << QPoint(280, 10) << window;
    QTest::newRow("xp bottom: active tab") << pcsXP << tpBottom << plain << QPoint(6, 185) << white;
    QTest::newRow("xp bottom: joins its page") << pcsXP << tpBottom << plain << QPoint(40, 175) << white;
    QTest::newRow("xp bottom: inactive shadow") << pcsXP << tpBottom << plain << QPoint(100, 195) << d20;
    QTest::newRow("xp bottom: frame beside the tabs") << pcsXP << tpBottom << plain << QPoint(250, 175) << red;
    QTest::newRow("xp bottom: hot edge, outer") << pcsXP << tpBottom << hotTrack << QPoint(40, 197) << hotOuter;
    QTest::newRow("xp left: active tab") << pcsXP << tpLeft << plain << QPoint(15, 12) << white;
    QTest::newRow("xp left: joins its page") << pcsXP << tpLeft << plain << QPoint(81, 12) << white;
    QTest::newRow("xp left: inactive shadow") << pcsXP << tpLeft << plain << QPoint(15, 47) << d20;
    QTest::newRow("xp left: frame") << pcsXP << tpLeft << plain << QPoint(80, 150) << red;
    QTest::newRow("xp left: hot edge, outer") << pcsXP << tpLeft << hotTrack << QPoint(0, 12) << hotOuter;
    QTest::newRow("xp right: active tab") << pcsXP << tpRight << plain << QPoint(230, 12) << white;
    QTest::newRow("xp right: inactive outline") << pcsXP << tpRight << plain << QPoint(219, 35) << red;
    QTest::newRow("xp right: frame") << pcsXP << tpRight << plain << QPoint(219, 150) << red;
    QTest::newRow("xp right: hot edge, outer") << pcsXP << tpRight << hotTrack << QPoint(298, 12) << hotOuter;
    QTest::newRow("xp: sheet colour on its tab") << pcsXP << tpTop << Setup([](TxpPageControl &c) { c.Sheet(0)->setColor(red); }) << QPoint(6, 14) << red;
    QTest::newRow("tabs top: frame beside the tabs") << pcsTabs << tpTop << plain << QPoint(280, 26) << white;
    QTest::newRow("tabs top: selected covers the frame") << pcsTabs << tpTop << plain << QPoint(40, 26) << face;
    QTest::newRow("tabs top: frame, right") << pcsTabs << tpTop << plain << QPoint(299, 100) << darkShadow;
    QTest::newRow("tabs top: tab right") << pcsTabs << tpTop << plain << QPoint(161, 12) << darkShadow;
    QTest::newRow("tabs bottom: frame beside the tabs") << pcsTabs << tpBottom << plain << QPoint(280, 173) << darkShadow;
    QTest::newRow("tabs bottom: selected covers the frame") << pcsTabs << tpBottom << plain << QPoint(40, 173) << face;
    QTest::newRow("tabs bottom: tab bottom") << pcsTabs << tpBottom << plain << QPoint(100, 197) << darkShadow;
    QTest::newRow("tabs left: frame beside the tabs") << pcsTabs << tpLeft << plain << QPoint(82, 150) << white;
    QTest::newRow("tabs left: selected covers the frame") << pcsTabs << tpLeft << plain << QPoint(82, 12) << face;
    QTest::newRow("tabs left: tab bottom") << pcsTabs << tpLeft << plain << QPoint(40, 49) << darkShadow;
    QTest::newRow("tabs right: frame beside the tabs") << pcsTabs << tpRight << plain << QPoint(217, 150) << darkShadow;
    QTest::newRow("tabs right: selected covers the frame") << pcsTabs << tpRight << plain << QPoint(217, 12) << face;
    QTest::newRow("tabs right: tab side") << pcsTabs << tpRight << plain << QPoint(297, 35) << darkShadow;
    QTest::newRow("tabs: owner drawn, top") << pcsTabs << tpTop << ownerDraw << QPoint(150, 5) << white;
    QTest::newRow("tabs: owner drawn, middle") << pcsTabs << tpTop << ownerDraw << QPoint(150, 13) << ColorValue(0x00DCDCDC);
    QTest::newRow("buttons: raised, outer top") << pcsButtons << tpTop << plain << QPoint(100, 0) << face;
    QTest::newRow("buttons: raised, inner top") << pcsButtons << tpTop << plain << QPoint(100, 1) << white;
    QTest::newRow("buttons: raised, outer bottom") << pcsButtons << tpTop << plain << QPoint(100, 23) << darkShadow;
    QTest::newRow("buttons: sunken, outer top") << pcsButtons << tpTop << plain << QPoint(40, 0) << shadow;
    QTest::newRow("buttons: sunken, inner top") << pcsButtons << tpTop << plain << QPoint(40, 1) << darkShadow;
    QTest::newRow("buttons: chequered face, light") << pcsButtons << tpTop << plain << QPoint(5, 5) << white;
    QTest::newRow("buttons: gap") << pcsButtons << tpTop << plain << QPoint(81, 12) << window;
    QTest::newRow("buttons: pages below") << pcsButtons << tpTop << plain << QPoint(150, 27) << white;
    QTest::newRow("flat: no edge") << pcsFlatButtons << tpTop << plain << QPoint(100, 0) << face;
    QTest::newRow("flat: selected, top") << pcsFlatButtons << tpTop << plain << QPoint(40, 0) << shadow;
    QTest::newRow("flat: selected, bottom") << pcsFlatButtons << tpTop << plain << QPoint(40, 23) << white;
    QTest::newRow("flat: hot, top") << pcsFlatButtons << tpTop << hover(QPoint(200, 12)) << QPoint(190, 0) << white;
    QTest::newRow("flat: hot, bottom") << pcsFlatButtons << tpTop << hover(QPoint(200, 12)) << QPoint(190, 23) << shadow;
    QTest::newRow("flat: gap") << pcsFlatButtons << tpTop << plain << QPoint(81, 12) << window;
    // clang-format on
}

void TestXpPages::painting()
{
    QFETCH(TxpPageControlStyle, style);
    QFETCH(TxpTabPosition, position);
    QFETCH(Setup, setup);
    QFETCH(QPoint, point);
    QFETCH(ColorValue, expected);

    Pages pages(style, position);
    QVERIFY(pages.show());
    setup(pages.control);
    QCOMPARE(pages.pixel(point), expected);
}

// The administrator console's page control.
void TestXpPages::consoleSettings()
{
    Pages pages(pcsXP, tpLeft);
    TxpPageControl &control = pages.control;
    control.resize(520, 297);
    control.setTabHeight(0);
    control.addSheet(QStringLiteral("新增考试科目"));
    control.setStyle(pcsFlatButtons);
    control.setTabPosition(tpTop);
    control.setTabWidth(120);
    control.setBorderColor(clSkyBlue);
    control.setTabTextAlignment(taCenter);
    for (int i = 0; i < control.count(); ++i)
        control.Sheet(i)->setColor(clBtnFace);
    QVERIFY(pages.show());

    for (int tab = 0; tab < 4; ++tab)
        QCOMPARE(control.tabItemRect(tab),
                 QRect(123 * tab, 0, 120, control.tabItemRect(0).height()));
    QCOMPARE(control.PageRect(), rectLTRB(0, control.tabItemRect(0).bottom() + 4, 520, 297));
    QCOMPARE(pages.pixel({60, 0}), shadow);
    QCOMPARE(pages.pixel({183, 0}), face);
    QCOMPARE(pages.pixel({121, 5}), window);
    QCOMPARE(pages.pixel({260, 200}), face);
}

// The caption of a white sheet's tab stands on a shadow 30 units darker, 1 pixel right and down.
void TestXpPages::captionShadow()
{
    Pages pages;
    QFont bold;
    bold.setPixelSize(20);
    bold.setBold(true);
    pages.control.Sheet(0)->setFont(bold);
    pages.control.setTabText(0, QStringLiteral("H"));
    QVERIFY(pages.show());
    QImage image(pages.control.size(), QImage::Format_ARGB32);
    pages.control.render(&image);

    QSet<ColorValue> colours;
    for (int y = 2; y < 24; ++y) {
        for (int x = 2; x < 80; ++x)
            colours << fromQColor(image.pixelColor(x, y));
    }
    QVERIFY(colours.contains(clBlack));
    QVERIFY(colours.contains(0x00E1E1E1));
}

void TestXpPages::styleAndPosition_data()
{
    QTest::addColumn<TxpPageControlStyle>("style");
    QTest::addColumn<TxpTabPosition>("position");
    QTest::addColumn<Setup>("change");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<TxpPageControlStyle>("newStyle");
    QTest::addColumn<TxpTabPosition>("newPosition");

    const auto toStyle = [](TxpPageControlStyle style) {
        return Setup([style](TxpPageControl &c) { c.setStyle(style); });
    };
    const auto toPosition = [](TxpTabPosition position) {
        return Setup([position](TxpPageControl &c) { c.setTabPosition(position); });
    };
    // clang-format off
    QTest::newRow("flat buttons bring left tabs to the top") << pcsTabs << tpLeft << toStyle(pcsFlatButtons) << false << pcsFlatButtons << tpTop;
    QTest::newRow("buttons bring right tabs to the top") << pcsXP << tpRight << toStyle(pcsButtons) << false << pcsButtons << tpTop;
    QTest::newRow("tabs keep the position") << pcsXP << tpBottom << toStyle(pcsTabs) << false << pcsTabs << tpBottom;
    QTest::newRow("right with tabs") << pcsTabs << tpTop << toPosition(tpRight) << false << pcsTabs << tpRight;
    QTest::newRow("right with xp") << pcsXP << tpTop << toPosition(tpRight) << false << pcsXP << tpRight;
    QTest::newRow("top with buttons") << pcsButtons << tpTop << toPosition(tpTop) << false << pcsButtons << tpTop;
    QTest::newRow("right with buttons refused") << pcsButtons << tpTop << toPosition(tpRight) << true << pcsButtons << tpTop;
    QTest::newRow("bottom with flat buttons refused") << pcsFlatButtons << tpTop << toPosition(tpBottom) << true << pcsFlatButtons << tpTop;
    // clang-format on
}

void TestXpPages::styleAndPosition()
{
    QFETCH(TxpPageControlStyle, style);
    QFETCH(TxpTabPosition, position);
    QFETCH(Setup, change);
    QFETCH(bool, refused);
    QFETCH(TxpPageControlStyle, newStyle);
    QFETCH(TxpTabPosition, newPosition);

    Pages pages(style, position);
    QVERIFY(pages.show());
    const QRect pageArea = pages.pageArea();
    try {
        change(pages.control);
        QVERIFY(!refused);
    } catch (const TabPositionError &error) {
        QVERIFY(refused);
        QCOMPARE(QString::fromLatin1(error.what()),
                 QStringLiteral("Tab position incompatible with current tab style"));
        QCOMPARE(pages.pageArea(), pageArea);
    }
    QCOMPARE(pages.control.Style(), newStyle);
    QCOMPARE(pages.control.TabPosition(), newPosition);
    QCOMPARE(pages.pageArea(), pages.control.PageRect());
}

void TestXpPages::sheetBackground_data()
{
    QTest::addColumn<TxpTabBGStyle>("style");
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<ColorValue>("expected");

    QImage halves = filled(QSize(2, 1), Qt::red);
    halves.setPixelColor(1, 0, Qt::blue);
    QImage tile = filled(QSize(10, 10), Qt::red);
    tile.setPixelColor(0, 0, Qt::blue);
    const ColorValue color = 0x00123456;
    // clang-format off
    QTest::newRow("none: colour") << bgsNone << halves << QPoint(50, 50) << color;
    QTest::newRow("gradient: start at the top") << bgsGradient << QImage() << QPoint(50, 0) << white;
    QTest::newRow("gradient: end at the bottom") << bgsGradient << QImage() << QPoint(50, 99) << clSilver;
    QTest::newRow("tiles") << bgsTileImage << tile << QPoint(20, 20) << blue;
    QTest::newRow("tiles, empty image: colour") << bgsTileImage << QImage() << QPoint(20, 20) << color;
    QTest::newRow("stretched, left") << bgsStrechImage << halves << QPoint(10, 50) << red;
    QTest::newRow("stretched, right") << bgsStrechImage << halves << QPoint(90, 50) << blue;
    QTest::newRow("stretched, empty image: colour") << bgsStrechImage << QImage() << QPoint(90, 50) << color;
    // clang-format on
}

void TestXpPages::sheetBackground()
{
    QFETCH(TxpTabBGStyle, style);
    QFETCH(QImage, image);
    QFETCH(QPoint, point);
    QFETCH(ColorValue, expected);

    TxpTabSheet sheet;
    sheet.resize(100, 100);
    sheet.setColor(0x00123456);
    sheet.setBGImage(image);
    sheet.setBGStyle(style);
    QImage picture(sheet.size(), QImage::Format_ARGB32);
    sheet.render(&picture);
    QCOMPARE(fromQColor(picture.pixelColor(point)), expected);
}

void TestXpPages::backgroundImageRule_data()
{
    QTest::addColumn<TxpTabBGStyle>("style");
    QTest::addColumn<QImage>("image");
    QTest::addColumn<TxpTabBGStyle>("expected");

    const QImage picture = filled(QSize(4, 4), Qt::red);
    QTest::newRow("stretched, empty: none") << bgsStrechImage << QImage() << bgsNone;
    QTest::newRow("tiled, empty: none") << bgsTileImage << QImage() << bgsNone;
    QTest::newRow("gradient, empty: stays") << bgsGradient << QImage() << bgsGradient;
    QTest::newRow("stretched, a picture: stays") << bgsStrechImage << picture << bgsStrechImage;
}

void TestXpPages::backgroundImageRule()
{
    QFETCH(TxpTabBGStyle, style);
    QFETCH(QImage, image);
    QFETCH(TxpTabBGStyle, expected);

    TxpTabSheet sheet;
    sheet.setBGImage(filled(QSize(4, 4), Qt::blue));
    sheet.setBGStyle(style);
    sheet.setBGImage(image);
    QCOMPARE(sheet.BGStyle(), expected);
}

void TestXpPages::imageIndex_data()
{
    QTest::addColumn<bool>("onControl");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("stored, and the tab's image") << true << 3 << 3;
    QTest::newRow("below -1 taken as -1") << true << -5 << -1;
    QTest::newRow("not stored without a control") << false << 3 << -1;
}

void TestXpPages::imageIndex()
{
    QFETCH(bool, onControl);
    QFETCH(int, value);
    QFETCH(int, expected);

    Pages pages;
    TxpTabSheet loose;
    TxpTabSheet *sheet = onControl ? pages.control.Sheet(1) : &loose;
    sheet->setImageIndex(2);
    sheet->setImageIndex(value);
    QCOMPARE(sheet->ImageIndex(), onControl ? expected : -1);
    if (onControl)
        QCOMPARE(pages.control.tabImageIndex(1), expected);
}

void TestXpPages::glyphs_data()
{
    QTest::addColumn<TxpPageControlStyle>("style");
    QTest::addColumn<ColorValue>("glyph");

    // OnGlyphMap moves every tab to the next glyph: the plain styles show the mapped one, pcsXP
    // its sheet's ImageIndex.
    QTest::newRow("xp: sheet's glyph") << pcsXP << red;
    QTest::newRow("tabs: mapped glyph") << pcsTabs << blue;
}

void TestXpPages::glyphs()
{
    QFETCH(TxpPageControlStyle, style);
    QFETCH(ColorValue, glyph);

    Pages pages(style);
    TxpPageControl &control = pages.control;
    control.setTabWidth(0);
    const int plainWidth = control.tabItemRect(0).width();
    GlyphList list(QSize(16, 16));
    list.add(filled(QSize(16, 16), Qt::red));
    list.add(filled(QSize(16, 16), Qt::blue));
    control.setOnGlyphMap([](TxpPageControl *, int page, int &index) { index = page + 1; });
    control.setImageList(&list);
    QVERIFY(pages.show());

    QCOMPARE(control.Sheet(0)->ImageIndex(), 0);
    QCOMPARE(control.tabImageIndex(0), 1);
    QCOMPARE(control.tabItemRect(0).width(), plainWidth + 22);
    QCOMPARE(pages.pixel({5, 12}), glyph);
}

void TestXpPages::ownerDrawing_data()
{
    QTest::addColumn<TxpPageControlStyle>("style");
    QTest::addColumn<QStringList>("calls");

    // Page 1's tab is hidden. pcsXP names pages and no state; the plain styles name tabs, the
    // selected one last.
    QTest::newRow("xp") << pcsXP << QStringList{"0", "2"};
    QTest::newRow("tabs") << pcsTabs << QStringList{"1", "0 selected"};
    QTest::newRow("flat buttons") << pcsFlatButtons << QStringList{"1", "0 selected"};
}

void TestXpPages::ownerDrawing()
{
    QFETCH(TxpPageControlStyle, style);
    QFETCH(QStringList, calls);

    Pages pages(style);
    pages.control.setTabVisible(1, false);
    pages.control.setOwnerDraw(true);
    QStringList seen;
    pages.control.setOnDrawItem([&seen](TxpPageControl *, int index, DrawingSurface &,
                                        const QRect &, TOwnerDrawState state) {
        seen << QString::number(index) + (state & odSelected ? " selected" : "");
    });
    QVERIFY(pages.show());
    seen.clear();
    pages.pixel({0, 0});
    QCOMPARE(seen, calls);
}

void TestXpPages::tabToPageIndex_data()
{
    QTest::addColumn<QList<int>>("hidden");
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("page");

    QTest::newRow("none hidden") << QList<int>{} << 2 << 2;
    QTest::newRow("first hidden") << QList<int>{0} << 0 << 1;
    QTest::newRow("middle hidden") << QList<int>{1} << 1 << 2;
    QTest::newRow("past the visible: last page") << QList<int>{1} << 2 << 2;
    QTest::newRow("negative") << QList<int>{} << -1 << -1;
    QTest::newRow("page count") << QList<int>{} << 3 << -1;
}

void TestXpPages::tabToPageIndex()
{
    QFETCH(QList<int>, hidden);
    QFETCH(int, tab);
    QFETCH(int, page);

    Pages pages;
    for (const int i : hidden)
        pages.control.setTabVisible(i, false);
    QCOMPARE(pages.control.TabToPageIndex(tab), page);
}

void TestXpPages::hints_data()
{
    QTest::addColumn<bool>("showTabHint");
    QTest::addColumn<QString>("tabHint");
    QTest::addColumn<bool>("showHint");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("expected");

    const QPoint tab1(120, 12), emptyStrip(280, 12);
    QTest::newRow("before the bar") << true << "Short|Long" << true << tab1 << "Short";
    QTest::newRow("without a bar") << true << "Whole" << true << tab1 << "Whole";
    QTest::newRow("tab hint off") << false << "Whole" << true << tab1 << "Own";
    QTest::newRow("empty strip") << true << "Whole" << true << emptyStrip << "Own";
    QTest::newRow("no hints at all") << true << "Whole" << false << tab1 << "";
}

void TestXpPages::hints()
{
    QFETCH(bool, showTabHint);
    QFETCH(QString, tabHint);
    QFETCH(bool, showHint);
    QFETCH(QPoint, point);
    QFETCH(QString, expected);

    QTRY_VERIFY(!QToolTip::isVisible());
    Pages pages;
    pages.control.setToolTip(QStringLiteral("Own"));
    pages.control.setShowHint(showHint);
    pages.control.Sheet(1)->setShowTabHint(showTabHint);
    pages.control.Sheet(1)->setTabHint(tabHint);
    QVERIFY(pages.show());
    QHelpEvent help(QEvent::ToolTip, point, pages.control.mapToGlobal(point));
    QCoreApplication::sendEvent(&pages.control, &help);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), expected);
    QToolTip::hideText();
}

void TestXpPages::hotTracking_data()
{
    QTest::addColumn<bool>("hotTrack");
    QTest::addColumn<QList<QPoint>>("moves");
    QTest::addColumn<int>("hotTab");
    QTest::addColumn<ColorValue>("tab1Top");

    const QPoint tab0(20, 12), tab1(100, 12), emptyStrip(280, 12), page(150, 100);
    // clang-format off
    QTest::newRow("off") << false << QList<QPoint>{tab1} << -1 << red;
    QTest::newRow("on: tab under the pointer") << true << QList<QPoint>{tab1} << 1 << hotOuter;
    QTest::newRow("on: beside the tabs") << true << QList<QPoint>{tab1, emptyStrip} << -1 << red;
    QTest::newRow("on: on to a page") << true << QList<QPoint>{tab1, page} << -1 << red;
    QTest::newRow("on: the selected tab stays") << true << QList<QPoint>{tab0, page} << 0 << red;
    // clang-format on
}

void TestXpPages::hotTracking()
{
    QFETCH(bool, hotTrack);
    QFETCH(QList<QPoint>, moves);
    QFETCH(int, hotTab);
    QFETCH(ColorValue, tab1Top);

    Pages pages;
    pages.control.setHotTrack(hotTrack);
    QVERIFY(pages.show());
    // Through the window, so that the pointer enters and leaves the widgets it passes; from a
    // page, since the pointer may still stand where the previous row left it.
    for (const QPoint point : QList<QPoint>{{150, 150}} + moves)
        QTest::mouseMove(pages.control.windowHandle(), point);
    QCOMPARE(pages.control.HotTabIndex(), hotTab);
    QCOMPARE(pages.pixel({100, 2}), tab1Top);
}

void TestXpPages::changeIsTheUsersOnly_data()
{
    QTest::addColumn<Setup>("action");
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("current");

    const auto key = [](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return Setup([=](TxpPageControl &c) {
            c.setFocus();
            QTest::keyClick(&c, key, modifiers);
        });
    };
    // clang-format off
    QTest::newRow("click on another tab") << Setup([](TxpPageControl &c) { QTest::mouseClick(&c, Qt::LeftButton, {}, QPoint(120, 12)); }) << 1 << 1;
    QTest::newRow("click on the selected tab") << Setup([](TxpPageControl &c) { QTest::mouseClick(&c, Qt::LeftButton, {}, QPoint(40, 12)); }) << 0 << 0;
    QTest::newRow("click on the selected tab, then from code") << Setup([](TxpPageControl &c) { QTest::mouseClick(&c, Qt::LeftButton, {}, QPoint(40, 12)); c.setCurrentIndex(2); }) << 0 << 2;
    QTest::newRow("arrow key") << key(Qt::Key_Right, {}) << 1 << 1;
    QTest::newRow("arrow key before the first") << key(Qt::Key_Left, {}) << 0 << 0;
    QTest::newRow("control tab, back, wraps") << key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier) << 1 << 2;
    QTest::newRow("chosen from code") << Setup([](TxpPageControl &c) { c.setCurrentIndex(2); }) << 0 << 2;
    QTest::newRow("selected tab hidden") << Setup([](TxpPageControl &c) { c.setTabVisible(0, false); }) << 0 << 1;
    // clang-format on
}

void TestXpPages::changeIsTheUsersOnly()
{
    QFETCH(Setup, action);
    QFETCH(int, changes);
    QFETCH(int, current);

    Pages pages;
    QVERIFY(pages.show());
    QSignalSpy spy(&pages.control, &TxpPageControl::Change);
    action(pages.control);
    QCOMPARE(spy.count(), changes);
    QCOMPARE(pages.control.currentIndex(), current);
}

QTEST_MAIN(TestXpPages)
#include "tst_xppages.moc"
