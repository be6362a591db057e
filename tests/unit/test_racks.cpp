// Racks: heights and elevations read from their texts, the placing of a rack's systems with
// each problem that keeps one off the sheet, the budget sums against values worked out by
// hand, the elevation sheet's geometry (its boxes against the RU scale, no two texts on top
// of each other), and the racks and budgets in the project database on both engines (the
// racks window and the rack findings of the project check are run by racks.scr).
// TOLVANE_RACK_PNG names a folder for a picture of a full sheet.
#include <gtest/gtest.h>

#include <QRectF>

#include "cad/geometry.h"
#include "cad/render.h"
#include "db/records/racks.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "equipment/rack_elevation.h"
#include "equipment/racks.h"
#include "text_layout.h"

using namespace tolvane;
using namespace tolvane::equipment;

namespace {

db::RackRecord rack(const QString& name, int height, std::optional<double> power = {},
                    std::optional<double> weight = {}) {
    db::RackRecord r;
    r.id = 1;
    r.name = name;
    r.height = height;
    r.powerLimit = power;
    r.weightLimit = weight;
    return r;
}

// A system at an elevation whose model is `height` high in `unit`, with its power and weight;
// no height at all: the model is not in the library.
SystemInRack unit(qint64 id, const QString& name, const QString& elevation,
                  std::optional<double> height, const QString& unit = "RU",
                  std::optional<double> watts = {}, std::optional<double> kg = {}) {
    SystemInRack s;
    s.system.id = id;
    s.system.name = name;
    s.system.number = 1;
    s.system.elevation = elevation;
    s.system.equipmentName = "M-" + name;
    s.system.manufacturer = "Halvern";
    if (height) {
        db::PhysicalRecord p;
        p.height = height;
        p.heightUnit = unit;
        p.p = watts;
        p.weight = kg;
        s.physical = p;
    }
    return s;
}

RackEntry entry(const QString& name, const QString& height, const QString& unit,
                const QString& power = {}, const QString& weight = {},
                const QString& description = {}) {
    return RackEntry{name, height, unit, power, weight, description};
}

QList<RackProblemKind> kinds(const RackPlan& plan) {
    QList<RackProblemKind> out;
    for (const RackProblem& p : plan.problems) out << p.kind;
    return out;
}

QList<const cad::Entity*> onLayer(const cad::Document& doc, const QString& layer,
                                  cad::EntityKind kind) {
    QList<const cad::Entity*> out;
    for (const cad::Entity& e : doc.modelSpace().entities)
        if (e.layer == layer && e.kind == kind) out << &e;
    return out;
}

QRectF boundsOf(const cad::Entity& e) {
    QRectF r;
    for (const cad::Vertex& v : e.vertices) r = r.united(QRectF(v.pos, QSizeF(1e-9, 1e-9)));
    return r;
}

}  // namespace

TEST(RackUnits, HeightsRoundUpToWholeRuAndElevationsAreWholeNumbers) {
    EXPECT_EQ(heightInRu(2.0, "RU"), 2);
    EXPECT_EQ(heightInRu(1.5, "ru"), 2);
    EXPECT_EQ(heightInRu(2.0, ""), 2);
    EXPECT_EQ(heightInRu(3.5, "in"), 2);   // exactly two
    EXPECT_EQ(heightInRu(1.72, "in"), 1);  // a real 1 RU panel
    EXPECT_EQ(heightInRu(5.26, "in"), 4);  // a hair over three
    EXPECT_EQ(heightInRu(0.0, "RU"), std::nullopt);
    EXPECT_EQ(heightInRu(-1.0, "RU"), std::nullopt);
    EXPECT_EQ(heightInRu(std::nullopt, "RU"), std::nullopt);
    EXPECT_EQ(heightInRu(2.0, "cm"), std::nullopt);

    EXPECT_EQ(elevationRu("12"), 12);
    EXPECT_EQ(elevationRu(" U12 "), 12);
    EXPECT_EQ(elevationRu("ru 7"), 7);
    EXPECT_EQ(elevationRu("0"), 0);
    EXPECT_EQ(elevationRu("12.5"), std::nullopt);
    EXPECT_EQ(elevationRu("top"), std::nullopt);
    EXPECT_EQ(elevationRu(""), std::nullopt);
    EXPECT_EQ(elevationRu("12a"), std::nullopt);
}

