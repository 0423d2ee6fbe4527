// Beat grids kept on disk between runs, so a track played again costs no
// analysis.
//
// Contract
// - One file per analysed track in the cache folder (DefaultFolder():
//   $XDG_CACHE_HOME/chromola, else ~/.cache/chromola), named after a hash of
//   the track's path, holding the track's identity (path, size, modification
//   time), its grid and a checksum over all of it.
// - Load gives a grid only for an entry whose identity matches and whose
//   checksum holds: a damaged, truncated or foreign file, or one left by an
//   older version of the file (another size or time), reads as absent and the
//   next Store rewrites it.
// - Store writes the entry whole or not at all (a temporary file renamed over
//   it), then removes the least recently used entries until the folder's
//   entries take at most maxBytes. Load marks an entry as used.
// - Errors (no folder, no space, no permission) are reported as "absent" or
//   false, never thrown. Several objects on one folder are safe to use from
//   several threads and processes as far as the file system's renames are.
#pragma once

#include "beats/beat_grid.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace chromola::beats {

struct FileIdentity {
    std::string path;           // as given: the cache tells two names of one file apart
    std::uint64_t size = 0;     // bytes
    std::int64_t modified = 0;  // nanoseconds of the file system's clock
    bool operator==(const FileIdentity&) const = default;
};

class BeatCache {
  public:
    static constexpr std::uint64_t kDefaultMaxBytes = 8u << 20;

    explicit BeatCache(std::filesystem::path folder, std::uint64_t maxBytes = kDefaultMaxBytes);
    static std::filesystem::path DefaultFolder();
    // The identity of a file as it is now; none when it cannot be read.
    static std::optional<FileIdentity> IdentityOf(const std::filesystem::path& file);

    std::optional<BeatGrid> Load(const FileIdentity& identity) const;
    bool Store(const FileIdentity& identity, const BeatGrid& grid) const;
    // The grid of `file` from the cache, else from `analyse` (stored then).
    BeatGrid GridFor(const std::filesystem::path& file,
                     const std::function<BeatGrid()>& analyse) const;

    std::filesystem::path EntryFor(const FileIdentity& identity) const;

  private:
    void Trim() const;

    std::filesystem::path folder_;
    std::uint64_t maxBytes_;
};

}  // namespace chromola::beats
