// The check of a project and the trace of a signal, on a small project of two sheets: a
// camera wired through a jackfield column, across a pointer pair to the other sheet, through
// two J-boxes joined by a core of a multicore cable, into a DA whose first output feeds a
// monitor. The clean project has no finding; the same project with one fault of each kind
// planted has exactly those. The trace follows the path written out by hand below.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <optional>

#include "cad/dxf.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "script_fixture.h"
#include "wiring/project_check.h"
#include "wiring/signal_trace.h"

using namespace tolvane;
using namespace tolvane::wiring;

namespace {

class ProjectFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        sql(db::DbId::Equipment,
            "insert into tblEquipment (EquipmentID, EquipmentName) values (1, 'CAM'), (2, 'DA')");
        sql(db::DbId::Project,
            "insert into tblSystems (SysID, SysName, SysNum, EquipID) values (1, 'CAM', 1, 1), "
            "(2, 'DA', 1, 2), (3, 'MON', 1, 1)");
        sql(db::DbId::Project,
            "insert into tblJF (JFID, JFSysName, JFSysID, RowStartLetter, JFRows, JFCols, "
            "RearConn) values (7, 'PB', 1, 'A', 2, 1, 'BNC')");
        sql(db::DbId::Project,
            "insert into tblJFRowCol (RowColID, JFID, JFRow, JFCol, Sheet, assigned) values "
            "(70, 7, 'A', '01', 'a.dxf', true), (71, 7, 'B', '01', 'a.dxf', true)");
        row(1, "1", "CAM-01", "OUT-1", "BNC", "PB-01", "A-01", "BNC", "a.dxf");
        row(2, "2", "PB-01", "B-01", "BNC", "JB-1", "A-1", "", "a.dxf");
        row(5, "5", "JB-1", "B-1", "", "JB-2", "A-1", "", "b.dxf", true);
        row(3, "3", "JB-2", "B-1", "", "DA-01", "IN-1", "BNC", "b.dxf");
        row(4, "4", "DA-01", "O/P-1", "BNC", "MON-01", "IN-1", "BNC", "b.dxf");
        sql(db::DbId::Project,
            "insert into tblChildCables (ChildCableID, CableNo, ParentNo, SRCSys, SRCPin, "
            "DestSYS, DestPin, Sheet, Available) values (50, '5-01', 5, 'JB-1', 'B-1', 'JB-2', "
            "'A-1', 'b.dxf', false), (51, '5-02', 5, '', '', '', '', '', true)");

