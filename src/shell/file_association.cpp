// The DXF file association.
#include "shell/file_association.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace tolvane {

namespace {
const QString kMime = QStringLiteral("image/vnd.dxf");
const QString kDesktopName = QStringLiteral("tolvane.desktop");

QString xdgHome(const char* var, const QString& fallback) {
    const QString v = qEnvironmentVariable(var);
    return v.isEmpty() ? QDir::homePath() + fallback : v;
}

// Sets "mime=desktop" in the [Default Applications] group of mimeapps.list, keeping the rest.
bool writeMimeApps(const QString& file) {
    QStringList lines;
    QFile in(file);
    if (in.open(QIODevice::ReadOnly | QIODevice::Text))
        lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    int group = lines.indexOf(QStringLiteral("[Default Applications]"));
    if (group < 0) {
        if (!lines.isEmpty()) lines << QString();
        lines << QStringLiteral("[Default Applications]");
        group = lines.size() - 1;
    }
    int end = group + 1;
    while (end < lines.size() && !lines[end].startsWith(QLatin1Char('['))) ++end;
    const QString entry = kMime + QLatin1Char('=') + kDesktopName;
    bool replaced = false;
    for (int i = group + 1; i < end; ++i)
        if (lines[i].startsWith(kMime + QLatin1Char('='))) {
            lines[i] = entry;
            replaced = true;
        }
    if (!replaced) lines.insert(end, entry);
    QDir().mkpath(QFileInfo(file).path());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return out.commit();
}
}  // namespace

AssociationResult registerDxfAssociation(const QString& program, const QString& icon) {
    AssociationResult r;
    const QString apps =
        xdgHome("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QStringLiteral("/applications");
    if (!QDir().mkpath(apps)) {
        r.detail = QStringLiteral("%1 cannot be created").arg(apps);
        return r;
    }
    r.desktopFile = apps + QLatin1Char('/') + kDesktopName;
    QSaveFile desktop(r.desktopFile);
    if (!desktop.open(QIODevice::WriteOnly | QIODevice::Text)) {
        r.detail = desktop.errorString();
        return r;
    }
    QTextStream s(&desktop);
    s << "[Desktop Entry]\n"
      << "Type=Application\n"
      << "Name=Tolvane\n"
      << "GenericName=AV Wiring Design\n"
      << "Comment=Design and document the wiring of audio, video and broadcast systems\n"
      << "Exec=\"" << program << "\" %f\n"
      << "Icon=" << icon << "\n"
      << "Terminal=false\n"
      << "Categories=Graphics;Engineering;\n"
      << "MimeType=" << kMime << ";\n";
    s.flush();
    if (!desktop.commit()) {
        r.detail = desktop.errorString();
        return r;
    }
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    bool ok = false;
    if (!xdgMime.isEmpty()) {
        ok = QProcess::execute(xdgMime, {QStringLiteral("default"), kDesktopName, kMime}) == 0;
    }
    if (!ok) {
        const QString list = xdgHome("XDG_CONFIG_HOME", QStringLiteral("/.config")) +
                             QStringLiteral("/mimeapps.list");
        ok = writeMimeApps(list);
        if (!ok) r.detail = QStringLiteral("%1 cannot be written").arg(list);
    }
    const QString update =
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!update.isEmpty()) QProcess::execute(update, {apps});
    r.ok = ok;
    return r;
}

}  // namespace tolvane
