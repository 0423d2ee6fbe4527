// What the desktop shows of a track: its title and artists from the file's
// tags (any format TagLib reads, tracker modules included), else the file
// name as the title.
#pragma once

#include <QString>
#include <QStringList>

namespace chromola {

struct TrackTags {
    QString title;
    QStringList artists;  // empty when the file names none
};

TrackTags ReadTrackTags(const QString& path);

}  // namespace chromola
