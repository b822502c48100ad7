#include "OfficeProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
[[noreturn]] void BecomeOffice(pid_t parent, const char* program, char* const* argv,
                               char* const* envp) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the program ended before prctl
    ::setsid();
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
                  const std::vector<std::string>& environment) {
    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    const std::vector<char*> argv = PointersTo(argvStrings);
    const std::vector<char*> envp = PointersTo(environment);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) BecomeOffice(parent, program.c_str(), argv.data(), envp.data());
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

void RemoveOfficePipe(const std::string& name) {
    if (name.empty()) return;
    // LibreOffice's pipes live in /tmp (or /var/tmp when /tmp is unusable), named after the
    // user; only a socket of ours goes.
    for (const char* folder : {"/tmp/", "/var/tmp/"}) {
        const std::string path = folder + ("OSL_PIPE_" + std::to_string(::getuid()) + "_" + name);
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
            info.st_uid == ::getuid())
            ::unlink(path.c_str());
    }
}

}  // namespace kelmo
