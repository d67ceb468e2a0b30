#include "controls/TFlatComboBox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QStyle>
#include <QTest>

namespace {

const QColor highlight(255, 0, 255);

class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// A white window, the parent colour that derived colours start from, holding the box and a
// second widget to move the focus to.
struct Host
{
    QWidget window;
    TFlatComboBox *combo = new TFlatComboBox(&window);
    QLineEdit *other = new QLineEdit(&window);

    explicit Host(TFlatComboBox::ComboStyle style = TFlatComboBox::csDropDownList)
    {
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::Highlight, highlight);
        window.setPalette(palette);
        window.resize(300, 80);
        other->move(10, 45);
        combo->setStyle(style);
        combo->addItem(QStringLiteral("高等数学"));
    }

    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

enum class State
{
    Normal,
    Dropped,
    Disabled,
    Focused
};

} // namespace

Q_DECLARE_METATYPE(State)

class TestFlatComboBox final : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void buttonRect_data();
    void buttonRect();
    void painting_data();
    void painting();
    void derivedColours_data();
    void derivedColours();
    void derivedColoursFollowTheParent();
    void fontChangeResetsItemHeight();
    void editAndListTakeColor();
    void repaintOnAssignment_data();
    void repaintOnAssignment();
    void activeStateFollowsFocusAndList();
    void clickRightOfTheEditFieldDropsTheList_data();
    void clickRightOfTheEditFieldDropsTheList();
};

void TestFlatComboBox::construction()
{
    TFlatComboBox combo;
    QCOMPARE(combo.size(), QSize(145, 25));
    QCOMPARE(combo.maxVisibleItems(), 8);
    QCOMPARE(combo.currentIndex(), -1);
    QVERIFY(combo.isEditable());
    QCOMPARE(combo.Color(), clWindow);
    QCOMPARE(combo.SystemButtonWidth(),
             combo.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &combo));
    combo.setStyle(TFlatComboBox::csDropDownList);
    QVERIFY(!combo.isEditable());
}

void TestFlatComboBox::buttonRect_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("button");
    QTest::addColumn<QRect>("editField");

    QTest::newRow("145 x 25") << QSize(145, 25) << rectLTRB(133, 0, 144, 25)
                              << rectLTRB(3, 3, 129, 22);
    QTest::newRow("200 x 30") << QSize(200, 30) << rectLTRB(188, 0, 199, 30)
                              << rectLTRB(3, 3, 184, 27);
}

void TestFlatComboBox::buttonRect()
{
    QFETCH(QSize, size);
    QFETCH(QRect, button);
    QFETCH(QRect, editField);

    Host host(TFlatComboBox::csDropDown);
    host.combo->resize(size);
    QVERIFY(host.showActive());
    QCOMPARE(host.combo->GetButtonRect(), button);
    QCOMPARE(host.combo->lineEdit()->geometry(), editField);
}

