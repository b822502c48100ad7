#include "OfficeProcess.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "ProcessGroup.h"

namespace kelmo {
namespace {

std::vector<char*> PointersTo(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Between fork and exec only async-signal-safe calls.
bool WriteSmallFile(const char* path, const std::string& text) {
    const int file = ::open(path, O_WRONLY | O_CLOEXEC);
    if (file < 0) return false;
    const bool written = ::write(file, text.data(), text.size()) == ssize_t(text.size());
    ::close(file);
    return written;
}

constexpr char RealTmp[] = "/real-tmp";

// What the child needs to see privateTmp as its /tmp, prepared before fork.
struct TmpNamespace {
    const char* PrivateTmp = nullptr;
    std::string RealTmpInside;
    std::string UidMap = std::to_string(::getuid()) + ' ' + std::to_string(::getuid()) + " 1";
    std::string GidMap = std::to_string(::getgid()) + ' ' + std::to_string(::getgid()) + " 1";
};

// A user and mount namespace of its own (this user as itself) with privateTmp on /tmp and
// the real /tmp at /tmp/real-tmp. Ends the child when the system does not allow it.
void EnterTmpNamespace(const TmpNamespace& space) {
    if (!space.PrivateTmp) return;
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
        !WriteSmallFile("/proc/self/setgroups", "deny") ||
        !WriteSmallFile("/proc/self/uid_map", space.UidMap) ||
        !WriteSmallFile("/proc/self/gid_map", space.GidMap) ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("/tmp", space.RealTmpInside.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
        ::mount(space.PrivateTmp, "/tmp", nullptr, MS_BIND | MS_REC, nullptr) != 0)
        ::_exit(NoPrivateTmp);
}

[[noreturn]] void BecomeOffice(pid_t parent, const char* program, char* const* argv,
                               char* const* envp, long long memoryLimitBytes,
                               const TmpNamespace& space) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the program ended before prctl
    ::setsid();
    EnterTmpNamespace(space);
    // Its sockets and files are for this user alone, whatever the user's umask says.
    ::umask(077);
    if (memoryLimitBytes > 0) {
        const rlimit limit{rlim_t(memoryLimitBytes), rlim_t(memoryLimitBytes)};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    ::closefrom(3);
    ::execve(program, argv, envp);
    ::_exit(127);
}

}  // namespace

pid_t StartOffice(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment, long long memoryLimitBytes,
                  const std::string& privateTmp) {
    TmpNamespace space;
    if (!privateTmp.empty()) {
        space.PrivateTmp = privateTmp.c_str();
        space.RealTmpInside = privateTmp + RealTmp;
    }
    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    const std::vector<char*> argv = PointersTo(argvStrings);
    const std::vector<char*> envp = PointersTo(environment);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0)
        BecomeOffice(parent, program.c_str(), argv.data(), envp.data(), memoryLimitBytes, space);
    return pid > 0 ? pid : 0;
}

int OfficeExitStatus(pid_t pid) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    return done < 0 ? 0 : -1;  // not our child any more: gone
}

void KillOffice(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    EndProcessGroup(pid, 0);  // whatever it started, also in groups of their own
    int status = 0;
    ::waitpid(pid, &status, 0);
}

void AwaitOffice(pid_t pid, int graceMs) {
    if (pid <= 0) return;
    for (int waited = 0; waited < graceMs; waited += 20) {
        if (OfficeExitStatus(pid) != -1) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    KillOffice(pid);
}

long long OfficePeakBytes(pid_t pid) {
    if (pid <= 0) return 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmPeak:"))
            return line.mid(7).trimmed().split(' ').front().toLongLong() * 1024;
    }
    return 0;
}

namespace {

// Where LibreOffice puts the sockets of its pipes.
std::string PipeBase() {
    for (const char* folder : {"/tmp", "/var/tmp"}) {
        if (::access(folder, W_OK) == 0) return folder;
    }
    const char* own = std::getenv("OSL_SOCKET_PATH");
    return own ? own : "/tmp";
}

std::string PipePrefix() { return PipeBase() + "/OSL_PIPE_" + std::to_string(::getuid()) + "_"; }

bool OwnedBy(const struct stat& info, bool privateFolder) {
    return info.st_uid == ::getuid() && (!privateFolder || (info.st_mode & 077) == 0);
}

}  // namespace

std::string MakePipeFolder() {
    std::string pattern = PipePrefix() + "kelmo-" + std::to_string(::getpid()) + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    const std::string folder = pattern.substr(PipePrefix().size());
    // A LibreOffice that sees this folder as /tmp finds its pipe F/P through this link.
    const std::string self = pattern + "/OSL_PIPE_" + std::to_string(::getuid()) + "_" + folder;
    if (::symlink(".", self.c_str()) != 0 || ::mkdir((pattern + RealTmp).c_str(), 0700) != 0) {
        ::unlink(self.c_str());
        ::rmdir(pattern.c_str());
        return {};
    }
    return folder;
}

std::string SeenInTmpNamespace(const std::string& path) {
    if (path == "/tmp" || path.rfind("/tmp/", 0) == 0) return "/tmp" + (RealTmp + path.substr(4));
    return path;
}

std::string PipeSocketPath(const std::string& name) { return PipePrefix() + name; }

bool IsOwnPipe(const std::string& name) {
    const std::string path = PipeSocketPath(name);
    const std::string folder = path.substr(0, path.rfind('/'));
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !OwnedBy(info, true))
        return false;
    return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && OwnedBy(info, false);
}

void RemovePipeFolder(const std::string& folder) {
    if (folder.empty() || folder.find('/') != std::string::npos) return;
    const std::string path = PipeSocketPath(folder);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !OwnedBy(info, false))
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);  // links inside are removed, not followed
}

int HoldFolder(const std::string& folder) {
    const int held = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (held >= 0) ::flock(held, LOCK_SH);
    return held;
}

bool LeftBehind(pid_t pid, const std::string& path) {
    if (pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM)) return false;
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return false;
    const bool free = ::flock(folder, LOCK_EX | LOCK_NB) == 0;
    ::close(folder);
    return free;
}

void RemoveEndedRunsPipes() {
    const std::string prefix = PipePrefix();
    const std::string folder = prefix.substr(0, prefix.rfind('/'));
    const std::string start = prefix.substr(folder.size() + 1) + "kelmo-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(start, 0) != 0) continue;
        const pid_t pid = pid_t(std::atoll(name.c_str() + start.size()));
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || info.st_uid != ::getuid()) continue;
        if (S_ISDIR(info.st_mode) ? !LeftBehind(pid, entry.path()) : pid > 0 && ::kill(pid, 0) == 0)
            continue;
        if (S_ISDIR(info.st_mode)) RemovePipeFolder(name.substr(prefix.size() - folder.size() - 1));
        if (S_ISSOCK(info.st_mode)) ::unlink(entry.path().c_str());
    }
}

void RemoveStaleInstanceSocket(const std::string& profileUrl) {
    // LibreOffice names it after the MD5 of the profile's URL in UTF-16, each byte in hex
    // without leading zeros.
    const QString url = QString::fromStdString(profileUrl);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(url.utf16()), url.size() * 2),
        QCryptographicHash::Md5);
    std::string name = "SingleOfficeIPC_";
    for (const char byte : digest) name += QString::number(quint8(byte), 16).toStdString();
    const std::string path = PipeSocketPath(name);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || !OwnedBy(info, false))
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return;
    path.copy(address.sun_path, path.size());
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return;
    const bool listening =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    if (!listening) ::unlink(path.c_str());
}

}  // namespace kelmo
