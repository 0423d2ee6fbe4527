#include "desktop/track_tags.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

namespace chromola {

namespace {

QString FromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true)).trimmed();
}

}  // namespace

TrackTags ReadTrackTags(const QString& path) {
    TrackTags tags;
    // Only a file a decoder could read: a pipe would block TagLib for ever.
    if (QFileInfo(path).isFile()) {
        const TagLib::FileRef file(QFile::encodeName(path).constData(), false);
        if (!file.isNull()) {
            const TagLib::PropertyMap properties = file.file()->properties();
            if (const auto title = properties.find("TITLE"); title != properties.end()) {
                tags.title = FromTagLib(title->second.toString(" "));
            }
            if (const auto artists = properties.find("ARTIST"); artists != properties.end()) {
                for (const TagLib::String& artist : artists->second) {
                    if (const QString name = FromTagLib(artist); !name.isEmpty()) {
                        tags.artists << name;
                    }
                }
            }
        }
    }
    if (tags.title.isEmpty()) {
        tags.title = QFileInfo(path).fileName();
    }
    return tags;
}

}  // namespace chromola
