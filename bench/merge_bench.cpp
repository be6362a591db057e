// Merging a delivered equipment library into the one in use, both of 50,000 models with
// 500,000 inputs and outputs (--models=N scales it, ten pins a model), on SQLite. The delivered
// library has 10% of the models described anew (set aside as conflicts) and 10% new models
// with their pins, numbered so that their keys are taken in the library in use (they get new
// keys and their pins follow). Prints the time of the merge, the rows added and set aside, and
// the peak memory of the process.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "bench_help.h"
#include "db/database.h"
#include "db/merge.h"
#include "db/schema.h"
#include "process_memory.h"

using namespace tolvane;

namespace {

void exec(QSqlQuery& q, const QString& sql) {
    if (!q.exec(sql)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
        std::exit(1);
    }
}

// Models [first, first + count) with ten pins each; GUIDs from their numbers and a prefix.
void fill(db::Connections& c, int first, int count, const char* guidPrefix, const char* text) {
    QSqlDatabase d = c.database(db::DbId::Equipment);
    QSqlQuery q(d);
    exec(q,
         "insert into tblManufacturers (ManufacturerID, ManufacturerName, s_GUID) values "
         "('ACME', 'Acme', 'm-acme') on conflict do nothing");
    d.transaction();
    QSqlQuery model(d), pin(d);
    model.prepare(
        "insert into tblEquipment (EquipmentID, EquipmentName, EquipmentDescription, "
        "ManufacturerID, EquipmentCost1, s_GUID) values (?, ?, ?, 'ACME', 100.5, ?)");
    pin.prepare(
        "insert into tblInputs (EquipmentID, Name, Type, conn, s_GUID) values (?, ?, 'SDI', "
        "'BNC', ?)");
    for (int m = first; m < first + count; ++m) {
        const QString guid = QStringLiteral("%1-%2").arg(QLatin1String(guidPrefix)).arg(m);
        model.addBindValue(m);
        model.addBindValue(QStringLiteral("MODEL-%1").arg(m));
        model.addBindValue(QLatin1String(text));
        model.addBindValue(guid);
        model.exec();
        for (int p = 0; p < 10; ++p) {
            pin.addBindValue(m);
            pin.addBindValue(QStringLiteral("IN %1").arg(p));
            pin.addBindValue(guid + QStringLiteral("-p%1").arg(p));
            pin.exec();
        }
    }
    d.commit();
}

}  // namespace

int main(int argc, char** argv) {
    if (bench::helpAsked(
            argc, argv,
            "Merging a delivered equipment library into the one in use (50,000 models and\n"
            "500,000 pins each, 10% changed, 10% new under taken keys) on SQLite: the time of\n"
            "the merge, the rows added and set aside, and the peak memory of the process.\n",
            "  --models=N  models of each library (default 50000; ten pins a model)\n"))
        return 0;
    QCoreApplication app(argc, argv);
    int models = 50000;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--models=", 0) == 0) models = std::atoi(argv[i] + 9);
    QTemporaryDir dir;
    const QString inUseFile = dir.filePath("dbEquip.db");
    const QString deliveredFile = dir.filePath("delivered.db");
    db::Connections inUse, delivered;
    for (const auto& [file, c] : {std::pair{inUseFile, &inUse}, {deliveredFile, &delivered}}) {
        db::createSqliteFile(db::DbId::Equipment, file);
        c->bind(db::DbId::Equipment, db::ConnectionSpec::sqlite(file));
        db::ensureSchema(db::DbId::Equipment, *c);
    }
    const int tenth = models / 10;
    fill(inUse, 1, models, "g", "router");
    // Delivered: the same models, a tenth described anew, and a tenth more under keys the
    // library in use has given to other models.
    fill(delivered, 1, models, "g", "router");
    {
        QSqlQuery q(delivered.database(db::DbId::Equipment));
        exec(q, QStringLiteral("update tblEquipment set EquipmentDescription = 'video router' "
                               "where EquipmentID <= %1")
                    .arg(tenth));
    }
    fill(delivered, models + 1, tenth, "new", "new model");
    {
        QSqlQuery q(inUse.database(db::DbId::Equipment));
        // The library in use has models of its own under the numbers the new ones bring.
        QSqlDatabase d = inUse.database(db::DbId::Equipment);
        d.transaction();
        QSqlQuery own(d);
        own.prepare(
            "insert into tblEquipment (EquipmentID, EquipmentName, ManufacturerID, "
            "s_GUID) values (?, ?, 'ACME', ?)");
        for (int m = models + 1; m <= models + tenth; ++m) {
            own.addBindValue(m);
            own.addBindValue(QStringLiteral("LOCAL-%1").arg(m));
            own.addBindValue(QStringLiteral("own-%1").arg(m));
            own.exec();
        }
        d.commit();
    }
    delivered.closeAll();
    const long long before = bench::statusKb("VmHWM:");
    QElapsedTimer timer;
    timer.start();
    const db::MergeReport r = db::mergeDatabase(db::DbId::Equipment, deliveredFile, inUse);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("models %d, pins %d in each library\n", models, models * 10);
    std::printf("merge: %.2f s; %d rows added (%d with new keys), %d set aside\n", seconds,
                r.inserted, r.rekeyed, r.conflicts);
    std::printf("peak resident memory: %lld MB (%lld MB before the merge)\n",
                bench::statusKb("VmHWM:") / 1024, before / 1024);
    return 0;
}
