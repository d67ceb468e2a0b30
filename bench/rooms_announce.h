#pragma once

#include <QList>

class QObject;
class ServerLink;
class TDataModule1;

// bench/rooms-notify's announcements: the office announces a recording
// about 15 s ahead, and every room plays it at its second as a room's
// program does, an AnnouncementWatch on the room's one link and an
// Announcer on a device of its own, on the room's thread.
namespace RoomsAnnounce {

struct Room
{
    // An object on the room's thread, the thread its link was made on.
    QObject *thread = nullptr;
    ServerLink *link = nullptr;
};

// Every room plays on a device that only notes when its sound was let go;
// then, where a sound server is given (PULSE_SERVER), the first realRooms
// rooms play once more on the real sound device. Prints the moments
// against the second and the connections the rooms hold. False when not
// every room played.
bool run(TDataModule1 &office, const QList<Room> &rooms, int realRooms);

} // namespace RoomsAnnounce
