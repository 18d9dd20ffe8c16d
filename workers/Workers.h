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

// Sits between a program on job.device and its device on job.devicePort (same line settings):
// passes the bytes both ways and writes both directions into job.filePath as a conversation
// file, until a stop request, a port that fails or a write that the file refuses (see
// SharedState::failureOf). Reports as the recording worker does, with `recording` set while it
// runs, the bytes each way in SharedState::monitorCounts and the time in currentPosition.
void monitorWorker(SharedState* state, const WorkerJob& job, DebugTrace& trace);

// Answers for the device of the conversation file job.filePath on job.device, as the recording's
// device did, until a stop request or a failure; `playing` is set while it runs and the requests
// answered and unknown are in SharedState.
void answeringWorker(SharedState* state, const WorkerJob& job, DebugTrace& trace);

// Plays the device's bursts of the conversation file job.filePath out of job.device, each at its
// recorded time from job.startPosition, until the file's end, a stop request or a failure.
void conversationPlaybackWorker(SharedState* state, const WorkerJob& job, DebugTrace& trace);
