#include "ProcessGroup.h"

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace kelmo {
namespace {

struct Membership {
    bool InGroup = false;
    bool InSession = false;
};

// Parses /proc/<pid>/stat ("pid (comm) state ppid pgrp session ..."); comm may hold blanks
// and parentheses, so the fields are counted from the last ")". A zombie is no member.
Membership LiveMembership(const QString& statPath, qint64 id) {
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly)) return {};  // the process has just gone
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0) return {};
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 4 || fields[0] == "Z" || fields[0] == "X") return {};
    return {fields[2].toLongLong() == id, fields[3].toLongLong() == id};
}

// Live processes of group id and, with the session, those of session id in groups of
// their own, which a signal to the group does not reach.
QList<qint64> LiveMembers(qint64 id, bool outsideTheGroupOnly) {
    QList<qint64> members;
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric) continue;
        const Membership member =
            LiveMembership(proc.filePath(entry + QStringLiteral("/stat")), id);
        if ((member.InGroup && !outsideTheGroupOnly) || (member.InSession && !member.InGroup)) {
            members << pid;
        }
    }
    return members;
}

void SignalMembers(qint64 id, int signal) {
    ::kill(-pid_t(id), signal);
    for (const qint64 pid : LiveMembers(id, true)) ::kill(pid_t(pid), signal);
}

}  // namespace

bool ProcessGroupAlive(qint64 pgid) {
    if (pgid <= 0) return false;
    if (!QFile::exists(QStringLiteral("/proc/self/stat"))) return ::kill(-pid_t(pgid), 0) == 0;
    return !LiveMembers(pgid, false).isEmpty();
}

bool EndProcessGroup(qint64 pgid, int graceMs) {
    if (!ProcessGroupAlive(pgid)) return true;
    SignalMembers(pgid, SIGTERM);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < graceMs) {
        QThread::msleep(20);
        if (!ProcessGroupAlive(pgid)) return true;
    }
    SignalMembers(pgid, SIGKILL);
    for (int tries = 0; tries < 50; ++tries) {
        if (!ProcessGroupAlive(pgid)) return true;
        QThread::msleep(20);
    }
    return false;
}

}  // namespace kelmo
