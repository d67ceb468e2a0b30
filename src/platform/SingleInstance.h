#pragma once

#include <QLockFile>
#include <QObject>

class QLocalServer;

// One program per data folder: two copies on one folder would both append
// to the office's journal and move its mark, and events would be lost. The
// first copy holds a lock file in the folder and listens for the others,
// which ask it to come to the front and end. A folder that cannot be written
// (a read-only mount) holds no lock, yet reading and playing need none: the
// copy runs, found by the others only while it listens.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True for the first copy on the folder, and for a copy that could not
    // write the lock and found no other listening: warning() then says so.
    // Otherwise the first copy is asked to come forward (waiting at most a
    // second for it) and false returned, with the reason in error() when the
    // folder cannot be made.
    bool claim();
    QString error() const { return m_error; }
    // For the user, in Chinese: why a second copy may go unnoticed.
    QString warning() const { return m_warning; }

signals:
    // Another copy was started on the same folder.
    void raiseRequested();

private:
    QString m_folder;
    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    QString m_error;
    QString m_warning;

    // Asks a copy listening for the folder to come forward; false when none
    // answers.
    bool raiseOther() const;
    void listen();
};
