// Tolvane: wiring design and documentation for audio, video and broadcast installations.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

#include "app/shell/application.h"
#include "cad/heap_pages.h"
#include "shell/command_line.h"

namespace {
QtMessageHandler defaultHandler = nullptr;

// The offscreen platform of batch runs says, for every window, which window-manager requests
// it ignores; those lines say nothing to a user.
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (defaultHandler) defaultHandler(type, context, text);
}
}  // namespace

int main(int argc, char** argv) {
    tolvane::cad::keepFreedMemoryInHeap();
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const tolvane::ProgramOptions options = tolvane::parseProgramOptions(args);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tolvane: %s\n%s", qPrintable(options.error),
                     qPrintable(tolvane::usageText()));
        return 64;
    }
    if (options.help) {
        std::fputs(qPrintable(tolvane::usageText()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("Tolvane %d.%d.%d\n", TOLVANE_VERSION_MAJOR, TOLVANE_VERSION_MINOR,
                    TOLVANE_VERSION_PATCH);
        return 0;
    }
    // Batch runs never show a window.
    if (options.batch || !options.mergeKind.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        defaultHandler = qInstallMessageHandler(quietOffscreen);
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir::tempPath() + QStringLiteral("/tolvane-runtime-%1").arg(getuid());
        QDir().mkpath(dir);
        QFile::setPermissions(
            dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setOrganizationName(QStringLiteral("Tolvane"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(TOLVANE_VERSION_MAJOR)
                                            .arg(TOLVANE_VERSION_MINOR)
                                            .arg(TOLVANE_VERSION_PATCH));
    QApplication::setQuitOnLastWindowClosed(false);
    tolvane::Application tolvane(options);
    return tolvane.run();
}
