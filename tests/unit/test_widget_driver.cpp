// Driving windows by control name: real Qt controls, set and read the way a batch script does,
// and the refusals that keep a script from doing what a user could not.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

#include "front/widget_driver.h"

using tolvane::DriverError;
using W = tolvane::WidgetDriver;

namespace {

QString errorOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const DriverError& e) {
        return e.text();
    }
    return QStringLiteral("(no error)");
}

template <class T>
T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

class DriverFormTest : public ::testing::Test {
  protected:
    template <class T>
    T* add(const char* name) {
        auto* w = named(new T, name);
        layout->addWidget(w);
        return w;
    }
    void SetUp() override {
        window.setWindowTitle(QStringLiteral("Device Details"));
        auto* name = add<QLineEdit>("name");
        QObject::connect(name, &QLineEdit::editingFinished,
                         [name] { name->setText(name->text().toUpper()); });
        kind = add<QComboBox>("kind");
        kind->addItems({"rack", "Rack", "Patch panel"});
        QObject::connect(kind, &QComboBox::activated, [this](int i) { activated = i; });
        connector = add<QComboBox>("connector");
        connector->setEditable(true);
        connector->addItems({"XLR", "BNC"});
        QObject::connect(connector->lineEdit(), &QLineEdit::editingFinished, [this] { ++left; });
        add<QCheckBox>("powered");
        add<QRadioButton>("analog")->setChecked(true);
        add<QRadioButton>("digital");
        add<QSpinBox>("ports");
        add<QLineEdit>("vlan")->setValidator(new QIntValidator(1, 4094, &window));
        add<QLabel>("status")->setText(QStringLiteral("Ready"));
        add<QLineEdit>("serial")->setEnabled(false);
        add<QLineEdit>("notes")->hide();
        add<QPushButton>("dup")->hide();
        add<QLineEdit>("dup");
        window.show();
    }
    QWidget window;
    QVBoxLayout* layout = new QVBoxLayout(&window);
    QComboBox* kind = nullptr;
    QComboBox* connector = nullptr;
    int activated = -1;
    int left = 0;
};

TEST_F(DriverFormTest, SettingLeavesTheControlSoItsRulesRun) {
    W::set(&window, "name", "cam 1");
    EXPECT_EQ(W::printField(&window, "name"), "FIELD name = CAM 1");

    W::set(&window, "kind", "Rack");  // the exact item before one differing in case
    EXPECT_EQ(activated, 1);
    W::set(&window, "kind", "PATCH PANEL");
    EXPECT_EQ(activated, 2);
    EXPECT_EQ(errorOf([&] { W::set(&window, "kind", "Desk"); }), "no item Desk in kind");

    W::set(&window, "connector", "bnc");
    EXPECT_EQ(connector->currentIndex(), 1);
    W::set(&window, "connector", "TRS");
    EXPECT_EQ(connector->currentText(), "TRS");
    EXPECT_EQ(left, 1);
}

TEST_F(DriverFormTest, ChecksOptionsAndNumbersTakeOnlyWhatAUserCouldEnter) {
    W::set(&window, "powered", "1");
    EXPECT_EQ(W::printField(&window, "powered"), "FIELD powered = 1");
    EXPECT_EQ(errorOf([&] { W::set(&window, "powered", "yes"); }), "powered takes 1 or 0, not yes");
    W::set(&window, "digital", "1");
    EXPECT_EQ(W::printField(&window, "analog"), "FIELD analog = 0");
    EXPECT_NE(errorOf([&] { W::set(&window, "digital", "0"); }), "(no error)");
    W::set(&window, "ports", "12");
    EXPECT_EQ(W::printField(&window, "ports"), "FIELD ports = 12");
    EXPECT_EQ(errorOf([&] { W::set(&window, "ports", "twelve"); }),
              "ports takes a number, not twelve");
    EXPECT_EQ(errorOf([&] { W::set(&window, "vlan", "5000"); }), "vlan does not take 5000");
}

