// frmAddCableType: adds cable types to one manufacturer. The catalogue stores the type with
// its cores and refuses an empty or repeated part number and a bad core count.
#pragma once

#include <QDialog>
#include <optional>

#include "equipment/cable_catalogue.h"
#include "equipment/manufacturers.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tolvane {

class AddCableTypeDialog : public QDialog {
    Q_OBJECT
  public:
    AddCableTypeDialog(equipment::LibraryAccess access, const db::ManufacturerRecord& maker,
                       QWidget* parent = nullptr);
    // The last type added.
    std::optional<qint64> lastAdded() const { return last_; }

    static const QStringList& ratings();
    static const QStringList& shieldings();

  private:
    void save();
    void clear();

    equipment::CableCatalogue catalogue_;
    db::ManufacturerRecord maker_;
    std::optional<qint64> last_;
    QLineEdit* part_;
    QLineEdit* description_;
    QLineEdit* impedance_;
    QLineEdit* gauge_;
    QLineEdit* conductors_;
    QComboBox* rating_;
    QComboBox* shielding_;
    QCheckBox* multicore_;
    QLineEdit* cores_;
    QComboBox* scheme_;
};

}  // namespace tolvane
