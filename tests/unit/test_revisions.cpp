// Revisions of the cable schedule on both engines: issuing freezes every cable row and core and
// stamps the counters (the project manager's too) and title blocks; comparing finds planted
// additions, removals and edits of cables and cores, between two revisions and against the
// cables as they are now; a number issued in a revision is not offered or taken again once its
// cable is freed; a frozen row stands in every revision until its cable changes; a merged
// project brings its revisions and an older project's revisions are brought over on opening;
// clouds mark changed cables on a sheet; the "Cable Changes" report prints a comparison's
// lines; and the compare window shows them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include "app/projects/revision_windows.h"
#include "db/merge.h"
#include "db/records/cables.h"
#include "db/records/drawings.h"
#include "db/records/project_identity.h"
#include "db/records/projects.h"
#include "db/records/revisions.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "reports/record_source.h"
#include "reports/report_renderer.h"
#include "reports/rpx_file.h"
#include "script_fixture.h"
#include "wiring/cable_assignment.h"
#include "wiring/revisions.h"

using namespace tolvane;
using db::CableChangeLine;
using db::CableNumber;

namespace {

class Revisions : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, r);
        db::ensureSchema(db::DbId::Project, r);
    }

    qint64 cable(const QString& prefix, const QString& number, const QString& src,
                 const QString& dst, double length, const QString& sheet = "S1.dxf") {
        db::CableRecord c;
        c.number = CableNumber(prefix, number);
        c.cableType = "CV-75";
        c.signalType = "VID";
        c.source = {src, "BNC", "OUT", "Studio", ""};
        c.destination = {dst, "BNC", "IN", "MCR", ""};
        c.length = length;
        c.sheet = sheet;
        return db::CableTable(r).insert(c);
    }
    void exec(const QString& sql, const QVariantList& values = {}) {
        db::Query q(db::DbId::Project, sql, r);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    QVariant scalar(const QString& sql) { return db::Query(db::DbId::Project, sql, r).scalar(); }
    static QStringList text(const QList<CableChangeLine>& lines) {
        QStringList out;
        for (const CableChangeLine& l : lines)
            out << QStringList{l.change, l.cableNumber, l.field, l.oldValue, l.newValue, l.sheet}
                       .join('|');
        return out;
    }

    db::Connections r;
    test::TestDatabases dbs{GetParam()};
};

}  // namespace

// Issue 1, then plant an edit of two fields, a removal (freed row), an addition, a change of
// letter case only and a change of sheet; the comparison lists exactly those, in number order,
// and reads the same between the two revisions once the second is issued.
TEST_P(Revisions, IssueFreezesAndCompareFindsPlantedChanges) {
    const qint64 v2 = cable("V", "2", "CAM-01", "VDA-01", 10);
    cable("V", "10", "CAM-02", "VDA-01", 4);
    const qint64 v3 = cable("V", "3", "VDA-01", "MON-01", 3);
    const qint64 plain = cable("", "7", "NET-01", "SW-01", 1, "S2.dxf");
    exec(
        "insert into tblDrawings (DrawingName, drawingpath, Revision) values ('S1', '/p/S1.dxf', "
        "'A'), ('S2', '/p/S2.dxf', null)");
    exec("update tblCables set CableNoPrefix = null where CableID = ?", {plain});

    wiring::Revisions revisions(r);
    EXPECT_EQ(revisions.next(), 1);
    const QDateTime at(QDate(2026, 5, 1), QTime(9, 30));
    const db::RevisionRecord first = revisions.issue("For tender", "ann", at);
    EXPECT_EQ(first.revision, 1);
    EXPECT_EQ(first.cableCount, 4);
    EXPECT_EQ(db::RevisionTable(r).issued(), QList<db::RevisionRecord>{first});
    EXPECT_EQ(db::ProjectIdentityTable(r).revisions(), (db::ProjectRevisions{1, 1}));
    for (const db::DrawingRow& d : db::DrawingTable(r).all()) EXPECT_EQ(d.revision, "1");
    EXPECT_TRUE(revisions.compare(1, std::nullopt).isEmpty());

    // The edits.
    exec("update tblCables set DestPin = 'IN 2', Length = 12.5 where CableID = ?", {v2});
    exec("update tblCables set SRCLoc = 'STUDIO' where CableNO = '10'");
    exec("update tblCables set Sheet = 'S3.dxf' where CableID = ?", {plain});
    db::CableTable(r).release(v3);
    cable("V", "4", "CAM-03", "VDA-02", 6);

    const QStringList expected{
        "Changed|7|Sheet|S2.dxf|S3.dxf|S3.dxf",
        "Changed|V-2|Destination pin|IN|IN 2|S1.dxf",
        "Changed|V-2|Length|10|12.5|S1.dxf",
        "Removed|V-3||VDA-01 OUT (BNC) to MON-01 IN (BNC), CV-75, 3||S1.dxf",
        "Added|V-4|||CAM-03 OUT (BNC) to VDA-02 IN (BNC), CV-75, 6|S1.dxf",
    };
    EXPECT_EQ(text(revisions.compare(1, std::nullopt)), expected);
    EXPECT_EQ(revisions.touchedCables(1, std::nullopt).size(), 3);

    const db::RevisionRecord second = revisions.issue("For construction", "bob", at.addDays(3));
    EXPECT_EQ(second.revision, 2);
    EXPECT_EQ(second.cableCount, 5);  // the freed row is frozen too, as freed
    EXPECT_EQ(text(revisions.compare(1, 2)), expected);
    EXPECT_TRUE(revisions.compare(2, std::nullopt).isEmpty());
    // Backwards, an addition is a removal and the values swap.
    const QStringList back = text(revisions.compare(2, 1));
    EXPECT_EQ(back.size(), expected.size());
    EXPECT_TRUE(back.contains("Changed|V-2|Length|12.5|10|S1.dxf"));
    EXPECT_TRUE(back.contains("Added|V-3|||VDA-01 OUT (BNC) to MON-01 IN (BNC), CV-75, 3|S1.dxf"));
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables").toInt(), 9);
}