        // Sheet a: the camera, the jack, the cable into the jack and the one out of it to a
        // pointer.
        block(a, "CAMERA", {0, 0}, tag::kind::EquipmentBlock, "1", "1", "SysName", "CAM-01");
        block(a, "FN_JACK_SD", {10, 0}, tag::kind::Jack, "7", "70", "JF", "PB-01", "71");
        cable(a, "1", "V-1", {{0, 0}, {10, 0}});
        cable(a, "2", "V-2", {{10, 0}, {50, 0}});
        pointerD = block(a, "POINTER_D", {50, 0}, tag::kind::Pointer, {}, {}, "DSHT", "b.dxf");
        // Sheet b: the far side of the pair, the J-boxes, the core, the DA and the monitor.
        pointerS = block(b, "POINTER_S", {0, 0}, tag::kind::Pointer, {}, {}, "SSHT", "a.dxf");
        a.editor().modify(pointerD, [&](cad::Entity& e) { tag::setAssoc(e, pointerS); });
        b.editor().modify(pointerS, [&](cad::Entity& e) { tag::setAssoc(e, pointerD); });
        cable(b, "2", "V-2", {{0, 0}, {10, 0}});
        block(b, "JBOX_S", {10, 0}, tag::kind::JBox, {}, {}, "JB", "JB-1");
        block(b, "JBOX_D", {20, 0}, tag::kind::JBox, {}, {}, "JB", "JB-2");
        cable(b, "5", "M-5-01", {{10, 0}, {20, 0}});
        da = block(b, "DA_BLOCK", {30, 0}, tag::kind::DABlock, "2", "2", "SysName", "DA-01");
        b.editor().modify(da, [](cad::Entity& e) {
            e.attributes.push_back(cad::Entity::attribute({30, 1}, "O/P-1", "O/P-1", 0.2));
            e.attributes.push_back(cad::Entity::attribute({30, 2}, "O/P-2", "O/P-2", 0.2));
        });
        cable(b, "3", "V-3", {{20, 0}, {30, 0}});
        block(b, "MONITOR", {40, 0}, tag::kind::EquipmentBlock, "1", "3", "SysName", "MON-01");
        cable(b, "4", "V-4", {{30, 0}, {40, 0}});
    }

    void sql(db::DbId id, const char* statement) { db::Query(id, statement, registry).exec(); }
    void row(qint64 id, const char* number, const char* srcSys, const char* srcPin,
             const char* srcConn, const char* dstSys, const char* dstPin, const char* dstConn,
             const char* sheet, bool multiCore = false) {
        db::Query q(db::DbId::Project,
                    "insert into tblCables (CableID, CableNoPrefix, CableNO, SRCSys, SRCPin, "
                    "SRCConn, DestSYS, DestPin, DESTConn, Sheet, MultiCore, Available) values (?, "
                    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                    registry);
        for (const QVariant& v :
             QVariantList{id, multiCore ? "M" : "V", number, srcSys, srcPin, srcConn, dstSys,
                          dstPin, dstConn, sheet, multiCore, false})
            q.bind(v);
        q.exec();
    }
    // A file that is no drawing: its first line holds no number where one must stand.
    void writeBadDrawing() {
        QFile bad(dir.filePath("bad.dxf"));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot a number\n");
    }
    bool available(qint64 cableId) {
        return db::Query(db::DbId::Project,
                         QStringLiteral("select Available from tblCables where CableID = %1")
                             .arg(cableId),
                         registry)
            .scalar()
            .toBool();
    }
    static QStringList lines(const QList<Finding>& findings) {
        QStringList out;
        for (const Finding& f : findings) out << f.line();
        return out;
    }
    QString block(Drawing& d, const char* name, QPointF at, const QString& kind,
                  const QString& ref1, const QString& ref2, const char* attr, const QString& value,
                  const QString& ref3 = {}) {
        d.document().addBlock(QString::fromLatin1(name));
        cad::Entity e = cad::Entity::insert(QString::fromLatin1(name), at);
        e.attributes.push_back(cad::Entity::attribute(at, QString::fromLatin1(attr), value, 0.2));
        tag::tagEntity(e, kind, ref1, ref2, ref3);
        return d.editor().add(std::move(e));
    }
    // A cable and its two number texts.
    QString cable(Drawing& d, const QString& id, const QString& number,
                  const QList<QPointF>& points) {
        QList<cad::Vertex> v;
        for (QPointF p : points) v.append({p});
        cad::Entity line = cad::Entity::polyline(v, false);
        tag::tagEntity(line, tag::kind::Cable, id);
        const QString h = d.editor().add(std::move(line));
        const QString s = d.editor().add(cad::Entity::textAt(points.first(), number, 0.25));
        const QString t = d.editor().add(cad::Entity::textAt(points.last(), number, 0.25));
        d.editor().modify(h, [&](cad::Entity& e) { tag::setAssoc(e, s + "|" + t); });
        return h;
    }
    // Sheet a closed (read from its file), sheet b open in a window.
    ProjectScan scan(QStringList extra = {}) {
        cad::saveDxf(a.document(), dir.filePath("a.dxf"));
        b.setPath(dir.filePath("b.dxf"));
        QList<DrawingSource> sources{{dir.filePath("a.dxf"), nullptr}, {b.path(), &b}};
        for (const QString& e : extra) sources << DrawingSource{dir.filePath(e), nullptr};
        return scanProject(sources);
    }
    static QStringList keys(const QList<Finding>& findings) {
        QStringList out;
        for (const Finding& f : findings)
            out << kindWord(f.kind) + " " + f.drawing + " " +
                       (f.handle.isEmpty() ? f.record : QStringLiteral("#") + f.handle);
        return out;
    }

    QTemporaryDir dir;
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Drawing a, b;
    QString pointerD, pointerS, da;
};

}  // namespace

