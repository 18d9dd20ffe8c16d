#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

class SerialFileReader;

// Offsets in a block of the first chunk marker starting at an even and at an odd offset, with
// both its bytes in the block; the block's length where there is none.
struct FirstMarkers {
    std::size_t even = 0;
    std::size_t odd = 0;
};

FirstMarkers findFirstMarkers(const std::uint8_t* bytes, std::size_t length);

// Searches one file for the cursors where readings stepping by 2 meet a marker. It remembers the
// long stretches it found without one, for each parity of cursor: the readings of both parities,
// and the probes of a seek that land in one damaged stretch one after another, cross it once.
class MarkerSearch {
public:
    explicit MarkerSearch(SerialFileReader& file) : file_(file) {}

    // Where a reading at `from` next stops, stepping by 2 over bytes without a marker: the first
    // such cursor holding a marker, or one where reading ends (at the end of the file), or else
    // the first at or after `limit` (never further, so that readings can meet there). A failed
    // read ends the search; the file then tells.
    std::uint64_t nextCursor(std::uint64_t from, std::uint64_t limit);

private:
    // No cursor in [from, to) holds a marker; `to` holds one when markerAtTo. Both have the
    // stretch's parity.
    struct Stretch {
        std::uint64_t from = 0;
        std::uint64_t to = 0;
        bool markerAtTo = false;
    };

    std::optional<Stretch> holding(std::uint64_t cursor) const;
    void remember(const Stretch& stretch);

    SerialFileReader& file_;
    // By where they start, for each parity.
    std::map<std::uint64_t, Stretch> stretches_[2];
};
