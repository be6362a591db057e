// Pointers across two drawings: linking by cables that end exactly on the pointers, the labels
// and partner handles written, the destination read beyond the pair, assignment numbering
// both sides, and the partner that cannot be found.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "cad/dxf.h"
#include "cad/editing.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "drawings/drawing.h"
#include "drawings/entity_tag.h"
#include "drawings/standard_drawings.h"
#include "script_fixture.h"
#include "wiring/cable_assignment.h"
#include "wiring/pointers.h"

using namespace tolvane;
using namespace tolvane::wiring;
using test::ScriptedUser;

class PointerLinks : public ::testing::Test {
  protected:
    void SetUp() override {
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        for (const auto& [id, sql] :
             {std::pair{db::DbId::Equipment,
                        "insert into SignalDefault (Type, Color, CableNoPrefix) values ('AUD', 3, "
                        "'A')"},
              {db::DbId::Equipment,
               "insert into tblPreferences (UserID, CablesStartNo, CablesVerifySettings, "
               "cablecolorline, cablecolortext) values (1, 1, false, true, true)"},
              {db::DbId::Project,
               "insert into tblJF (JFID, JFSysName, JFLoc, JFEl, SignalType, RearConn) values (7, "
               "'AJF', 'MCR', 'R1', 'AUD', 'XLR')"}})
            db::Query(id, QString::fromLatin1(sql), registry).exec();
        for (Drawing* d : {&a, &b})
            for (const char* name : {"JBOX_S", "FN_JACK_D", "POINTER_S", "POINTER_D"}) {
                const QString file = dir.filePath(QString::fromLatin1(name) + ".dxf");
                if (!QFile::exists(file))
                    cad::saveDxf(standard::blockDrawing(QString::fromLatin1(name)), file);
                cad::addBlockFromFile(d->document(), file, QString::fromLatin1(name));
            }
        a.setPath(dir.filePath("sheet a.dxf"));
        b.setPath(dir.filePath("sheet b.dxf"));
        // Sheet a: a J-box's cable into a POINTER_D; sheet b: a POINTER_S's cable into a jack.
        place(a, "JBOX_S", {0, 0}, "JB", "JB-1");
        pointerD = place(a, "POINTER_D", {5, 0});
        cableA = cable(a, {{0, 0}, {2.5, 0}, {2.5, 0}, {5, 0}});
        pointerS = place(b, "POINTER_S", {0, 0});
        place(b, "FN_JACK_D", {10, 4}, "JF", "JF-9", "7");
        cableB = cable(b, {{0, 0}, {5, 0}, {5, 4}, {10, 4}});
    }
    QString place(Drawing& d, const char* block, QPointF at, const char* attr = nullptr,
                  const char* value = nullptr, const QString& jackfield = {}) {
        cad::Entity e = cad::makeInsert(d.document(), QString::fromLatin1(block), at);
        if (attr)
            for (cad::Entity& x : e.attributes)
                if (x.tag == QLatin1String(attr)) x.text = QString::fromLatin1(value);
        tag::tagEntity(e, tag::catalogueEntry(e.blockName)->kind, jackfield);
        return d.editor().add(std::move(e));
    }
    // A cable with its two number texts, as cable drawing leaves it.
    QString cable(Drawing& d, const QList<QPointF>& points) {
        QList<cad::Vertex> v;
        for (QPointF p : points) v.append({p});
        cad::Entity line = cad::Entity::polyline(v, false);
        tag::tagEntity(line, tag::kind::Cable);
        const QString h = d.editor().add(std::move(line));
        // The texts stand clear of the ends, where the probes look for blocks.
        const QString s =
            d.editor().add(cad::Entity::textAt(points.first() + QPointF(0, 1), "Cable #", 0.25));
        const QString t =
            d.editor().add(cad::Entity::textAt(points.last() + QPointF(-3, 1), "Cable #", 0.25));
        d.editor().modify(h, [&](cad::Entity& e) { tag::setAssoc(e, s + "|" + t); });
        return h;
    }
    Pointers pointers(Ui& ui, bool withB = true) {
        return Pointers(
            ui, nullptr,
            [this, withB] {
                QList<OpenDrawing> open{{drawingTitle(a), &a}};
                if (withB) open << OpenDrawing{drawingTitle(b), &b};
                return open;
            },
            registry);
    }
    QString attr(Drawing& d, const QString& insert, const char* tagName) {
        return d.document().find(insert)->attribute(QLatin1String(tagName))->text;
    }

    QTemporaryDir dir;
    db::Connections registry;
    test::TestDatabases dbs{db::Engine::SQLite};
    Drawing a, b;
    QString pointerD, pointerS, cableA, cableB;
};