// A number that was issued to a cable is retired when the cable is freed: neither reuse list
// offers it and assignment refuses it. A number freed before any issue is offered as before, and
// the next revision counts on from a counter set by hand.
TEST_P(Revisions, IssuedNumbersAreRetiredWhenFreed) {
    const qint64 issued = cable("V", "1", "CAM-01", "VDA-01", 2);
    const qint64 early = cable("V", "2", "CAM-02", "VDA-01", 2);
    const qint64 plain = cable("", "5", "NET-01", "SW-01", 1);
    db::CableTable cables(r);
    cables.release(early);  // freed before the issue: never issued in use
    exec("insert into tblPID (CurrentRevision, ProjectRevision) values (3, 4)");
    wiring::Revisions revisions(r);
    EXPECT_EQ(revisions.next(), 5);
    EXPECT_EQ(revisions.issue("", "ann", QDateTime::currentDateTime()).revision, 5);
    EXPECT_EQ(revisions.next(), 6);

    cables.release(issued);
    exec("update tblCables set CableNoPrefix = '' where CableID = ?", {plain});
    cables.release(plain);
    EXPECT_EQ(cables.reusableNumbers("V"), QStringList{"2"});
    EXPECT_EQ(cables.freeNumbers("V"), QStringList{"2"});
    EXPECT_TRUE(cables.freeNumbers("").isEmpty());
    EXPECT_EQ(db::RevisionTable(r).issuedWith({"V", "1"}), 5);
    EXPECT_EQ(db::RevisionTable(r).issuedWith({"v", " 1 "}), 5);
    EXPECT_EQ(db::RevisionTable(r).issuedWith({QString(), "5"}), 5);
    EXPECT_EQ(db::RevisionTable(r).issuedWith({"V", "2"}), std::nullopt);

    test::ScriptedUser user("");
    wiring::CableWriter writer(*user.ui, r);
    wiring::CableSettings settings;
    settings.prefix = "V";
    settings.number = "1";
    EXPECT_EQ(writer.refusal(settings), wiring::numberRetired({"V", "1"}, 5));
    settings.number = "2";
    EXPECT_EQ(writer.refusal(settings), "");
    // A new number is not affected.
    settings.number = "3";
    EXPECT_EQ(writer.refusal(settings), "");
}

// An issue is all or nothing: a revision number taken already (another user's issue) leaves the
// counters, title blocks and snapshot as they were.
TEST_P(Revisions, AFailedIssueWritesNothing) {
    cable("V", "1", "CAM-01", "VDA-01", 2);
    exec(
        "insert into tblDrawings (DrawingName, drawingpath, Revision) values ('S1', '/p/S1.dxf', "
        "'A')");
    // The frozen row of revision 1 is there already: the freeze cannot write it again.
    exec(
        "insert into tblRevisionCables (Revision, LastRevision, CableID, CableNO, CableNoPrefix) "
        "select 1, 1, CableID, CableNO, CableNoPrefix from tblCables");
    wiring::Revisions revisions(r);
    EXPECT_THROW(revisions.issue("", "ann", QDateTime::currentDateTime()), db::DbError);
    EXPECT_EQ(db::RevisionTable(r).latest(), std::nullopt);
    EXPECT_EQ(db::ProjectIdentityTable(r).revisions(), std::nullopt);
    EXPECT_EQ(db::DrawingTable(r).all().first().revision, "A");
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables").toInt(), 1);
}

