#pragma once

#include "cli/Command.h"

// "monitor --host-port H --device-port D -o OUT.pcapng ...": sits between a program and its
// device, passing every byte each way, and records the conversation.
Command monitorCommand();
