// The main window: toolbars and panes, the snap buttons, the window-kind states, the command
// line's aliases, the block preferences Create Block reads while another user is logged in,
// and the system check run again from the Help menu.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidgetAction>
#include <QtTest>

#include "app/admin/conflict_viewer_window.h"
#include "app/drawing/drawing_view.h"
#include "app/drawing/drawing_window.h"
#include "app/drawing/drawing_windows.h"
#include "app/drawing/property_grid.h"
#include "app/jackfields/project_jackfield_windows.h"
#include "app/projects/data_sheet_window.h"
#include "app/projects/data_sheets.h"
#include "app/reports/bill_of_materials_window.h"
#include "app/reports/design_canvas.h"
#include "app/reports/designer_windows.h"
#include "app/reports/report_designer.h"
#include "app/reports/report_window.h"
#include "app/shell/batch_host.h"
#include "app/shell/panes.h"
#include "app/wiring/check_windows.h"
#include "cad/dxf.h"
#include "cad/editing.h"
#include "cad/picking.h"
#include "db/database.h"
#include "db/merge.h"
#include "drawings/entity_tag.h"
#include "drawings/layers.h"
#include "drawings/standard_drawings.h"
#include "gui_fixture.h"
#include "projects/drawing_registry.h"
#include "projects/project_registry.h"
#include "reports/rpx_file.h"

using namespace tolvane;
using reports::ControlKind;

class MainWindowTest : public test::MainWindowFixture {
    Q_OBJECT

    QMdiSubWindow* addChild(const char* kind) {
        auto* w = new QWidget;
        w->setProperty("tolvaneKind", kind);
        QMdiSubWindow* sub = main_->mdiArea()->addSubWindow(w);
        sub->show();
        main_->mdiArea()->setActiveSubWindow(sub);
        return sub;
    }

    QAction* action(const char* name) { return main_->findChild<QAction*>(name); }
    bool enabled(const char* name) { return action(name)->isEnabled(); }
    static reports::Control control(const char* name, reports::ControlKind kind, QRect rect,
                                    const char* text = "") {
        return reports::Control{.name = name, .kind = kind, .rect = rect, .text = text};
    }

    // A drawing file of one line, opened in a window and changed there (a second line).
    DrawingWindow* openChanged(const QString& name) {
        cad::Document doc;
        doc.add(doc.modelSpace(), cad::Entity::line({0, 0}, {10, 0}));
        const QString path = dir_.filePath(name);
        cad::saveDxf(doc, path);
        DrawingWindow* w = main_->drawings()->open(path);
        if (w) w->drawing().editor().add(cad::Entity::line({0, 5}, {10, 5}));
        return w;
    }
    static int linesIn(const QString& path) {
        return int(cad::loadDxf(path).modelSpace().entities.size());
    }

  private slots:
    void init() { QVERIFY(startUp()); }
    void cleanup() {
        // The drawings a case changed would ask to be saved as the window goes.
        if (main_)
            for (DrawingWindow* w : main_->drawings()->windows()) w->drawing().setModified(false);
        shutDown();
    }

    // The conflict viewer over an equipment library one of whose models came back described
    // anew: the row set aside beside the row in use, with why and what can be done.
    void conflictViewerShowsWhyARowWasSetAside() {
        const QString delivered = dir_.filePath("dbEquipRep.db");
        QVERIFY(QFile::copy(db::connections().boundTo(db::DbId::Equipment).path, delivered));
        {
            db::Connections copy;
            copy.bind(db::DbId::Equipment, db::ConnectionSpec::sqlite(delivered));
            db::Query(db::DbId::Equipment,
                      "update tblEquipment set EquipmentDescription = 'described anew' where "
                      "EquipmentID = 1",
                      copy)
                .exec();
        }
        QCOMPARE(db::mergeDatabase(db::DbId::Equipment, delivered, db::connections()).conflicts, 1);
        ConflictViewerWindow viewer(*user_->ui, QString(), db::connections());
        viewer.show();
        QCOMPARE(viewer.findChild<QRadioButton*>("optEquipment")->isChecked(), true);
        auto* tables = viewer.findChild<QListView*>("lstTables");
        tables->setCurrentIndex(tables->model()->index(0, 0));
        auto* conflicts = viewer.findChild<QTableView*>("grdConflicts");
        conflicts->selectRow(0);
        QCOMPARE(viewer.findChild<QTableView*>("grdExisting")->model()->rowCount(), 1);
        test::screenshot(viewer, "TOLVANE_SCREENSHOT_CONFLICTS");
    }

    // The bill of materials wizard: the name page, the sections and the edit grid of the new
    // bill, a quantity typed in the grid priced on Finish, and the stock report handed on with
    // the bill's filter. (The choice page's defaults and the grid's hidden key and owner are in
    // the bill_of_materials scenario.)
    // TOLVANE_SCREENSHOT_BOM and TOLVANE_SCREENSHOT_BOMGRID name pictures of the pages.
    void billOfMaterialsWizardMakesAndPricesABill() {
        for (const char* statement :
             {"insert into tblCables (SRCConn, DESTConn, CableType, Length) values ('QX-BNC', "
              "'QX-XLR', 'QX-COAX', 10)",
              "insert into tblCables (SRCConn, DESTConn, CableType, Length) values ('QX-BNC', "
              "'QX-XLR', 'QX-COAX', 15)",
              "insert into tblSystems (SysName, SysNum, EquipID, equipmentname) values ('VDA', "
              "1, 99999, 'QX Amp')"})
            sql(db::DbId::Project, statement);
        sql(db::DbId::Equipment,
            "insert into tblConnectors (Connector, connvendor1, conncost1) values "
            "('QX-BNC', 'Jacks Inc', 2.5)");
        BillOfMaterialsWindow wizard(*user_->ui, run_.appPath, db::connections());
        QString shownPath, shownFilter;
        wizard.preview = [&](const QString& path, const QString& filter) {
            shownPath = path;
            shownFilter = filter;
        };
        wizard.show();
        auto* next = wizard.findChild<QPushButton*>("cmdNext");
        auto* finish = wizard.findChild<QPushButton*>("cmdFinish");
        next->click();
        QCOMPARE(wizard.page(), BillOfMaterialsWindow::NamePage);
        wizard.findChild<QLineEdit*>("txtReportName")->setText("Studio O'Hara");
        next->click();
        QCOMPARE(wizard.page(), BillOfMaterialsWindow::OptionsPage);
        QVERIFY(wizard.findChild<QCheckBox*>("chkCableTypes")->isChecked());
        QVERIFY(!wizard.findChild<QCheckBox*>("chkPanels")->isChecked());
        wizard.findChild<QRadioButton*>("optEdit")->setChecked(true);
        test::screenshot(wizard, "TOLVANE_SCREENSHOT_BOM");
        next->click();
        QCOMPARE(wizard.page(), BillOfMaterialsWindow::EditPage);
        auto* sheet = wizard.findChild<DataSheetWindow*>();
        QVERIFY(sheet);
        SheetModel* model = sheet->model();
        QCOMPARE(model->rowCount(), 4);  // output, input connectors and the cable type, the amp
        int bnc = -1;
        for (int r = 0; r < model->rowCount(); ++r)
            if (model->value(r, "BOMClass") == "Output Connectors") bnc = r;
        QVERIFY(bnc >= 0);
        QCOMPARE(model->value(bnc, "QTY").toDouble(), 2.0);
        QVERIFY(model->setData(model->index(bnc, model->columnOf("QTY")), "6"));
        test::screenshot(wizard, "TOLVANE_SCREENSHOT_BOMGRID", [&] { wizard.resize(900, 440); });
        finish->click();
        QVERIFY(shownPath.endsWith("reports/general/BOM.RPX"));
        QCOMPARE(shownFilter, QString("FileName = 'Studio O''Hara'"));
        QCOMPARE(
            sql(db::DbId::Project, "select Ext1 from tblBOM where BOMClass = 'Output Connectors'")
                .toDouble(),
            15.0);
    }

