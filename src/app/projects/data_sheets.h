// The data sheets the program offers and the one place that opens them: each sheet's query,
// table, hidden columns and caption suffix, whether the user may edit and delete in it, the
// rule its edits must keep, and what deleting a row or closing the sheet does. Sheets open as child
// windows of the main window; a sheet already open comes to the front instead of a second one.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "app/projects/data_sheet_window.h"
#include "equipment/library_access.h"

class QMdiArea;

namespace tolvane {

class Ui;
class ErrorHandler;
struct RunState;

// The file that keeps the project cables sheet's column layout.
QString projectCablesLayoutFile(const RunState& run);

class DataSheets : public QObject {
    Q_OBJECT
  public:
    struct Services {
        RunState& run;
        Ui& ui;
        ErrorHandler* errors;
        QMdiArea* mdi;  // null: sheets are shown as windows of their own (tests)
        // The permission check of the run; quietly asked. Empty: everything is allowed.
        std::function<bool(const QString& key, bool quiet)> allowed;
        db::Connections& registry;
        // Shows the cable of a project cables row on its drawing (the sheet its record names,
        // the cable's number for messages). Empty: the sheet offers no such command.
        std::function<void(const QString& sheet, qint64 cableId, const QString& number)> showCable =
            {};
    };
    explicit DataSheets(Services services, QObject* parent = nullptr);

    // Opens the sheet (or brings it to the front); null when it could not be opened (the
    // user was told why).
    DataSheetWindow* open(SheetKind kind);
    DataSheetWindow* find(SheetKind kind) const;

  private:
    bool allowed(const QString& key) const;
    equipment::LibraryAccess access() const;
    void prepare(SheetKind kind, DataSheetWindow& sheet);
    void prepareSystems(DataSheetWindow& sheet);

    Services s_;
    QList<QPointer<DataSheetWindow>> sheets_;
};

}  // namespace tolvane
