// Fuzz target for the text formats Tolvane reads from users: batch scripts, the keyboard
// shortcut file, the tips file and the program's command line. None of them may crash or
// hang on any input. Built with libFuzzer when TOLVANE_FUZZ is on (clang); otherwise a small
// runner feeds it the files of the corpus folder as a regression test.
#include <QCoreApplication>
#include <QString>
#include <cstddef>
#include <cstdint>

#include "app/tips_window.h"
#include "drawings/command_aliases.h"
#include "shell/command_line.h"
#include "ui/script_ui.h"
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
    return 0;
}

#include "corpus_main.h"
