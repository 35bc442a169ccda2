#include "model/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

int workerCount(int jobs, long long count, long long chunkSize) {
    if (count <= 0) return 0;
    const long long chunks = (count + chunkSize - 1) / chunkSize;
    return static_cast<int>(std::min<long long>(std::max(jobs, 1), chunks));
}

void forEachChunk(int jobs, long long count, long long chunkSize,
                  const std::function<void(int, long long, long long, long long)>& work) {
    const int workers = workerCount(jobs, count, chunkSize);
    if (workers == 0) return;
    const long long chunks = (count + chunkSize - 1) / chunkSize;
    std::atomic<long long> next{0};
    auto runChunks = [&](int worker) {
        for (long long chunk = next++; chunk < chunks; chunk = next++)
            work(worker, chunk, chunk * chunkSize, std::min(count, (chunk + 1) * chunkSize));
    };
    std::vector<std::thread> helpers;
    for (int worker = 1; worker < workers; ++worker) helpers.emplace_back(runChunks, worker);
    runChunks(0);
    for (auto& helper : helpers) helper.join();
}

int availableJobs() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }
