// Starting and ending the soffice.bin of a session (POSIX), and the sockets it listens on.
//
// Errors: StartOffice returns 0 when the program cannot be started, MakePipeFolder an empty
// string when no folder can be made; the others never fail.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kelmo {

// The exit code of a LibreOffice started with privateTmp where the system does not allow
// that: start it again without.
constexpr int NoPrivateTmp = 126;

// Starts program with arguments and exactly the environment given, in a session of its
// own, with stdin, stdout and stderr on /dev/null, no other descriptor of ours, umask 077
// and, when memoryLimitBytes > 0, an address space of at most that many bytes. With
// privateTmp (a folder of MakePipeFolder) it runs in a user and mount namespace of its own
// where that folder is /tmp, so that the sockets LibreOffice always makes in /tmp are made
// there, and the real /tmp is /tmp/real-tmp (see SeenInTmpNamespace); where the system
// allows no unprivileged user namespace it exits with NoPrivateTmp at once. It gets
// SIGKILL when the calling thread ends, so it cannot outlive the program.
pid_t StartOffice(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment, long long memoryLimitBytes = 0,
                  const std::string& privateTmp = {});

// The exit status (as waitpid gives it) once pid has ended, reaping it; -1 while it runs.
int OfficeExitStatus(pid_t pid);

// Kills pid and whatever it started in its session (SIGKILL) and reaps it.
void KillOffice(pid_t pid);

// Waits up to graceMs for pid to end by itself, then kills it; reaps it either way.
void AwaitOffice(pid_t pid, int graceMs);

// The largest address space pid has had, in bytes (VmPeak); 0 when it is gone.
long long OfficePeakBytes(pid_t pid);

// LibreOffice puts the socket of pipe NAME at <dir>/OSL_PIPE_<uid>_NAME, where dir is /tmp
// (/var/tmp when /tmp is not writable). A pipe name "F/P" thus puts the socket into the
// folder <dir>/OSL_PIPE_<uid>_F. MakePipeFolder makes such a folder, 0700 and with an
// unguessable name, and returns F ("kelmo-<pid>-XXXXXX"). The folder holds a link
// OSL_PIPE_<uid>_F to itself, so that a LibreOffice that has the folder as its /tmp puts
// the socket of "F/P" at the same place.
std::string MakePipeFolder();

// An absolute, canonical path as a LibreOffice started with privateTmp sees it.
std::string SeenInTmpNamespace(const std::string& path);

// The path of the socket of pipe name.
std::string PipeSocketPath(const std::string& name);

// True when the socket of pipe name "F/P" is a socket of this user in a folder of this user
// that nobody else may enter: only then is it LibreOffice's of ours.
bool IsOwnPipe(const std::string& name);

// Removes the folder of pipe folder F with whatever sockets are in it.
void RemovePipeFolder(const std::string& folder);

// Removes LibreOffice's single-instance socket of the profile at profileUrl when it is
// this user's and nothing listens on it any more (LibreOffice leaves it when killed).
void RemoveStaleInstanceSocket(const std::string& profileUrl);

// Marks folder as in use by this process for as long as the returned descriptor is open
// (a shared lock on it; -1 when it cannot be opened). Close it with ::close.
int HoldFolder(const std::string& folder);

// True when the process named in a leftover's name is gone and nobody holds the folder at
// path (HoldFolder): a process of another PID namespace sharing /tmp still holds its own.
bool LeftBehind(pid_t pid, const std::string& path);

// Removes the pipe folders (and pipe sockets of older versions) that runs of this user left
// when they were killed: only names of ours whose process is gone, never through a link.
void RemoveEndedRunsPipes();

}  // namespace kelmo
