// Printing a drawing: the page setup of each drawing window (paper, orientation, margins, the
// part of the drawing and its scale), its window (frmPageSetup), and the page drawn by the
// same renderer as the view and the PDF export, for the printer and for the print preview.
#pragma once

#include <QDialog>
#include <QPageLayout>

#include "cad/render.h"

class QComboBox;
class QLineEdit;
class QPrinter;
class QRadioButton;

namespace tolvane {

class Drawing;
class Ui;

struct PageSetup {
    QPageLayout layout{QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter};
    bool display = false;  // the part of the drawing in the window, else the extents
    double scale = 0;      // N of a scale 1:N (1 paper millimetre to N millimetres); 0 fits
};

// Prints the space shown on the printer's page(s) as the setup says; `display` is the part of
// the drawing the window shows. False when the printer could not be started.
bool printDrawing(QPrinter& printer, const Drawing& drawing, const PageSetup& setup,
                  const cad::BBox& display);

class PageSetupWindow : public QDialog {
    Q_OBJECT
  public:
    PageSetupWindow(Ui& ui, const PageSetup& setup, QWidget* parent = nullptr);
    PageSetup setup() const { return setup_; }

  private:
    void ok();

    Ui& ui_;
    PageSetup setup_;
    QComboBox* paper_;
    QRadioButton* portrait_;
    QRadioButton* landscape_;
    QLineEdit* margin_;
    QRadioButton* extents_;
    QRadioButton* display_;
    QRadioButton* fit_;
    QRadioButton* scaled_;
    QLineEdit* scale_;
};

}  // namespace tolvane
