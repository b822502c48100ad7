#include "OfficeLaunch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include "ConvertMessages.h"
#include "OfficeProfile.h"

extern char** environ;

namespace kelmo {
namespace {

constexpr int ProgressStepMs = 100;

QString TimeoutText(int timeoutMs) {
    if (timeoutMs % 1000 == 0) return QStringLiteral("%1 с").arg(timeoutMs / 1000);
    return QStringLiteral("%1 мс").arg(timeoutMs);
}

}  // namespace

std::unique_ptr<QTemporaryDir> MakePrivateFolder(const QString& pattern,
                                                 const QStringList& subfolders) {
    auto folder = std::make_unique<QTemporaryDir>(pattern);
    bool made = folder->isValid();
    for (const QString& name : QStringList{QStringLiteral("tmp")} + subfolders)
        made = made && QDir(folder->path()).mkdir(name);
    if (!made) {
        FailConversion(QStringLiteral("Не удалось создать временную папку для преобразования: %1")
                           .arg(folder->errorString()));
    }
    return folder;
}

HeldProfile HoldProfile(const QString& requested, const QString& privateFolder,
                        const QString& program) {
    HeldProfile profile{requested.isEmpty() ? DefaultProfileDir() : requested, nullptr};
    if (!profile.Dir.isEmpty()) {
        profile.Lock = std::make_unique<QLockFile>(profile.Dir + QStringLiteral(".lock"));
        profile.Lock->setStaleLockTime(0);
        if (!QDir().mkpath(profile.Dir) || !profile.Lock->tryLock(0)) profile.Lock.reset();
    }
    if (!profile.Lock) profile.Dir = QDir(privateFolder).filePath(QStringLiteral("profile"));
    WriteProfileSettings(profile.Dir, program);
    return profile;
}

std::vector<std::string> OfficeEnvironment(const QString& privateFolder) {
    const QString home = qEnvironmentVariable("HOME");
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string line(*entry);
        if (line.rfind("TMPDIR=", 0) == 0 || line.rfind("HOME=", 0) == 0) continue;
        environment.push_back(line);
    }
    environment.push_back("TMPDIR=" + LocalPath(QDir(privateFolder).filePath("tmp")));
    environment.push_back("HOME=" +
                          LocalPath(home.isEmpty() || QDir(home).isRoot() ? privateFolder : home));
    return environment;
}

void WaitWithProgress(const std::function<bool(int stepMs)>& finished, int timeoutMs,
                      const std::function<void(int elapsedMs)>& progress,
                      const std::function<void()>& stop) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 elapsed = clock.elapsed();
        if (timeoutMs > 0 && elapsed >= timeoutMs) {
            stop();
            FailConversion(QStringLiteral("Преобразование прервано: прошло больше %1")
                               .arg(TimeoutText(timeoutMs)));
        }
        const qint64 step =
            timeoutMs > 0 ? qMin<qint64>(ProgressStepMs, timeoutMs - elapsed) : ProgressStepMs;
        if (finished(int(step))) return;
        const qint64 now = clock.elapsed();
        if (!progress || (timeoutMs > 0 && now >= timeoutMs)) continue;  // the limit comes first
        try {
            progress(int(now));
        } catch (...) {
            stop();
            throw;
        }
    }
}

QString UnoBootstrapUrl(const QString& program) {
    const QFileInfo found(QFileInfo(program).canonicalFilePath());
    QString folder = found.absolutePath();
    if (program.isEmpty() || !QFileInfo::exists(folder + QStringLiteral("/fundamentalrc")))
        folder = QStringLiteral("/usr/lib/libreoffice/program");
    return QStringLiteral("vnd.sun.star.pathname:") + folder + QStringLiteral("/fundamentalrc");
}

}  // namespace kelmo
