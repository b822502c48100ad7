#include "OfficePool.h"

#include <sched.h>

#include <algorithm>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "ConvertMessages.h"
#include "OfficeProfile.h"
#include "OfficeSession.h"

namespace kelmo {
namespace {

// MemAvailable of /proc/meminfo in MB; 0 when it cannot be read.
long long AvailableMemoryMb() {
    try {
        const std::string info = ReadWholeFile("/proc/meminfo");
        const std::size_t at = info.find("MemAvailable:");
        if (at == std::string::npos) return 0;
        return std::stoll(info.substr(at + 13)) / 1024;  // given in kB
    } catch (const std::exception&) {
        return 0;
    }
}

int ProcessorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

int DefaultOfficeCount(int memoryLimitMb) {
    int count = ProcessorCount();
    const long long available = AvailableMemoryMb();
    if (memoryLimitMb > 0 && available > 0)
        count = int(std::min<long long>(count, available / memoryLimitMb));
    return std::max(count, 1);
}

OfficePool::OfficePool(int size, const QString& program, const QString& profileDir,
                       int memoryLimitMb) {
    const QString profile = profileDir.isEmpty() ? DefaultProfileDir() : profileDir;
    for (int i = 0; i < std::max(size, 1); ++i) {
        // Without a profile folder each session makes a throwaway one of its own.
        const QString own =
            i == 0 || profile.isEmpty() ? profile : profile + QStringLiteral("-%1").arg(i + 1);
        sessions_.push_back(std::make_shared<OfficeSession>(program, own, memoryLimitMb));
    }
}

OfficePool::~OfficePool() = default;

void OfficePool::StartInBackground(int count) {
    for (int i = 0; i < std::min(count, Size()); ++i) sessions_[i]->StartInBackground();
}

void OfficePool::ForEach(int count, const Job& job) {
    std::mutex mutex;
    int next = 0;
    int failedAt = count;
    std::exception_ptr failure;
    const auto serve = [&](const std::shared_ptr<OfficeSession>& session) {
        for (;;) {
            int index = 0;
            {
                const std::lock_guard lock(mutex);
                if (next >= count || failure) return;
                index = next++;
            }
            try {
                job(index, session);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (index < failedAt) {
                    failedAt = index;
                    failure = std::current_exception();
                }
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < std::min(count, Size()); ++i) {
        try {
            helpers.emplace_back(serve, sessions_[i]);
        } catch (const std::system_error&) {  // no more threads: fewer sessions serve
            break;
        }
    }
    serve(sessions_.front());
    for (std::thread& helper : helpers) helper.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace kelmo
