// The "Bill of Materials" window: a wizard that makes a new bill (name and date, the sections
// to include, the lines edited or not before printing), or takes an existing bill to print or
// delete. The counting, pricing and deleting are the service's (reports/bill_of_materials.h);
// printing is handed to the caller with the stock report's path and the bill's filter.
#pragma once

#include <QDialog>
#include <QHash>
#include <functional>

#include "db/database.h"
#include "reports/bill_of_materials.h"

class QCheckBox;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QStandardItemModel;
class QVBoxLayout;

namespace tolvane {

class DataSheetWindow;
class ErrorHandler;
class Ui;

class BillOfMaterialsWindow : public QDialog {
    Q_OBJECT
  public:
    enum Page { ChoicePage, NamePage, OptionsPage, EditPage };

    // appPath: the application folder, where the stock report lives.
    BillOfMaterialsWindow(Ui& ui, const QString& appPath, db::Connections& registry,
                          QWidget* parent = nullptr);
    void setErrorHandler(ErrorHandler* errors) { errors_ = errors; }

    // Shows the report file filtered to one bill ("FileName = '...'").
    std::function<void(const QString& reportPath, const QString& filter)> preview;

    Page page() const;

  private:
    void reloadBills();
    void showPage(Page page);
    void next();
    void back();
    void finish();
    void updateButtons();
    QString selectedBill() const;
    QList<reports::BomSection> chosenSections() const;
    // Makes the new bill when it is not made yet; false when it was refused.
    bool createBill();
    void showLines(const QString& bill);
    void print(const QString& bill);

    Ui& ui_;
    QString appPath_;
    db::Connections& registry_;
    reports::BillOfMaterials service_;
    ErrorHandler* errors_ = nullptr;
    QString created_;  // the new bill once its lines are written
    QStackedWidget* pages_;
    QRadioButton* optNew_;
    QRadioButton* optExisting_;
    QRadioButton* optDelete_;
    QStandardItemModel* bills_;
    QListView* billList_;
    QLineEdit* name_;
    QLineEdit* date_;
    QHash<reports::BomSection, QCheckBox*> include_;
    QRadioButton* optEdit_;
    QRadioButton* optPreview_;
    QVBoxLayout* editBox_;
    DataSheetWindow* sheet_ = nullptr;
    QPushButton* back_;
    QPushButton* next_;
    QPushButton* finish_;
    QPushButton* cancel_;
};

}  // namespace tolvane