// One fault of each kind, and bad input beside them: each found once, nothing else (the clean
// project itself has no finding).
TEST_F(ProjectFixture, FindsExactlyThePlantedFaults) {
    const QString v3 = b.document().modelSpace().entities.back().handle;  // V-4's last text
    b.editor().modify(v3, [](cad::Entity& e) { e.text = "V-44"; });
    const QString unassigned = cable(b, {}, "Cable #", {{60, 0}, {70, 0}});
    row(6, "6", "VTR-01", "OUT-1", "", "MON-01", "IN-3", "", "b.dxf");
    const QString duplicate = cable(a, "1", "V-1", {{0, 5}, {10, 5}});
    const QString unnamed =
        block(a, "CAMERA", {0, 20}, tag::kind::EquipmentBlock, "1", {}, "SysName", "SysName");
    sql(db::DbId::Project, "insert into tblSystems (SysID, SysName, SysNum) values (4, 'VTR', 1)");
    const QString orphan =
        block(b, "OLDCAM", {0, 30}, tag::kind::EquipmentBlock, "99", "3", "SysName", "MON-01");
    row(7, "7", "CAM-01", "OUT-1", "", "MON-01", "IN-2", "", "a.dxf");
    const QString seven = cable(a, "7", "V-7", {{0, 40}, {10, 40}});
    const QString unlinked = block(a, "POINTER_D", {80, 0}, tag::kind::Pointer, {}, {}, "DSHT", "");
    const QString gone =
        block(b, "POINTER_D", {80, 0}, tag::kind::Pointer, {}, {}, "DSHT", "a.dxf");
    b.editor().modify(gone, [](cad::Entity& e) { tag::setAssoc(e, "FFFF"); });
    const QString away =
        block(b, "POINTER_D", {90, 0}, tag::kind::Pointer, {}, {}, "DSHT", "c.dxf");
    b.editor().modify(away, [](cad::Entity& e) { tag::setAssoc(e, "ABC"); });
    sql(db::DbId::Project,
        "insert into tblJFRowCol (RowColID, JFID, JFRow, JFCol, Sheet, assigned) values (72, 7, "
        "'A', '02', 'a.dxf', true), (73, 7, 'B', '02', 'a.dxf', false)");
    writeBadDrawing();

    const ProjectScan s = scan({"bad.dxf", "gone.dxf"});
    const QList<Finding> findings = ProjectCheck(registry).run(s);
    const QStringList expected{
        "MissingDrawing gone.dxf ",
        "UnreadableDrawing bad.dxf ",
        "UnassignedCable b.dxf #" + unassigned,
        "OrphanedCableRow b.dxf tblCables 6",
        "DuplicateCableID a.dxf #" + duplicate,
        "StaleNumberText b.dxf #" + v3,
        "NoSystemName a.dxf #" + unnamed,
        "SystemWithoutBlock  tblSystems 4",
        "OrphanedBlock b.dxf #" + orphan,
        "DoubleWired a.dxf #" + seven,
        "UnlinkedPointer a.dxf #" + unlinked,
        "PointerPartnerGone b.dxf #" + gone,
        "PointerSheetUnregistered b.dxf #" + away,
        "UnheldJackPosition a.dxf tblJFRowCol 72",
    };
    EXPECT_EQ(keys(findings), expected) << keys(findings).join("\n").toStdString();
    const Finding& stale = findings[5];
    EXPECT_EQ(stale.expectedText, "V-4");
    EXPECT_EQ(stale.line(), "CHECK StaleNumberText | b.dxf | " + v3 +
                                " | The number text reads \"V-44\"; its cable's row has V-4.");
}

