#pragma once

#include <cstdio>
#include <string>

// The steps of replacing a file that the platform does its own way.

// Whether path names something that cannot be replaced by another file, only written in place:
// a null device, a printer port, a terminal, a pipe.
bool namesDevice(const std::string& path);

// A file that did not exist, opened for writing in binary ("wb"). Null when it could not be
// made, with the reason in errno, as an open by the C library gives it; nameTaken tells when
// that was only because something of that name exists already.
std::FILE* createNewFile(const std::string& path, bool& nameTaken);

// Moves the file at from over to in one step: to is the old file or the new one whole, never
// missing and never part of either. Both must be in the same folder. A failure leaves the
// system's reason for lastWriteFailure() (engine/WriteFailure.h).
bool replaceFile(const std::string& from, const std::string& to);
