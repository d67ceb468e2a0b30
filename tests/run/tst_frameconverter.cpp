#include "run/FrameConverter.h"

#include <QTest>
#include <cmath>
#include <vector>

namespace {

// frames frames of inChannels channels: channel c of frame i is i + c / 10.
std::vector<float> ramp(qint64 frames, int channels)
{
    std::vector<float> samples;
    for (qint64 i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples.push_back(float(i) + float(c) / 10);
    return samples;
}

std::vector<float> convert(const std::vector<float> &in, int inRate, int inChannels, int outRate,
                           int outChannels, qint64 piece)
{
    FrameConverter converter(inRate, inChannels, outRate, outChannels);
    std::vector<float> out;
    const qint64 frames = qint64(in.size()) / inChannels;
    for (qint64 at = 0; at < frames; at += piece)
        converter.push(in.data() + at * inChannels, std::min(piece, frames - at), out);
    converter.finish(out);
    return out;
}

} // namespace

class tst_FrameConverter : public QObject
{
    Q_OBJECT

private slots:
    // Whatever the pieces the file is read in, the output has the file's
    // length at the output's rate, to the frame rounded up (an instruction
    // neither cut short nor stretched), each output frame where the file's
    // timeline puts it, and the channels as the output wants them.
    void framesLandWhereTheFileHasThem_data()
    {
        QTest::addColumn<int>("inRate");
        QTest::addColumn<int>("inChannels");
        QTest::addColumn<int>("outRate");
        QTest::addColumn<int>("outChannels");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("piece");
        QTest::newRow("same format") << 48000 << 2 << 48000 << 2 << 1000LL << 1000LL;
        QTest::newRow("mono on stereo, read frame by frame")
            << 48000 << 1 << 48000 << 2 << 10LL << 1LL;
        QTest::newRow("stereo on mono") << 48000 << 2 << 48000 << 1 << 10LL << 3LL;
        QTest::newRow("stereo on 5.1") << 44100 << 2 << 48000 << 6 << 441LL << 100LL;
        QTest::newRow("CD rate on 48 kHz") << 44100 << 1 << 48000 << 2 << 44100LL << 4096LL;
        QTest::newRow("phone rate on 48 kHz") << 8000 << 1 << 48000 << 2 << 8001LL << 7LL;
        QTest::newRow("96 kHz on 48 kHz") << 96000 << 2 << 48000 << 2 << 9999LL << 4096LL;
        QTest::newRow("one frame") << 16000 << 1 << 48000 << 2 << 1LL << 1LL;
        QTest::newRow("no frames") << 16000 << 1 << 48000 << 2 << 0LL << 1LL;
    }
    void framesLandWhereTheFileHasThem()
    {
        QFETCH(int, inRate);
        QFETCH(int, inChannels);
        QFETCH(int, outRate);
        QFETCH(int, outChannels);
        QFETCH(qint64, frames);
        QFETCH(qint64, piece);
        const std::vector<float> out =
            convert(ramp(frames, inChannels), inRate, inChannels, outRate, outChannels, piece);
        const qint64 expected = (frames * outRate + inRate - 1) / inRate;
        QCOMPARE(qint64(out.size()), expected * outChannels);
        for (qint64 k = 0; k < expected; ++k) {
            // Where frame k lies in the file, held at its last frame.
            const double at = std::min(double(k) * inRate / outRate, double(frames - 1));
            for (int c = 0; c < outChannels; ++c) {
                double want = at + (inChannels == 1 ? 0.0 : c < inChannels ? c / 10.0 : -at);
                if (outChannels == 1 && inChannels > 1)
                    want = at + (inChannels - 1) / 20.0;
                const float got = out[size_t(k * outChannels + c)];
                QVERIFY2(std::abs(got - want) < 1e-3 * std::max(1.0, at),
                         qPrintable(QStringLiteral("frame %1 channel %2: %3, not %4")
                                        .arg(k)
                                        .arg(c)
                                        .arg(got)
                                        .arg(want)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_FrameConverter)
#include "tst_frameconverter.moc"