// The command asks for a description (cancel: nothing) and refuses a project without cables.
TEST_P(Revisions, CommandAsksAndRefusesAnEmptySchedule) {
    {
        test::ScriptedUser user("button OK");
        EXPECT_EQ(wiring::issueRevisionCommand(*user.ui, r, "ann", ""), std::nullopt);
        EXPECT_TRUE(user.transcript.contains("no cables yet"));
    }
    cable("V", "1", "CAM-01", "VDA-01", 2);
    {
        test::ScriptedUser user("cancel");
        EXPECT_EQ(wiring::issueRevisionCommand(*user.ui, r, "ann", ""), std::nullopt);
        EXPECT_EQ(db::RevisionTable(r).latest(), std::nullopt);
    }
    test::ScriptedUser user("text Tender issue\nbutton OK");
    EXPECT_EQ(wiring::issueRevisionCommand(*user.ui, r, "ann", ""), 1);
    const db::RevisionRecord issued = db::RevisionTable(r).issued().value(0);
    EXPECT_EQ(issued.description, "Tender issue");
    EXPECT_EQ(issued.revisedBy, "ann");
    EXPECT_TRUE(user.transcript.contains("Revision 1 issued: 1 cable rows frozen."));
}

// The report prints the lines its user kept, in their order, under the two sides compared.
TEST_P(Revisions, CableChangesReportPrintsTheKeptLines) {
    const QList<CableChangeLine> lines{
        {"Changed", "V-2", "Length", "10", "12.5", "S1.dxf"},
        {"Removed", "V-3", "", "VDA-01 OUT to MON-01 IN", "", "S1.dxf"}};
    db::CableChangeTable changes(r);
    changes.replace("bob", "Revision 1 to Now", {{"Added", "A-1", "", "", "x", ""}});
    changes.replace("ann", "Revision 1 to Now", {lines.first()});
    changes.replace("ann", "Revision 1 to Now", lines);  // replaces ann's, keeps bob's
    EXPECT_EQ(changes.linesOf("ann"), lines);
    EXPECT_EQ(changes.linesOf("bob").size(), 1);

    const reports::ReportLayout layout =
        reports::readRpx(QDir(QStringLiteral(TOLVANE_SOURCE_RESOURCES))
                             .filePath("reports/general/CableChanges.rpx"));
    ASSERT_TRUE(layout.data.has_value());
    reports::QueryRecordSource rows(*layout.data, r, {QStringLiteral("ComparedBy = ?"), {"ann"}});
    struct Sink : reports::PageSink {
        QStringList headers, details;
        void page(const reports::RenderedPage& p) override {
            for (const reports::RenderedBand& b : p.bands) {
                QStringList line;
                for (const reports::RenderedItem& i : b.items)
                    if (i.control->kind == reports::ControlKind::Field) line << i.text;
                if (b.kind == reports::SectionKind::Detail) details << line.join('|');
                if (b.kind == reports::SectionKind::GroupHeader) headers << line.join('|');
            }
        }
    } sink;
    EXPECT_EQ(reports::renderReport(layout, rows, sink, {QLocale(QLocale::English)}), 1);
    EXPECT_EQ(sink.headers, QStringList{"Revision 1 to Now"});
    EXPECT_EQ(sink.details, (QStringList{"Changed|V-2|Length|10|12.5|S1.dxf",
                                         "Removed|V-3||VDA-01 OUT to MON-01 IN||S1.dxf"}));
}

