// Fuzz target for the text formats Tolvane reads from users: batch scripts, the keyboard
// shortcut file, the tips file, the program's command line and the library exchange files (read
// and checked line by line as an import does before it writes).
// None of them may crash or hang on any input, and a well-formed exchange record must read
// back unchanged after it is written again. Built with libFuzzer when TOLVANE_FUZZ is on (clang);
// otherwise a small runner feeds it the files of the corpus folder as a regression test.
#include <QCoreApplication>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/shell/tips_window.h"
#include "drawings/command_aliases.h"
#include "equipment/csv.h"
#include "equipment/library_exchange.h"
#include "front/script_ui.h"
#include "shell/command_line.h"
#include "ui/ui.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const tolvane::Script script = tolvane::parseScript(text);
    for (const auto& line : script.lines) {
        tolvane::parsePoint(line.rest);
        tolvane::buttonFromName(line.rest);
    }
    tolvane::CommandAliases aliases;
    aliases.apply(text);
    aliases.match(text.left(3).toUpper());
    tolvane::parseTips(text);
    const auto options = tolvane::parseProgramOptions(text.split(QLatin1Char(' ')));
    tolvane::classifyArgument(options.argument);
    for (const auto& record : tolvane::equipment::parseCsv(text)) {
        // A record of one empty field ("") is written as a blank line, which is no record.
        if (!record.error.isEmpty() || record.fields == QStringList{QString()}) continue;
        const auto again = tolvane::equipment::parseCsv(tolvane::equipment::csvLine(record.fields));
        if (again.size() != 1 || again.first().fields != record.fields) std::abort();
    }
    // The checks an import makes before it asks the library, under every file's columns.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& file : tolvane::equipment::LibraryExchange::fileNames())
        tolvane::equipment::LibraryExchange::checkText(file, bytes);
    return 0;
}

#include "corpus_main.h"
