// The raster pictures of IMAGE entities, read from their files once and kept for every render
// of every drawing. Painting never reads a file: it draws what is ready, and the image's
// frame in place of a picture that is still being read, missing or refused. A file is read on
// a worker thread when a render first asks for it (ready() tells when it is done), or at once
// by loadPictures: when a drawing opens, and before an export or a print, which must show
// the pictures.
//
// Only regular files are read: a FIFO or a device named as an image's file would block its
// reader for ever. A file larger than kMaxPictureFileBytes or a picture of more than
// kMaxPicturePixels is refused, with a reason the user is shown when the drawing opens. The
// pictures kept take at most about kMaxKeptPictureBytes: beyond it the least recently drawn
// are let go, and read again when they are drawn again.
#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>

namespace tolvane::cad {

class Document;
struct Space;

constexpr qint64 kMaxPictureFileBytes = qint64(256) << 20;
constexpr qint64 kMaxPicturePixels = qint64(64) << 20;  // 256 MB as 32-bit pixels
constexpr qint64 kMaxKeptPictureBytes = qint64(1) << 30;

// A picture file that is not shown, and why.
struct PictureRefusal {
    QString file;
    QString reason;
};

enum class PictureState {
    Reading,  // asked for, not read yet
    Ready,
    Missing,  // no such file (shown crossed out, as it always was)
    Refused,  // see refusal()
};

// Reads one picture within the limits above. On failure a null image, *missing set when
// there is no such file, and *reason saying why otherwise.
QImage readPicture(const QString& file, bool* missing, QString* reason);

class Pictures : public QObject {
    Q_OBJECT
  public:
    static Pictures& instance();
    ~Pictures() override;

    // The picture of a file when it has been read, else a null image; *state says which
    // case it is. A file not asked for before is queued for reading on a worker thread.
    // Never reads a file itself.
    QImage picture(const QString& file, PictureState* state);
    // Reads the files not read yet, here and now; those read already are not read again.
    // Returns the files refused among them.
    QList<PictureRefusal> load(const QStringList& files);
    // Why a file was refused; empty when it was not.
    QString refusal(const QString& file) const;
    // Forgets every picture, so that files are read afresh.
    void clear();

  Q_SIGNALS:
    // A picture queued by picture() has been read (or refused): views showing it draw
    // again. Sent from the worker thread.
    void ready(const QString& file);

  private:
    Pictures();
    struct Entry {
        PictureState state = PictureState::Reading;
        QImage image;
        QString reason;
        quint64 lastUse = 0;
    };
    void store(const QString& file, const QImage& image, bool missing, const QString& reason);

    mutable QMutex mutex_;
    QHash<QString, Entry> entries_;
    qint64 keptBytes_ = 0;
    quint64 uses_ = 0;
    QThreadPool readers_;  // last: waits for its readers before the rest goes
};

// The picture files of a space's images and of the images in every block, without repeats.
QStringList pictureFiles(const Document& doc, const Space& space);
// Reads the pictures of every space of a document now (see Pictures::load).
QList<PictureRefusal> loadPictures(const Document& doc);
// A message naming refused pictures and why (empty when there are none).
QString refusedPicturesMessage(const QList<PictureRefusal>& refused);

}  // namespace tolvane::cad