// The cores of a multicore cable are frozen with it: a core assigned, freed or changed since
// the issue comes to its own lines under the cable's number, the same between two revisions,
// and the cable they belong to is the one clouded.
TEST_P(Revisions, CoresAreFrozenAndComparedUnderTheirCable) {
    const qint64 multi = cable("A", "12", "SB-01", "SB-02", 40);
    cable("A", "2", "MIC-01", "SB-01", 3);
    exec("update tblCables set MultiCore = ? where CableID = ?", {true, multi});
    const auto core = [&](const QString& suffix, const QString& src, bool available) {
        db::CoreRecord c;
        c.number = CableNumber::ofCore("", "12", suffix);
        c.parentId = multi;
        if (!available) {
            c.source = {src, "XLR", "OUT", "Stage", ""};
            c.destination = {"DESK-01", "XLR", "IN " + suffix, "FOH", ""};
        }
        c.sheet = "S1.dxf";
        c.available = available;
        return c;
    };
    db::CoreTable cores(r);
    cores.insert({core("01", "MIC-02", false), core("02", "MIC-03", false), core("03", "", true)});
    wiring::Revisions revisions(r);
    const db::RevisionRecord first = revisions.issue("Tender", "ann", QDateTime::currentDateTime());
    EXPECT_EQ(first.cableCount, 2);
    EXPECT_EQ(first.coreCount, 3);
    EXPECT_EQ(db::RevisionTable(r).issued().value(0).coreCount, 3);
    EXPECT_TRUE(revisions.compare(1, std::nullopt).isEmpty());

    QHash<QString, db::CoreRecord> byNumber;
    for (const db::CoreRecord& c : cores.ofCable(multi)) byNumber.insert(c.number.stored(), c);
    db::CoreRecord changed = byNumber["12-01"];
    changed.destination.pin = "IN 9";
    cores.assign(changed);
    cores.release(byNumber["12-02"]);
    db::CoreRecord taken = core("03", "MIC-04", false);
    taken.id = byNumber["12-03"].id;
    cores.assign(taken);
    exec("update tblChildCables set SRCLoc = 'STAGE' where CableNo = '12-01'");  // case only

    const QStringList expected{
        "Core changed|A-12-01|Destination pin|IN 01|IN 9|S1.dxf",
        "Core removed|A-12-02||MIC-03 OUT (XLR) to DESK-01 IN 02 (XLR)||S1.dxf",
        "Core added|A-12-03|||MIC-04 OUT (XLR) to DESK-01 IN 03 (XLR)|S1.dxf",
    };
    EXPECT_EQ(text(revisions.compare(1, std::nullopt)), expected);
    EXPECT_EQ(revisions.touchedCables(1, std::nullopt), QSet<qint64>{multi});
    EXPECT_EQ(revisions.issue("Build", "ann", QDateTime::currentDateTime()).coreCount, 3);
    EXPECT_EQ(text(revisions.compare(1, 2)), expected);
    // A revision issued before cores were frozen holds none: its cores are not compared.
    exec("update tblRevisions set CoreCount = null where Revision = 1");
    exec("delete from tblRevisionCores where Revision = 1");
    EXPECT_TRUE(revisions.compare(1, 2).isEmpty());
}

// An issue is recorded in the project manager's revision counter of the project, in the same
// all-or-nothing issue: a counter that cannot be written leaves the project as it was. A
// revision the counter holds already is not issued again.
TEST_P(Revisions, IssueIsRecordedInTheProjectManagersCounter) {
    dbs.makeEmpty(db::DbId::PM, r);
    db::ensureSchema(db::DbId::PM, r);
    db::ProjectTable(r).insert({0, "Arena", "", "/p/Arena"});
    const qint64 projectsId = db::ProjectTable(r).find("Arena")->id;
    cable("V", "1", "CAM-01", "VDA-01", 2);
    exec(
        "insert into tblDrawings (DrawingName, drawingpath, Revision) values ('S1', '/p/S1.dxf', "
        "'A')");

    test::ScriptedUser user("text Tender issue\nbutton OK");
    EXPECT_EQ(wiring::issueRevisionCommand(*user.ui, r, "ann", "/p/Arena"), 1);
    const QList<db::RevisionRecord> counted = db::RevisionCounterTable(r).of(projectsId);
    ASSERT_EQ(counted.size(), 1);
    EXPECT_EQ(counted[0].revision, 1);
    EXPECT_EQ(counted[0].description, "Tender issue");
    EXPECT_EQ(counted[0].revisedBy, "ann");
    EXPECT_EQ(counted[0].date, db::RevisionTable(r).issued().value(0).date);
    EXPECT_TRUE(db::RevisionCounterTable(r).of(projectsId + 1).isEmpty());

    // The counter refuses revision 2 (another project's row holds it under a unique index):
    // the issue fails and leaves the project as it was.
    const auto pm = [&](const QString& sql) { db::Query(db::DbId::PM, sql, r).exec(); };
    pm(QString("insert into tblRevCounter (ProjectsID, Revision) values (%1, 2)")
           .arg(projectsId + 1));
    pm("create unique index RevCounterOnce on tblRevCounter (Revision)");
    wiring::Revisions revisions(r, projectsId);
    EXPECT_THROW(revisions.issue("", "ann", QDateTime::currentDateTime()), db::DbError);
    EXPECT_EQ(db::RevisionTable(r).latest(), 1);
    EXPECT_EQ(db::ProjectIdentityTable(r).revisions(), (db::ProjectRevisions{1, 1}));
    EXPECT_EQ(db::DrawingTable(r).all().first().revision, "1");
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables").toInt(), 1);
    EXPECT_EQ(db::RevisionCounterTable(r).of(projectsId).size(), 1);

    // A counter row set by hand: the next issue counts on from it.
    pm("drop index RevCounterOnce");
    db::RevisionCounterTable(r).add(projectsId, {6, QDateTime::currentDateTime(), "bob", "Hand"});
    EXPECT_EQ(revisions.next(), 7);
    EXPECT_EQ(wiring::Revisions(r).next(), 2);
    EXPECT_EQ(revisions.issue("", "ann", QDateTime::currentDateTime()).revision, 7);
    EXPECT_EQ(db::RevisionCounterTable(r).of(projectsId).size(), 3);
}

