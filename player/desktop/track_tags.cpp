#include "desktop/track_tags.h"

#include <dlfcn.h>

#include <cstdio>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace chromola {

namespace {

// TagLib's module beside the program, loaded once (never closed); null when
// it cannot be loaded, and tracks then go by their file names.
ReadTrackTagsFn TagReader() {
    static const ReadTrackTagsFn read = []() -> ReadTrackTagsFn {
        const QByteArray path =
            QFile::encodeName(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                              QLatin1String(kTrackTagsModuleFileName));
        void* module = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        const auto read =
            module != nullptr
                ? reinterpret_cast<ReadTrackTagsFn>(dlsym(module, kReadTrackTagsSymbol))
                : nullptr;
        if (read == nullptr) {
            const char* why = dlerror();
            std::fprintf(stderr, "chromola: cannot load %s (%s): tracks go by their file names\n",
                         path.constData(), why != nullptr ? why : "no entry point");
        }
        return read;
    }();
    return read;
}

}  // namespace

TrackTags ReadTrackTags(const QString& path) {
    TrackTags tags;
    // Only a file a decoder could read: a pipe would block TagLib for ever.
    if (QFileInfo(path).isFile()) {
        if (const ReadTrackTagsFn read = TagReader()) {
            read(QFile::encodeName(path).constData(), &tags);
        }
    }
    if (tags.title.isEmpty()) {
        tags.title = QFileInfo(path).fileName();
    }
    return tags;
}

}  // namespace chromola
