#include "beats/beat_cache.h"

#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace chromola::beats {

namespace fs = std::filesystem;

namespace {

// 2: a module's grid is its own rows where its timing is steady; the grids
// found before by ear are found again.
constexpr char kMagic[8] = {'C', 'H', 'R', 'B', 'E', 'A', 'T', '2'};
constexpr std::uint64_t kMaxBeats = 1u << 20;  // ~6 days at 180 BPM
constexpr std::uint32_t kMaxPath = 1u << 16;

std::uint64_t Fnv1a(const unsigned char* data, std::size_t size) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

template <class T>
void Put(std::vector<unsigned char>& out, T value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

// Reads what Put wrote; false once the data runs out.
class Reader {
  public:
    explicit Reader(const std::vector<unsigned char>& data) : data_(data) {}
    template <class T>
    bool Get(T& value) {
        if (data_.size() - at_ < sizeof(T))
            return false;
        std::memcpy(&value, data_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return true;
    }
    bool Bytes(std::string& out, std::size_t size) {
        if (data_.size() - at_ < size)
            return false;
        out.assign(reinterpret_cast<const char*>(data_.data() + at_), size);
        at_ += size;
        return true;
    }
    void Skip(std::size_t size) { at_ = std::min(data_.size(), at_ + size); }
    std::size_t At() const { return at_; }

  private:
    const std::vector<unsigned char>& data_;
    std::size_t at_ = 0;
};

std::vector<unsigned char> Encode(const FileIdentity& identity, const BeatGrid& grid) {
    std::vector<unsigned char> out(std::begin(kMagic), std::end(kMagic));
    Put<std::uint32_t>(out, static_cast<std::uint32_t>(identity.path.size()));
    out.insert(out.end(), identity.path.begin(), identity.path.end());
    Put<std::uint64_t>(out, identity.size);
    Put<std::int64_t>(out, identity.modified);
    Put<double>(out, grid.bpm);
    Put<std::uint64_t>(out, grid.beats.size());
    for (double t : grid.beats)
        Put<double>(out, t);
    Put<std::uint64_t>(out, Fnv1a(out.data(), out.size()));
    return out;
}

std::optional<BeatGrid> Decode(const std::vector<unsigned char>& data,
                               const FileIdentity& expected) {
    if (data.size() < sizeof(kMagic) + sizeof(std::uint64_t) ||
        std::memcmp(data.data(), kMagic, sizeof(kMagic)) != 0)
        return std::nullopt;
    const std::size_t body = data.size() - sizeof(std::uint64_t);
    std::uint64_t checksum = 0;
    std::memcpy(&checksum, data.data() + body, sizeof(checksum));
    if (checksum != Fnv1a(data.data(), body))
        return std::nullopt;
    Reader in(data);
    in.Skip(sizeof(kMagic));  // checked above
    FileIdentity identity;
    std::uint32_t pathSize = 0;
    std::uint64_t count = 0;
    BeatGrid grid;
    if (!in.Get(pathSize) || pathSize > kMaxPath || !in.Bytes(identity.path, pathSize) ||
        !in.Get(identity.size) || !in.Get(identity.modified) || !in.Get(grid.bpm) ||
        !in.Get(count) || count > kMaxBeats || !(identity == expected))
        return std::nullopt;
    grid.beats.resize(count);
    for (double& t : grid.beats)
        if (!in.Get(t))
            return std::nullopt;
    if (in.At() != body)
        return std::nullopt;
    return grid;
}

bool IsEntry(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    return name.starts_with("beats-") && name.ends_with(".bin");
}

}  // namespace

BeatCache::BeatCache(fs::path folder, std::uint64_t maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

fs::path BeatCache::DefaultFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return fs::path(xdg) / "chromola";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "/tmp") / ".cache" / "chromola";
}

std::optional<FileIdentity> BeatCache::IdentityOf(const fs::path& file) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error)
        return std::nullopt;
    const auto modified = fs::last_write_time(file, error);
    if (error)
        return std::nullopt;
    return FileIdentity{
        file.string(), size,
        std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count()};
}

fs::path BeatCache::EntryFor(const FileIdentity& identity) const {
    const auto hash =
        Fnv1a(reinterpret_cast<const unsigned char*>(identity.path.data()), identity.path.size());
    char name[40];
    std::snprintf(name, sizeof(name), "beats-%016llx.bin", static_cast<unsigned long long>(hash));
    return folder_ / name;
}

std::optional<BeatGrid> BeatCache::Load(const FileIdentity& identity) const {
    const fs::path entry = EntryFor(identity);
    std::error_code error;
    const auto size = fs::file_size(entry, error);
    if (error || size > maxBytes_)
        return std::nullopt;
    std::ifstream file(entry, std::ios::binary);
    std::vector<unsigned char> data(static_cast<std::size_t>(size));
    if (!file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size)))
        return std::nullopt;
    auto grid = Decode(data, identity);
    if (grid)
        fs::last_write_time(entry, fs::file_time_type::clock::now(), error);  // recently used
    return grid;
}

bool BeatCache::Store(const FileIdentity& identity, const BeatGrid& grid) const {
    std::error_code error;
    fs::create_directories(folder_, error);
    const fs::path entry = EntryFor(identity);
    fs::path temporary = entry;
    // A name of this process and call alone: two writers never share one.
    temporary += ".tmp" + std::to_string(getpid()) + "-" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(&grid));
    const auto data = Encode(identity, grid);
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file.write(reinterpret_cast<const char*>(data.data()),
                        static_cast<std::streamsize>(data.size())) ||
            !file.flush()) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, entry, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    Trim();
    return true;
}

void BeatCache::Trim() const {
    struct Entry {
        fs::path path;
        fs::file_time_type used;
        std::uint64_t size;
    };
    std::vector<Entry> entries;
    std::uint64_t total = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        std::error_code e;
        if (!IsEntry(entry) || !entry.is_regular_file(e))
            continue;
        const auto size = entry.file_size(e);
        const auto used = entry.last_write_time(e);
        if (e)
            continue;
        entries.push_back({entry.path(), used, size});
        total += size;
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.used < b.used; });
    for (const Entry& entry : entries) {
        if (total <= maxBytes_)
            break;
        if (fs::remove(entry.path, error))
            total -= entry.size;
    }
}

BeatGrid BeatCache::GridFor(const fs::path& file, const std::function<BeatGrid()>& analyse) const {
    const auto identity = IdentityOf(file);
    if (identity)
        if (auto cached = Load(*identity))
            return *cached;
    BeatGrid grid = analyse();
    if (identity)
        Store(*identity, grid);
    return grid;
}

}  // namespace chromola::beats