// Closed drawings are read by several threads at once, the records meanwhile, with faults in
// several drawings and one that cannot be read and one missing among them: whatever order they
// finish in, the scan holds them in the order of the sources, each as read alone, with the open
// one in its place; progress is told once per drawing, in order, on the caller's thread; a stop
// leaves exactly the drawings told so far; and every finding of every drawing comes out, in the
// same order as when the drawings are read first and the records after.
TEST_F(ProjectFixture, ReadsManyDrawingsInTheirOrderWithTheRecordsMeanwhile) {
    b.setPath(dir.filePath("b.dxf"));
    writeBadDrawing();
    QString firstText;  // V-1's number text at its start
    for (const cad::Entity& e : a.document().modelSpace().entities)
        if (e.kind == cad::EntityKind::Text && e.text == "V-1" && firstText.isEmpty())
            firstText = e.handle;
    QList<DrawingSource> sources;
    QStringList unassigned, stale;
    for (int i = 0; i < 12; ++i) {
        // Copies that differ, so that they finish unevenly.
        cad::Document copy = a.document();
        const QString title = QStringLiteral("s%1.dxf").arg(i);
        if (i % 3 == 0) {
            cad::Entity loose = cad::Entity::polyline({{{0, 200}}, {{10, 200}}}, false);
            tag::tagEntity(loose, tag::kind::Cable);
            unassigned << "UnassignedCable " + title + " #" +
                              QString(copy.addToModel(loose).handle);
        }
        if (i % 4 == 1) {
            copy.find(firstText)->text = "V-9" + QString::number(i);
            stale << "StaleNumberText " + title + " #" + firstText;
        }
        cad::saveDxf(copy, dir.filePath(title));
        sources << DrawingSource{dir.filePath(title), nullptr};
        if (i == 4) sources << DrawingSource{b.path(), &b};
        if (i == 6) sources << DrawingSource{dir.filePath("bad.dxf"), nullptr};
        if (i == 8) sources << DrawingSource{dir.filePath("gone.dxf"), nullptr};
    }
    unassigned.sort();
    stale.sort();

    const Qt::HANDLE caller = QThread::currentThreadId();
    QList<int> told;
    bool elsewhere = false;
    ProjectCheck check(registry);
    const ProjectScan whole = scanProject(
        sources,
        [&](int done, int total) {
            told << done;
            elsewhere =
                elsewhere || QThread::currentThreadId() != caller || total != sources.size();
            return true;
        },
        [&] { check.readRecords(); });
    EXPECT_FALSE(elsewhere);
    EXPECT_FALSE(whole.cancelled);
    ASSERT_EQ(int(whole.drawings.size()), sources.size());
    QList<int> expectedTold;
    for (int i = 1; i <= sources.size(); ++i) expectedTold << i;
    EXPECT_EQ(told, expectedTold);
    for (int i = 0; i < sources.size(); ++i) {
        const ScannedDrawing& d = whole.drawings[size_t(i)];
        const ProjectScan alone = scanProject({sources[i]});
        const ScannedDrawing& one = alone.drawings.front();
        EXPECT_EQ(d.path, sources[i].path);
        EXPECT_EQ(d.status, one.status) << d.title.toStdString();
        ASSERT_EQ(d.cables.size(), one.cables.size()) << d.title.toStdString();
        for (size_t k = 0; k < d.cables.size(); ++k) {
            EXPECT_EQ(d.cables[k].handle, one.cables[k].handle);
            EXPECT_EQ(d.cables[k].ref1, one.cables[k].ref1);
        }
        EXPECT_EQ(whole.drawing(d.title), &d);
    }
    EXPECT_EQ(whole.drawing("b.dxf")->cables.size(), 4u);
    EXPECT_EQ(whole.drawing("bad.dxf")->status, ScannedDrawing::Status::Unreadable);
    EXPECT_EQ(whole.drawing("gone.dxf")->status, ScannedDrawing::Status::Missing);
    EXPECT_NE(whole.drawing("s0.dxf")->cables.size(), whole.drawing("s11.dxf")->cables.size());

    const QList<Finding> findings = check.run(whole);
    EXPECT_EQ(lines(findings), lines(ProjectCheck(registry).run(scanProject(sources))));
    const QStringList all = keys(findings);
    EXPECT_EQ(all.filter(QRegularExpression("^UnassignedCable ")), unassigned);
    EXPECT_EQ(all.filter(QRegularExpression("^StaleNumberText ")), stale);

    const ProjectScan stopped = scanProject(sources, [](int done, int) { return done < 3; });
    EXPECT_TRUE(stopped.cancelled);
    ASSERT_EQ(stopped.drawings.size(), 3u);
    EXPECT_EQ(stopped.drawings[2].title, "s2.dxf");
}

// Without drawings there is nothing to hold the records against: one finding says so.
TEST_F(ProjectFixture, ZeroDrawingsIsOneFinding) {
    const QList<Finding> findings = ProjectCheck(registry).run(scanProject({}));
    ASSERT_EQ(findings.size(), 1);
    EXPECT_EQ(findings[0].kind, FindingKind::NoDrawings);
}