TEST(RackPlanning, EachProblemKeepsItsSystemOffTheSheet) {
    const RackPlan plan =
        planRack(rack("R1", 10),
                 {unit(1, "BAD", "top", 1.0), unit(2, "NOHT", "3", std::nullopt),
                  unit(3, "VTR", "5", 2.0), unit(4, "ON", "6", 1.0), unit(5, "HIGH", "10", 2.0),
                  unit(6, "LOW", "0", 1.0), unit(7, "TOP", "9", 1.0)});
    EXPECT_EQ(kinds(plan),
              (QList<RackProblemKind>{RackProblemKind::ElevationNotNumber,
                                      RackProblemKind::HeightUnknown, RackProblemKind::Overlap,
                                      RackProblemKind::OutOfRack, RackProblemKind::OutOfRack}));
    EXPECT_EQ(plan.problems[2].text, "ON-01 at RU 6 overlaps VTR-01 at RU 5-6 in R1.");
    EXPECT_EQ(plan.problems[3].text, "HIGH-01 at RU 10-11 sticks out of R1 (10 RU).");
    ASSERT_EQ(plan.placed.size(), 2);
    EXPECT_EQ(plan.placed[0].system + " " + plan.placed[1].system, "VTR-01 TOP-01");

    // The older row keeps its place when two start at one RU, whatever order they come in.
    const RackPlan tie =
        planRack(rack("R1", 10), {unit(9, "NEW", "4", 1.0), unit(8, "OLD", "4", 2.0)});
    ASSERT_EQ(tie.placed.size(), 1);
    EXPECT_EQ(tie.placed[0].system, "OLD-01");
    EXPECT_EQ(tie.problems.first().system, "NEW-01");
}

TEST(RackPlanning, BudgetSumsAgainstHandWorkedValues) {
    const RackPlan plan = planRack(
        rack("R1", 42, 400.0, 30.0),
        {unit(1, "A", "1", 2.0, "RU", 150.0, 10.0), unit(2, "B", "3", 3.5, "in", 250.5, 12.5),
         unit(3, "C", "oops", 1.0, "RU", 100.0), unit(4, "D", "20", std::nullopt)});
    const RackBudget& b = plan.budget;
    EXPECT_EQ(b.systems, 4);
    EXPECT_EQ(b.used, 5);  // 2 + 2 + 1: a system set aside still takes its space
    EXPECT_EQ(b.free, 37);
    EXPECT_DOUBLE_EQ(b.watts, 500.5);
    EXPECT_NEAR(b.btu, 1707.706, 1e-9);  // 500.5 x 3.412
    EXPECT_DOUBLE_EQ(b.weight, 22.5);
    EXPECT_TRUE(b.overPower());
    EXPECT_FALSE(b.overWeight());
    EXPECT_FALSE(b.overRu());
    EXPECT_EQ(b.overLimits(), "power");
    EXPECT_EQ(plan.line(), "RACK R1 | 5/42 | 500.5 | 1707.7 | 22.5");

    const RackPlan full =
        planRack(rack("R2", 2, std::nullopt, 5.0),
                 {unit(1, "A", "1", 2.0, "RU", 0.0, 6.0), unit(2, "B", "2", 1.0)});
    EXPECT_EQ(full.budget.used, 3);
    EXPECT_EQ(full.budget.free, -1);
    EXPECT_EQ(full.budget.overLimits(), "RU, weight");
    // Without limits nothing is over, however much the rack holds.
    EXPECT_FALSE(
        planRack(rack("R3", 42), {unit(1, "A", "1", 2.0, "RU", 9000.0, 900.0)}).budget.over());
}

