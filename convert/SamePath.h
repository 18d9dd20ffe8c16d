#pragma once

#include <string>

// Whether two paths name the same file as the platform sees it: the Export command uses it so
// that the output never truncates the serial file it is about to read. Either file may be
// missing; an empty path names nothing.
bool namesSameFile(const std::string& a, const std::string& b);
