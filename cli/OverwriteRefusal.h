#pragma once

#include <initializer_list>
#include <optional>
#include <string>

// A file a command writes or reads, with the words that name it in a refusal: for an output
// what would be done to it ("write the report into"), for a file in use what it is ("the
// conversation file being answered from").
struct NamedFile {
    std::optional<std::string> path;  // none: the option was not given
    std::string words;
};

// The line that refuses the first output naming a file in use (another path or a link to it
// counts), for the command to give before it opens anything: "cannot write the report into X:
// it is the serial file being played". None when no output is such a file.
std::optional<std::string> overwriteRefusal(std::initializer_list<NamedFile> outputs,
                                            std::initializer_list<NamedFile> inUse);

// Whether the path names something that is there and is no regular file: a device, a
// pseudo-terminal, a pipe, a folder.
bool namesSpecialFile(const std::string& path);

// What a refusal calls a file the command reads, by its kind: "the conversation file being
// answered from", "the serial file being played".
std::string inputWords(const std::string& path, const std::string& use);