// The orphaned row is released only after Yes. (A stale text corrected on an open and on a
// closed sheet, and the correction undone: check_project.scr.)
TEST_F(ProjectFixture, OrphanedRowIsReleasedOnlyAfterYes) {
    row(6, "6", "VTR-01", "OUT-1", "", "MON-01", "IN-3", "", "b.dxf");
    const QList<Finding> findings = ProjectCheck(registry).run(scan());
    ASSERT_EQ(findings.size(), 1);
    ASSERT_TRUE(findings[0].releasable());
    test::ScriptedUser no("button No\n"), yes("button Yes\n");
    EXPECT_FALSE(ProjectCheck(registry).release(findings[0], *no.ui));
    EXPECT_FALSE(available(6));
    EXPECT_TRUE(ProjectCheck(registry).release(findings[0], *yes.ui));
    EXPECT_TRUE(available(6));
    EXPECT_TRUE(ProjectCheck(registry).run(scan()).isEmpty());
}

// A connector is its system and pin as they read trimmed and in upper case, however each row
// wrote them; a bar inside a name joins the two as one text, so that "VTR|A" "OUT" and "vtr"
// "a|out" are one connector and "VTR" "A" another.
TEST_F(ProjectFixture, ConnectorsWiredTwiceAreFoundHoweverTheirRowsWriteThem) {
    row(8, "8", " cam-01", "out-1 ", "", "MON-01", "IN-8", "", "a.dxf");
    row(9, "9", "VTR|A", "OUT", "", "MON-01", "IN-9", "", "b.dxf");
    row(10, "10", "vtr", "a|out", "", "MON-01", "IN-10", "", "b.dxf");
    row(11, "11", "VTR", "A", "", "MON-01", "IN-11", "", "b.dxf");
    QStringList wired;
    for (const Finding& f : ProjectCheck(registry).run(scan()))
        if (f.kind == FindingKind::DoubleWired) wired << f.line();
    const QStringList expected{
        "CHECK DoubleWired | a.dxf |  | CAM-01 OUT-1 is wired by V-1, V-8.",
        "CHECK DoubleWired | b.dxf |  | VTR A OUT is wired by V-10, V-9.",
    };
    EXPECT_EQ(wired, expected) << wired.join("\n").toStdString();
}

// The path written out by hand: the jack pair, the pointer pair across the sheets, the core
// between the J-boxes, the DA with its outputs. The start is named as the project names it,
// whatever the case it was asked in.
TEST_F(ProjectFixture, TraceFollowsThePathToTheEnds) {
    const ProjectScan s = scan();
    const TraceResult r = SignalTrace(s, registry).trace("cam-01", "OUT-1");
    const QStringList expected{
        "TRACE start | CAM-01 | OUT-1 | BNC |  | a.dxf",
        "TRACE jack | PB-01 | A-01 | BNC | V-1 | a.dxf",
        "TRACE normal | PB-01 | B-01 | BNC |  | a.dxf",
        "TRACE pointer |  |  |  | V-2 | a.dxf",
        "TRACE pointer |  |  |  | V-2 | b.dxf",
        "TRACE jbox | JB-1 | A-1 |  | V-2 | b.dxf",
        "TRACE through | JB-1 | B-1 |  |  | b.dxf",
        "TRACE jbox | JB-2 | A-1 |  | M-5-01 | b.dxf",
        "TRACE through | JB-2 | B-1 |  |  | b.dxf",
        "TRACE da | DA-01 | IN-1 | BNC | V-3 | b.dxf",
        "TRACE output | DA-01 | O/P-1 | BNC | V-4 | b.dxf",
        "TRACE output | DA-01 | O/P-2 |  |  | ",
    };
    QStringList steps;
    for (const TraceStep& step : r.steps) steps << step.line();
    EXPECT_EQ(steps, expected) << steps.join("\n").toStdString();

    EXPECT_FALSE(r.looped);
    EXPECT_TRUE(r.message.isEmpty());
}

// A cable from the second J-box back into the first closes a loop: the trace stops and says so.
TEST_F(ProjectFixture, TraceStopsAtALoop) {
    row(8, "8", "JB-2", "B-1", "", "JB-1", "A-1", "", "b.dxf");
    cable(b, "8", "V-8", {{20, 5}, {10, 5}});
    const ProjectScan s = scan();
    const TraceResult r = SignalTrace(s, registry).trace("CAM-01", "OUT-1");
    EXPECT_TRUE(r.looped);
    EXPECT_TRUE(r.message.startsWith("The wiring loops back to ")) << r.message.toStdString();
    int loops = 0;
    for (const TraceStep& step : r.steps) loops += step.place == "loop";
    EXPECT_EQ(loops, 1);
}