// How print shows a disabled or hidden control, and a window under its own name, every
// scenario shows.
TEST_F(DriverFormTest, RefusesWhatAUserCannotReach) {
    EXPECT_EQ(errorOf([&] { W::find(&window, "bogus"); }), "no control bogus in Device Details");
    EXPECT_EQ(errorOf([&] { W::set(&window, "serial", "X"); }), "serial is disabled");
    EXPECT_EQ(errorOf([&] { W::set(&window, "notes", "X"); }), "notes is hidden");
    EXPECT_EQ(errorOf([&] { W::set(&window, "status", "X"); }), "status cannot be set");
    EXPECT_NE(qobject_cast<QLineEdit*>(W::find(&window, "dup")), nullptr);  // the one shown
}

TEST(DriverMainWindowTest, ClicksButtonsTabsAndMenuEntries) {
    QMainWindow window;
    auto* tabs = named(new QTabWidget, "tabs");
    window.setCentralWidget(tabs);
    auto* general = new QWidget;
    auto* apply = named(new QPushButton(general), "apply");
    tabs->addTab(general, QStringLiteral("General"));
    auto* ports = named(new QWidget, "portsPage");
    named(new QLineEdit(ports), "portName");
    tabs->addTab(ports, QStringLiteral("Ports"));
    QMenu* file = named(window.menuBar()->addMenu(QStringLiteral("File")), "fileMenu");
    named(file->addAction(QStringLiteral("Print")), "printAction")->setEnabled(false);
    QAction grid(QStringLiteral("Grid"));  // shown in the menu, owned elsewhere
    named(&grid, "gridAction")->setCheckable(true);
    file->addAction(&grid);
    int applied = 0;
    QObject::connect(apply, &QPushButton::clicked, [&] { ++applied; });
    window.show();

    W::click(&window, "apply");
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(errorOf([&] { W::set(&window, "portName", "A"); }), "portName is hidden");
    W::click(&window, "portsPage");
    EXPECT_EQ(W::printField(&window, "tabs"), "FIELD tabs = Ports");
    W::set(&window, "portName", "A");

    W::click(&window, "gridAction");
    EXPECT_EQ(W::printField(&window, "gridAction"), "FIELD gridAction = 1");
    EXPECT_EQ(errorOf([&] { W::click(&window, "printAction"); }), "printAction is disabled");
    EXPECT_EQ(W::printField(&window, "fileMenu"), "FIELD fileMenu = File");
}

class DriverGridTest : public ::testing::Test {
  protected:
    void SetUp() override {
        model.setHorizontalHeaderLabels({"Port", "Signal", "Id", "Done"});
        const char* signal[] = {"SDI", "HDMI", nullptr};
        for (int r = 0; r < 3; ++r) {
            auto* done = new QStandardItem;
            done->setCheckable(true);
            done->setCheckState(r == 0 ? Qt::Checked : Qt::Unchecked);
            model.appendRow({new QStandardItem(QStringLiteral("In %1").arg(r + 1)),
                             new QStandardItem(QString::fromLatin1(signal[r])),
                             new QStandardItem(QString::number(100 + r)), done});
        }
        model.item(1, 1)->setEditable(false);
        view->setModel(&model);
        view->setColumnHidden(2, true);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    QStandardItemModel model;
    QWidget window;
    QTableView* view = named(new QTableView(&window), "grid");
};

TEST_F(DriverGridTest, PrintsVisibleColumnsAndSelectsRows) {
    EXPECT_EQ(W::printGrid(&window, "grid"),
              QStringList({"COLUMNS Port | Signal | Done", "ROW 1: In 1 | SDI | 1",
                           "ROW 2: In 2 | HDMI | 0", "ROW 3: In 3 |  | 0"}));
    W::selectRows(&window, "grid", {1});
    W::selectRows(&window, "grid", {3, 2});
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    EXPECT_EQ(rows.size(), 2);
    EXPECT_FALSE(view->selectionModel()->isRowSelected(0));
    EXPECT_EQ(view->currentIndex().row(), 2);
    EXPECT_EQ(errorOf([&] {
                  W::selectRows(&window, "grid", {2, 4});
              }),
              "row 4 is out of range: grid has 3 rows");
}

TEST_F(DriverGridTest, EditsCellsByHeaderAndRefusesReadOnlyOnes) {
    W::editCell(&window, "grid", 1, "signal", "12G-SDI");
    W::editCell(&window, "grid", 3, "Done", "1");
    EXPECT_EQ(model.item(0, 1)->text(), "12G-SDI");
    EXPECT_EQ(model.item(2, 3)->checkState(), Qt::Checked);
    EXPECT_EQ(errorOf([&] { W::editCell(&window, "grid", 2, "Signal", "SDI"); }),
              "cell 2 Signal of grid is read-only");
    EXPECT_EQ(errorOf([&] { W::editCell(&window, "grid", 1, "Id", "7"); }), "no column Id in grid");
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(errorOf([&] { W::editCell(&window, "grid", 1, "Port", "X"); }),
              "cell 1 Port of grid is read-only");
}

// A table over an in-memory database, behind a proxy, whose label column is headed "Cable".
class DriverSqlGridTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "driver_test");
        db.setDatabaseName(":memory:");
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        q.exec(
            "CREATE TABLE cables (id INTEGER PRIMARY KEY, label TEXT, "
            "length REAL CHECK (length >= 0))");
        q.exec("INSERT INTO cables (label, length) VALUES ('C-1', 5), ('C-2', 10)");
        model = new QSqlTableModel(&window, db);
        model->setTable("cables");
        model->setEditStrategy(QSqlTableModel::OnManualSubmit);
        model->select();
        model->setHeaderData(1, Qt::Horizontal, "Cable");
        proxy.setSourceModel(model);
        named(new QTableView(&window), "cables")->setModel(&proxy);
    }
    void TearDown() override {
        delete model;
        QSqlDatabase::removeDatabase("driver_test");
    }
    QString stored(const char* field) {
        QSqlQuery q(QStringLiteral("SELECT %1 FROM cables WHERE id = 2").arg(field),
                    QSqlDatabase::database("driver_test"));
        return q.next() ? q.value(0).toString() : QString();
    }
    QWidget window;
    QSortFilterProxyModel proxy;
    QSqlTableModel* model = nullptr;
};