// The pair links: each names the other and shows where the cable comes from or goes; the
// destination beyond the pair is the far jack (still after saving and opening again:
// cable_pointers.scr). A cable ending a thousandth beside a pointer is not its cable.
TEST_F(PointerLinks, LinkAndFollow) {
    ScriptedUser user("");
    Pointers p = pointers(*user.ui);
    ASSERT_TRUE(p.link(a, pointerD, b, pointerS));
    EXPECT_EQ(tag::assoc(*a.document().find(pointerD)), pointerS);
    EXPECT_EQ(tag::assoc(*b.document().find(pointerS)), pointerD);
    // Each shows the other's sheet (the far ends they show: cable_draw.scr).
    EXPECT_EQ(attr(a, pointerD, "DSHT"), "sheet b.dxf");
    EXPECT_EQ(attr(b, pointerS, "Ssht"), "sheet a.dxf");
    EXPECT_EQ(p.otherSide(a, pointerD), "JF-9|-1|XLR|MCR.R1|AUD|");
    EXPECT_TRUE(user.transcript.isEmpty()) << user.transcript.toStdString();

    const QString near = place(a, "POINTER_D", {5, 10});
    cable(a, {{0, 10}, {5.001, 10}});
    const QString farS = place(b, "POINTER_S", {0, 20});
    cable(b, {{0, 20}, {4, 20}});
    EXPECT_FALSE(p.link(a, near, b, farS));
    EXPECT_EQ(tag::assoc(*a.document().find(near)), "");
}

// A partner handle that is garbage, names a line or comes with a leading "0"; a partner
// drawing that is not open.
TEST_F(PointerLinks, PartnersThatCannotBeFound) {
    ScriptedUser quiet("");
    ASSERT_TRUE(pointers(*quiet.ui).link(a, pointerD, b, pointerS));
    const auto withAssoc = [&](const QString& value) {
        a.editor().modify(pointerD, [&](cad::Entity& e) { tag::setAssoc(e, value); });
    };
    const QString line = b.editor().add(cad::Entity::line({50, 50}, {60, 50}));
    const struct {
        QString assoc;
        const char* said;
    } rows[] = {{"ZZZ", "[GetOtherSide Handle]"},
                {"0FFFFF", "[GetOtherSide TRIMMED Handle]"},
                {line, "[GetOtherSide Figure]"},
                {"0" + line, "[GetOtherSide NOT INSERT]"},
                {b.document().find(cableB)->handle, "[GetOtherSide Figure]"}};
    for (const auto& r : rows) {
        withAssoc(r.assoc);
        ScriptedUser user("button OK\n");
        EXPECT_EQ(pointers(*user.ui).otherSide(a, pointerD), "");
        EXPECT_TRUE(user.transcript.contains(QLatin1String(r.said)))
            << r.said << user.transcript.toStdString();
    }
    withAssoc("0" + pointerS);
    EXPECT_EQ(pointers(*quiet.ui).otherSide(a, pointerD), "JF-9|-1|XLR|MCR.R1|AUD|");
    EXPECT_EQ(pointers(*quiet.ui, false).otherSide(a, pointerD), "");  // sheet b closed
    EXPECT_TRUE(quiet.transcript.isEmpty());
}

// Assigning the source-side cable writes one row whose destination is beyond the pair and puts
// the number on both cables; with the partner gone, assignment stops and says where to look.
TEST_F(PointerLinks, AssignmentThroughThePair) {
    ScriptedUser user("");
    Pointers p = pointers(*user.ui);
    ASSERT_TRUE(p.link(a, pointerD, b, pointerS));
    AssignmentState state;
    AssignCablesRun run(*user.ui, state, registry);
    run.picked = cableA;
    run.pointers = &p;
    ASSERT_EQ(assignCables(a, run), 1) << user.transcript.toStdString();
    db::Query row(db::DbId::Project, "select CableID, SRCSys, DestSYS, DestPin from tblCables",
                  registry);
    row.exec();
    ASSERT_TRUE(row.next());
    const QString id = row.value(0).toString();
    EXPECT_EQ(
        row.value(1).toString() + " " + row.value(2).toString() + " " + row.value(3).toString(),
        "JB-1 JF-9 -1");
    EXPECT_FALSE(row.next());
    for (Drawing* d : {&a, &b}) {
        const cad::Entity* c = d->document().find(d == &a ? cableA : cableB);
        EXPECT_EQ(tag::ref1(*c), id);
        EXPECT_EQ(c->tooltip, "Cable#: A-1");
        EXPECT_EQ(c->layer, "AUD");
        for (const QString& t : tag::assoc(*c).split('|'))
            EXPECT_EQ(d->document().find(t)->text, "A-1");
    }

    b.editor().erase(pointerS);
    ScriptedUser told("button OK\nbutton OK\n");
    Pointers gone = pointers(*told.ui);
    AssignCablesRun again(*told.ui, state, registry);
    again.picked = cableA;
    again.pointers = &gone;
    EXPECT_EQ(assignCables(a, again), 0);
    EXPECT_TRUE(
        told.transcript.contains("Unable to retrieve other pointer.\\nBe sure the "
                                 "drawing: sheet b.dxf is open,\\nand that the pointer "
                                 "exists. Operation cancelled"))
        << told.transcript.toStdString();
}
