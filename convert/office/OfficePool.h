// Several LibreOffices of our own, for converting several documents at once.
//
// A pool holds a number of OfficeSessions, each with its own LibreOffice, private profile
// ("<profile>", "<profile>-2", ...), pipe and temporary folder. ForEach runs numbered jobs,
// handing each, in order, to whichever session is free; the calling thread serves the
// first session, a thread of its own each other one.
//
// Errors: ForEach rethrows, once every job it started has ended, the exception of the
// lowest-numbered job that threw; after a throw no further job is started.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "Converter.h"

namespace kelmo {

class OfficeSession;

// How many LibreOffices to run at once by default: one per processor this program may run
// on, but no more than the available memory holds at memoryLimitMb each (0: memory not
// counted); at least one.
int DefaultOfficeCount(int memoryLimitMb);

class OfficePool {
  public:
    using Job = std::function<void(int index, const std::shared_ptr<OfficeSession>& session)>;

    // size sessions (at least one); program, profileDir and memoryLimitMb as for
    // OfficeSession, each session after the first with "-2", "-3", ... after its profile
    // folder's name.
    explicit OfficePool(int size, const QString& program = {}, const QString& profileDir = {},
                        int memoryLimitMb = DefaultOfficeMemoryMb);
    ~OfficePool();
    OfficePool(const OfficePool&) = delete;
    OfficePool& operator=(const OfficePool&) = delete;

    int Size() const { return int(sessions_.size()); }

    // Begins starting the LibreOffices of the first count sessions.
    void StartInBackground(int count);

    // Calls job(i, session) for i from 0 to count - 1, at most Size() at a time, each with
    // a session that no other job has meanwhile.
    void ForEach(int count, const Job& job);

  private:
    std::vector<std::shared_ptr<OfficeSession>> sessions_;
};

}  // namespace kelmo