TEST_F(DriverSqlGridTest, FindsARenamedColumnByFieldNameAndSavesAsTheTableDoes) {
    W::editCell(&window, "cables", 2, "label", "C-2b");
    EXPECT_EQ(proxy.index(1, 1).data().toString(), "C-2b");
    EXPECT_EQ(stored("label"), "C-2");  // saved by hand: the window decides
    model->revertAll();
    model->setEditStrategy(QSqlTableModel::OnRowChange);
    W::editCell(&window, "cables", 2, "Cable", "C-2c");
    EXPECT_EQ(stored("label"), "C-2c");  // finishing the edit submits it, as the view does

    model->setEditStrategy(QSqlTableModel::OnFieldChange);
    EXPECT_TRUE(errorOf([&] {
                    W::editCell(&window, "cables", 2, "length", "-3");
                }).startsWith("cell 2 length of cables refused -3"));
    EXPECT_EQ(stored("length"), "10");
}

}  // namespace

// A tree printed depth first is the explorer_nodes scenario.
TEST(DriverTreeTest, TreeRowsAreNumberedDepthFirstForSelectingAndEditing) {
    QWidget window;
    window.setObjectName("frmTree");
    auto* tree = new QTreeWidget(&window);
    tree->setObjectName("tvwProject");
    tree->setHeaderLabels({"Project"});
    auto* global = new QTreeWidgetItem(tree, {"Global Databases"});
    new QTreeWidgetItem(global, {"Projects"});
    auto* project = new QTreeWidgetItem(tree, {"SITE A"});
    auto* drawings = new QTreeWidgetItem(project, {"Project Drawings"});
    new QTreeWidgetItem(drawings, {"rack1.dxf (ann_pc1)"});
    window.show();
    W::selectRows(&window, "tvwProject", {5});
    EXPECT_EQ(tree->currentItem()->text(0), "rack1.dxf (ann_pc1)");
    EXPECT_THROW(W::selectRows(&window, "tvwProject", {6}), DriverError);
    // `cell` numbers the rows as print-grid does.
    auto* leaf = drawings->child(0);
    leaf->setFlags(leaf->flags() | Qt::ItemIsEditable);
    W::editCell(&window, "tvwProject", 5, "Project", "rack2.dxf");
    EXPECT_EQ(leaf->text(0), "rack2.dxf");
    EXPECT_EQ(project->text(0), "SITE A");
}
