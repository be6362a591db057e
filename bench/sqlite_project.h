// A project and equipment library in SQLite files of a temporary folder, with the schema, for
// the benchmarks that fill them with rows of their own.
#pragma once

#include <QTemporaryDir>
#include <QVariantList>
#include <functional>
#include <utility>

#include "db/database.h"
#include "db/schema.h"

namespace bench {

struct SqliteProject {
    QTemporaryDir dir;
    tolvane::db::Connections registry;

    SqliteProject() {
        using tolvane::db::DbId;
        for (const auto& [id, name] :
             {std::pair{DbId::Project, "ProjectDB.db"}, {DbId::Equipment, "dbEquip.db"}}) {
            const QString file = dir.filePath(name);
            tolvane::db::createSqliteFile(id, file);
            registry.bind(id, tolvane::db::ConnectionSpec::sqlite(file));
            tolvane::db::ensureSchema(id, registry);
        }
    }

    // The statement run n times in one transaction, with the values row(i) gives.
    void run(tolvane::db::DbId id, const char* sql, int n,
             const std::function<QVariantList(int)>& row) {
        tolvane::db::Transaction t(id, registry);
        tolvane::db::Query q(id, sql, registry);
        for (int i = 0; i < n; ++i) {
            for (const QVariant& v : row(i)) q.bind(v);
            q.exec();
        }
        t.commit();
    }
};

}  // namespace bench
