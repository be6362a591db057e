// The drawing part of the main window's status bar: the cursor's coordinates and the drawing
// aids' buttons (SNAP, GRID, ORTHO, OSNAP), which show the active drawing's aids and switch
// them as their keys do.
#pragma once

#include <QList>
#include <QObject>
#include <QPair>

class QStatusBar;
class QToolButton;

namespace tolvane {

class DrawingWindows;
enum class DrawingAid;

class DrawingStatus : public QObject {
    Q_OBJECT
  public:
    DrawingStatus(QStatusBar& bar, DrawingWindows& drawings);
    // The buttons show the aids of the active drawing window.
    void update();

  private:
    DrawingWindows& drawings_;
    QList<QPair<QToolButton*, DrawingAid>> buttons_;
};

}  // namespace tolvane
