#include "ProcessGroup.h"

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace kelmo {
namespace {

// Parses /proc/<pid>/stat ("pid (comm) state ppid pgrp ..."); comm may hold blanks and
// parentheses, so the fields are counted from the last ")".
bool LiveMemberOf(const QString& statPath, qint64 pgid) {
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly)) return false;  // the process has just gone
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0) return false;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 3) return false;
    const bool zombie = fields[0] == "Z" || fields[0] == "X";
    return !zombie && fields[2].toLongLong() == pgid;
}

}  // namespace

bool ProcessGroupAlive(qint64 pgid) {
    if (pgid <= 0) return false;
    const QDir proc(QStringLiteral("/proc"));
    if (!proc.exists(QStringLiteral("self/stat"))) return ::kill(-pid_t(pgid), 0) == 0;
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (numeric && LiveMemberOf(proc.filePath(entry + QStringLiteral("/stat")), pgid)) {
            return true;
        }
    }
    return false;
}

bool EndProcessGroup(qint64 pgid, int graceMs) {
    if (!ProcessGroupAlive(pgid)) return true;
    ::kill(-pid_t(pgid), SIGTERM);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < graceMs) {
        QThread::msleep(20);
        if (!ProcessGroupAlive(pgid)) return true;
    }
    ::kill(-pid_t(pgid), SIGKILL);
    for (int tries = 0; tries < 50; ++tries) {
        if (!ProcessGroupAlive(pgid)) return true;
        QThread::msleep(20);
    }
    return false;
}

}  // namespace kelmo
