// What the figures programs of the windowed program share: the event loop run for a time, as the
// program runs it (QTest::qWait polls every 10 ms, which would be counted), and the resident memory.
#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

inline void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// VmRSS of this process in KiB; -1 where /proc is not there.
inline long ResidentKb() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}
