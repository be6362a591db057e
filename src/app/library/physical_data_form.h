// The physical data of a library model (height with its unit, width, depth, weight, V with its
// unit, P) as one form, shared by the equipment and jackfield libraries. The controls keep the
// object names scripts drive them by (txtHeight, cboHeightUnit, ...).
#pragma once

#include <QWidget>

#include "equipment/equipment_models.h"

class QComboBox;
class QLineEdit;

namespace tolvane {

class PhysicalDataForm : public QWidget {
    Q_OBJECT
  public:
    explicit PhysicalDataForm(QWidget* parent = nullptr);
    void showData(const equipment::PhysicalData& data);
    equipment::PhysicalData data() const;

  Q_SIGNALS:
    // A field was left or a unit chosen.
    void edited();

  private:
    QLineEdit* height_;
    QComboBox* heightUnit_;
    QLineEdit* width_;
    QLineEdit* depth_;
    QLineEdit* weight_;
    QLineEdit* v_;
    QComboBox* vUnit_;
    QLineEdit* p_;
};

}  // namespace tolvane
