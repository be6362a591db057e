#include "cad/search_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <mutex>

#include "cad/pictures.h"

namespace tolvane::cad {

namespace {

std::mutex lock;
QStringList folders;
QHash<QString, QString> fontFamilies;  // lower-case base name -> family

QString fileNameOf(const QString& path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

}  // namespace

void setSearchFolders(const QStringList& wanted) {
    QStringList kept;
    for (const QString& f : wanted) {
        const QString path = f.trimmed();
        if (!path.isEmpty() && QFileInfo(path).isDir()) kept << QFileInfo(path).absoluteFilePath();
    }
    {
        const std::lock_guard guard(lock);
        if (kept == folders) return;
        folders = kept;
        fontFamilies.clear();
        static const QStringList fontFiles{QStringLiteral("*.ttf"), QStringLiteral("*.otf"),
                                           QStringLiteral("*.ttc"), QStringLiteral("*.pfb")};
        // The first folder with a font of a name gives it, as for every other file.
        for (const QString& folder : folders) {
            const QFileInfoList files =
                QDir(folder).entryInfoList(fontFiles, QDir::Files | QDir::Readable, QDir::Name);
            for (const QFileInfo& file : files) {
                const QString base = file.completeBaseName().toLower();
                if (fontFamilies.contains(base)) continue;
                const QString family = fontFileFamily(file.absoluteFilePath());
                if (!family.isEmpty()) fontFamilies.insert(base, family);
            }
        }
    }
    // Pictures found missing before may be in the new folders.
    Pictures::instance().clear();
}

QString fontFileFamily(const QString& path) {
    static std::mutex knownLock;
    static QHash<QString, QString> known;
    const std::lock_guard guard(knownLock);
    if (const auto it = known.constFind(path); it != known.constEnd()) return *it;
    QString family;
    // Fonts can only be made known to a program that shows text.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const int id = QFontDatabase::addApplicationFont(path);
        const QStringList families =
            id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) family = families.first();
    }
    known.insert(path, family);
    return family;
}

QStringList searchFolders() {
    const std::lock_guard guard(lock);
    return folders;
}

QString findInSearchFolders(const QString& name) {
    const QString wanted = fileNameOf(name);
    if (wanted.isEmpty() || wanted == QLatin1String(".") || wanted == QLatin1String(".."))
        return {};
    for (const QString& folder : searchFolders()) {
        const QDir dir(folder);
        if (QFileInfo(dir.filePath(wanted)).isFile()) return dir.filePath(wanted);
        // Files named on another system differ in case more often than not.
        const QStringList entries = dir.entryList(QDir::Files);
        for (const QString& entry : entries) {
            if (entry.compare(wanted, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
        }
    }
    return {};
}

QString locateFile(const QString& file) {
    if (file.isEmpty()) return {};
    if (QFileInfo::exists(file)) return file;
    return findInSearchFolders(file);
}

QString searchFolderFontFamily(const QString& fileBase) {
    const std::lock_guard guard(lock);
    return fontFamilies.value(fileBase.toLower());
}

}  // namespace tolvane::cad
