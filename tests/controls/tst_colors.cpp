#include "controls/Colors.h"
#include "controls/FlatUtilitys.h"
#include "controls/HSLUtils.h"

#include <QPalette>
#include <QTest>

class TestColors final : public QObject
{
    Q_OBJECT

private slots:
    void colorToRGB_data();
    void colorToRGB();
    void qColorLayout();
    void colorToHSL240_data();
    void colorToHSL240();
    void hsl240ToColor_data();
    void hsl240ToColor();
    void deriveShade_data();
    void deriveShade();
};

void TestColors::colorToRGB_data()
{
    QTest::addColumn<ColorValue>("color");
    QTest::addColumn<ColorValue>("expected");

    QTest::newRow("rgb value unchanged") << ColorValue(0x00123456) << ColorValue(0x00123456);
    QTest::newRow("window is Base") << clWindow << ColorValue(0x00030201);
    QTest::newRow("highlight is Highlight") << clHighlight << ColorValue(0x00060504);
    QTest::newRow("button face is Button") << clBtnFace << ColorValue(0x00090807);
    QTest::newRow("button shadow is Dark") << clBtnShadow << ColorValue(0x000F0E0D);
    QTest::newRow("unknown index is black") << ColorValue(0x80000063) << clBlack;
}

void TestColors::colorToRGB()
{
    QFETCH(ColorValue, color);
    QFETCH(ColorValue, expected);

    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Highlight, QColor(4, 5, 6));
    palette.setColor(QPalette::Button, QColor(7, 8, 9));
    palette.setColor(QPalette::Window, QColor(10, 11, 12));
    palette.setColor(QPalette::Dark, QColor(13, 14, 15));

    QCOMPARE(::colorToRGB(color, palette), expected);
}

void TestColors::qColorLayout()
{
    // Red sits in the low byte.
    QCOMPARE(fromQColor(QColor(0x11, 0x22, 0x33)), ColorValue(0x00332211));
    QCOMPARE(toQColor(clSkyBlue, QPalette()), QColor(0xA6, 0xCA, 0xF0));
}

void TestColors::colorToHSL240_data()
{
    QTest::addColumn<ColorValue>("rgb");
    QTest::addColumn<Hsl240>("expected");

    QTest::newRow("white") << clWhite << Hsl240{0, 0, 240};
    QTest::newRow("black") << clBlack << Hsl240{0, 0, 0};
    QTest::newRow("silver") << clSilver << Hsl240{0, 0, 181};
    QTest::newRow("red") << rgbColor(255, 0, 0) << Hsl240{0, 240, 120};
    QTest::newRow("green") << rgbColor(0, 255, 0) << Hsl240{80, 240, 120};
    QTest::newRow("blue") << rgbColor(0, 0, 255) << Hsl240{159, 240, 120};
    QTest::newRow("magenta wraps the hue") << rgbColor(255, 0, 128) << Hsl240{219, 240, 120};
    // Exact ties go to the even neighbour.
    QTest::newRow("hue 0.5 rounds to 0") << rgbColor(255, 19, 16) << Hsl240{0, 240, 128};
    QTest::newRow("hue 1.5 rounds to 2") << rgbColor(255, 25, 16) << Hsl240{2, 240, 128};
    QTest::newRow("saturation 2.5 rounds to 2") << rgbColor(160, 158, 158) << Hsl240{0, 2, 150};
    QTest::newRow("saturation 7.5 rounds to 8") << rgbColor(224, 222, 222) << Hsl240{0, 8, 210};
}

void TestColors::colorToHSL240()
{
    QFETCH(ColorValue, rgb);
    QFETCH(Hsl240, expected);

    const Hsl240 actual = ColorToHSL240(rgb);
    QCOMPARE(actual.hue, expected.hue);
    QCOMPARE(actual.saturation, expected.saturation);
    QCOMPARE(actual.luminance, expected.luminance);
}

void TestColors::hsl240ToColor_data()
{
    QTest::addColumn<Hsl240>("hsl");
    QTest::addColumn<ColorValue>("expected");

    QTest::newRow("white") << Hsl240{0, 0, 240} << clWhite;
    QTest::newRow("grey at 210") << Hsl240{0, 0, 210} << ColorValue(0x00DFDFDF);
    QTest::newRow("grey 8.5 rounds to 8") << Hsl240{0, 0, 8} << ColorValue(0x00080808);
    QTest::newRow("grey 25.5 rounds to 26") << Hsl240{0, 0, 24} << ColorValue(0x001A1A1A);
    QTest::newRow("red") << Hsl240{0, 240, 120} << rgbColor(255, 0, 0);
    QTest::newRow("hue 80 keeps a trace of blue") << Hsl240{80, 240, 120} << rgbColor(0, 255, 2);
    QTest::newRow("red's hue brought back into range")
        << Hsl240{238, 240, 120} << rgbColor(255, 0, 6);
    QTest::newRow("light, pale") << Hsl240{27, 29, 154} << rgbColor(175, 168, 153);
}

void TestColors::hsl240ToColor()
{
    QFETCH(Hsl240, hsl);
    QFETCH(ColorValue, expected);

    QCOMPARE(HSL240ToColor(hsl.hue, hsl.saturation, hsl.luminance), expected);
}

void TestColors::deriveShade_data()
{
    QTest::addColumn<ColorValue>("parent");
    QTest::addColumn<ColorValue>("given");
    QTest::addColumn<int>("percentage");
    QTest::addColumn<ColorValue>("expected");

    QTest::newRow("white parent, 40")
        << clWhite << ColorValue(0x008396A0) << 40 << ColorValue(0x00DFDFDF);
    QTest::newRow("white parent, 10 stays white")
        << clWhite << ColorValue(0x00C5D6D9) << 10 << clWhite;
    QTest::newRow("percentage 0 keeps the given colour")
        << clWhite << ColorValue(0x008396A0) << 0 << ColorValue(0x008396A0);
    QTest::newRow("dark parent stops at black") << rgbColor(20, 20, 20) << clWhite << 50 << clBlack;
    QTest::newRow("light parent, 5 stops at white") << clWhite << clBlack << 5 << clWhite;
    QTest::newRow("tinted parent keeps its hue")
        << rgbColor(212, 208, 200) << clBlack << 50 << rgbColor(175, 168, 153);
}

void TestColors::deriveShade()
{
    QFETCH(ColorValue, parent);
    QFETCH(ColorValue, given);
    QFETCH(int, percentage);
    QFETCH(ColorValue, expected);

    QCOMPARE(DeriveShade(parent, given, TAdvColors(percentage)), expected);
}

QTEST_APPLESS_MAIN(TestColors)
#include "tst_colors.moc"
