#pragma once
// A data file of n entries with a mix of result texts, for the list benchmarks.

#include <QByteArray>
#include <QElapsedTimer>

namespace bench {

inline QByteArray makeDataFile(int entries) {
    QByteArray out;
    for (int i = 0; i < entries; ++i) {
        out += "www.site" + QByteArray::number(i) + ".example/some/path/page.html\r\n";
        out += "used cars selling autos " + QByteArray::number(i) + "\r\n";
        out += "Rank " + QByteArray::number(i % 100 + 1) + " / Page " +
               QByteArray::number(i % 10 + 1) + "\r\nnot found\r\n-\r\n\r\n";
    }
    return out;
}

inline double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

} // namespace bench
