// Command-line parsing.
#include "shell/command_line.h"

#include <QDir>
#include <QFileInfo>

namespace tolvane {

ProgramOptions parseProgramOptions(const QStringList& args) {
    ProgramOptions o;
    QStringList words;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--home") || a == QLatin1String("--batch")) {
            if (i + 1 >= args.size()) {
                o.error = QStringLiteral("option %1 needs a value").arg(a);
                return o;
            }
            if (a == QLatin1String("--home")) {
                o.home = args[++i];
            } else {
                o.batch = true;
                o.batchFile = args[++i];
            }
        } else if (a == QLatin1String("--merge")) {
            if (i + 2 >= args.size()) {
                o.error = QStringLiteral(
                    "option --merge needs a database (PM or EQUIPMENT) and a "
                    "file");
                return o;
            }
            o.mergeKind = args[++i].toUpper();
            o.mergeFile = args[++i];
            if (o.mergeKind != QLatin1String("PM") && o.mergeKind != QLatin1String("EQUIPMENT")) {
                o.error =
                    QStringLiteral("option --merge takes PM or EQUIPMENT, not %1").arg(args[i - 1]);
                return o;
            }
        } else if (a.startsWith(QLatin1String("--home="))) {
            o.home = a.mid(7);
        } else if (a.startsWith(QLatin1String("--batch="))) {
            o.batch = true;
            o.batchFile = a.mid(8);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.help = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else if (a.startsWith(QLatin1String("--")) ||
                   (a.startsWith(QLatin1Char('-')) && a.size() > 1)) {
            o.error = QStringLiteral("unknown option %1").arg(a);
            return o;
        } else {
            words << a;
        }
    }
    o.argument = words.join(QLatin1Char(' '));
    if (o.batch && o.batchFile.isEmpty()) o.error = QStringLiteral("option --batch needs a file");
    return o;
}

QString usageText() {
    return QStringLiteral(
        "Usage: tolvane [--home DIR] [--batch FILE | --merge PM|EQUIPMENT FILE] [ARG]\n"
        "  --home DIR    application folder (default $TOLVANE_HOME, else "
        "$XDG_DATA_HOME/tolvane)\n"
        "  --batch FILE  run FILE headless ('-' reads standard input)\n"
        "  --merge PM|EQUIPMENT FILE\n"
        "                merge the database FILE into the project-manager or equipment\n"
        "                database in use (the shared server's in shared mode), headless\n"
        "  ARG           'log' for the event log, or a .dxf drawing or .rpx report to open\n");
}

ArgumentKind classifyArgument(const QString& argument) {
    if (argument.isEmpty()) return ArgumentKind::None;
    if (argument == QLatin1String("log")) return ArgumentKind::Log;
    const QString ext = argument.right(4).toUpper();
    if (ext == QLatin1String(".DXF")) return ArgumentKind::Drawing;
    if (ext == QLatin1String(".DWG") || ext == QLatin1String(".VDF"))
        return ArgumentKind::UnsupportedDrawing;
    if (ext == QLatin1String(".RPX")) return ArgumentKind::Report;
    return ArgumentKind::Unknown;
}

QString normalisePath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString argumentMessage(const QString& argument, ArgumentKind kind) {
    switch (kind) {
        case ArgumentKind::UnsupportedDrawing:
            return QStringLiteral(
                       "%1 cannot be opened: the %2 drawing format is not supported.\r\n"
                       "Tolvane reads and writes drawings as DXF files (.dxf); save the drawing "
                       "as DXF in the program that made it.")
                .arg(argument, argument.right(3).toUpper());
        case ArgumentKind::Unknown:
            return QStringLiteral(
                       "The argument \"%1\" is not understood.\r\nTolvane takes \"log\" to write "
                       "its event log, or a drawing (.dxf) or report (.rpx) file to open.")
                .arg(argument);
        default:
            return {};
    }
}

}  // namespace tolvane
