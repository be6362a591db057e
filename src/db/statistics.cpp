// Grouped counts over the project's cables, systems and jackfields.
#include "db/statistics.h"

#include <QSqlRecord>

namespace tolvane::db {

namespace {
struct SectionQuery {
    BomSection section;
    int keys;
    const char* sql;
};

// Rows are counted per group whatever the grouped column holds; equipment and jackfields
// count the rows with a number, as their totals always did. Empty items sort first on both
// engines.
constexpr SectionQuery kQueries[] = {
    {BomSection::OutputConnectors, 1,
     "select SRCConn, count(*) from tblCables group by SRCConn order by SRCConn nulls first"},
    {BomSection::InputConnectors, 1,
     "select DestConn, count(*) from tblCables group by DestConn order by DestConn nulls first"},
    {BomSection::Equipment, 1,
     "select EquipID, count(SysNum) from tblSystems group by EquipID order by EquipID nulls first"},
    {BomSection::JackFields, 1,
     "select JackFieldID, count(JFSysID) from tblJF group by JackFieldID order by JackFieldID "
     "nulls first"},
    {BomSection::CableTypes, 2,
     "select CableTypeManu, CableType, sum(Length) from tblCables group by CableTypeManu, "
     "CableType order by CableTypeManu nulls first, CableType nulls first"},
    {BomSection::ChildOutputConnectors, 1,
     "select SRCConn, count(*) from tblChildCables group by SRCConn order by SRCConn nulls first"},
    {BomSection::ChildInputConnectors, 1,
     "select DestConn, count(*) from tblChildCables group by DestConn order by DestConn nulls "
     "first"},
};
}  // namespace

QVector<BomCount> bomCounts(BomSection section, Connections& registry) {
    for (const SectionQuery& s : kQueries) {
        if (s.section != section) continue;
        Query q(DbId::Project, QString::fromLatin1(s.sql), registry);
        q.exec();
        QVector<BomCount> rows;
        while (q.next()) {
            BomCount c;
            for (int i = 0; i < s.keys; ++i) c.item << q.value(i);
            c.total = q.value(s.keys).toDouble();
            rows << c;
        }
        return rows;
    }
    return {};
}

}  // namespace tolvane::db