// A frozen row stands in every revision until its cable changes: an issue writes only the
// cables and cores that changed (letter case included) or are new, and puts an end to the rows
// they replace or whose cable is gone; every revision still reads as it was issued, a value
// that came back included, and an unchanged issue writes nothing.
TEST_P(Revisions, FrozenRowsStandUntilTheirCableChanges) {
    const qint64 a = cable("V", "1", "CAM-01", "VDA-01", 10);
    const qint64 b = cable("V", "2", "CAM-02", "VDA-01", 4);
    const qint64 c = cable("V", "3", "CAM-03", "VDA-01", 6);
    exec("update tblCables set MultiCore = ? where CableID = ?", {true, c});
    db::CoreRecord core;
    core.number = CableNumber::ofCore("", "3", "01");
    core.parentId = c;
    core.source = {"MIC-01", "XLR", "OUT", "Stage", ""};
    core.destination = {"DESK-01", "XLR", "IN 1", "FOH", ""};
    core.sheet = "S1.dxf";
    db::CoreTable(r).insert({core});
    wiring::Revisions revisions(r);
    const auto issue = [&] { return revisions.issue("", "ann", QDateTime::currentDateTime()); };
    const auto written = [&](qint64 revision, const char* table) {
        return scalar(
                   QString("select count(*) from %1 where Revision = %2").arg(table).arg(revision))
            .toInt();
    };

    EXPECT_EQ(issue().cableCount, 3);  // 1
    exec("update tblCables set Length = 12 where CableID = ?", {a});
    EXPECT_EQ(issue().cableCount, 3);  // 2
    EXPECT_EQ(written(2, "tblRevisionCables"), 1);
    const db::RevisionRecord third = issue();  // 3: no change
    EXPECT_EQ(third.cableCount, 3);
    EXPECT_EQ(third.coreCount, 1);
    EXPECT_EQ(written(3, "tblRevisionCables") + written(3, "tblRevisionCores"), 0);
    exec("update tblCables set Length = 10 where CableID = ?", {a});        // back to revision 1's
    exec("update tblCables set SRCSys = 'cam-02' where CableID = ?", {b});  // case only
    exec("delete from tblCables where CableID = ?", {c});                   // its core goes with it
    issue();                                                                // 4
    EXPECT_EQ(written(4, "tblRevisionCables"), 2);
    EXPECT_EQ(written(4, "tblRevisionCores"), 0);

    const QStringList removed{
        "Removed|V-3||CAM-03 OUT (BNC) to VDA-01 IN (BNC), CV-75, 6||S1.dxf",
        "Core removed|V-3-01||MIC-01 OUT (XLR) to DESK-01 IN 1 (XLR)||S1.dxf"};
    EXPECT_EQ(text(revisions.compare(1, 2)), QStringList{"Changed|V-1|Length|10|12|S1.dxf"});
    EXPECT_TRUE(revisions.compare(2, 3).isEmpty());
    EXPECT_EQ(text(revisions.compare(1, 3)), QStringList{"Changed|V-1|Length|10|12|S1.dxf"});
    EXPECT_EQ(text(revisions.compare(3, 4)),
              QStringList{"Changed|V-1|Length|12|10|S1.dxf"} + removed);
    EXPECT_EQ(text(revisions.compare(1, 4)), removed);
    EXPECT_EQ(text(revisions.compare(2, std::nullopt)),
              QStringList{"Changed|V-1|Length|12|10|S1.dxf"} + removed);
    EXPECT_TRUE(revisions.compare(4, std::nullopt).isEmpty());
    // The case-only change is frozen as it stands, though no line reports it.
    EXPECT_EQ(scalar("select SRCSys from tblRevisionCables where LastRevision is null and "
                     "CableID = " +
                     QString::number(b))
                  .toString(),
              "cam-02");
    EXPECT_EQ(db::RevisionTable(r).issuedWith({"V", "3"}), 1);
}

