// frmLayers: the layers of the active drawing. Each layer's colour (a drawing colour index),
// on, frozen and locked can be changed; new layers are added by name; one is made current.
// OK writes the table through the layers service, which checks it first.
#pragma once

#include <QDialog>

#include "drawings/layers.h"

class QLabel;
class QTableWidget;

namespace tolvane {

class Drawing;
class ErrorHandler;
class Ui;

class LayersWindow : public QDialog {
    Q_OBJECT
  public:
    LayersWindow(Ui& ui, Drawing& drawing, QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

  private:
    void fill();
    void addLayer();
    void makeCurrent();
    void ok();
    LayerTable table() const;

    Ui& ui_;
    Drawing& drawing_;
    ErrorHandler* errors_ = nullptr;
    LayerTable original_;
    QString current_;
    QTableWidget* grid_;
    QLabel* currentLabel_;
};

}  // namespace tolvane
