#pragma once

#include "app/Form.h"

#include <optional>

class ClockFields;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimeEdit;
struct ScheduleOverview;
class TFlatComboBox;
class Timer;

// The principal window: system title, subject choice, live clock, a quick
// way to set the computer's clock, and the ways into a run and into
// administration. Closing it ends the program.
class TFrm_main final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_main(Shell &shell);

    // The load: runs at creation and each time input returns to the window
    // from one of the program's own windows or message boxes. A server's
    // title and subjects arrive later, the window live meanwhile; a file's
    // at once.
    void FormCreate() override;
    // The load again because the schedule changed on the server: the chosen
    // subject stays chosen while it exists, and a failure says nothing (the
    // clock tries again).
    void refill();
    // The run window went: this window takes the input again, and reloads
    // unless the run never started, whose subject stays chosen for the next
    // try.
    void backFromRun(bool reload);
    // A load's values have not arrived yet.
    bool isLoading() const { return m_loading; }
    void Timer1Timer();
    void FBtn_okClick();
    void FBtn_saClick();
    void FBtn_quitClick();
    void FlatButton2Click();
    void FlatButton1Click();

    QGroupBox *GroupBox1;
    QLabel *Lbl_title;
    QLabel *Label1;
    TFlatComboBox *ComboBox1;
    QLabel *Label3;
    QLabel *Label2;
    QPushButton *FBtn_ok;
    QPushButton *FlatButton2;
    QPushButton *FBtn_sa;
    QPushButton *FBtn_quit;
    QFrame *Bevel1;
    QDateEdit *DateTimePicker1;
    QTimeEdit *DateTimePicker2;
    QPushButton *FlatButton1;
    Timer *Timer1;
    // What the room still receives of the server's recordings.
    QLabel *Lbl_sounds;

protected:
    void FormClose() override;
    QPushButton *mainButton() const override { return FBtn_ok; }
    // Escape leaves the program only through "退出" or the close box.
    void escape() override {}
    void changeEvent(QEvent *event) override;
    // Hidden (a run shows its own clock), its clock stops: nobody sees it,
    // and it would only wake the PC once more a second.
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void showTitle(const QString &title);
    void showClock();
    void showSoundFiles(int held, int named);
    void showSoundFailure();
    void setClockRowShown(bool shown);
    // The server answers again: a load it could not give is read again.
    void serverBack();
    // What a load does when its values arrive: whether a failure is
    // reported (the silent ones leave it to the clock's retries), and
    // whether the subject chosen stays chosen.
    struct LoadWay
    {
        bool report = false;
        bool keepChoice = false;
    };
    // At most one load is on its way; one asked for meanwhile follows it.
    void load(LoadWay way);
    void loaded(const ScheduleOverview &overview, LoadWay way);

    // Whether input has gone to one of the program's own windows since the
    // last load. Coming back from another application must not reload: the
    // subject the user chose would be gone.
    bool m_reloadOnReturn = false;
    // Set while a reload or a run's creation runs: the box reporting its
    // failure takes the input, but that box's closing is no new return, or a
    // file that stays unusable would bring the same box back for ever.
    bool m_boxIsNoReturn = false;
    // Set while the last load has not run to its end: the clock retries it.
    bool m_loadFailed = false;
    // The last load read the local copy: the server's answer is awaited.
    bool m_fromCopy = false;
    int m_ticksSinceRetry = 0;
    bool m_loading = false;
    std::optional<LoadWay> m_nextLoad;
    // Why the recordings last failed to arrive, until all of them are here.
    QString m_soundFailure;
    // The clock-setting row shows the clock until the person edits it.
    ClockFields *m_clockRow;
};
