// The master error handler.
#include "shell/error_handler.h"

#include <cstdio>
#include <cstdlib>

#include "shell/event_log.h"
#include "ui/ui.h"

namespace tolvane {

QString ErrorHandler::logLine(const AppError& e, const QString& procedure) {
    return QStringLiteral("Error #: %1 %2 In module <%3>")
        .arg(QString::number(e.number()), e.description(), procedure);
}

QString ErrorHandler::messageText(const AppError& e, const QString& procedure) {
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Error #: ") + QString::number(e.number()) + QLatin1Char(' ') + crlf +
           e.description() + crlf + QStringLiteral("In module <") + procedure + QLatin1Char('>') +
           crlf + QStringLiteral("Tolvane cannot continue and will close down.") + crlf +
           QStringLiteral("Attempt to save open drawings and reports?");
}

void ErrorHandler::handleCurrent(const QString& procedure, bool keepRunning) {
    try {
        throw;
    } catch (const Cancelled& c) {
        // The user chose to end the operation: not a failure.
        if (log_.enabled())
            log_.log(QStringLiteral("Cancelled in <%1>: %2")
                         .arg(procedure, QString::fromLocal8Bit(c.what())));
    } catch (const AppError& e) {
        if (e.endsActionOnly()) {
            // A full or read-only disk, a server gone: the action is undone, the program goes
            // on, and the user is told why.
            if (log_.enabled()) log_.log(logLine(e, procedure));
            ui_.message(e.description(), MsgButtons::Ok, MsgIcon::Critical);
            return;
        }
        handle(e, procedure, keepRunning);
    } catch (const std::exception& e) {
        handle(AppError(err::kInternal, QString::fromLocal8Bit(e.what())), procedure, keepRunning);
    }
}

void ErrorHandler::handle(const AppError& error, const QString& procedure, bool keepRunning) {
    const auto end = [this](int status) {
        if (endProgram_) {
            endProgram_(status);
        } else {
            std::fflush(stdout);
            std::exit(status);
        }
    };
    // An error raised while the handler runs (a failing close, say) ends the program at once:
    // it has been reported already.
    if (depth_ > 0) {
        end(1);
        return;
    }
    ++depth_;
    if (log_.enabled()) log_.log(logLine(error, procedure));
    const MsgButton answer =
        ui_.message(messageText(error, procedure), MsgButtons::YesNo, MsgIcon::Critical);
    if (answer == MsgButton::Yes) {
        const bool closed = !closeMainWindow_ || closeMainWindow_();
        // A Cancel on a drawing's save question keeps the program running with its unsaved
        // work: ending anyway would lose what the user has just chosen to keep.
        if (batch_ || (closed && !keepRunning)) {
            --depth_;
            end(1);
            return;
        }
        --depth_;
        return;
    }
    --depth_;
    end(1);
}

}  // namespace tolvane
