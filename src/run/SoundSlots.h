#pragma once

#include "run/SoundError.h"
#include "run/SoundReadiness.h"

#include <QString>
#include <memory>
#include <utility>

// What both sound devices hold between their calls, and the rules they keep
// about it: the sound got ready ahead for a later open() of its file, the
// open one, and whether it was asked to play. Sound is the device's own
// sound (its path(), freshFor(), readFile(), fileFailure(), handedOver(),
// failure(), startHeardUs(), lengthMs() and release()). A device that is
// called from more than one thread holds its lock around every call.
template <typename Sound> class SoundSlots
{
public:
    using Ptr = std::shared_ptr<Sound>;

    QString fileName;
    // Made ready for a later open() of its file.
    Ptr prepared;
    // The open sound.
    Ptr current;
    bool playAsked = false;
    // The failure of the sound closed last, until the next open().
    QString closedFailure;

    // A sound of the file named now, got ready lately from what the file
    // still holds.
    bool fresh(const Ptr &sound) const
    {
        return sound && sound->path() == fileName && sound->freshFor(SoundReadiness::FreshForMs);
    }

    // The one underway or ready that usable accepts, kept by prepare(): the
    // one got ready ahead, or the one opened and not played yet (the first
    // of a run).
    template <typename Usable> Ptr reusable(Usable usable) const
    {
        for (const Ptr &sound : {playAsked ? Ptr() : current, prepared})
            if (fresh(sound) && usable(*sound))
                return sound;
        return {};
    }

    void dropPrepared()
    {
        if (prepared)
            prepared->release();
        prepared.reset();
    }

    // Lets go of the one got ready ahead (the clock was set); so does the
    // open sound not played yet: it stays open, holding only its file until
    // it is got ready again by a sound that make() gives for its path.
    template <typename Make> void forgetPrepared(Make make)
    {
        dropPrepared();
        if (current && !playAsked && current->handedOver()) {
            Ptr reopened = make(current->path());
            reopened->readFile();
            if (reopened->fileFailure().isEmpty())
                std::exchange(current, reopened)->release();
        }
    }

    // For open(): the one got ready ahead when it is of use, even failed
    // (play() tells whether to try again); any other would only hold a
    // stream. Null when the file is to be read anew.
    Ptr takeForOpen()
    {
        closedFailure.clear();
        playAsked = false;
        if (fresh(prepared))
            return std::exchange(prepared, {});
        dropPrepared();
        return {};
    }

    // The end of open(), once settled waited for the sound's file: the
    // sound is open, or released and the failure thrown.
    void open(Ptr sound, bool settled)
    {
        if (!settled || !sound->fileFailure().isEmpty()) {
            const QString failure =
                settled ? sound->fileFailure()
                        : QStringLiteral("Cannot open sound file \"%1\": it could not be read "
                                         "in time")
                              .arg(fileName);
            sound->release();
            throw SoundError(failure);
        }
        current = std::move(sound);
    }

    void close()
    {
        if (!current)
            return;
        closedFailure = playAsked ? current->failure() : QString();
        // Not played, it is kept for an open() of its file that follows, as
        // at the second of a run's first instruction, opened as the run
        // started; failed, play() tells then whether to try again.
        if (!playAsked && !prepared) {
            prepared = std::exchange(current, {});
            return;
        }
        current->release();
        current.reset();
    }

    QString playFailure() const
    {
        if (!current)
            return closedFailure;
        return playAsked ? current->failure() : QString();
    }

    qint64 startHeardUs() const { return current && playAsked ? current->startHeardUs() : 0; }

    Sound &opened() const
    {
        if (!current)
            throw SoundError(QStringLiteral("No sound device open"));
        return *current;
    }
};
