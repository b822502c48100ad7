// Starting and ending the soffice.bin of a session (POSIX).
//
// Errors: StartOffice returns 0 when the program cannot be started; the others never fail.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kelmo {

// Starts program with arguments and exactly the environment given, in a session of its
// own, with stdin, stdout and stderr on /dev/null and no other descriptor of ours. It gets
// SIGKILL when the calling thread ends, so it cannot outlive the program.
pid_t StartOffice(const std::string& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment);

// The exit status (as waitpid gives it) once pid has ended, reaping it; -1 while it runs.
int OfficeExitStatus(pid_t pid);

// Kills pid and whatever it started in its session (SIGKILL) and reaps it.
void KillOffice(pid_t pid);

// Waits up to graceMs for pid to end by itself, then kills it; reaps it either way.
void AwaitOffice(pid_t pid, int graceMs);

// Removes the socket that an ended LibreOffice leaves in /tmp for its --accept=pipe,name=.
void RemoveOfficePipe(const std::string& name);

}  // namespace kelmo
