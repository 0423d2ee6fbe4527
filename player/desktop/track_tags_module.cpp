// The entry point of libchromola_tags.so: a file's title and artists through
// TagLib. A module of its own, loaded with the first track whose tags are
// asked for (track_tags.cpp), so that TagLib is no part of the start.
#include <QString>
#include <QStringList>

#include <exception>
#include <type_traits>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include "desktop/track_tags.h"

namespace {

QString FromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true)).trimmed();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void chromola_read_track_tags(
    const char* path, chromola::TrackTags* tags) {
    static_assert(std::is_same_v<decltype(&chromola_read_track_tags), chromola::ReadTrackTagsFn>);
    try {
        const TagLib::FileRef file(path, false);
        if (file.isNull()) {
            return;
        }
        const TagLib::PropertyMap properties = file.file()->properties();
        if (const auto title = properties.find("TITLE"); title != properties.end()) {
            tags->title = FromTagLib(title->second.toString(" "));
        }
        if (const auto artists = properties.find("ARTIST"); artists != properties.end()) {
            for (const TagLib::String& artist : artists->second) {
                if (const QString name = FromTagLib(artist); !name.isEmpty()) {
                    tags->artists << name;
                }
            }
        }
    } catch (const std::exception&) {
        // No tags, then: the file name stands in.
    }
}