// A project merged into another brings its revisions whole: each revision reads the same in
// the project merged into, and merging it again changes nothing.
TEST_P(Revisions, MergedProjectBringsItsRevisions) {
    QTemporaryDir dir;
    const QString file = dir.filePath("ProjectDB.db");
    db::createSqliteFile(db::DbId::Project, file);
    QStringList lines12, lines2Now;
    {
        db::Connections other;
        other.bind(db::DbId::Project, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(db::DbId::Project, other);
        db::CableRecord c;
        c.number = CableNumber("V", "1");
        c.source = {"CAM-01", "BNC", "OUT", "", ""};
        const qint64 id = db::CableTable(other).insert(c);
        c.number = CableNumber("V", "2");
        db::CableTable(other).insert(c);
        wiring::Revisions there(other);
        there.issue("one", "ann", QDateTime::currentDateTime());
        db::Query(db::DbId::Project, "update tblCables set Length = 5 where CableID = ?", other)
            .bind(id)
            .exec();
        there.issue("two", "ann", QDateTime::currentDateTime());
        db::Query(db::DbId::Project, "update tblCables set Sheet = 'S9.dxf'", other).exec();
        lines12 = text(there.compare(1, 2));
        other.closeAll();
    }
    ASSERT_EQ(lines12, QStringList{"Changed|V-1|Length||5|"});
    const db::MergeReport first = db::mergeDatabase(db::DbId::Project, file, r);
    EXPECT_FALSE(first.hadConflicts());
    wiring::Revisions here(r);
    EXPECT_EQ(db::RevisionTable(r).latest(), 2);
    EXPECT_EQ(text(here.compare(1, 2)), lines12);
    EXPECT_EQ(here.compare(2, std::nullopt).size(), 2);  // the sheets changed after it
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables").toInt(), 3);

    const db::MergeReport again = db::mergeDatabase(db::DbId::Project, file, r);
    EXPECT_EQ(again.inserted, 0);
    EXPECT_FALSE(again.hadConflicts());
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables").toInt(), 3);
}

// A project whose every revision held a row for every cable and core (schema version 7) is
// brought to frozen rows that stand until they change: each old revision reads as it did, the
// rows of the latest stand on so that the next issue writes only what changed, numbers stay
// retired, and the indexes of the old kind are gone.
TEST_P(Revisions, UpgradeKeepsRevisionsFrozenForEachRevision) {
    const bool pg = GetParam() == db::Engine::PostgreSQL;
    // The tables as version 7 had them.
    for (const char* t : {"tblRevisionCables", "tblRevisionCores"})
        exec(QString("alter table %1 drop column LastRevision").arg(t));

    for (const char* ix :
         {"ix_tblrevisioncables_cableid_revision", "ix_tblrevisioncables_cableno",
          "ix_tblrevisioncables_s_guid", "ix_tblrevisioncores_childcableid_revision",
          "ix_tblrevisioncores_s_guid"})
        exec(QString("drop index %1").arg(ix));
    for (const char* sql :
         {"create unique index ix_tblrevisioncables_revision_cableid on tblRevisionCables "
          "(Revision, CableID)",
          "create index ix_tblrevisioncables_cableno_cablenoprefix_available on "
          "tblRevisionCables (CableNO, CableNoPrefix, Available)",
          "create unique index ix_tblrevisioncables_s_guid on tblRevisionCables (s_GUID)",
          "create unique index ix_tblrevisioncores_revision_childcableid on tblRevisionCores "
          "(Revision, ChildCableID)",
          "create unique index ix_tblrevisioncores_s_guid on tblRevisionCores (s_GUID)",
          "update tolvane_schema set version = 7"})
        exec(sql);

    const qint64 a = cable("V", "1", "CAM-01", "VDA-01", 10);
    const qint64 b = cable("V", "2", "CAM-02", "VDA-01", 4);
    const auto freezeAsBefore = [&](int revision) {
        exec(QString("insert into tblRevisionCables (Revision, CableID, CableNO, CableNoPrefix, "
                     "CableType, CabletypeManu, SignalType, SRCSys, SRCConn, SRCPin, SRCLoc, "
                     "SRCAlias, DestSYS, DESTConn, DestPin, DESTLOc, DSTAlias, Integrator, Length, "
                     "Sheet, MultiCore, Available) select %1, CableID, CableNO, CableNoPrefix, "
                     "CableType, CabletypeManu, SignalType, SRCSys, SRCConn, SRCPin, SRCLoc, "
                     "SRCAlias, DestSYS, DESTConn, DestPin, DESTLOc, DSTAlias, Integrator, Length, "
                     "Sheet, MultiCore, Available from tblCables")
                 .arg(revision));
        exec("insert into tblRevisions (Revision, CableCount, CoreCount) values (?, 2, 0)",
             {revision});
    };
    freezeAsBefore(1);
    exec("update tblCables set Length = 12 where CableID = ?", {a});
    freezeAsBefore(2);
    db::CableTable(r).release(b);

    db::ensureSchema(db::DbId::Project, r);
    EXPECT_EQ(db::schemaVersion(db::DbId::Project, r), db::kSchemaVersion);
    wiring::Revisions revisions(r);
    EXPECT_EQ(text(revisions.compare(1, 2)), QStringList{"Changed|V-1|Length|10|12|S1.dxf"});
    EXPECT_EQ(revisions.compare(2, std::nullopt).size(), 1);  // V-2 freed since
    EXPECT_EQ(db::RevisionTable(r).issuedWith({"V", "2"}), 1);
    EXPECT_TRUE(db::CableTable(r).reusableNumbers("V").isEmpty());
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables where LastRevision = 1").toInt(), 2);

    EXPECT_EQ(revisions.issue("", "ann", QDateTime::currentDateTime()).revision, 3);
    EXPECT_EQ(scalar("select count(*) from tblRevisionCables where Revision = 3").toInt(), 1);
    EXPECT_TRUE(revisions.compare(3, std::nullopt).isEmpty());
    EXPECT_EQ(revisions.compare(1, 3).size(), 2);

    const QString indexes = pg ? "select indexname || ' ' || indexdef from pg_indexes where "
                                 "tablename like 'tblrevisionc%'"
                               : "select name || ' ' || coalesce(sql, '') from sqlite_master "
                                 "where type = 'index' and tbl_name like 'tblRevisionC%'";
    db::Query q(db::DbId::Project, indexes, r);
    q.exec();
    QStringList found;
    while (q.next()) found << q.value(0).toString();
    const QString all = found.join('\n');
    EXPECT_FALSE(all.contains("ix_tblrevisioncables_revision_cableid")) << all.toStdString();
    EXPECT_FALSE(all.contains("cableno_cablenoprefix_available")) << all.toStdString();
    for (const QString& ix : found.filter("s_guid", Qt::CaseInsensitive))
        EXPECT_FALSE(ix.contains("UNIQUE", Qt::CaseInsensitive)) << ix.toStdString();
}

// The compare window opens on the latest revision against now, lists the lines, and clouds the
// added and changed cables (not the removed ones) through the service it is given.
// TOLVANE_SCREENSHOT_COMPARE names a picture of it; TOLVANE_SCREENSHOT_HOLD keeps it shown for
// that many milliseconds (to photograph the screen).
TEST_P(Revisions, CompareWindowListsTheLatestChangesAndCloudsThem) {
    if (GetParam() != db::Engine::SQLite) GTEST_SKIP() << "the window reads as the records read";
    const qint64 first = cable("V", "1", "CAM-01", "VDA-01", 10);
    const qint64 second = cable("V", "2", "CAM-01", "VDA-01", 10);
    {
        test::ScriptedUser none("button OK");
        CompareRevisionsWindow empty(*none.ui, {}, r);
        EXPECT_FALSE(empty.load());
        EXPECT_TRUE(none.transcript.contains("No revision"));
    }
    db::CoreRecord core;
    core.number = CableNumber::ofCore("", "1", "01");
    core.parentId = first;
    core.source = {"CAM-01", "BNC", "OUT", "Studio", ""};
    core.destination = {"VDA-01", "BNC", "IN", "MCR", ""};
    db::CoreTable(r).insert({core});
    wiring::Revisions(r).issue("Tender", "ann", QDateTime(QDate(2026, 5, 1), QTime(9, 0)));
    db::CoreTable(r).release(db::CoreTable(r).ofCable(first).value(0));
    exec("update tblCables set DestPin = 'IN 4' where CableID = ?", {first});
    db::CableTable(r).release(second);
    const qint64 added = cable("V", "3", "CAM-01", "VDA-01", 10);

    test::ScriptedUser user("button OK");
    QSet<qint64> clouded;
    RevisionWindowServices services;
    services.cloud = [&](const QSet<qint64>& ids, const QString& label) {
        clouded = ids;
        EXPECT_EQ(label, "REV 2");
        return int(ids.size());
    };
    CompareRevisionsWindow window(*user.ui, services, r);
    ASSERT_TRUE(window.load());
    EXPECT_EQ(window.lines().size(), 4);
    const auto* summary = window.findChild<QLabel*>("lblSummary");
    EXPECT_EQ(summary->text(),
              "Revision 1 to Now: 1 cable added, 1 removed, 1 changed; 0 cores added, 1 "
              "removed, 0 changed.");
    const auto* grid = window.findChild<QTableView*>("grdChanges");
    EXPECT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(grid->model()->index(1, 0).data().toString(), "Core removed");
    EXPECT_EQ(grid->model()->index(0, 2).data().toString(), "Destination pin");
    window.findChild<QPushButton*>("cmdCloud")->click();
    EXPECT_EQ(clouded, (QSet<qint64>{first, added}));
    EXPECT_TRUE(user.transcript.contains("2 cables clouded"));

    if (const QString file = qEnvironmentVariable("TOLVANE_SCREENSHOT_COMPARE"); !file.isEmpty()) {
        window.show();
        QElapsedTimer shown;
        shown.start();
        while (shown.elapsed() < qEnvironmentVariableIntValue("TOLVANE_SCREENSHOT_HOLD") + 200)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        window.grab().save(file);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, Revisions, test::bothEngines(), test::engineName);

// A changed cable is clouded on its sheet once per label, around the whole polyline, on the
// revision layer, as one undo step; cables not asked for and other entities are left alone.
TEST(RevisionClouds, CloudsTheCablesAskedForOncePerLabel) {
    Drawing d;
    cad::Document& doc = d.document();
    const auto drawCable = [&](qint64 id, QPointF a, QPointF b) {
        cad::Entity e = cad::Entity::polyline({{a}, {QPointF(b.x(), a.y())}, {b}}, false);
        tag::tagEntity(e, tag::kind::Cable, QString::number(id));
        return doc.addToModel(std::move(e)).handle;
    };
    drawCable(12, {0, 0}, {10, 4});
    drawCable(13, {0, 20}, {10, 20});
    d.changed(false);
    const size_t before = doc.modelSpace().entities.size();

    EXPECT_EQ(wiring::cloudCables(d, {12, 99}, "REV 2"), 1);
    ASSERT_EQ(doc.modelSpace().entities.size(), before + 2);
    const cad::Entity& cloud = doc.modelSpace().entities[before];
    EXPECT_EQ(cloud.layer, wiring::kCloudLayer);
    EXPECT_TRUE(cloud.closed);
    ASSERT_NE(doc.layer(wiring::kCloudLayer), nullptr);
    EXPECT_EQ(tag::kindOf(cloud), wiring::kCloudKind);
    EXPECT_EQ(tag::ref2(cloud), "12");
    // The cloud's vertices lie outside the cable's box on every side, and its arcs bulge out.
    const cad::BBox box = cad::boundingBox(doc, cloud);
    EXPECT_LT(box.x0, 0);
    EXPECT_LT(box.y0, 0);
    EXPECT_GT(box.x1, 10);
    EXPECT_GT(box.y1, 4);
    EXPECT_LT(box.y1, 6);
    for (const cad::Vertex& v : cloud.vertices) EXPECT_LT(v.bulge, 0);
    EXPECT_EQ(doc.modelSpace().entities[before + 1].text, "REV 2");

    EXPECT_EQ(wiring::cloudCables(d, {12}, "REV 2"), 0);  // clouded already
    EXPECT_EQ(wiring::cloudCables(d, {12, 13}, "REV 3"), 2);
    EXPECT_EQ(doc.modelSpace().entities.size(), before + 6);
    d.undo().undo();
    d.undo().undo();
    EXPECT_EQ(doc.modelSpace().entities.size(), before);
}
