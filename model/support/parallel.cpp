#include "model/support/parallel.h"

#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

int workerCount(int jobs, long long count, long long chunkSize) {
    if (count <= 0) return 0;
    const long long chunks = (count + chunkSize - 1) / chunkSize;
    return static_cast<int>(std::min<long long>(std::max(jobs, 1), chunks));
}

// A failure in any chunk stops the handing out of chunks and is rethrown on
// the calling thread once every worker has stopped. A thread that cannot be
// started leaves its share to the others.
void forEachChunk(int jobs, long long count, long long chunkSize,
                  const std::function<void(int, long long, long long, long long)>& work) {
    const int workers = workerCount(jobs, count, chunkSize);
    if (workers == 0) return;
    const long long chunks = (count + chunkSize - 1) / chunkSize;
    std::atomic<long long> next{0};
    std::mutex failing;
    std::exception_ptr failure;
    auto runChunks = [&](int worker) {
        try {
            for (long long chunk = next++; chunk < chunks; chunk = next++)
                work(worker, chunk, chunk * chunkSize, std::min(count, (chunk + 1) * chunkSize));
        } catch (...) {
            next = chunks;
            std::lock_guard<std::mutex> lock(failing);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (int worker = 1; worker < workers; ++worker) helpers.emplace_back(runChunks, worker);
    } catch (const std::system_error&) {
    }
    runChunks(0);
    for (auto& helper : helpers) helper.join();
    if (failure) std::rethrow_exception(failure);
}

// The CPUs the process may run on, which a container or taskset may make
// far fewer than the machine has.
int availableJobs() {
#ifdef __linux__
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return std::max(1, CPU_COUNT(&allowed));
#endif
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}