    // Exit and a project switch close the drawings first, each asking to save its changes:
    // Cancel stops the exit or the switch with the drawing open; No closes it unsaved; Yes
    // saves it before it closes.
    void exitAndProjectSwitchAskToSaveChangedDrawings() {
        restart(
            "button Cancel\n"              // exit: keep a.dxf
            "button Yes\nbutton Cancel\n"  // switch project: proceed, then keep a.dxf
            "button No\nbutton Yes\n");    // exit: a.dxf unsaved, b.dxf saved
        DrawingWindow* a = openChanged("a.dxf");
        QVERIFY(a);
        QVERIFY(!main_->close());
        QVERIFY(main_->isVisible());
        QCOMPARE(main_->drawings()->windows().size(), 1);
        QVERIFY(!main_->projects()->openProject("DEFAULT_PROJECT"));
        QCOMPARE(main_->drawings()->windows().size(), 1);
        QVERIFY(openChanged("b.dxf"));
        QVERIFY(main_->close());
        QCOMPARE(main_->drawings()->windows().size(), 0);
        QCOMPARE(linesIn(dir_.filePath("a.dxf")), 1);
        QCOMPARE(linesIn(dir_.filePath("b.dxf")), 2);
        QCOMPARE(user_->transcript.count("Save changes to drawing " + dir_.filePath("a.dxf")), 3);
        QVERIFY(user_->ui->atEnd());
    }

