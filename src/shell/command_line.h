// The program's command line: options, and the one program argument ("log", or a drawing or
// report file to open).
#pragma once

#include <QString>
#include <QStringList>

namespace tolvane {

struct ProgramOptions {
    QString home;       // --home DIR
    QString batchFile;  // --batch FILE ("-" = standard input)
    bool batch = false;
    // --merge KIND FILE: merge the database FILE into the project-manager ("PM") or equipment
    // ("EQUIPMENT") database the settings name (the shared server's, in shared mode), headless.
    QString mergeKind;
    QString mergeFile;
    bool help = false;
    bool version = false;
    QString argument;  // the one program argument: all positional words joined by blanks
    QString error;     // a usage error ("unknown option --x"); empty when the line is fine
};

ProgramOptions parseProgramOptions(const QStringList& arguments);  // arguments without argv[0]
QString usageText();

enum class ArgumentKind { None, Log, Drawing, UnsupportedDrawing, Report, Unknown };

// "log" only when the whole argument is exactly that; files by the upper-cased last four
// characters: ".DXF" a drawing, ".RPX" a report, ".DWG" and ".VDF" drawings we cannot read.
ArgumentKind classifyArgument(const QString& argument);

// An absolute, canonical path (symbolic links and ".." resolved where the file exists).
QString normalisePath(const QString& path);

// The message for an argument that is not a file Tolvane opens; empty for the others.
QString argumentMessage(const QString& argument, ArgumentKind kind);

}  // namespace tolvane