TEST(RackElevation, SystemBoxesSpanTheirRuOfTheScale) {
    const RackPlan plan = planRack(rack("R1", 42), {unit(1, "VTR", "12", 2.0)});
    ASSERT_EQ(plan.placed.size(), 1);
    EXPECT_EQ(*plan.placed[0].bottom, 12);
    EXPECT_EQ(plan.placed[0].top(), 13);

    cad::Document doc;
    drawElevation(doc, plan, {});
    const auto boxes = onLayer(doc, elevation::kLayerEquipment, cad::EntityKind::Polyline);
    ASSERT_EQ(boxes.size(), 1);
    const QRectF box = boundsOf(*boxes[0]);
    // RU n of the scale is labelled in the middle of its band; the box holds the bands of
    // 12 and 13 and no other.
    QMap<int, double> labelY;
    for (const cad::Entity& e : doc.modelSpace().entities)
        if (e.layer == elevation::kLayerRack && e.kind == cad::EntityKind::Text)
            labelY[e.text.toInt()] = e.end.y();
    ASSERT_EQ(labelY.size(), 42);
    for (int ru = 1; ru <= 42; ++ru) {
        const bool inside = labelY[ru] > box.top() && labelY[ru] < box.bottom();
        EXPECT_EQ(inside, ru == 12 || ru == 13) << "RU " << ru;
    }
    EXPECT_NEAR(box.top(), 11 * 1.75, 1e-6);
    EXPECT_NEAR(box.bottom(), 13 * 1.75, 1e-6);
    EXPECT_NEAR(box.width(), elevation::kPanelWidth, 1e-6);
    // Its label names the system, the model and the maker.
    QStringList texts;
    for (const cad::Entity& e : doc.modelSpace().entities)
        if (e.layer == elevation::kLayerText && box.contains(e.end)) texts << e.text;
    EXPECT_EQ(texts, (QStringList{"VTR-01", "M-VTR", "Halvern"}));
}

TEST(RackElevation, BlankPanelsOnRequestFillEachEmptyRun) {
    const RackPlan plan =
        planRack(rack("R1", 10), {unit(1, "A", "3", 2.0), unit(2, "B", "7", 1.0)});
    EXPECT_EQ(plan.freeRuns(), (QList<std::pair<int, int>>{{1, 2}, {5, 2}, {8, 3}}));
    cad::Document without;
    drawElevation(without, plan, {});
    EXPECT_TRUE(onLayer(without, elevation::kLayerBlank, cad::EntityKind::Polyline).isEmpty());
    cad::Document with;
    drawElevation(with, plan, ElevationOptions{true});
    const auto panels = onLayer(with, elevation::kLayerBlank, cad::EntityKind::Polyline);
    ASSERT_EQ(panels.size(), 3);
    EXPECT_NEAR(boundsOf(*panels[2]).top(), 7 * 1.75, 1e-6);
    EXPECT_NEAR(boundsOf(*panels[2]).bottom(), 10 * 1.75, 1e-6);
}

