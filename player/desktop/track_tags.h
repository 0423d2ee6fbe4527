// What the desktop shows of a track: its title and artists from the file's
// tags (any format TagLib reads, tracker modules included), else the file
// name as the title. TagLib lives in a module beside the program,
// libchromola_tags.so, loaded with the first track whose tags are read;
// without it every track goes by its file name.
#pragma once

#include <QString>
#include <QStringList>

namespace chromola {

struct TrackTags {
    QString title;
    QStringList artists;  // empty when the file names none
};

TrackTags ReadTrackTags(const QString& path);

// The module's one exported function: fills what the tags of the file at
// `path` (in the file system's encoding) name; leaves the rest alone.
using ReadTrackTagsFn = void (*)(const char* path, TrackTags* tags);
inline constexpr char kTrackTagsModuleFileName[] = "libchromola_tags.so";
inline constexpr char kReadTrackTagsSymbol[] = "chromola_read_track_tags";

}  // namespace chromola
