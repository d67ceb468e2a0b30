#include "support/ShellFixture.h"

#include "controls/TFlatComboBox.h"
#include "platform/Timer.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"
#include "ui/screen/CandidateScreen.h"
#include "ui/screen/FittedLabel.h"
#include "ui/screen/TickingText.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <qpa/qplatformnativeinterface.h>

// Run once on the offscreen platform's single screen and once on two
// screens (tests/ui/two-screens.json): each run takes the rows of its own.
class TestCandidateScreen : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

    static QDateTime at(const QTime &time) { return QDateTime(QDate(2026, 6, 7), time); }

    TFrm_Subject *startRun(const QString &screen)
    {
        f->platform.screen = screen;
        TFrm_main *main = f->start();
        main->show();
        main->ComboBox1->addItem(QStringLiteral("语文"));
        main->ComboBox1->setCurrentIndex(main->ComboBox1->count() - 1);
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        return f->shell.Frm_Subject;
    }

    // What a screen reader hears.
    static QString heard(QWidget *widget)
    {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }

    // Plugs screens in and out as the offscreen platform allows: its screens
    // are named, and a screen whose name has gone is removed.
    static void plugScreens(const QStringList &names)
    {
        QJsonArray screens;
        for (qsizetype i = 0; i < names.size(); ++i)
            screens.append(QJsonObject{{"name", names[i]},
                                       {"x", 1024 * int(i)},
                                       {"y", 0},
                                       {"width", 1024},
                                       {"height", 768}});
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        using Set = void (*)(const QJsonObject &, QPlatformNativeInterface *);
        const auto set =
            reinterpret_cast<Set>(native->nativeResourceForIntegration("setConfiguration"));
        set(QJsonObject{{"screens", screens}}, native);
    }

    static void addRow(int screens, const char *name, const QString &setting, int expected)
    {
        if (screens == QGuiApplication::screens().size())
            QTest::newRow(name) << setting << expected;
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->clock.set(at(QTime(7, 50)));
        f->db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 08:30:00"),
                         QStringLiteral("2026-06-07 11:00:00"));
    }

    void cleanup() { f.reset(); }

    void theSettingChoosesTheScreen_data()
    {
        QTest::addColumn<QString>("setting");
        // The index of the screen covered, -1 for no window.
        QTest::addColumn<int>("expected");
        addRow(1, "one screen, auto: kept to the invigilator", "auto", -1);
        addRow(1, "one screen, none", "none", -1);
        addRow(1, "one screen named by number", "1", 0);
        addRow(1, "a number beyond the screens", "2", -1);
        addRow(2, "two screens, auto: the second", "auto", 1);
        addRow(2, "two screens, none", "none", -1);
        addRow(2, "two screens, the first by number", "1", 0);
        addRow(2, "two screens, the second by number", "2", 1);
        addRow(2, "a screen by its name", "Projector", 1);
        addRow(2, "a name no screen has", "HDMI-9", -1);
    }

    void theSettingChoosesTheScreen()
    {
        QFETCH(QString, setting);
        QFETCH(int, expected);
        TFrm_Subject *run = startRun(setting);
        QPointer<CandidateScreen> screen = run->candidateScreen.get();
        QVERIFY(QTest::qWaitForWindowActive(run));
        if (expected < 0) {
            QVERIFY(!screen->isVisible());
        } else {
            QScreen *target = QGuiApplication::screens().at(expected);
            QVERIFY(screen->isVisible());
            QVERIFY(screen->isFullScreen());
            QCOMPARE(screen->screen(), target);
            QCOMPARE(screen->geometry(), target->geometry());
        }
        // The invigilator keeps the input.
        QCOMPARE(QApplication::activeWindow(), run);
        run->close();
        QVERIFY(!screen);
    }

    void screensPluggedInOrRemovedAreFollowed()
    {
        const QStringList before = [] {
            QStringList names;
            for (const QScreen *screen : QGuiApplication::screens())
                names << screen->name();
            return names;
        }();
        plugScreens({"invigilator"});
        TFrm_Subject *run = startRun(QStringLiteral("auto"));
        CandidateScreen *screen = run->candidateScreen.get();
        QVERIFY(!screen->isVisible());
        plugScreens({"invigilator", "projector"});
        QVERIFY(screen->isVisible());
        QCOMPARE(screen->screen()->name(), QStringLiteral("projector"));
        QCOMPARE(screen->geometry(), QRect(1024, 0, 1024, 768));
        QCOMPARE(run->Timer2->interval(), 0);
        plugScreens({"invigilator"});
        QVERIFY(!screen->isVisible());
        // The run window's clock goes on by itself.
        QCOMPARE(run->Timer2->interval(), 1000);
        plugScreens(before);
    }

    void theCountdownGoesFromStartToEnd_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("colour");
        QTest::newRow("before the start") << QTime(7, 50) << "距离考试开始 00:40:00"
                                          << "light";
        QTest::newRow("at the start") << QTime(8, 30) << "距离考试结束 02:30:00"
                                      << "light";
        QTest::newRow("a second before the last quarter")
            << QTime(10, 44, 59) << "距离考试结束 00:15:01"
            << "light";
        QTest::newRow("the last quarter") << QTime(10, 45) << "距离考试结束 00:15:00"
                                          << "amber";
        QTest::newRow("the last five minutes") << QTime(10, 55) << "距离考试结束 00:05:00"
                                               << "red";
        QTest::newRow("the last second") << QTime(10, 59, 59) << "距离考试结束 00:00:01"
                                         << "red";
        QTest::newRow("at the end") << QTime(11, 0) << "考试结束"
                                    << "light";
        QTest::newRow("after the end") << QTime(12, 0) << "考试结束"
                                       << "light";
    }

    void theCountdownGoesFromStartToEnd()
    {
        QFETCH(QTime, time);
        QFETCH(QString, text);
        QFETCH(QString, colour);
        TFrm_Subject *run = startRun(QStringLiteral("1"));
        CandidateScreen *screen = run->candidateScreen.get();
        f->clock.set(at(time));
        screen->secondTimer->timeout();
        QCOMPARE(heard(screen->Lbl_countdown), text);
        const QColor shown = screen->Lbl_countdown->colour();
        const int hue = shown.hsvHue();
        if (colour == QLatin1String("light"))
            QVERIFY2(shown.hsvSaturation() < 40 && shown.value() > 200, qPrintable(shown.name()));
        else if (colour == QLatin1String("amber"))
            QVERIFY2(hue >= 30 && hue <= 50 && shown.hsvSaturation() > 150,
                     qPrintable(shown.name()));
        else
            QVERIFY2((hue <= 10 || hue >= 350) && shown.hsvSaturation() > 150,
                     qPrintable(shown.name()));
        QCOMPARE(heard(screen->Lbl_subject), QStringLiteral("语文"));
        QCOMPARE(heard(screen->Lbl_times),
                 QStringLiteral("考试时间  2026/6/7 08:30:00 — 11:00:00"));
    }

    void theClockTurnsOnEachSecond_data()
    {
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<QString>("shown");
        QTest::newRow("on the second") << 1000 << "07:50:01";
        QTest::newRow("just after the next") << 2002 << "07:50:02";
        // The wall clock slewed against the timer's own.
        QTest::newRow("a hair before the next") << 2999 << "07:50:03";
        QTest::newRow("a late tick") << 4700 << "07:50:04";
        QTest::newRow("past midnight") << 16 * 3600 * 1000 + 10 * 60 * 1000 << "00:00:00";
    }

    void theClockTurnsOnEachSecond()
    {
        QFETCH(int, afterMs);
        QFETCH(QString, shown);
        TFrm_Subject *run = startRun(QStringLiteral("1"));
        CandidateScreen *screen = run->candidateScreen.get();
        QCOMPARE(heard(screen->Lbl_clock), QStringLiteral("07:50:00"));
        f->clock.advance(afterMs);
        screen->secondTimer->timeout();
        QCOMPARE(heard(screen->Lbl_clock), shown);
        // The run window's clock turns with it, on the same wake-up.
        QCOMPARE(run->Timer2->interval(), 0);
        QCOMPARE(run->Label1->text(), f->formats.dateTime(f->clock.now()));
        // The next tick is aimed just past the next second, never a poll.
        const int wait = screen->secondTimer->interval();
        QVERIFY2(wait <= 1005 && (f->clock.now().time().msec() + wait) % 1000 <= 5,
                 qPrintable(QString::number(wait)));
    }

    void theSpokenInstructionIsShownWhileItPlays()
    {
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"),
                       QStringLiteral("考生请注意：\r\n请将手机关机，\r\n放在指定位置。"),
                       QStringLiteral("07:50:05"));
        TFrm_Subject *run = startRun(QStringLiteral("1"));
        CandidateScreen *screen = run->candidateScreen.get();
        f->players.last()->lengths.insert(f->programFolder.path() + QStringLiteral("/sound/a.wav"),
                                          12000);
        QVERIFY(screen->Lbl_clock->isVisible());
        QVERIFY(!screen->Lbl_explanation->isVisible());

        f->clock.set(at(QTime(7, 50, 5, 2)));
        run->Timer1->timeout();
        QVERIFY(!screen->Lbl_clock->isVisible());
        QVERIFY(screen->Lbl_explanation->isVisible());
        QCOMPARE(heard(screen->Lbl_explanation),
                 QStringLiteral("考生请注意：\n请将手机关机，\n放在指定位置。"));
        // Kept past the sound's end by a few seconds, then the clock is back.
        QVERIFY(screen->explanationTimer->interval() > 12000);
        screen->explanationTimer->timeout();
        QVERIFY(screen->Lbl_clock->isVisible());
        QVERIFY(!screen->Lbl_explanation->isVisible());
        QCOMPARE(screen->explanationTimer->interval(), 0);
    }

    // A sound cut off by the next instruction, whose own sound then fails,
    // takes its explanation with it a few seconds later, not at the end it
    // would have had.
    void anExplanationGoesSoonAfterItsSoundIsCutOff()
    {
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("07:50:05"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("missing.wav"), QStringLiteral("B"),
                       QStringLiteral("07:50:10"));
        TFrm_Subject *run = startRun(QStringLiteral("1"));
        CandidateScreen *screen = run->candidateScreen.get();
        const QString sounds = f->programFolder.path() + QStringLiteral("/sound/");
        f->players.last()->lengths.insert(sounds + QStringLiteral("a.wav"), 60000);
        f->players.last()->openFailsFor.insert(sounds + QStringLiteral("missing.wav"));
        f->clock.set(at(QTime(7, 50, 5, 2)));
        run->Timer1->timeout();
        QVERIFY(screen->explanationTimer->interval() > 60000);
        // The next instruction is armed, then its second comes.
        f->clock.set(at(QTime(7, 50, 5, 3)));
        run->Timer1->timeout();
        f->clock.set(at(QTime(7, 50, 10, 2)));
        run->Timer1->timeout();
        QVERIFY(screen->Lbl_explanation->isVisible());
        QCOMPARE(screen->explanationTimer->interval(), 5000);
    }

    // The office's announcement silences the instruction still sounding,
    // says so in the run log, and shows its own text in its place, as it is
    // written, to the eye and the screen reader alike; the next instruction
    // brings its own explanation back.
    void anAnnouncementCutsOffTheInstructionAndShowsItsText()
    {
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("07:50:05"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("b.wav"), QStringLiteral("B 说明"),
                       QStringLiteral("07:50:40"));
        TFrm_Subject *run = startRun(QStringLiteral("1"));
        CandidateScreen *screen = run->candidateScreen.get();
        FakeMediaPlayer *player = f->players.last();
        player->lengths.insert(f->programFolder.path() + QStringLiteral("/sound/a.wav"), 60000);
        f->clock.set(at(QTime(7, 50, 5, 2)));
        run->Timer1->timeout();
        QVERIFY(!player->playing().isEmpty());
        // The next instruction is armed.
        f->clock.set(at(QTime(7, 50, 5, 3)));
        run->Timer1->timeout();

        f->clock.set(at(QTime(7, 50, 20, 1)));
        const QString text = QStringLiteral("考生请注意：<b>停电</b> &amp; 等候");
        run->announce({9, QTime(7, 50, 20), text, QString(), QStringLiteral("notice.wav")}, 8000);
        QCOMPARE(player->playing(), QString());
        QCOMPARE(screen->Lbl_explanation->text(), text);
        QCOMPARE(heard(screen->Lbl_explanation), text);
        QVERIFY(screen->explanationTimer->interval() > 8000);
        QVERIFY(run->Memo_content->toPlainText().contains(text));
        const auto log = [this] {
            QFile file(f->db.dataFolder() + QStringLiteral("/run-log/2026-06-07.log"));
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        const QString cutOff = QStringLiteral("\tcut off\t07:50:05\t") + f->programFolder.path() +
                               QStringLiteral("/sound/a.wav\tby announcement #9, heard 14999 ms");
        QTRY_VERIFY2(log().contains(cutOff), qPrintable(log()));

        f->clock.set(at(QTime(7, 50, 40, 2)));
        run->Timer1->timeout();
        QCOMPARE(run->Memo_content->toPlainText(), QStringLiteral("播放说明：B 说明"));
    }

    // Texts too long for the screen at a readable size are wrapped anywhere
    // and cut short with "…": every line drawn fits, none is clipped.
    void aTextTooLongIsCutShortReadably_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("explanation");
        QTest::newRow("a subject of 200 letters without a space")
            << QStringLiteral("A").repeated(200) << QStringLiteral("请注意");
        QTest::newRow("an explanation of 3,000 characters")
            << QStringLiteral("语文") << QStringLiteral("考生请注意，").repeated(500);
        QTest::newRow("an explanation of one long word")
            << QStringLiteral("语文") << QStringLiteral("W").repeated(3000);
    }
    void aTextTooLongIsCutShortReadably()
    {
        QFETCH(QString, subject);
        QFETCH(QString, explanation);
        CandidateScreen screen(f->clock, f->formats, QStringLiteral("none"));
        screen.showExam(QStringLiteral("考场"), subject, at(QTime(8, 30)), at(QTime(11, 0)));
        screen.Lbl_explanation->setText(explanation);
        screen.resize(800, 600);
        screen.show();
        for (FittedLabel *label : {screen.Lbl_subject, screen.Lbl_explanation}) {
            const QFont face = label->shownFont();
            QVERIFY2(face.pixelSize() >= 12, qPrintable(QString::number(face.pixelSize())));
            const QStringList lines = label->shownLines();
            const QFontMetrics metrics(face);
            const QRect space = label->contentsRect();
            if (lines.isEmpty()) {
                const QRect needed =
                    metrics.boundingRect(space, Qt::AlignCenter | Qt::TextWordWrap, label->text());
                QVERIFY(space.contains(needed));
                continue;
            }
            // Cut short, or whole on more lines than its words would make.
            QVERIFY(lines.last().endsWith(QChar(0x2026)) ||
                    lines.join(QString()) == QString(label->text()).remove(QLatin1Char('\n')));
            QVERIFY(metrics.lineSpacing() * lines.size() <= space.height());
            for (const QString &line : lines)
                QVERIFY2(metrics.horizontalAdvance(line) <= space.width(), qPrintable(line));
            // Read from its start: nothing is left out before the cut.
            QVERIFY(label->text().startsWith(QString(lines.first()).remove(QChar(0x2026))));
        }
        QCOMPARE(heard(screen.Lbl_subject), subject);
    }
};

QTEST_MAIN(TestCandidateScreen)
#include "tst_candidatescreen.moc"
