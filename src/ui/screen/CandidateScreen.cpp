#include "ui/screen/CandidateScreen.h"

#include "platform/Clock.h"
#include "platform/RegionalFormats.h"
#include "platform/Timer.h"
#include "ui/screen/Countdown.h"
#include "ui/screen/FittedLabel.h"
#include "ui/screen/ScreenChoice.h"
#include "ui/screen/TickingText.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace {

// The second timer is aimed this far past each second, and a tick this close
// before one shows it already: a timer never fires early on its own clock,
// but the wall clock may be slewed against it by a fraction of a millisecond.
constexpr int SlackMs = 2;
// How long an explanation stays once its sound has ended.
constexpr int ExplanationHoldMs = 5000;

const QColor Background(0x10, 0x16, 0x22);
const QColor Text(0xF4, 0xF6, 0xFA);
const QColor Quiet(0xB4, 0xC0, 0xD2);
const QColor Amber(0xFF, 0xB3, 0x1A);
const QColor Red(0xFF, 0x4D, 0x4D);

QColor colourOf(Countdown::Phase phase)
{
    switch (phase) {
    case Countdown::Phase::Closing:
        return Amber;
    case Countdown::Phase::Final:
        return Red;
    default:
        return Text;
    }
}

void tint(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

CandidateScreen::CandidateScreen(const Clock &clock, const RegionalFormats &formats,
                                 const QString &setting)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::WindowTransparentForInput),
      Lbl_title(new FittedLabel(this, 0.7, true)),
      Lbl_subject(new FittedLabel(this, 0.8, true, QFont::Bold)),
      Lbl_clock(new TickingText(this, QFont::Bold)),
      Lbl_explanation(new FittedLabel(this, 0.28, true)),
      Lbl_times(new FittedLabel(this, 0.8, false)),
      Lbl_countdown(new TickingText(this, QFont::Bold)), secondTimer(new Timer(0, this)),
      explanationTimer(new Timer(0, this)), m_clock(clock), m_formats(formats), m_setting(setting)
{
    setWindowTitle(QStringLiteral("考生屏幕"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Background);
    colours.setColor(QPalette::WindowText, Text);
    setPalette(colours);
    Lbl_clock->setColour(Text);
    tint(Lbl_title, Quiet);
    tint(Lbl_times, Quiet);
    Lbl_explanation->hide();

    connect(secondTimer, &Timer::timeout, this, &CandidateScreen::tick);
    connect(explanationTimer, &Timer::timeout, this, &CandidateScreen::endExplanation);
}

CandidateScreen::~CandidateScreen() = default;

void CandidateScreen::showExam(const QString &title, const QString &subject, const QDateTime &start,
                               const QDateTime &end)
{
    m_start = start;
    m_end = end;
    Lbl_title->setText(title);
    Lbl_subject->setText(subject);
    // An exam within one day names its date once.
    const QString to =
        start.date() == end.date() ? m_formats.longTime(end.time()) : m_formats.dateTime(end);
    Lbl_times->setText(QStringLiteral("考试时间  %1 — %2").arg(m_formats.dateTime(start), to));
    auto *app = qGuiApp;
    // Shown again when the exam's times change on the server.
    connect(app, &QGuiApplication::screenAdded, this, &CandidateScreen::follow,
            Qt::UniqueConnection);
    connect(app, &QGuiApplication::screenRemoved, this, &CandidateScreen::follow,
            Qt::UniqueConnection);
    connect(app, &QGuiApplication::primaryScreenChanged, this, &CandidateScreen::follow,
            Qt::UniqueConnection);
    follow();
}

void CandidateScreen::follow()
{
    onScreen(ScreenChoice::pick(m_setting, QGuiApplication::screens(),
                                QGuiApplication::primaryScreen()));
}

void CandidateScreen::onScreen(QScreen *target)
{
    if (!target) {
        disconnect(m_screenResized);
        hide();
        // Nobody sees it: no wake-ups either.
        secondTimer->setInterval(0);
        emit turning(false);
        return;
    }
    if (isVisible() && screen() == target)
        return;
    disconnect(m_screenResized);
    m_screenResized = connect(target, &QScreen::geometryChanged, this,
                              [this](const QRect &geometry) { setGeometry(geometry); });
    // A full-screen window moves to another screen only through a normal one.
    hide();
    setScreen(target);
    setGeometry(target->geometry());
    // Not showFullScreen(), which also activates the window.
    setWindowState(Qt::WindowFullScreen);
    show();
    emit turning(true);
    tick();
}

void CandidateScreen::tick()
{
    const QDateTime now = m_clock.now();
    QDateTime second = now.addMSecs(SlackMs);
    const QTime time = second.time();
    second.setTime(QTime(time.hour(), time.minute(), time.second()));
    Lbl_clock->setText(second.toString(QStringLiteral("HH:mm:ss")));
    const Countdown countdown = Countdown::at(second, m_start, m_end);
    Lbl_countdown->setColour(colourOf(countdown.phase));
    Lbl_countdown->setText(countdown.text);
    secondTimer->setInterval(int(now.msecsTo(second.addSecs(1))) + SlackMs);
    emit secondBegan();
}

void CandidateScreen::speak(const QString &explanation, qint64 lengthMs)
{
    // Shown to nobody, it would only wake the PC once more.
    if (!isVisible())
        return;
    QString lines = explanation;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), '\n');
    lines = lines.trimmed();
    if (lines.isEmpty()) {
        endExplanation();
        return;
    }
    Lbl_explanation->setText(lines);
    Lbl_clock->hide();
    Lbl_explanation->show();
    // Restarted even for a sound as long as the last one.
    explanationTimer->setInterval(0);
    explanationTimer->setInterval(
        int(std::clamp<qint64>(lengthMs, 0, std::numeric_limits<int>::max() - ExplanationHoldMs)) +
        ExplanationHoldMs);
}

void CandidateScreen::silenced()
{
    if (explanationTimer->interval() == 0)
        return;
    explanationTimer->setInterval(0);
    explanationTimer->setInterval(ExplanationHoldMs);
}

void CandidateScreen::endExplanation()
{
    explanationTimer->setInterval(0);
    Lbl_explanation->hide();
    Lbl_clock->show();
}

void CandidateScreen::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    const int margin = w / 20;
    const auto band = [&](QWidget *label, double top, double bottom) {
        label->setGeometry(margin, int(h * top), w - 2 * margin, int(h * (bottom - top)));
    };
    band(Lbl_title, 0.04, 0.11);
    band(Lbl_subject, 0.12, 0.22);
    band(Lbl_clock, 0.24, 0.70);
    band(Lbl_explanation, 0.24, 0.70);
    band(Lbl_times, 0.73, 0.80);
    band(Lbl_countdown, 0.82, 0.94);
}
