#pragma once

#include <string>

// The running executable's file name without folder and extension ("Veltrane").
std::string executableBaseName();
