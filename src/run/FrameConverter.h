#pragma once

#include <QtGlobal>
#include <vector>

// Turns float frames of a sound file into those an output takes: another
// channel count and rate, read piece by piece. Channels are matched in
// order; a mono file is heard on every output channel, a mono output gets
// the mean of the file's channels, and channels the file lacks stay silent.
// Rates meet by linear interpolation, which is plenty for speech and keeps
// the timing exact: n frames in give ceil(n * outRate / inRate) frames out.
class FrameConverter final
{
public:
    FrameConverter(int inRate, int inChannels, int outRate, int outChannels);

    // Appends what frames (interleaved, inChannels each) give to out.
    void push(const float *frames, qint64 count, std::vector<float> &out);
    // At the end of the file: appends the frames still owed for its last one.
    void finish(std::vector<float> &out);

private:
    void mapChannels(const float *in, float *out) const;

    const int m_inRate;
    const int m_inChannels;
    const int m_outRate;
    const int m_outChannels;
    // The last frame taken in, in the output's channels.
    std::vector<float> m_previous;
    std::vector<float> m_current;
    bool m_started = false;
    // Where the next frame out lies past m_previous, in 1/outRate of a frame.
    qint64 m_position = 0;
};
