// The windows of the project check and of the signal trace. The check window lists the
// findings grouped by kind; activating one opens its drawing and zooms to the entity, and the
// safe fixes (release an orphaned cable row, correct a stale number text) act on the chosen
// line. The trace window takes a system and a pin and shows the ordered path. Both only call
// the wiring services.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "db/database.h"
#include "wiring/project_check.h"
#include "wiring/signal_trace.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tolvane {

class Drawing;
class ErrorHandler;
class Ui;

struct CheckWindowServices {
    // The registered drawings, the open ones with their documents.
    std::function<QList<wiring::DrawingSource>()> sources;
    // Opens the drawing (or brings its window forward) and zooms to the entity when one is
    // named; the drawing, or null when it could not be opened.
    std::function<Drawing*(const QString& path, const QString& handle)> show;
    // Selects these entities (by drawing path) in every open drawing, and nothing else there.
    std::function<void(const QHash<QString, QStringList>& handles)> highlight;
    // Where the entity of an open drawing is on the screen (global); empty when it is not
    // shown.
    std::function<QRect(const QString& path, const QString& handle)> onScreen;
};

class ProjectCheckWindow : public QDialog {
    Q_OBJECT
  public:
    ProjectCheckWindow(Ui& ui, CheckWindowServices services, db::Connections& registry,
                       QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // Reads the drawings and checks the project again.
    void runCheck();
    const QList<wiring::Finding>& findings() const { return findings_; }

  private:
    const wiring::Finding* chosen() const;
    void activated(QTreeWidgetItem* item);
    void release();
    void correct();
    void updateButtons();
    QString pathOf(const QString& title) const;
    // Shows the entity in its drawing and moves this window clear of it.
    void showClear(const QString& path, const QString& handle);

    Ui& ui_;
    CheckWindowServices services_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    wiring::ProjectScan scan_;
    QList<wiring::Finding> findings_;
    QTreeWidget* list_;
    QLabel* summary_;
    QPushButton* release_;
    QPushButton* correct_;
};

class SignalTraceWindow : public QDialog {
    Q_OBJECT
  public:
    SignalTraceWindow(Ui& ui, CheckWindowServices services, db::Connections& registry,
                      QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }
    // Traces from the system and pin entered. The drawings are read at the first trace and
    // kept while the window is open: it is modal, so they cannot change under it.
    void trace();
    // Traces from this connector (a cable's source end, say).
    void startFrom(const QString& system, const QString& pin);

  private:
    // A place of the path: its drawing opened at it, and the whole path highlighted on every
    // open drawing.
    void showStep(int step);

    Ui& ui_;
    CheckWindowServices services_;
    db::Connections& registry_;
    ErrorHandler* errors_ = nullptr;
    std::unique_ptr<wiring::ProjectScan> scan_;
    std::unique_ptr<wiring::SignalTrace> tracer_;  // over scan_
    wiring::TraceResult result_;
    QLineEdit* system_;
    QLineEdit* pin_;
    QTreeWidget* path_;
    QLabel* message_;
};

}  // namespace tolvane
