// The grouped counts of the bill of materials on both engines.
#include <gtest/gtest.h>

#include "db/schema.h"
#include "db/statistics.h"
#include "db_fixture.h"

using namespace tolvane;

namespace {
class StatisticsTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, r);
        db::ensureSchema(db::DbId::Project, r);
    }
    QString render(db::BomSection s) {
        QStringList out;
        for (const auto& c : db::bomCounts(s, r)) {
            QStringList item;
            for (const QVariant& v : c.item) item << (v.isNull() ? "-" : v.toString());
            out << item.join('/') + "=" + QString::number(c.total);
        }
        return out.join(' ');
    }
    db::Connections r;
    test::TestDatabases dbs{GetParam()};
};
}  // namespace

TEST_P(StatisticsTest, TotalsPerItem) {
    db::Query cable(
        db::DbId::Project,
        "insert into tblCables (CableNO, SRCConn, DestConn, CableTypeManu, CableType, Length) "
        "values (?, ?, ?, ?, ?, ?)",
        r);
    cable.bind("1").bind("BNC").bind("BNC").bind("Cordavo").bind("CV-75").bind(12.5).exec();
    cable.bind("2").bind("BNC").bind("XLR3F").bind("Cordavo").bind("CV-75").bind(7.5).exec();
    cable.bind("3").bind(QVariant()).bind("XLR3F").bind("Cordavo").bind("CA-2250").bind(3).exec();
    db::Query sys(db::DbId::Project,
                  "insert into tblSystems (SysName, SysNum, EquipID) values (?, ?, ?)", r);
    sys.bind("CAM").bind(1).bind(7).exec();
    sys.bind("CAM").bind(2).bind(7).exec();
    sys.bind("VTR").bind(1).bind(9).exec();
    EXPECT_EQ(render(db::BomSection::OutputConnectors), "-=1 BNC=2");
    EXPECT_EQ(render(db::BomSection::InputConnectors), "BNC=1 XLR3F=2");
    EXPECT_EQ(render(db::BomSection::CableTypes), "Cordavo/CA-2250=3 Cordavo/CV-75=20");
    EXPECT_EQ(render(db::BomSection::Equipment), "7=2 9=1");
    EXPECT_EQ(render(db::BomSection::JackFields), "");
}

INSTANTIATE_TEST_SUITE_P(Engines, StatisticsTest, test::bothEngines(), test::engineName);
