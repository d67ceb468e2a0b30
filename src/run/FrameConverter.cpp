#include "run/FrameConverter.h"

FrameConverter::FrameConverter(int inRate, int inChannels, int outRate, int outChannels)
    : m_inRate(inRate), m_inChannels(inChannels), m_outRate(outRate), m_outChannels(outChannels),
      m_previous(size_t(outChannels)), m_current(size_t(outChannels))
{}

void FrameConverter::mapChannels(const float *in, float *out) const
{
    if (m_outChannels == 1 && m_inChannels > 1) {
        float sum = 0;
        for (int c = 0; c < m_inChannels; ++c)
            sum += in[c];
        out[0] = sum / float(m_inChannels);
        return;
    }
    for (int c = 0; c < m_outChannels; ++c)
        out[c] = m_inChannels == 1 ? in[0] : c < m_inChannels ? in[c] : 0.0f;
}

void FrameConverter::push(const float *frames, qint64 count, std::vector<float> &out)
{
    for (qint64 i = 0; i < count; ++i) {
        mapChannels(frames + i * m_inChannels, m_current.data());
        if (!m_started) {
            m_started = true;
            m_previous.swap(m_current);
            continue;
        }
        // Every frame out that lies between the previous frame in and this one.
        for (; m_position < m_outRate; m_position += m_inRate) {
            const float weight = float(m_position) / float(m_outRate);
            for (int c = 0; c < m_outChannels; ++c)
                out.push_back(m_previous[size_t(c)] +
                              (m_current[size_t(c)] - m_previous[size_t(c)]) * weight);
        }
        m_position -= m_outRate;
        m_previous.swap(m_current);
    }
}

void FrameConverter::finish(std::vector<float> &out)
{
    if (!m_started)
        return;
    for (; m_position < m_outRate; m_position += m_inRate)
        out.insert(out.end(), m_previous.begin(), m_previous.end());
    m_started = false;
    m_position = 0;
}