    // Escape on a drawing drops the grip selection, as one undo step of its own, and takes
    // back what was typed over the drawing.
    void escapeClearsTheGrips() {
        DrawingWindow* w = openChanged("c.dxf");
        QVERIFY(w);
        const QString line = w->drawing().space().entities.front().handle;
        w->view().setSelection({line});
        const int steps = w->drawing().undo().undoCount();
        QTest::keyClick(w, Qt::Key_Q);  // no alias: it stays typed
        auto* box = main_->findChild<QLineEdit*>("txtCommand");
        QVERIFY(box);
        QCOMPARE(box->text().toUpper(), QString("Q"));
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &escape);
        QCOMPARE(box->text(), QString());
        QVERIFY(w->view().selection().isEmpty());
        QVERIFY(!w->drawing().undo().inGroup());
        QCOMPARE(w->drawing().undo().undoCount(), steps);
    }

    // The entity a drawing command makes is the selection afterwards and shows in the property
    // list, where a value typed in place is written to it and undone as one step. (The entries
    // shown, and the drawing's own after Escape, are in the property_list scenario.)
    void aNewEntityShowsInThePropertyListAndIsEditedThere() {
        restart("point 20,0\npoint 25,5\nclick cmdColor3\nclick cmdOK\n");
        DrawingWindow* w = openChanged("p.dxf");
        QVERIFY(w);
        main_->RouteCMD("catDLine");
        auto* list = main_->findChild<PropertyGrid*>("lstProperties");
        QVERIFY(list);
        PropertyModel* model = list->propertyModel();
        const QString line = w->view().selection().value(0);
        const auto valueOf = [&](const QString& name) {
            for (int c = 0; c < model->rowCount(); ++c)
                for (int r = 0; r < model->rowCount(model->index(c, 0)); ++r) {
                    const QModelIndex at = model->index(r, 0, model->index(c, 0));
                    if (at.data().toString() == name) return at.siblingAtColumn(1);
                }
            return QModelIndex();
        };
        QCOMPARE(valueOf("Handle").data().toString(), line);
        QVERIFY(!(valueOf("Handle").flags() & Qt::ItemIsEditable));

        // Typed in the value's line edit; Enter writes it.
        const int steps = w->drawing().undo().undoCount();
        list->setCurrentIndex(valueOf("EndPoint"));
        list->edit(valueOf("EndPoint"));
        auto* editor = list->findChild<QLineEdit*>("txtPropertyValue");
        QVERIFY(editor);
        QCOMPARE(editor->text(), QString("25,5"));
        editor->setText("30,8");
        QTest::keyClick(editor, Qt::Key_Return);  // written once the editor closes
        QTRY_COMPARE(w->drawing().document().find(line)->end, QPointF(30, 8));
        QCOMPARE(valueOf("EndPoint").data().toString(), QString("30,8"));
        QCOMPARE(valueOf("Length").data().toString(), QString("12.8062"));
        QCOMPARE(main_->findChild<QLabel*>("lblDescription")->text().section('\n', 0, 0),
                 QString("EndPoint"));
        // Escape in the editor leaves the value as it was.
        list->edit(valueOf("EndPoint"));
        editor = list->findChild<QLineEdit*>("txtPropertyValue");
        QVERIFY(editor);
        editor->setText("1,1");
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!list->findChild<QLineEdit*>("txtPropertyValue"));
        QCOMPARE(w->drawing().document().find(line)->end, QPointF(30, 8));
        // A colour is chosen in the colour window.
        list->edit(valueOf("PenColor"));
        QCOMPARE(w->drawing().document().find(line)->color, 3);
        QCOMPARE(valueOf("PenColor").data().toString(), QString("3"));
        QCOMPARE(w->drawing().undo().undoCount(), steps + 2);
        w->drawing().undo().undo();
        w->drawing().undo().undo();
        QCOMPARE(valueOf("EndPoint").data().toString(), QString("25,5"));
    }

    // An insert in the property list (TOLVANE_SCREENSHOT_PROPERTIES names a picture of it).
    void anInsertShowsItsBlockEntries() {
        cad::Document doc;
        cad::Block& block = doc.addBlock("UNIT");
        doc.add(block, cad::Entity::rect({0, 0}, {4, 2}));
        doc.add(block, cad::Entity::attributeDefinition({0.2, 0.5}, "SYSNAME", {}, "VTR-01", 0.4));
        doc.addLayer({"EQUIPMENT", 3});
        cad::Entity insert = cad::makeInsert(doc, "UNIT", {2, 3});
        insert.layer = "EQUIPMENT";
        const QString handle = doc.addToModel(insert).handle;
        const QString path = dir_.filePath("insert.dxf");
        cad::saveDxf(doc, path);
        DrawingWindow* w = main_->drawings()->open(path);
        QVERIFY(w);
        w->view().setSelection({handle});
        Q_EMIT w->view().selectionChosen({handle});
        PropertyGrid* list = main_->findChild<PropertyGrid*>("lstProperties");
        PropertyModel* model = list->propertyModel();
        const QModelIndex type = model->index(model->rowCount() - 1, 0);
        QCOMPARE(type.data().toString(), QString("VDINSERT"));
        QCOMPARE(model->index(1, 1, type).data().toString(), QString("SYSNAME=VTR-01"));
        test::screenshot(*main_, "TOLVANE_SCREENSHOT_PROPERTIES", [&] {
            main_->resize(1280, 860);
            list->setCurrentIndex(model->index(3, 1, type));  // Xscale, described below
            list->scrollToBottom();
            w->view().zoomExtents();
            QTest::qWait(50);
        });
    }

    // A drawing opens maximised when it is alone, and beside a window that is not maximised at
    // most of the area; either way the view is fitted to the drawing.
    void childWindowsOpenAtAUsefulSize() {
        DrawingWindow* first = openChanged("s1.dxf");
        QVERIFY(first);
        auto* frame = qobject_cast<QMdiSubWindow*>(first->parentWidget());
        QVERIFY(frame->isMaximized());
        frame->showNormal();
        frame->resize(300, 200);
        DrawingWindow* second = openChanged("s2.dxf");
        auto* secondFrame = qobject_cast<QMdiSubWindow*>(second->parentWidget());
        const QSize room = main_->mdiArea()->viewport()->size();
        QVERIFY(!secondFrame->isMaximized());
        QVERIFY(secondFrame->width() >= room.width() * 3 / 4);
        QVERIFY(secondFrame->height() >= room.height() * 3 / 4);
        // Both lines of the drawing (y 0 and 5, x 0 to 10) fill the view's width.
        const cad::View& v = second->view().view();
        QVERIFY(v.toDevice(QPointF(0, 0)).x() < second->view().width() * 0.1);
        QVERIFY(v.toDevice(QPointF(10, 0)).x() > second->view().width() * 0.9);
        // The Window menu lists both, the active one checked; choosing the other activates it.
        auto* menu = main_->findChild<QMenu*>("mnuWindow");
        QVERIFY(menu);
        Q_EMIT menu->aboutToShow();
        QAction* one = action("mnuWindow_1");
        QAction* two = action("mnuWindow_2");
        QVERIFY(one && two);
        QVERIFY(one->text().contains("s1.dxf"));
        QVERIFY(!one->isChecked() && two->isChecked());
        one->trigger();
        QCOMPARE(main_->drawings()->active(), first);
        Q_EMIT menu->aboutToShow();  // made anew, not added twice
        QCOMPARE(main_->findChildren<QAction*>("mnuWindow_1").size(), 1);
    }

    // A script's point answered to a prompt with snaps of its own is snapped in the drawing.
    void scriptPointsSnapInTheActiveDrawing() {
        DrawingWindow* w = openChanged("d.dxf");
        QVERIFY(w);
        MainWindow* main = main_.get();
        std::unique_ptr<ErrorHandler> noHandler;
        BatchHost host(main, noHandler, db::connections());
        QCOMPARE(host.snapPoint(nullptr, {9.95, 0.03}, cad::SnapEndPoint), QPointF(10, 0));
        QCOMPARE(host.snapPoint(w, {9.5, 0.03}, cad::SnapEndPoint), QPointF(9.5, 0.03));
    }

    // Add Cables brings the cable pane forward with the user's preferences and waits for the
    // source; Escape ends it with the window free again. A jack without a default style asks
    // for one in the pane first.
    void addCablesShowsItsPaneAndEndsOnEscape() {
        sql(db::DbId::Equipment,
            "update tblPreferences set usedefaultjack = ?, CablesREpeat = ?, "
            "CablesAutoPlaceDist = ?",
            {false, true, 2.5});
        restart("escape\nescape\n");
        DrawingWindow* w = openChanged("e.dxf");
        QVERIFY(w);
        main_->RouteCMD("catWAddCables");
        QVERIFY(user_->transcript.contains("PROMPT Select the Source"));
        QVERIFY(!w->busy());
        QCOMPARE(w->property("lastCommand").toString(), QString("WAddCables"));
        auto* pane = main_->findChild<QWidget*>("frmCables");
        QVERIFY(pane->isVisible());
        QVERIFY(pane->findChild<QCheckBox*>("chkRepeat")->isChecked());
        QCOMPARE(pane->findChild<QLineEdit*>("txtDist")->text(), QString("2.5"));
        auto* frame = pane->findChild<QGroupBox*>("framSelTerm");
        QVERIFY(!frame->isVisible());
        pane->findChild<QPushButton*>("cmdArInsJack")->click();
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->title(), QString("Select a Jack Style"));
        QCOMPARE(pane->findChild<QRadioButton*>("optselterm2")->text(), QString("J"));
        test::screenshot(*main_, "TOLVANE_SCREENSHOT_CABLES");
        pane->findChild<QPushButton*>("cmdTermOK")->click();
        QVERIFY(!frame->isVisible());
        QCOMPARE(user_->transcript.count("PROMPT Select the Source"), 2);  // then the jack
    }

    // A double-click on a cable's last segment, a few pixels from where it meets a block's
    // pin line, means the cable (its assignment runs), though the block was placed after it
    // and lies on top; on the block's body it means the block (its system names).
    void aDoubleClickOnACablesEndMeansTheCable() {
        restart("button OK\nbutton OK\n");
        DrawingWindow* w = openChanged("dbl.dxf");
        QVERIFY(w);
        cad::Document& doc = w->drawing().document();
        cad::Block& block = doc.addBlock("UNIT2");
        doc.add(block, cad::Entity::line({-2, 0}, {0, 0}));  // an input's pin line
        doc.add(block, cad::Entity::polyline({{{0, -2}, 0}, {{6, -2}, 0}, {{6, 2}, 0}, {{0, 2}, 0}},
                                             true));
        cad::Entity cable =
            cad::Entity::polyline({{{-30, 16}, 0}, {{-30, -4}, 0}, {{18, -4}, 0}}, false);
        tag::tagEntity(cable, tag::kind::Cable);
        w->drawing().editor().add(std::move(cable));
        cad::Entity unit = cad::makeInsert(doc, "UNIT2", {20, -4});
        tag::tagEntity(unit, tag::kind::EquipmentBlock);
        w->drawing().editor().add(std::move(unit));
        DrawingView& view = w->view();
        view.zoomWindow({-40, -14}, {40, 6});
        const QPoint end = view.view().toDevice(QPointF(18, -4)).toPoint();
        // Resting there, the cursor shows the cable as the one a click would take.
        QTest::mouseMove(&view, end - QPoint(2, 0));
        QTRY_COMPARE(view.hovered(), w->drawing().space().entities[2].handle);
        // On a real server the move arrives through the event queue.
        test::screenshot(view, "TOLVANE_SCREENSHOT_HOVER", [] { QTest::qWait(200); });
        QTest::mouseDClick(&view, Qt::LeftButton, {}, end - QPoint(2, 0));
        QVERIFY2(user_->transcript.contains("No equipment is attached to the source side"),
                 qPrintable(user_->transcript));
        QVERIFY(!user_->transcript.contains("equipment block. Aborting"));
        QTest::mouseDClick(&view, Qt::LeftButton, {},
                           view.view().toDevice(QPointF(26, -3)).toPoint());
        QVERIFY(user_->transcript.contains("equipment block. Aborting"));
    }

    // Keys without an action are offered disabled; typed, they say so on the command line.
    // Every drawing key has its action now.
    void keysWithoutAnActionAreDisabled() {
        addChild("drawing");
        for (const char* key : {"catDZoomIn", "catDTrim", "catDPrint", "catDLayouts", "catDXRef",
                                "catDTextStyles", "catDDimStyles", "catDPointStyles"}) {
            QVERIFY2(main_->router().available(key), key);
            QVERIFY2(enabled(key), key);
        }
        QVERIFY(enabled("catOSnapEndPoint"));  // own handler
        QVERIFY(enabled("catGExit"));
        // Assign Jackfield is accepted and does nothing, without a word.
        QVERIFY(main_->router().available("catWAssignJF"));
        const qsizetype said = user_->transcript.size();
        main_->RouteCMD("catWAssignJF");
        QCOMPARE(user_->transcript.size(), said);
        // Automatic grips: the command toggles its tool once, whether typed or clicked.
        QAction* grips = action("catDAutoGrips");
        QVERIFY(grips->isChecked());
        main_->RouteCMD("catDAutoGrips");
        QVERIFY(!grips->isChecked());
        grips->trigger();
        QVERIFY(grips->isChecked());
    }

    // With the user's preference set, toolbars are put back where they were left.
    void toolbarPositionsPersistWithThePreference() {
        for (const bool keep : {false, true}) {
            settings_->write(setting::ToolbarLayout, QString());
            sql(db::DbId::Equipment, "update tblPreferences set genpersisttbs = ?", {keep});
            restart("");
            QToolBar* bar = main_->toolBar("tbDWGSnap");
            main_->removeToolBar(bar);
            main_->addToolBar(Qt::BottomToolBarArea, bar);
            bar->show();
            QVERIFY(main_->close());
            restart("");
            QCOMPARE(main_->toolBarArea(main_->toolBar("tbDWGSnap")),
                     keep ? Qt::BottomToolBarArea : Qt::TopToolBarArea);
            QCOMPARE(settings_->read(setting::ToolbarLayout).isEmpty(), !keep);
        }
    }

    // Every toolbar (the drawing's, the single-line tools', the reports') has an icon on each
    // of its buttons. (Their titles, and the panes, are in the main_window scenario.)
    void toolBarButtonsHaveIcons() {
        const auto bars = main_->findChildren<QToolBar*>();
        QCOMPARE(bars.size(), 13);
        for (QToolBar* bar : bars) {
            for (QAction* a : bar->actions()) {
                if (a->isSeparator() || qobject_cast<QWidgetAction*>(a)) continue;  // lists
                QVERIFY2(!a->icon().pixmap(20, 20).isNull(), qPrintable(a->objectName()));
            }
        }
    }

    void windowShowsItsPanesAndToolbars() {
        // Under a real X server (the x11 run of this test) the window maps with its panes.
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
        QVERIFY(main_->commandLine()->isVisible());
        QVERIFY(main_->toolBar("tbDWGStandard")->isVisible());
        test::screenshot(*main_, "TOLVANE_SCREENSHOT");
    }

    void snapButtonsAddAndRemoveTheirBits() {
        addChild("drawing");
        auto* tangent = action("catOSnapTangent");
        auto* intersection = action("catOSnapIntersection");
        main_->RouteCMD("catOSnapNone");
        tangent->trigger();
        QCOMPARE(main_->snapBits(), 512);
        intersection->trigger();
        QCOMPARE(main_->snapBits(), 512 | 1024);
        tangent->trigger();
        QCOMPARE(main_->snapBits(), 1024);
        main_->setSnapButtons(1 | 4);
        QVERIFY(action("catOSnapEndPoint")->isChecked());
        main_->RouteCMD("catOSnapNone");
        QCOMPARE(main_->snapBits(), 0);
        QVERIFY(!intersection->isChecked());
    }

    void dataSheetsAreChildWindowsOneEach() {
        main_->RouteCMD("catPLCables");
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 1);
        QWidget* sheet = main_->activeChild();
        QVERIFY(sheet);
        QCOMPARE(sheet->objectName(), QString("frmCablesDS"));
        QCOMPARE(main_->windowState(), WindowState::DataSheet);
        // Asked again, the open sheet comes to the front.
        main_->RouteCMD("catLConnectors");
        main_->RouteCMD("catPLCables");
        QCOMPARE(main_->mdiArea()->subWindowList().size(), 2);
        QCOMPARE(main_->activeChild(), sheet);
        // Closed from inside, the sheet takes its frame along.
        sheet->close();
        QTRY_COMPARE(main_->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(main_->activeChild()->objectName(), QString("frmConnectorsDS"));
    }

    // The state with no window (drawing tools and Save disabled) is in the main_window
    // scenario.
    void toolbarsFollowTheActiveWindowKind() {
        QCOMPARE(main_->windowState(), WindowState::None);
        QMdiSubWindow* drawing = addChild("drawing");
        QCOMPARE(main_->windowState(), WindowState::Drawing);
        QVERIFY(main_->toolBar("tbDWGTools")->isEnabled());
        QVERIFY(enabled("catDSave"));
        QVERIFY(main_->toolBar("tbRPTTools")->isHidden());
        drawing->close();
        QTRY_COMPARE(main_->windowState(), WindowState::None);
        addChild("report");
        QCOMPARE(action("catDProperties")->text(), QString("Report Properties"));
        QVERIFY(!main_->toolBar("tbRPTTools")->isHidden());
    }

    void aliasesRunOnlyWithADrawingActive() {
        CommandLinePane* line = main_->commandLine();
        for (QChar c : QString("TBS")) line->addChar(c);
        QVERIFY(main_->toolBar("tbDWGTolvane")->isVisible());  // no drawing: nothing ran
        line->clearCommand();
        addChild("drawing");
        for (QChar c : QString("TBS")) line->addChar(c);
        QVERIFY(!main_->toolBar("tbDWGTolvane")->isVisible());
        QVERIFY(user_->transcript.contains("HISTORY COMMAND : TBS"));
        // "MD" runs at once: "MDA" cannot be typed with the defaults.
        for (QChar c : QString("MDA")) line->addChar(c);
        QVERIFY(user_->transcript.contains("HISTORY COMMAND : MD\n"));
        QVERIFY(!user_->transcript.contains("COMMAND : MDA"));
        QCOMPARE(main_->router().lastRouted(), QString("catDErase"));
    }

    // The drawing's keys act on the active drawing whatever has the focus in the main window:
    // the command box after an alias, a pane, the drawing itself. Text typed in the box is
    // left alone by Delete; keys typed over the drawing go to the command line.
    void drawingKeysActWhateverHasTheFocus() {
        // The answers to the line's first point, then Ctrl+N's template and file.
        restart("escape\nchoose (No template)\nfile " + dir_.filePath("new.dxf") + "\n");
        DrawingWindow* w = openChanged("keys.dxf");
        QVERIFY(w);
        main_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
        auto* box = main_->commandLine()->findChild<QLineEdit*>("txtCommand");
        QVERIFY(box);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(main_->router().lastRouted(), QString("catDSave"));
        QVERIFY(!w->drawing().modified());
        QCOMPARE(linesIn(dir_.filePath("keys.dxf")), 2);
        // Undo from the box takes the drawing's last step, not the box's last text.
        QTest::keyClicks(box, "ze");
        QCOMPARE(main_->router().lastRouted(), QString("catDExtents"));
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(main_->router().lastRouted(), QString("catDUndo"));
        QCOMPARE(int(w->drawing().space().entities.size()), 1);
        QVERIFY(box->text().isEmpty());
        // Redo is Ctrl+Y and Ctrl+Shift+Z, from a pane as well as from the box.
        auto* tree = main_->findChild<QTreeWidget*>();
        QVERIFY(tree);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(int(w->drawing().space().entities.size()), 2);
        QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(int(w->drawing().space().entities.size()), 1);
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(int(w->drawing().space().entities.size()), 2);
        box->setText("Z");
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(main_->router().lastRouted(), QString("catDRedo"));
        // "DL" typed over the drawing starts a line: its first point is asked.
        box->clear();
        w->view().setFocus();
        QTest::keyClicks(&w->view(), "dl");
        QCOMPARE(main_->router().lastRouted(), QString("catDLine"));
        QVERIFY(user_->transcript.contains("HISTORY COMMAND : DL\nPROMPT"));
        QVERIFY(user_->transcript.contains("ANSWER escape"));
        // Ctrl+N makes a new drawing, from anywhere in the window.
        const int before = int(main_->drawings()->windows().size());
        QTest::keyClick(tree, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(int(main_->drawings()->windows().size()), before + 1);
        // A command chosen from a menu is echoed in the history.
        action("catDExtents")->trigger();
        QVERIFY(user_->transcript.contains("HISTORY COMMAND : Zoom Extents"));
    }

    void blockPreferencesAreTheInstallationsWhoeverIsLoggedIn() {
        // The logged-in user's own row asks for other block preferences than the first row,
        // which is the installation's.
        sql(db::DbId::Equipment,
            "update tblPreferences set BlockWidth = 6, blockDisplayPrefs = ? where UserID = 1",
            {true});
        sql(db::DbId::Equipment,
            "insert into tblPreferences (UserID, BlockWidth, blockDisplayPrefs) "
            "values (2, 2, ?)",
            {false});
        run_.userId = 2;
        for (const QString& flag : setting::tipFlags()) settings_->write(flag, "0");
        const QString file = dir_.filePath("blocks.dxf");
        cad::saveDxf(cad::Document(), file);
        // Create Block on a model's first input: the preferences are shown, Cancel at the name.
        restart(
            "set txtFindManufacturer Halvern\nrows lstManufacturers 1\n"
            "set txtFindEquipment HV-AD8\nrows lstEquipment 1\nclick cmdEditIO\n"
            "rows grdInputs 1\nclick cmdCreateBlock\nbutton OK\nclick cmdCancel\n"
            "click cmdExit\n");
        try {
            main_->openFile(file);
            main_->RouteCMD("catLEquipment");
        } catch (const ScriptAbort& e) {
            QFAIL(qPrintable(e.text() + "\n" + user_->transcript));
        }
        QVERIFY2(user_->transcript.contains("Block width: 6"), qPrintable(user_->transcript));
        QVERIFY(user_->ui->atEnd());
    }

    void systemCheckRunsAgainFromTheHelpMenu() {
        restart("button OK\n");
        QAction* check = action("catGSystemCheck");
        QVERIFY(main_->findChild<QMenu*>("mnuHelp")->actions().contains(check));
        check->trigger();
        // Shown even when everything passed, with every finding.
        QVERIFY2(user_->transcript.contains("SQLite driver: QSQLITE - None Required"),
                 qPrintable(user_->transcript));
        QVERIFY(user_->transcript.contains("PostgreSQL driver"));
        QVERIFY(user_->ui->atEnd());
    }

    // A report over the project's cables: the designer enables its alignment only for two
    // controls, aligns as one step of undo and marks the window changed; the data tab's filter
    // narrows the report and shows the preview. TOLVANE_SCREENSHOT_REPORT names the pictures of
    // the design tab ("-design") and the preview ("-preview").
    void reportWindowDesignsFiltersAndPreviews() {
        // Cables of a type of their own: other cases leave cables in the project too.
        for (const char* no : {"A-001", "A-002", "B-001"})
            sql(db::DbId::Project,
                "insert into tblCables (CableNO, CableType, Length) values (?, 'RG59R', 12.5)",
                {QString::fromLatin1(no)});
        reports::ReportLayout l;
        l.name = "Cables";
        l.data = reports::DataControl{"DC1", "PROJECT_SPECIFIC",
                                      "select CableNO, CableType, Length from tblCables where "
                                      "CableType = 'RG59R' order by CableNO"};
        l.pageHeader.height = 700;
        reports::Control title = control("lblTitle", ControlKind::Label, {0, 0, 6000, 400});
        title.text = "Cable List";
        title.font = {"DejaVu Sans", 16, true};
        reports::Control rule = control("Line1", ControlKind::Line, {0, 600, 10000, 0});
        rule.lineWidth = 20;
        l.pageHeader.controls << title << rule;
        l.detail.height = 300;
        reports::Control length =
            control("fldLength", ControlKind::Field, {4200, 0, 1200, 300}, "Length");
        length.format = "0.0 m";
        length.align = reports::HAlign::Right;
        l.detail.controls << control("fldCable", ControlKind::Field, {0, 0, 1800, 300}, "CableNO")
                          << control("fldType", ControlKind::Field, {2100, 60, 1800, 240},
                                     "CableType")
                          << length;
        const QString path = dir_.filePath("Cables.rpx");
        reports::writeRpx(path, l);
        restart("button OK\nbutton No\n");  // the bad filter, then the close question
        main_->openReport(path);
        auto* w = qobject_cast<ReportWindow*>(main_->activeChild());
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QString("Cables.rpx"));
        QCOMPARE(main_->windowState(), WindowState::ReportDesign);
        DesignCanvas* canvas = w->designer()->canvas();
        const reports::SectionRef detail{reports::SectionKind::Detail};
        QAction* alignTops = action("catRAlignTops");
        QAction* bold = action("catRBold");
        canvas->setSelection({{detail, 1}});
        QVERIFY(!alignTops->isEnabled());
        QVERIFY(bold->isEnabled());
        canvas->setSelection({{detail, 0}, {detail, 1}});
        QVERIFY(alignTops->isEnabled());
        QVERIFY(!enabled("catRLineStyle"));
        main_->RouteCMD("catRAlignTops");
        QCOMPARE(w->document().current().detail.controls[1].rect.top(), 0);
        QCOMPARE(w->windowTitle(), QString("Cables.rpx*"));
        main_->RouteCMD("catRUndo");
        QCOMPARE(w->document().current().detail.controls[1].rect.top(), 60);
        QCOMPARE(w->windowTitle(), QString("Cables.rpx"));
        main_->RouteCMD("catRBold");
        QVERIFY(w->document().current().detail.controls[0].font.bold);
        // The mouse: a drag moves the field one inch right (snapped), the Delete key removes
        // it; each is one step of undo.
        canvas->setSelection({});
        const QPoint field = canvas->toPixels(detail, QPoint(2200, 150));
        const QPoint inchRight = field + QPoint(int(1440 * canvas->scale()), 0);
        QTest::mousePress(canvas, Qt::LeftButton, {}, field);
        QMouseEvent drag(QEvent::MouseMove, inchRight, canvas->mapToGlobal(inchRight), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &drag);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, inchRight);
        QCOMPARE(canvas->selection(), reports::Selection({{detail, 1}}));
        QCOMPARE(w->document().current().detail.controls[1].rect.topLeft(), QPoint(3600, 120));
        QTest::keyClick(canvas, Qt::Key_Delete);
        QCOMPARE(w->document().current().detail.controls.size(), 2);
        main_->RouteCMD("catRUndo");
        main_->RouteCMD("catRUndo");
        QCOMPARE(w->document().current().detail.controls[1].rect.topLeft(), QPoint(2100, 60));
        canvas->setSelection({{detail, 0}});
        const QString shots = qEnvironmentVariable("TOLVANE_SCREENSHOT_REPORT");
        if (!shots.isEmpty()) {
            w->grab().save(shots + "-design.png");
            main_->grab().save(shots + "-main.png");
        }

        // Data tab: a filter applied narrows the report and shows it (the grid it narrows, and
        // the message for a bad filter, are in the report_window scenario).
        w->tabs()->setCurrentIndex(ReportWindow::Data);
        w->findChild<QComboBox*>("cboField1")->setCurrentText("CableNO");
        w->findChild<QComboBox*>("cboOperator1")->setCurrentText("LIKE");
        w->findChild<QLineEdit*>("txtValue1")->setText("A%");
        QCOMPARE(w->findChild<QLineEdit*>("txtFilter")->text(), QString("CableNO LIKE 'A%'"));
        w->findChild<QPushButton*>("cmdApplyFilter")->click();
        QCOMPARE(w->tabs()->currentIndex(), int(ReportWindow::Preview));
        QCOMPARE(main_->windowState(), WindowState::ReportPreview);
        QVERIFY(!alignTops->isEnabled());
        const reports::RenderedPage& page = w->previewPane()->preview()->page(1);
        QStringList cables;
        for (const auto& band : page.bands)
            if (band.kind == reports::SectionKind::Detail) cables << band.items.value(0).text;
        QCOMPARE(cables, QStringList({"A-001", "A-002"}));
        QVERIFY(!w->previewPane()->pageImage().isNull());
        if (!shots.isEmpty()) w->grab().save(shots + "-preview.png");
        // A bad filter leaves the one applied.
        w->findChild<QLineEdit*>("txtFilter")->setText("Colour = 'red'");
        w->findChild<QPushButton*>("cmdApplyFilter")->click();
        QCOMPARE(w->document().filter(), QString("CableNO LIKE 'A%'"));
        // A user without the right to edit reports cannot go back to the design tab.
        w->mayDesign = [] { return false; };
        w->tabs()->setCurrentIndex(ReportWindow::Design);
        QCOMPARE(w->tabs()->currentIndex(), int(ReportWindow::Preview));
        // Closing with the unsaved bold asks; No (the script) discards it.
        QVERIFY(w->parentWidget()->close());
        QVERIFY(user_->transcript.contains("Save changes to report layout Cables.rpx?"));
        QVERIFY(!reports::readRpx(path).detail.controls[0].font.bold);
    }

    // The designer's keys on its selection: spacing (set, equal, one grid step more and less),
    // size to grid, alignment chosen from a list, font size, bullets and indent of a rich text,
    // the new tools, the property page, sorting and grouping, the expression, the summary, the
    // database, design view, and the keys that say what the layouts do instead (OLE, code).
    // Each change is one step of undo. TOLVANE_SCREENSHOT_DESIGNER names pictures of the
    // designer's windows.
    void reportDesignerKeysActOnTheSelection() {
        reports::ReportLayout l;
        l.name = "Keys";
        l.data = reports::DataControl{"DC1", "PROJECT_SPECIFIC",
                                      "select CableNO, CableType, Length from tblCables"};
        l.detail.height = 1800;
        l.detail.controls << control("fldA", ControlKind::Field, {0, 0, 1800, 300}, "CableNO")
                          << control("fldB", ControlKind::Field, {2500, 60, 1800, 300}, "CableType")
                          << control("fldC", ControlKind::Field, {5400 - 1250, 120, 1250, 300},
                                     "Length")
                          << control("rtfNotes", ControlKind::RichText, {0, 600, 4000, 600},
                                     "<p>First</p><p>Second</p>")
                          << control("bcdCable", ControlKind::Barcode, {4200, 600, 1440, 600},
                                     "CableNO");
        const QString path = dir_.filePath("Keys.rpx");
        reports::writeRpx(path, l);
        restart(
            "text 240\n"                                                 // horizontal spacing
            "choose Tops\n"                                              // align
            "text 14\n"                                                  // font size
            "button OK\n"                                                // OLE
            "set cboSymbology QR Code\nset txtLeft 4320\nclick cmdOK\n"  // property page
            "click cmdAddGroup\nset cboGroupField CableType\nset chkRepeatHeader 1\n"
            "click cmdAddSort\nset cboSortField Length\nset cboSortOrder Descending\n"
            "click cmdOK\n"       // sorting and grouping
            "text Length\n"       // expression
            "button OK\n"         // summary outside a footer
            "button OK\n"         // code editor
            "choose EQUIPMENT\n"  // databases
            "click cmdCancel\n"   // report explorer
            "button No\n");       // the close question
        main_->openReport(path);
        auto* w = qobject_cast<ReportWindow*>(main_->activeChild());
        QVERIFY(w);
        DesignCanvas* canvas = w->designer()->canvas();
        const reports::SectionRef detail{reports::SectionKind::Detail};
        const auto at = [&](int i) { return w->document().current().detail.controls[i]; };
        const auto lefts = [&] {
            return QList<int>{at(0).rect.left(), at(1).rect.left(), at(2).rect.left()};
        };
        canvas->setSelection({{detail, 0}, {detail, 1}});
        QVERIFY(enabled("catRHSpacing"));
        QVERIFY(!enabled("catRHEqual"));  // equal spacing takes three
        QVERIFY(!enabled("catRBullets"));
        canvas->setSelection({{detail, 2}, {detail, 0}, {detail, 1}});
        QVERIFY(enabled("catRHEqual"));
        main_->RouteCMD("catRHEqual");
        QCOMPARE(lefts(), (QList<int>{0, 2075, 4150}));
        main_->RouteCMD("catRHSpacing");  // 240
        QCOMPARE(lefts(), (QList<int>{0, 2040, 4080}));
        main_->RouteCMD("catRHPlus");
        QCOMPARE(lefts(), (QList<int>{0, 2160, 4320}));
        main_->RouteCMD("catRHMinus");
        QCOMPARE(lefts(), (QList<int>{0, 2040, 4080}));
        main_->RouteCMD("catRUndo");
        QCOMPARE(lefts(), (QList<int>{0, 2160, 4320}));
        main_->RouteCMD("catRSize");
        QCOMPARE(at(2).rect.width(), 1200);
        main_->RouteCMD("catRAlign");  // Tops, on the first selected
        QCOMPARE(at(0).rect.top(), 120);
        QCOMPARE(at(1).rect.top(), 120);
        main_->RouteCMD("catRFontSize");
        QCOMPARE(at(1).font.pointSize, 14.0);
        // Rich text: bullets and indent, enabled only for it.
        canvas->setSelection({{detail, 3}});
        QVERIFY(enabled("catRBullets") && enabled("catRIndent") && enabled("catROutdent"));
        main_->RouteCMD("catRBullets");
        main_->RouteCMD("catRIndent");
        main_->RouteCMD("catRIndent");
        main_->RouteCMD("catROutdent");
        QVERIFY(at(3).bullets);
        QCOMPARE(at(3).indent, 1);
        // The toolbox places the new kinds; OLE says what to use instead.
        for (const auto& [key, kind] : {std::pair{"catRRTF", ControlKind::RichText},
                                        {"catRFrame", ControlKind::Frame},
                                        {"catRSubreport", ControlKind::SubReport},
                                        {"catRPageBreak", ControlKind::PageBreak},
                                        {"catRBarcode", ControlKind::Barcode}}) {
            QVERIFY2(enabled(key), key);
            main_->RouteCMD(key);
            QCOMPARE(canvas->tool(), std::optional{kind});
        }
        main_->RouteCMD("catRSelect");
        main_->RouteCMD("catROLE");
        QVERIFY(user_->transcript.contains("OLE objects are not part of report layouts"));
        // The property page of the barcode.
        canvas->setSelection({{detail, 4}});
        main_->RouteCMD("catRPropertyPage");
        QCOMPARE(at(4).symbology, reports::Symbology::QrCode);
        QCOMPARE(at(4).rect.left(), 4320);
        // A group on the cable type, its header repeated.
        main_->RouteCMD("catRSortingAndGrouping");
        QCOMPARE(w->document().current().groups.size(), 1);
        QCOMPARE(w->document().current().groups[0].field, QString("CableType"));
        QVERIFY(w->document().current().groups[0].header.repeat);
        // Rows sorted by length, longest first, within the groups.
        QCOMPARE(w->document().current().sorts, (QList<reports::SortField>{{{}, "Length", true}}));
        canvas->setSelection({{detail, 2}});
        main_->RouteCMD("catRExpression");
        QCOMPARE(at(2).text, QString("Length"));
        main_->RouteCMD("catRSummary");
        QVERIFY(user_->transcript.contains("A total is shown in a group footer"));
        main_->RouteCMD("catRCodeEditor");
        QVERIFY(user_->transcript.contains("Report layouts carry no code"));
        main_->RouteCMD("catRDatabases");
        QCOMPARE(w->document().current().data->databaseKey, QString("EQUIPMENT"));
        main_->RouteCMD("catRUndo");
        QCOMPARE(w->document().current().data->databaseKey, QString("PROJECT_SPECIFIC"));
        main_->RouteCMD("catRViewExplorer");
        QVERIFY(user_->transcript.contains("WINDOW frmReportExplorer opened"));
        w->tabs()->setCurrentIndex(ReportWindow::Data);
        main_->RouteCMD("catRDesignView");
        QCOMPARE(w->tabs()->currentIndex(), int(ReportWindow::Design));
        if (const QString shots = qEnvironmentVariable("TOLVANE_SCREENSHOT_DESIGNER");
            !shots.isEmpty()) {
            canvas->setSelection({});
            w->resize(1000, 700);
            w->grab().save(shots + "-design.png");
            PropertyPage page(at(4));
            page.grab().save(shots + "-properties.png");
            SortingGroupingWindow groups(w->document().current().groups,
                                         w->document().current().sorts,
                                         {"CableNO", "CableType", "Length"});
            groups.grab().save(shots + "-grouping.png");
            FieldListWindow fields({"CableNO", "CableType", "Length"});
            fields.grab().save(shots + "-fields.png");
            ReportExplorer explorer(w->document().current());
            explorer.grab().save(shots + "-explorer.png");
        }
        QVERIFY(w->parentWidget()->close());
    }

    // The jack-assignment grid: built positions red, free ones green (their sheets above and
    // below are in the jack_assign scenario); a cell chosen in the grid is the column OK ties
    // the jack to.
    void jackAssignmentShowsBuiltAndFreePositions() {
        settings_->write(setting::ShowJackTips, "0");
        DrawingWindow* w = openChanged("jacks.dxf");
        const QString block = dir_.filePath("JACK1_1_SD.dxf");
        cad::saveDxf(standard::blockDrawing("JACK1_1_SD"), block);
        cad::addBlockFromFile(w->drawing().document(), block, "JACK1_1_SD");
        const QString jack = w->drawing().placeBlock("JACK1_1_SD", {20, 0});
        w->drawing().editor().modify(jack, [](cad::Entity& e) { tag::tagEntity(e, "Jack"); });
        for (const char* statement :
             {"insert into tblJF (JFID, JFSysName, JFSysID, JFRows, JFCols, RearConn) values "
              "(1, 'PB', 1, 2, 12, 'EDAC')",
              "insert into tblJFRowCol (JFID, JFRow, JFCol, JFRowNumber, assigned, Sheet) "
              "select 1, r.l, printf('%02d', c.n), r.n, c.n = 3, case when c.n = 3 then "
              "'rack-2.dxf' else '' end from (select 'A' l, 1 n union select 'B', 2) r, (with "
              "recursive k(n) as (select 1 union all select n + 1 from k where n < 12) select n "
              "from k) c"})
            sql(db::DbId::Project, statement);
        AssignJackWindow window(*user_->ui, w->drawing(), jack, true, db::connections(),
                                main_.get());
        window.show();
        auto* grid = window.findChild<QTableWidget*>("grdJacks");
        QCOMPARE(grid->columnCount(), 14);
        QCOMPARE(grid->item(1, 4)->background().color(), QColor(255, 0, 0));
        QCOMPARE(grid->item(2, 3)->background().color(), QColor(0, 255, 0));
        grid->setCurrentCell(2, 6);
        test::screenshot(window, "TOLVANE_SCREENSHOT_JACKS");
        window.findChild<QPushButton*>("cmdOK")->click();
        QCOMPARE(w->drawing().document().find(jack)->attribute("COL")->text, QString("05"));
    }
    // A registered drawing of the project holding a camera wired to a monitor by cable V-1
    // (one of its number texts reading V-7), a cable never assigned and a block without a
    // system name; the rows hold V-2, drawn nowhere, and system VTR-01, placed nowhere.
    // Returns the stale text's handle.
    QString drawCheckedProject(const QString& path) {
        // Earlier cases leave their rows and drawings in the project.
        for (const char* table :
             {"tblCables", "tblChildCables", "tblSystems", "tblJFRowCol", "tblDrawings"})
            sql(db::DbId::Project, QStringLiteral("delete from %1").arg(table));
        const QString model =
            sql(db::DbId::Equipment, "select min(EquipmentID) from tblEquipment").toString();
        auto system = [](const char* name) {
            sql(db::DbId::Project,
                "insert into tblSystems (SysName, SysNum, EquipID) values (?, 1, 1)", {name});
            return sql(db::DbId::Project, "select SysID from tblSystems where SysName = ?", {name})
                .toString();
        };
        const QString cam = system("CAM"), mon = system("MON");
        system("VTR");
        sql(db::DbId::Project,
            "insert into tblCables (CableID, CableNoPrefix, CableNO, SRCSys, SRCPin, DestSYS, "
            "DestPin, Sheet, MultiCore, Available) values (1, 'V', '1', 'CAM-01', 'OUT-1', "
            "'MON-01', 'IN-1', 'checked.dxf', false, false), (2, 'V', '2', 'CAM-01', "
            "'OUT-2', 'MON-01', 'IN-2', 'checked.dxf', false, false)");
        cad::Document doc;
        auto block = [&](const char* name, QPointF at, const QString& sysName,
                         const QString& sysId) {
            doc.addBlock(name);
            cad::Entity e = cad::Entity::insert(name, at);
            e.attributes.push_back(cad::Entity::attribute(at, "SysName", sysName, 0.2));
            tag::tagEntity(e, tag::kind::EquipmentBlock, model, sysId);
            doc.add(doc.modelSpace(), std::move(e));
        };
        block("CAMERA", {0, 0}, "CAM-01", cam);
        block("MONITOR", {40, 0}, "MON-01", mon);
        block("RECORDER", {80, 0}, "SysName", {});
        auto cable = [&](const QString& id, QPointF from, QPointF to, const char* first,
                         const char* last) {
            cad::Entity line = cad::Entity::polyline({{from}, {to}}, false);
            tag::tagEntity(line, tag::kind::Cable, id);
            const QString h = doc.add(doc.modelSpace(), std::move(line)).handle;
            const QString s =
                doc.add(doc.modelSpace(), cad::Entity::textAt(from, first, 0.25)).handle;
            const QString t = doc.add(doc.modelSpace(), cad::Entity::textAt(to, last, 0.25)).handle;
            cad::Entity* e = doc.find(h);
            tag::setAssoc(*e, s + "|" + t);
            return t;
        };
        const QString stale = cable("1", {0, 0}, {40, 0}, "V-1", "V-7");
        cable({}, {0, 5}, {40, 5}, "Cable #", "Cable #");
        cad::saveDxf(doc, path);
        projects::DrawingRegistry(run_, *user_->ui, db::connections()).registerDrawing(path);
        return stale;
    }

    // The Check Project window sums up what it finds and opens the drawing of an activated line
    // zoomed to the entity and selecting it (its groups and its Release and Correct buttons are
    // in the check_project scenario). The Trace Signal
    // window lists the path from the camera to the monitor, and says so when a system is not
    // in the drawings; it reads the drawings once for all its traces. TOLVANE_SCREENSHOT_CHECK,
    // TOLVANE_SCREENSHOT_TRACE and TOLVANE_SCREENSHOT_TRACEWRONG name pictures.
    void checkAndTraceWindowsOverARegisteredDrawing() {
        const QString path = dir_.filePath("checked.dxf");
        const QString stale = drawCheckedProject(path);
        ProjectCheckWindow check(*user_->ui, main_->checkServices(), db::connections(),
                                 main_.get());
        check.setErrorHandler(errors_.get());
        check.show();
        check.runCheck();
        QCOMPARE(check.findChild<QLabel*>("lblSummary")->text(),
                 QString("1 drawing checked: 5 findings."));
        auto* list = check.findChild<QTreeWidget*>("lstFindings");
        QTreeWidgetItem* text = list->topLevelItem(2)->child(0);  // the number texts' group
        list->setCurrentItem(text);
        QCOMPARE(text->text(2), stale);
        test::screenshot(check, "TOLVANE_SCREENSHOT_CHECK");

        Q_EMIT list->itemActivated(text, 0);
        QCOMPARE(main_->drawings()->windows().size(), 1);
        DrawingWindow* w = main_->drawings()->windows().first();
        QCOMPARE(QFileInfo(w->drawing().path()).fileName(), QString("checked.dxf"));
        const cad::BBox shown = w->view().view().visibleBox();
        QVERIFY(shown.x0 < 40 && shown.x1 > 40 && shown.y0 < 0 && shown.y1 > 0);
        QVERIFY(shown.x1 - shown.x0 < 20);  // zoomed to the text, not the whole cable
        QCOMPARE(w->view().selection(), QStringList{stale});

        // The drawings are read once for every trace of the window.
        int reads = 0;
        CheckWindowServices services = main_->checkServices();
        services.sources = [&reads, sources = services.sources] {
            ++reads;
            return sources();
        };
        SignalTraceWindow trace(*user_->ui, services, db::connections(), main_.get());
        trace.show();
        trace.findChild<QLineEdit*>("txtSystem")->setText("cam-01");
        trace.findChild<QLineEdit*>("txtPin")->setText("OUT-1");
        trace.findChild<QPushButton*>("cmdTrace")->click();
        auto* steps = trace.findChild<QTreeWidget*>("lstPath");
        QCOMPARE(steps->topLevelItemCount(), 2);
        QCOMPARE(steps->topLevelItem(0)->text(2), QString("CAM-01"));
        QCOMPARE(steps->topLevelItem(1)->text(1), QString("end"));
        QCOMPARE(steps->topLevelItem(1)->text(2), QString("MON-01"));
        QCOMPARE(steps->topLevelItem(1)->text(5), QString("V-1"));
        test::screenshot(trace, "TOLVANE_SCREENSHOT_TRACE");
        trace.findChild<QLineEdit*>("txtSystem")->setText("CAM-09");
        trace.findChild<QPushButton*>("cmdTrace")->click();
        QCOMPARE(trace.findChild<QLabel*>("lblMessage")->text(),
                 QString("There is no CAM-09 in the project's drawings or cables."));
        QCOMPARE(steps->topLevelItemCount(), 0);
        QCOMPARE(reads, 1);
        test::screenshot(trace, "TOLVANE_SCREENSHOT_TRACEWRONG");
    }

    // The texts of the drawing's context menu opened by a right-click at a world point, after
    // which `then` runs with the menu open (it chooses an entry, or closes the menu).
    QStringList rightClick(DrawingWindow& w, QPointF world,
                           const std::function<void(QMenu&)>& then) {
        QStringList texts;
        test::later([&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions())
                if (!a->isSeparator()) texts << a->text();
            then(*menu);
        });
        const QPoint at = w.view().view().toDevice(world).toPoint();
        QTest::mouseClick(&w.view(), Qt::RightButton, {}, at);
        return texts;
    }
    static void choose(QMenu& menu, const QString& text) {
        for (QAction* a : menu.actions())
            if (a->text() == text)
                QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(a).center());
    }

    // A right-click on a cable offers its own actions before the general ones; Trace Signal
    // from here traces from that cable's source end. (The menu on empty drawing is in the
    // context_menu scenario.)
    void contextMenuOfACableRunsItsActionOnIt() {
        const QString path = dir_.filePath("checked.dxf");
        drawCheckedProject(path);
        restart("print-grid lstPath\nclose\n");
        DrawingWindow* w = main_->drawings()->open(path);
        QVERIFY(w);
        w->view().zoomWindow({-5, -10}, {45, 10});
        const QStringList onCable = rightClick(*w, {20, 0}, [](QMenu& m) {
            test::screenshot(m, "TOLVANE_SCREENSHOT_MENU");
            choose(m, "Trace Signal from here");
        });
        QCOMPARE(onCable, QStringList({"Assign Cable", "Edit Settings", "Trace Signal from here",
                                       "Properties", "Erase", "Copy", "Move"}));
        QVERIFY(user_->transcript.contains("WINDOW frmTraceSignal opened"));
        QVERIFY(user_->transcript.contains("ROW 1: 1 | start | CAM-01 | OUT-1"));
        QVERIFY(user_->transcript.contains("| end | MON-01 | IN-1"));
    }

    // A row of the project cables sheet is shown on its drawing: the drawing opens zoomed to
    // the cable and selecting it; a row drawn nowhere says so. The context menu's Edit Settings
    // opens the sheet at the cable's row; on a cable never assigned it says there is none.
    void cablesAndTheirRowsShowEachOther() {
        const QString path = dir_.filePath("checked.dxf");
        drawCheckedProject(path);
        restart("button OK\nbutton OK\n");
        DataSheetWindow* sheet = main_->openDataSheet(SheetKind::ProjectCables);
        QVERIFY(sheet);
        auto* show = sheet->findChild<QToolButton*>("cmdShowOnDrawing");
        QVERIFY(show);
        sheet->grid()->clearSelection();
        sheet->grid()->setCurrentIndex({});
        QVERIFY(!show->isEnabled());
        QVERIFY(sheet->showRow("CableID", 1));
        QVERIFY(show->isEnabled());
        show->click();
        QCOMPARE(main_->drawings()->windows().size(), 1);
        DrawingWindow* w = main_->drawings()->windows().first();
        QCOMPARE(w->view().selection().size(), 1);
        const cad::Entity* cable = w->drawing().document().find(w->view().selection().first());
        QVERIFY(cable);
        QCOMPARE(tag::ref1(*cable), QString("1"));
        const cad::BBox shown = w->view().view().visibleBox();
        QVERIFY(shown.x0 <= 0 && shown.x1 >= 40);

        QVERIFY(sheet->showRow("CableID", 2));
        show->click();
        QVERIFY(user_->transcript.contains(
            "MESSAGE [OK] Tolvane | Cable V-2 is not drawn on any drawing of the project."));

        w->view().zoomWindow({-5, -10}, {45, 10});
        sheet->showRow("CableID", 2);
        rightClick(*w, {20, 0}, [](QMenu& m) { choose(m, "Edit Settings"); });
        QCOMPARE(sheet->model()->value(sheet->chosenRow(), "CableID").toInt(), 1);
        rightClick(*w, {20, 5}, [](QMenu& m) { choose(m, "Edit Settings"); });
        QVERIFY(user_->transcript.contains(
            "This cable has not been assigned yet: it has no settings to edit."));
    }

    // Trace Signal: activating a place of the path opens its drawing there and highlights the
    // whole path (both systems and the cable) in it.
    void aTraceRowHighlightsThePath() {
        const QString path = dir_.filePath("checked.dxf");
        drawCheckedProject(path);
        SignalTraceWindow trace(*user_->ui, main_->checkServices(), db::connections(), main_.get());
        trace.show();
        trace.startFrom("CAM-01", "OUT-1");
        auto* steps = trace.findChild<QTreeWidget*>("lstPath");
        QCOMPARE(steps->topLevelItemCount(), 2);
        steps->doItemsLayout();
        const QRect row = steps->visualItemRect(steps->topLevelItem(1));
        // A double-click: its first click, then the second.
        QTest::mouseClick(steps->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(steps->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(main_->drawings()->windows().size(), 1);
        DrawingWindow* w = main_->drawings()->windows().first();
        const cad::Document& doc = w->drawing().document();
        QStringList kinds;
        for (const QString& h : w->view().selection()) {
            const cad::Entity* e = doc.find(h);
            QVERIFY(e);
            kinds << (e->kind == cad::EntityKind::Insert ? e->blockName.str() : tag::ref1(*e));
        }
        kinds.sort();
        // The two systems and cable 1; not the unassigned cable beside them.
        QCOMPARE(kinds, QStringList({"1", "CAMERA", "MONITOR"}));
    }

    // Tabs or windows, and the main window's size, come back after a restart.
    void tabbedModeAndSizeSurviveARestart() {
        auto* tabbed = action("mnuWindowTabbed");
        QVERIFY(tabbed);
        QVERIFY(!tabbed->isChecked());
        tabbed->trigger();
        QCOMPARE(main_->mdiArea()->viewMode(), QMdiArea::TabbedView);
        main_->resize(700, 500);
        const QSize size = main_->size();
        QVERIFY(size != QSize(1200, 800));  // not the first start's size
        QVERIFY(main_->close());
        restart("");
        QCOMPARE(main_->mdiArea()->viewMode(), QMdiArea::TabbedView);
        QVERIFY(action("mnuWindowTabbed")->isChecked());
        QCOMPARE(main_->size(), size);
        action("mnuWindowWindows")->trigger();
        QVERIFY(main_->close());
        restart("");
        QCOMPARE(main_->mdiArea()->viewMode(), QMdiArea::SubWindowView);
    }

    // The toolbar's layer list shows the active drawing's layers: a key moves the current
    // layer, a click on a layer's check in the open list turns it off, and a layer added
    // elsewhere shows in the list.
    void layerListSetsTheCurrentLayerAndTurnsLayersOff() {
        DrawingWindow* w = openChanged("layers.dxf");
        QVERIFY(w);
        LayerTable table = layerTable(w->drawing());
        table.current = "0";
        table.layers << cad::Layer{"ZZ-FIRST"} << cad::Layer{"ZZ-SECOND"};
        QCOMPARE(applyLayerTable(w->drawing(), table), QString());
        auto* list = main_->findChild<QComboBox*>("cboLayer");
        QVERIFY(list && list->isEnabled());
        QCOMPARE(list->count(), table.layers.size());
        QCOMPARE(list->currentText(), QString("0"));
        const QString next = list->itemText(list->currentIndex() + 1);
        QVERIFY(!next.isEmpty());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(w->drawing().document().currentLayer(), next);
        QCOMPARE(list->currentText(), next);

        list->showPopup();
        QAbstractItemView* view = list->view();
        const int last = list->findText("ZZ-SECOND");
        const QRect text = view->visualRect(list->model()->index(last, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          QPoint(text.left() + 4, text.center().y()));
        QVERIFY(!w->drawing().document().layer("ZZ-SECOND")->on);
        QVERIFY(view->isVisible());  // the list stays open for the next layer
        list->hidePopup();
        QCOMPARE(w->drawing().document().currentLayer(), next);

        table = layerTable(w->drawing());
        table.layers << cad::Layer{"ZZ-THIRD"};
        QCOMPARE(applyLayerTable(w->drawing(), table), QString());
        QCOMPARE(list->count(), table.layers.size());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
