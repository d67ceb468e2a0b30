#include "onset_quiet.h"

#include <cstdio>

// What the threads did is read from Linux's /proc; Wine's threads are the
// Linux build's business, so the Windows build measures nothing here.
QuietMeter::QuietMeter(std::vector<Stretch> stretches, QString what)
    : m_stretches(std::move(stretches)), m_what(std::move(what))
{}

QuietMeter::~QuietMeter() = default;

void QuietMeter::print()
{
    std::printf("onset quiet: not measured on Windows (%s)\n", qPrintable(m_what));
}