// A full rack of 30 systems of 1 to 3 RU, with problems listed beside it: no text of the
// sheet covers another, and every label stays inside its box.
TEST(RackElevation, NoTwoTextsOfAFullSheetOverlap) {
    QList<SystemInRack> systems;
    int ru = 1;
    for (int i = 0; i < 30; ++i) {
        const int h = i % 3 == 0 ? 2 : 1;
        systems << unit(i + 1, QStringLiteral("SYSTEM WITH A LONG NAME %1").arg(i),
                        QString::number(ru), double(h), "RU", 100.0, 5.0);
        ru += h;
    }
    systems << unit(40, "LOST", "x", 1.0) << unit(41, "OVER", "41", 3.0);
    const RackPlan plan = planRack(rack("Machine Room Rack 1", 42, 2000.0, 100.0), systems);
    ASSERT_EQ(plan.placed.size(), 30);
    cad::Document doc;
    drawElevation(doc, plan, ElevationOptions{true});
    // TOLVANE_RACK_PNG names a folder for a picture of the sheet, to look at.
    if (const QString folder = qEnvironmentVariable("TOLVANE_RACK_PNG"); !folder.isEmpty()) {
        QString error;
        cad::exportImage(doc, doc.modelSpace(), folder + "/rack.png", {1400, 1800}, Qt::white,
                         &error);
        cad::exportPdf(doc, doc.modelSpace(), folder + "/rack.pdf", &error);
    }
    std::vector<test::PlacedText> texts;
    for (const cad::Entity& e : doc.modelSpace().entities)
        if (e.kind == cad::EntityKind::Text) {
            cad::BBox box;
            for (QPointF q : cad::textBox(doc, e).q) box.add(q);
            texts.push_back({e.text, box});
        }
    ASSERT_GT(texts.size(), 90u);
    const QStringList collisions = test::collisions(texts, {});
    EXPECT_TRUE(collisions.isEmpty()) << collisions.join("; ").toStdString();
    for (const auto* box : onLayer(doc, elevation::kLayerEquipment, cad::EntityKind::Polyline)) {
        const QRectF r = boundsOf(*box);
        for (const cad::Entity& e : doc.modelSpace().entities)
            if (e.layer == elevation::kLayerText && r.contains(e.end)) {
                const cad::Prim p = cad::textBox(doc, e);
                EXPECT_TRUE(r.contains(QRectF(p.q[0], p.q[2]).normalized()))
                    << e.text.toStdString();
            }
    }
}

// ---- the project database -----------------------------------------------------------------

class RackBookTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        for (db::DbId id : {db::DbId::Equipment, db::DbId::Project}) {
            dbs.makeEmpty(id, registry);
            db::ensureSchema(id, registry);
        }
        sql(db::DbId::Equipment,
            "insert into tblEquipment (EquipmentID, EquipmentName, EquipmentH, EquipmentHValue, "
            "EquipmentP, EquipmentWeight) values (1, 'VTR', 2, 'RU', 150, 10), (2, 'DA', 1.75, "
            "'in', 20.5, 1.5), (3, 'DESK', null, null, 300, 40)");
        sql(db::DbId::Project,
            "insert into tblSystems (SysID, SysName, SysNum, EquipID, Location, Elevation, "
            "equipmentname) values (1, 'VTR', 1, 1, 'Rack 1', '10', 'VTR'), (2, 'DA', 1, 2, "
            "' rack 1 ', 'U11', 'DA'), (3, 'DA', 2, 2, 'Rack 1', '11', 'DA'), (4, 'DESK', 1, 3, "
            "'Studio', '', 'DESK'), (5, 'GONE', 1, 99, 'Rack 1', '30', 'OLD'), (6, 'VTR', 2, 1, "
            "'Rack 2', '42', 'VTR')");
    }
    void sql(db::DbId id, const char* statement) { db::Query(id, statement, registry).exec(); }

    db::Connections registry;
    test::TestDatabases dbs{GetParam()};
};