void TestFlatComboBox::painting_data()
{
    QTest::addColumn<State>("state");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("expected");

    // 145 x 25: column 132 is both the border's right edge and the button's left outline; the
    // arrow's reference point (X0, Y0) is (132, 11).
    const QColor border(0, 0, 255), button(0, 255, 0), arrow(255, 0, 0), color(255, 255, 0);
    const QColor grey(128, 128, 128), white(255, 255, 255);
    // clang-format off
    QTest::newRow("border top left") << State::Normal << QPoint(0, 0) << border;
    QTest::newRow("border bottom") << State::Normal << QPoint(60, 24) << border;
    QTest::newRow("border right = button left") << State::Normal << QPoint(132, 12) << border;
    QTest::newRow("inner rings") << State::Normal << QPoint(2, 12) << color;
    QTest::newRow("gap strip, unfocused") << State::Normal << QPoint(127, 12) << color;
    QTest::newRow("button fill") << State::Normal << QPoint(134, 4) << button;
    QTest::newRow("button right outline") << State::Normal << QPoint(144, 12) << border;
    QTest::newRow("down arrow, left corner") << State::Normal << QPoint(136, 11) << arrow;
    QTest::newRow("down arrow, right corner") << State::Normal << QPoint(140, 11) << arrow;
    QTest::newRow("down arrow, tip") << State::Normal << QPoint(138, 13) << arrow;
    QTest::newRow("beside the down tip") << State::Normal << QPoint(137, 13) << button;
    QTest::newRow("up arrow, tip") << State::Dropped << QPoint(138, 11) << arrow;
    QTest::newRow("up arrow, left corner") << State::Dropped << QPoint(136, 13) << arrow;
    QTest::newRow("beside the up tip") << State::Dropped << QPoint(136, 11) << button;
    QTest::newRow("disabled arrow, corner") << State::Disabled << QPoint(136, 11) << grey;
    QTest::newRow("disabled arrow, tip") << State::Disabled << QPoint(138, 13) << grey;
    QTest::newRow("white copy, right") << State::Disabled << QPoint(141, 12) << white;
    QTest::newRow("white copy, tip") << State::Disabled << QPoint(139, 14) << white;
    QTest::newRow("disabled button fill") << State::Disabled << QPoint(134, 4) << button;
    QTest::newRow("selected text area") << State::Focused << QPoint(60, 12) << highlight;
    QTest::newRow("gap strip, focused") << State::Focused << QPoint(127, 12) << highlight;
    QTest::newRow("outline, left") << State::Focused << QPoint(3, 12) << highlight;
    QTest::newRow("outline, right") << State::Focused << QPoint(128, 12) << highlight;
    QTest::newRow("right of the outline") << State::Focused << QPoint(129, 12) << color;
    // clang-format on
}

void TestFlatComboBox::painting()
{
    QFETCH(State, state);
    QFETCH(QPoint, point);
    QFETCH(QColor, expected);

    Host host;
    TFlatComboBox *combo = host.combo;
    combo->setCurrentIndex(-1);
    combo->setColor(0x0000FFFF);
    combo->setColorArrow(0x000000FF);
    combo->setColorArrowBackground(0x0000FF00);
    combo->setColorBorder(0x00FF0000);
    QVERIFY(host.showActive());
    if (state == State::Dropped)
        combo->showPopup();
    combo->setEnabled(state != State::Disabled);
    if (state == State::Focused)
        combo->setFocus();

    QImage image(combo->size(), QImage::Format_ARGB32);
    combo->render(&image);
    QCOMPARE(image.pixelColor(point), expected);
}

void TestFlatComboBox::derivedColours_data()
{
    QTest::addColumn<bool>("useAdvColors");
    QTest::addColumn<int>("advBorder");
    QTest::addColumn<int>("advArrowBackground");
    QTest::addColumn<bool>("switchOffAgain");
    QTest::addColumn<ColorValue>("border");
    QTest::addColumn<ColorValue>("arrowBackground");

    const ColorValue border = 0x008396A0, arrowBackground = 0x00C5D6D9, grey = 0x00DFDFDF;
    // clang-format off
    QTest::newRow("off: percentages change nothing") << false << 40 << 20 << false << border << arrowBackground;
    QTest::newRow("on: white parent, 40 and 10") << true << 40 << 10 << false << grey << clWhite;
    QTest::newRow("on: percentage 0 keeps the colours") << true << 0 << 0 << false << border << arrowBackground;
    QTest::newRow("switched off again: derived stay") << true << 40 << 10 << true << grey << clWhite;
    // clang-format on
}

void TestFlatComboBox::derivedColours()
{
    QFETCH(bool, useAdvColors);
    QFETCH(int, advBorder);
    QFETCH(int, advArrowBackground);
    QFETCH(bool, switchOffAgain);
    QFETCH(ColorValue, border);
    QFETCH(ColorValue, arrowBackground);

    Host host;
    host.combo->setAdvColorBorder(advBorder);
    host.combo->setAdvColorArrowBackground(advArrowBackground);
    host.combo->setUseAdvColors(useAdvColors);
    if (switchOffAgain)
        host.combo->setUseAdvColors(false);

    QCOMPARE(host.combo->ColorBorder(), border);
    QCOMPARE(host.combo->ColorArrowBackground(), arrowBackground);
}