namespace {

cad::Entity taggedAs(cad::Entity e, const QString& kind, const QString& ref1,
                     const QString& ref2 = {}) {
    tag::tagEntity(e, kind, ref1, ref2);
    return e;
}

// Everything the scan found, a line per cable and block (a text that is gone reads "<null>").
QStringList described(const ScannedDrawing& d) {
    auto point = [](QPointF p) { return QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y()); };
    QStringList out;
    for (const ScannedCable& c : d.cables) {
        QStringList texts;
        for (const QString& t : c.texts) texts << (t.isNull() ? QStringLiteral("<null>") : t);
        out << QStringList({c.handle, c.ref1, c.ref2, c.textHandles.join(','), texts.join(','),
                            point(c.first), point(c.last), c.continuing ? "on" : "-"})
                   .join(' ');
    }
    for (const ScannedBlock& b : d.blocks)
        out << QStringList({b.handle, b.kind, b.blockName, b.ref1, b.ref2, b.ref3, b.assoc, b.name,
                            b.sheet, point(b.at), b.outputs.join(',')})
                   .join(' ');
    return out;
}

// Every entity in the same place under the same handle and kind.
void expectSamePlaces(const cad::Document& full, const cad::Document& light) {
    auto places = [](const cad::Document& d) {
        QStringList out;
        auto list = [&](const QString& owner, const std::vector<cad::Entity>& entities) {
            for (const cad::Entity& e : entities) {
                out << owner + ' ' + e.handle + ' ' + QString::number(int(e.kind));
                for (const cad::Entity& a : e.attributes) out << owner + " attribute " + a.handle;
            }
        };
        list("model", d.modelSpace().entities);
        for (const cad::Space& s : d.layouts()) list("layout " + s.name, s.entities);
        for (const cad::Block& b : d.blocks()) list("block " + b.name, b.entities);
        return out;
    };
    EXPECT_EQ(places(full), places(light));
}

}  // namespace

