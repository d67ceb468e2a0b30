#pragma once

#include "run/MediaPlayer.h"
#include "run/SoundError.h"

#include <atomic>
#include <chrono>
#include <memory>

// A room's sound device as the bench sees it: the moment each play() let
// its sound go, on the wall clock in microseconds. With a real device it
// passes everything on to it; without one it plays nothing, which lets a
// single machine stand in for hundreds of rooms that a sound server would
// not all take as clients.
class StampingPlayer final : public MediaPlayer
{
public:
    static constexpr qint64 SilentLengthMs = 2000;

    explicit StampingPlayer(std::unique_ptr<MediaPlayer> device = nullptr)
        : m_device(std::move(device))
    {}

    // 0 until a sound was let go.
    qint64 letGoUs() const { return m_letGoUs; }

    void setTimeFormatMilliseconds() override
    {
        if (m_device)
            m_device->setTimeFormatMilliseconds();
    }
    void setFileName(const QString &path) override
    {
        m_fileName = path;
        if (m_device)
            m_device->setFileName(path);
    }
    QString fileName() const override { return m_fileName; }
    void prepare() override
    {
        if (m_device)
            m_device->prepare();
    }
    void forgetPrepared() override
    {
        if (m_device)
            m_device->forgetPrepared();
    }
    bool isOpen() const override { return m_device ? m_device->isOpen() : m_open; }
    void open() override
    {
        m_open = true;
        if (m_device)
            m_device->open();
    }
    void close() override
    {
        m_open = false;
        if (m_device)
            m_device->close();
    }
    void stop() override
    {
        requireOpen();
        if (m_device)
            m_device->stop();
    }
    void play() override
    {
        requireOpen();
        if (m_device)
            m_device->play();
        m_letGoUs = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    }
    QString playFailure() const override { return m_device ? m_device->playFailure() : QString(); }
    qint64 length() const override
    {
        requireOpen();
        return m_device ? m_device->length() : SilentLengthMs;
    }

private:
    void requireOpen() const
    {
        if (!isOpen())
            throw SoundError(QStringLiteral("No sound device open"));
    }

    std::unique_ptr<MediaPlayer> m_device;
    QString m_fileName;
    bool m_open = false;
    std::atomic<qint64> m_letGoUs{0};
};
