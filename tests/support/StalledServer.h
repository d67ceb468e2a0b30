#pragma once

#include <QList>

class TestServer;

// A test server as if it hung: its postmaster and every backend stopped
// (SIGSTOP). The kernel still takes connections and data for it, but
// nothing answers, and neither keepalives nor the server's own timeouts
// fire. Resumed (SIGCONT) when the object goes, whatever the test's outcome,
// or before by resume().
class StalledServer final
{
public:
    explicit StalledServer(const TestServer &server);
    ~StalledServer();
    Q_DISABLE_COPY_MOVE(StalledServer)

    void resume();

private:
    QList<qint64> m_pids;
};
