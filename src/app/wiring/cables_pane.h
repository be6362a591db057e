// frmCables: the cable-drawing pane of the main window. It holds the settings the next cables
// are drawn with (repeat, automatic pointers, automatic placement and its distance, drawing
// by hand), starts a cable, and starts one with a jack, J-box, router or pointer placed on
// the fly at either end, asking for the jack or J-box style where the preferences name none.
// The drawing itself is the wiring service's; the main window runs it.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "wiring/cable_drawing.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

namespace tolvane {

class Ui;

class CablesPane : public QWidget {
    Q_OBJECT
  public:
    explicit CablesPane(Ui& ui, QWidget* parent = nullptr);

    // Shows the options (the user's preferences when the pane is set up).
    void setUp(const wiring::CableOptions& options);
    bool isSetUp() const { return setUp_; }
    // The options as the pane shows them now.
    wiring::CableOptions options() const;
    // The terminal asked for by the last terminal button (taken once).
    std::optional<wiring::Terminal> takeTerminal();

    // Runs the cable command (the main window routes it). start: Start was clicked.
    std::function<void()> start;
    std::function<void()> drawCables;

  private:
    void insertTerminal(wiring::TerminalKind kind);
    void confirmStyle();
    void distanceLeft();

    Ui& ui_;
    bool setUp_ = false;
    wiring::CableOptions options_;
    QCheckBox* repeat_;
    QCheckBox* autoPoint_;
    QCheckBox* autoPlace_;
    QLineEdit* distance_;
    QCheckBox* manualDraw_;
    QRadioButton* atSource_;
    QRadioButton* atDestination_;
    QGroupBox* styleFrame_;
    QList<QRadioButton*> styleOptions_;
    wiring::TerminalKind styleKind_ = wiring::TerminalKind::Jack;
    std::optional<wiring::Terminal> terminal_;
};

}  // namespace tolvane
