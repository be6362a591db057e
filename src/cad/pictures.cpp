#include "cad/pictures.h"

#include <QFile>
#include <QImageReader>
#include <QMutexLocker>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <vector>

#include "cad/document.h"
#include "cad/regular_file.h"
#include "cad/search_folders.h"

namespace tolvane::cad {

QImage readPicture(const QString& file, bool* missing, QString* reason) {
    *missing = false;
    reason->clear();
    // A picture named by a path of another machine may be in one of the search folders.
    const QString found = locateFile(file);
    QFile f;
    if (!openRegularFile(found.isEmpty() ? file : found, f, reason, missing)) {
        if (*missing) reason->clear();
        return {};
    }
    if (f.size() > kMaxPictureFileBytes) {
        *reason = QStringLiteral("the file is larger than %1 MB").arg(kMaxPictureFileBytes >> 20);
        return {};
    }
    QImageReader reader(&f);
    const auto tooLarge = [&](QSize s) {
        if (qint64(s.width()) * s.height() <= kMaxPicturePixels) return false;
        *reason = QStringLiteral("%1 x %2 pixels are more than %3 million")
                      .arg(s.width())
                      .arg(s.height())
                      .arg(kMaxPicturePixels / 1000000);
        return true;
    };
    if (tooLarge(reader.size())) return {};  // from the header, before any pixel is read
    QImage image = reader.read();
    if (image.isNull()) {
        *reason =
            QStringLiteral("it is not a picture that can be read (%1)").arg(reader.errorString());
        return {};
    }
    if (tooLarge(image.size())) return {};
    return image;
}

Pictures& Pictures::instance() {
    static Pictures pictures;
    return pictures;
}

Pictures::Pictures() {
    readers_.setMaxThreadCount(2);
}

Pictures::~Pictures() {
    readers_.waitForDone();
}

QImage Pictures::picture(const QString& file, PictureState* state) {
    QMutexLocker lock(&mutex_);
    auto it = entries_.find(file);
    if (it == entries_.end()) {
        entries_.insert(file, Entry{});
        *state = PictureState::Reading;
        readers_.start([this, file] {
            bool missing = false;
            QString reason;
            const QImage image = readPicture(file, &missing, &reason);
            store(file, image, missing, reason);
            Q_EMIT ready(file);
        });
        return {};
    }
    it->lastUse = ++uses_;
    *state = it->state;
    return it->image;
}

QList<PictureRefusal> Pictures::load(const QStringList& files) {
    QList<PictureRefusal> refused;
    for (const QString& file : files) {
        {
            QMutexLocker lock(&mutex_);
            const auto it = entries_.constFind(file);
            // One a worker is reading is read here too: the caller needs it now.
            if (it != entries_.cend() && it->state != PictureState::Reading) {
                if (it->state == PictureState::Refused) refused.append({file, it->reason});
                continue;
            }
        }
        bool missing = false;
        QString reason;
        const QImage image = readPicture(file, &missing, &reason);
        store(file, image, missing, reason);
        if (image.isNull() && !missing) refused.append({file, reason});
    }
    return refused;
}

void Pictures::store(const QString& file, const QImage& image, bool missing,
                     const QString& reason) {
    QMutexLocker lock(&mutex_);
    Entry& e = entries_[file];
    keptBytes_ -= e.image.sizeInBytes();
    e.image = image;
    e.reason = reason;
    e.state = !image.isNull() ? PictureState::Ready
              : missing       ? PictureState::Missing
                              : PictureState::Refused;
    e.lastUse = ++uses_;
    keptBytes_ += image.sizeInBytes();
    if (keptBytes_ <= kMaxKeptPictureBytes) return;
    // The least recently drawn go first; the one just read stays.
    std::vector<std::pair<quint64, QString>> byUse;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        if (it->state == PictureState::Ready && it.key() != file)
            byUse.emplace_back(it->lastUse, it.key());
    }
    std::sort(byUse.begin(), byUse.end());
    for (const auto& [use, name] : byUse) {
        if (keptBytes_ <= kMaxKeptPictureBytes) break;
        keptBytes_ -= entries_.value(name).image.sizeInBytes();
        entries_.remove(name);
    }
}

QString Pictures::refusal(const QString& file) const {
    QMutexLocker lock(&mutex_);
    return entries_.value(file).reason;
}

void Pictures::clear() {
    readers_.waitForDone();
    QMutexLocker lock(&mutex_);
    entries_.clear();
    keptBytes_ = 0;
}

namespace {

void addFiles(const std::vector<Entity>& list, QSet<QString>* seen, QStringList* out) {
    for (const Entity& e : list) {
        if (e.kind != EntityKind::Image || e.detail->fileName.isEmpty()) continue;
        if (!seen->contains(e.detail->fileName)) {
            seen->insert(e.detail->fileName);
            out->append(e.detail->fileName);
        }
    }
}

}  // namespace

QStringList pictureFiles(const Document& doc, const Space& space) {
    QSet<QString> seen;
    QStringList files;
    addFiles(space.entities, &seen, &files);
    for (const Block& b : doc.blocks()) addFiles(b.entities, &seen, &files);
    return files;
}

QList<PictureRefusal> loadPictures(const Document& doc) {
    QSet<QString> seen;
    QStringList files;
    addFiles(doc.modelSpace().entities, &seen, &files);
    for (const Space& s : doc.layouts()) addFiles(s.entities, &seen, &files);
    for (const Block& b : doc.blocks()) addFiles(b.entities, &seen, &files);
    return Pictures::instance().load(files);
}

QString refusedPicturesMessage(const QList<PictureRefusal>& refused) {
    if (refused.isEmpty()) return {};
    QStringList lines;
    for (const PictureRefusal& r : refused.mid(0, 10))
        lines << QStringLiteral("%1: %2").arg(r.file, r.reason);
    if (refused.size() > 10) lines << QStringLiteral("and %1 more").arg(refused.size() - 10);
    return QStringLiteral(
               "Some pictures of this drawing are not shown; their frames stand in "
               "for them:\n") +
           lines.join(QLatin1Char('\n'));
}

}  // namespace tolvane::cad