TEST_P(RackBookTest, RacksAreStoredOncePerNameAndLocationsWithoutOneAreOffered) {
    auto parsed = rackFromEntry(entry("Rack 1", "73.5", "in", "1000", "", "Main"));
    ASSERT_TRUE(std::holds_alternative<db::RackRecord>(parsed));
    db::RackRecord r1 = std::get<db::RackRecord>(parsed);
    EXPECT_EQ(r1.height, 42);
    EXPECT_EQ(r1.powerLimit, 1000.0);
    EXPECT_EQ(r1.weightLimit, std::nullopt);
    EXPECT_EQ(storeRack(registry, r1), std::nullopt);
    EXPECT_GT(r1.id, 0);
    for (const RackEntry& bad :
         QList<RackEntry>{entry(" ", "42", "RU"), entry("X", "0", "RU"), entry("X", "tall", "RU"),
                          entry("X", "42", "RU", "-5"), entry("X", "42", "RU", "", "heavy")})
        EXPECT_TRUE(std::holds_alternative<QString>(rackFromEntry(bad))) << bad.name.toStdString();

    EXPECT_EQ(RackBook(registry).undefinedLocations(), (QStringList{"Rack 2", "Studio"}));
    // A second "RACK 1" is refused by name: racks.scr.
    EXPECT_EQ(createRacks(registry, {"Rack 2", "rack 1"}), 1);
    const QList<db::RackRecord> racks = db::RackTable(registry).all();
    ASSERT_EQ(racks.size(), 2);
    EXPECT_EQ(racks[0], r1);
    EXPECT_EQ(racks[1].name, "Rack 2");
    EXPECT_EQ(RackBook(registry).undefinedLocations(), QStringList{"Studio"});
    db::RackTable(registry).remove(racks[1].id);
    EXPECT_EQ(RackBook(registry).undefinedLocations(), (QStringList{"Rack 2", "Studio"}));
}

TEST_P(RackBookTest, PlansReadTheLibraryAndBudgetsAreStoredForTheReport) {
    db::RackRecord r1 =
        std::get<db::RackRecord>(rackFromEntry(entry("Rack 1", "42", "RU", "150", "20")));
    db::RackRecord r2 = std::get<db::RackRecord>(rackFromEntry(entry("Rack 2", "42", "RU")));
    ASSERT_EQ(storeRack(registry, r1), std::nullopt);
    ASSERT_EQ(storeRack(registry, r2), std::nullopt);
    const QList<RackPlan> plans = RackBook(registry).plans();
    ASSERT_EQ(plans.size(), 2);
    // Rack 1: VTR at 10-11, DA-01 at 11 overlaps it, DA-02 likewise, the old model's height
    // is unknown. 150 + 20.5 + 20.5 W, 10 + 1.5 + 1.5 kg, 2 + 1 + 1 RU.
    EXPECT_EQ(plans[0].line(), "RACK Rack 1 | 4/42 | 191 | 651.7 | 13");
    EXPECT_EQ(kinds(plans[0]),
              (QList<RackProblemKind>{RackProblemKind::Overlap, RackProblemKind::Overlap,
                                      RackProblemKind::HeightUnknown}));
    EXPECT_EQ(plans[0].budget.overLimits(), "power");
    EXPECT_EQ(plans[1].line(), "RACK Rack 2 | 2/42 | 150 | 511.8 | 10");
    EXPECT_EQ(kinds(plans[1]), QList<RackProblemKind>{RackProblemKind::OutOfRack});
    EXPECT_EQ(RackBook(registry).plans({"RACK 2"}).size(), 1);

    RackBook::storeBudgets(registry, plans);
    RackBook::storeBudgets(registry, plans);  // rewritten, not added to
    const QList<db::RackBudgetRow> rows = db::RackBudgetTable(registry).all();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].rack, "Rack 1");
    EXPECT_EQ(rows[0].used, 4);
    EXPECT_EQ(rows[0].free, 38);
    EXPECT_EQ(rows[0].systems, 4);
    EXPECT_DOUBLE_EQ(rows[0].watts, 191);
    EXPECT_EQ(rows[0].powerLimit, 150.0);
    EXPECT_EQ(rows[0].overLimits, "power");
    EXPECT_EQ(rows[1].powerLimit, std::nullopt);
    EXPECT_TRUE(rows[1].worked.isValid());
}

INSTANTIATE_TEST_SUITE_P(Engines, RackBookTest, test::bothEngines(), test::engineName);
