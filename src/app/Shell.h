#pragma once

#include "app/ErrorHandler.h"

#include <QObject>
#include <QPointer>
#include <memory>

class CopyStandIn;
class QWidget;
class RoomAnnouncements;
class RoomReporter;
class ScheduleWatch;
class SoundFetcher;
class TDataModule1;
class TFrm_config;
class TFrm_main;
class TFrm_sa;
class TFrm_Subject;
class TFrm_validate;
struct Platform;

// What every window reaches: the platform, the data module, the error
// handler and one reference per window that always names the instance
// created last.
class Shell final : public QObject
{
    Q_OBJECT

public:
    Shell(Platform &platform, TDataModule1 &data);
    ~Shell() override;
    Q_DISABLE_COPY_MOVE(Shell)

    Platform &platform;
    TDataModule1 &data;
    // The local copy of a server's schedule, which the main window's and
    // the run's loads read while the server cannot answer; none for a
    // database file.
    std::unique_ptr<CopyStandIn> standIn;
    ErrorHandler errors;
    // Tells the exam office what this room does; none without a server.
    RoomReporter *reporter = nullptr;
    // Brings the server's recordings into this room; none without a server.
    SoundFetcher *sounds = nullptr;
    // Plays the office's announcements; none without a server.
    RoomAnnouncements *announcements = nullptr;

    QPointer<TFrm_main> Frm_main;
    QPointer<TFrm_validate> Frm_validate;
    QPointer<TFrm_sa> Frm_sa;
    QPointer<TFrm_config> Frm_config;
    QPointer<TFrm_Subject> Frm_Subject;

    // From now on the windows follow the server's notices of schedule
    // changes: the main window refills, a run follows its subject, an open
    // console or editor is left alone but says so.
    void follow(ScheduleWatch &watch);
    // Changes made through another connection of this program, such as the
    // editor's upload of recordings, are no news to its windows either.
    void ownWrites(qint64 serverProcess);

    // Builds a window, stores it in its reference and only then runs its
    // creation handler, so the handler can already be reached through the
    // reference. A failing creation handler is reported; the window stays.
    template <typename Window> Window *create(QPointer<Window> &reference)
    {
        auto *window = new Window(*this);
        reference = window;
        errors.guard([window] { window->FormCreate(); });
        return window;
    }

    // As create(), for a window that must not open on less than the whole of
    // what it shows: when its creation handler fails, the failure is reported,
    // the window is released and the result is null.
    template <typename Window> Window *createWhole(QPointer<Window> &reference)
    {
        auto *window = new Window(*this);
        reference = window;
        if (errors.guard([window] { window->FormCreate(); }))
            return window;
        release(window);
        return nullptr;
    }

    // Destroys the window once the current event has been handled, so the
    // handler that asks may go on using it.
    void release(QWidget *window);
    // Ends the program's message loop.
    void terminate();

signals:
    void terminated();

private:
    void scheduleChanged(qint64 writer);

    QPointer<ScheduleWatch> m_watch;
};