void TestFlatComboBox::derivedColoursFollowTheParent()
{
    Host host;
    TFlatComboBox combo;
    combo.setAdvColorBorder(40);
    combo.setUseAdvColors(true);
    QCOMPARE(combo.ColorBorder(), ColorValue(0x008396A0));

    combo.setParent(&host.window);
    QCOMPARE(combo.ColorBorder(), ColorValue(0x00DFDFDF));

    QPalette palette = host.window.palette();
    palette.setColor(QPalette::Window, Qt::black);
    host.window.setPalette(palette);
    QCOMPARE(combo.ColorBorder(), clBlack);
}

void TestFlatComboBox::fontChangeResetsItemHeight()
{
    TFlatComboBox combo;
    combo.setItemHeight(20);
    combo.setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 12));
    QCOMPARE(combo.ItemHeight(), 13);
}

void TestFlatComboBox::editAndListTakeColor()
{
    TFlatComboBox combo;
    combo.setColor(0x0000FFFF);
    QCOMPARE(combo.view()->palette().color(QPalette::Base), QColor(255, 255, 0));
    QCOMPARE(combo.lineEdit()->palette().color(QPalette::Base), QColor(255, 255, 0));
}

void TestFlatComboBox::repaintOnAssignment_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<bool>("repaints");

    QTest::newRow("ColorArrow") << QByteArray("ColorArrow") << true;
    QTest::newRow("ColorArrowBackground") << QByteArray("ColorArrowBackground") << true;
    QTest::newRow("ColorBorder") << QByteArray("ColorBorder") << true;
    QTest::newRow("AdvColorBorder") << QByteArray("AdvColorBorder") << true;
    QTest::newRow("Color") << QByteArray("Color") << false;
    QTest::newRow("UseAdvColors") << QByteArray("UseAdvColors") << false;
}

// Each property is assigned the value it already has.
void TestFlatComboBox::repaintOnAssignment()
{
    QFETCH(QByteArray, property);
    QFETCH(bool, repaints);

    Host host;
    QVERIFY(host.showActive());
    PaintCounter counter;
    host.combo->installEventFilter(&counter);
    QTest::qWait(50);
    counter.paints = 0;

    host.combo->setProperty(property, host.combo->property(property));
    if (repaints) {
        QTRY_VERIFY(counter.paints > 0);
    } else {
        QTest::qWait(50);
        QCOMPARE(counter.paints, 0);
    }
}

void TestFlatComboBox::activeStateFollowsFocusAndList()
{
    Host host;
    QVERIFY(host.showActive());

    host.combo->setFocus();
    QVERIFY(host.combo->ActiveState());
    host.other->setFocus();
    QVERIFY(!host.combo->ActiveState());

    host.combo->showPopup();
    QVERIFY(host.combo->ActiveState());
    // Closing without hidePopup(), as a click outside the list does.
    host.combo->view()->window()->hide();
    QVERIFY(!host.combo->isDroppedDown());
    QVERIFY(!host.combo->ActiveState());
}

void TestFlatComboBox::clickRightOfTheEditFieldDropsTheList_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("drops");

    QTest::newRow("on the flat button") << QPoint(138, 12) << true;
    QTest::newRow("between edit field and button") << QPoint(130, 12) << true;
    QTest::newRow("in the edit field") << QPoint(60, 12) << false;
}

void TestFlatComboBox::clickRightOfTheEditFieldDropsTheList()
{
    QFETCH(QPoint, point);
    QFETCH(bool, drops);

    Host host(TFlatComboBox::csDropDown);
    QVERIFY(host.showActive());
    QTest::mouseClick(host.combo, Qt::LeftButton, {}, point);
    QCOMPARE(host.combo->isDroppedDown(), drops);
}

QTEST_MAIN(TestFlatComboBox)
#include "tst_flatcombobox.moc"
