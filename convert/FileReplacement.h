#pragma once

#include <cstdio>
#include <string>

// The two steps of replacing a file that the platform does its own way. Failures leave the
// system's reason for lastWriteFailure() (engine/WriteFailure.h).

// A file that did not exist, opened for writing in binary ("wb"). Null when it could not be
// made; nameTaken tells when that was only because something of that name exists already.
std::FILE* createNewFile(const std::string& path, bool& nameTaken);

// Moves the file at from over to in one step: to is the old file or the new one whole, never
// missing and never part of either. Both must be in the same folder.
bool replaceFile(const std::string& from, const std::string& to);
