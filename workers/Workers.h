#pragma once

class DebugTrace;
class SharedState;
struct WorkerJob;

// Thread entries of the two workers. Each returns at once when given no state, otherwise runs to
// its end. At most one runs at a time (see WorkerRunner).

// Plays job.filePath out of job.device from job.startPosition, sending each chunk when the play
// clock reaches its time offset; obeys the stop and pause requests. A file that cannot be read
// part-way ends playback as a failure (see SharedState::fileFailureOf), not as its end.
void playbackWorker(SharedState* state, const WorkerJob& job, DebugTrace& trace);

// Records what arrives on job.device into job.filePath, one chunk per read that returned bytes,
// until a stop request, a failed read or a write that the file refuses (see
// SharedState::fileFailureOf). The chunks reach the system at least every 100 ms.
void recordingWorker(SharedState* state, const WorkerJob& job, DebugTrace& trace);
