#pragma once

class SharedState;

// Thread entries of the two workers. Each returns 1 at once when given no state, otherwise runs
// to its end and returns 0. At most one runs at a time (see WorkerRunner).

// Plays currentFilePath out of the configured port from currentPosition, sending each chunk
// when the play clock reaches its time offset; obeys the stop and pause requests.
int playbackWorker(SharedState* state);

// Records what arrives on the configured port into currentFilePath, one chunk per read that
// returned bytes, until a stop request or a failed read.
int recordingWorker(SharedState* state);
