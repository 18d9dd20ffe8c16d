#pragma once

#include <string>
#include <vector>

class Profile;

// The recent-file list: at most five paths, the most recent first. Paths are kept whole,
// however long; two paths are the same entry only when their bytes are equal.
class RecentFiles {
public:
    static constexpr std::size_t kCapacity = 5;

    const std::vector<std::string>& paths() const { return paths_; }

    // Puts path at the top; an equal entry moves there, the sixth drops off.
    void add(const std::string& path);

    // Section "RecentFiles", values "5" down to "1", each added in turn, so "1" ends on top.
    void load(Profile& profile);
    // Writes the entries as values "1", "2", ...; values past the list are left as they were.
    void store(Profile& profile) const;

private:
    std::vector<std::string> paths_;
};

// The one path of a command line: the text inside leading double quotes (the whole line when
// the closing quote is missing), else the text before the first blank.
std::string pathFromCommandLine(const std::string& commandLine);