// Closed drawings are read light: only tagged entities are read whole and the rest keep their
// handles, kinds and texts. On a drawing with blocks (one nesting a tagged insert and a number
// text), a layout, inserts with and without tags, erased entities and number texts that are
// gone or are not texts, the light read places every entity as the full read does and the scan
// finds the same; so it does when an untagged line takes a number text's handle before it
// (the text is then renamed, and the cable's end no longer names a text).
TEST(LightRead, ScansAsTheFullRead) {
    cad::Document doc;
    {
        cad::Block& inner = doc.addBlock("INNER");
        doc.add(inner, cad::Entity::circle({0, 0}, 1));
    }
    QString blockText;
    {
        cad::Block& box = doc.addBlock("BOX");
        doc.add(box, cad::Entity::attributeDefinition({0, 0}, "SysName", "name", {}, 1));
        doc.add(box, cad::Entity::line({0, 0}, {5, 0}));
        blockText = doc.add(box, cad::Entity::textAt({1, 1}, "V-9", 1)).handle;
        doc.add(box, taggedAs(cad::Entity::insert("INNER", {2, 2}), tag::kind::EquipmentBlock, "1",
                              "8"));
    }
    const QString early = doc.addToModel(cad::Entity::line({0, 0}, {1, 1})).handle;
    doc.addToModel(cad::Entity::circle({3, 3}, 2));
    cad::Entity plain = cad::Entity::insert("BOX", {40, 40});
    plain.attributes.push_back(cad::Entity::attribute({40, 40}, "SysName", "LOOSE-01", 1));
    doc.addToModel(std::move(plain));
    cad::Entity camera = cad::Entity::insert("BOX", {0, 0});
    camera.attributes.push_back(cad::Entity::attribute({0, 0}, "SysName", "CAM-01", 1));
    doc.addToModel(taggedAs(std::move(camera), tag::kind::EquipmentBlock, "1", "1"));
    doc.addToModel(taggedAs(cad::Entity::insert("POINTER_S", {0, 0}), tag::kind::Pointer, {}));
    const QString modelText = doc.addToModel(cad::Entity::textAt({0, 0}, "V-1", 1)).handle;
    const QString erased = doc.addToModel(cad::Entity::textAt({9, 0}, "V-1", 1)).handle;
    doc.addToModel(cad::Entity::line({5, 5}, {6, 6}));
    doc.erase(erased);
    cad::Entity cable = taggedAs(cad::Entity::polyline({{{0, 0}}, {{10, 0}}, {{10, 5}}}, false),
                                 tag::kind::Cable, "1");
    tag::setAssoc(cable, modelText + '|' + blockText + '|' + early + '|' + erased);
    doc.addToModel(std::move(cable));
    doc.addToModel(
        taggedAs(cad::Entity::polyline({{{0, 9}}, {{4, 9}}}, false), tag::kind::Cable, {}));
    cad::Space& sheet = doc.addLayout("Sheet");
    const QString sheetText = doc.add(sheet, cad::Entity::textAt({0, 0}, "V-2", 1)).handle;
    doc.add(sheet, cad::Entity::line({0, 0}, {1, 0}));
    cad::Entity da = cad::Entity::insert("BOX", {20, 0});
    da.attributes.push_back(cad::Entity::attribute({20, 0}, "SysName", "DA-01", 1));
    da.attributes.push_back(cad::Entity::attribute({20, 1}, "O/P-1", "O/P-1", 1));
    doc.add(sheet, taggedAs(std::move(da), tag::kind::DABlock, "2", "2"));
    cad::Entity onSheet =
        taggedAs(cad::Entity::polyline({{{20, 0}}, {{30, 0}}}, false), tag::kind::Cable, "2");
    tag::setAssoc(onSheet, sheetText);
    doc.add(sheet, std::move(onSheet));

    const QByteArray bytes = cad::writeDxf(doc);
    // The early line takes the model text's handle in a copy of the file.
    QByteArray shared = bytes;
    const QByteArray from = "\n  5\n" + early.toLatin1() + "\n";
    ASSERT_EQ(shared.count(from), 1);
    shared.replace(from, "\n  5\n" + modelText.toLatin1() + "\n");

    for (const QByteArray& data : {bytes, shared}) {
        const cad::Document full = cad::readDxf(data), light = cad::readDxfLight(data);
        expectSamePlaces(full, light);
        ScannedDrawing fullScan, lightScan;
        scanDocument(full, fullScan);
        scanDocument(light, lightScan);
        EXPECT_EQ(described(fullScan), described(lightScan));
        ASSERT_EQ(fullScan.cables.size(), 3u);
        EXPECT_TRUE(fullScan.cables[0].continuing);
        if (data == bytes) {
            EXPECT_EQ(fullScan.cables[0].texts, QStringList({"V-1", "V-9", {}, {}}));
        } else {
            EXPECT_TRUE(fullScan.cables[0].texts[0].isNull());  // the line's now
            EXPECT_EQ(fullScan.cables[0].texts[1], "V-9");
        }
        EXPECT_EQ(fullScan.cables[2].texts, QStringList{"V-2"});
        EXPECT_EQ(fullScan.blocks.size(), 3u);  // the camera, the pointer, the DA
        EXPECT_EQ(lightScan.blocks.back().outputs, QStringList{"O/P-1"});
    }
}

// What the full read refuses in an entity the light read keeps light, the light read refuses
// alike, at the same line.
TEST(LightRead, RefusesAsTheFullRead) {
    const char* head = "0\nSECTION\n2\nENTITIES\n";
    const char* tail = "0\nENDSEC\n0\nEOF\n";
    const QList<QByteArray> bodies{
        "0\nLWPOLYLINE\n5\n1F\n90\n2\n10\n0\n20\n0\n42\nbent\n10\n1\n20\n1\n",
        "0\nLWPOLYLINE\n5\n1F\n90\n-3\n10\n0\n20\n0\n",
        "0\nTEXT\n5\n20\n10\n0\n20\n0\n40\ntall\n1\nV-1\n",
        "0\nINSERT\n5\n21\n2\nBOX\n10\n0\n20\n0\n66\n1\n0\nATTRIB\n5\n22\n10\n0\n20\nlow\n2\nA\n"
        "1\nB\n0\nSEQEND\n5\n23\n",
        "0\nLINE\n5\n24\n10\n0\n20\n0\n11\n1\n21\n1\n62\nred\n",
    };
    for (const QByteArray& body : bodies) {
        const QByteArray data = head + body + tail;
        std::optional<std::pair<int, QString>> full, light;
        try {
            cad::readDxf(data);
        } catch (const cad::DxfError& e) {
            full = {e.line(), e.reason()};
        }
        try {
            cad::readDxfLight(data);
        } catch (const cad::DxfError& e) {
            light = {e.line(), e.reason()};
        }
        EXPECT_TRUE(full.has_value()) << body.toStdString();
        EXPECT_EQ(full, light) << body.toStdString();
    }
}
