#pragma once

#include <functional>

// Runs work(worker, chunk, begin, end) for the chunks [0, chunkSize),
// [chunkSize, 2 chunkSize), ... of [0, count) on up to `jobs` threads, each
// chunk once. Chunks are handed out in increasing order; `worker` numbers the
// thread from 0 to workerCount - 1, so that each may keep scratch of its own.
// With one worker everything runs on the calling thread. Results must not
// depend on which worker ran a chunk: callers write each chunk's result to a
// slot of its own. An exception thrown by `work` stops the run and is
// rethrown to the caller once every thread has stopped.
void forEachChunk(int jobs, long long count, long long chunkSize,
                  const std::function<void(int worker, long long chunk, long long begin, long long end)>& work);

// How many workers forEachChunk starts for these arguments.
int workerCount(int jobs, long long count, long long chunkSize);

// The number of CPUs the process may run on (its affinity), at least 1.
int availableJobs();
