#pragma once

#include <QList>
#include <algorithm>
#include <cstdio>

// The figures the benchmarks print for a set of times in microseconds.
namespace Percentiles {

inline qint64 of(QList<qint64> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[qMin(values.size() - 1, qsizetype(p * double(values.size())))];
}

// "label: p50 …, p99 …, max … over N", in milliseconds with decimals places.
inline void print(const char *label, const QList<qint64> &us, int decimals)
{
    std::printf("%s: p50 %.*f ms, p99 %.*f ms, max %.*f ms over %lld\n", label, decimals,
                double(of(us, 0.5)) / 1000, decimals, double(of(us, 0.99)) / 1000, decimals,
                double(of(us, 1.0)) / 1000, qlonglong(us.size()));
}

} // namespace Percentiles
