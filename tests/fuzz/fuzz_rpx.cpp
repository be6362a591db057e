// Fuzz target for the report layout reader: layouts come from users' folders, so no input may
// crash or hang the reader; a damaged file must end in a ReportError. A layout it accepts is
// written again and must read back equal (our own output must always be readable). The check a
// layout's query passes before it runs reads the query, and the raw input as a query, for both
// engines: it must give a reason or accept, never crash or hang. Built with libFuzzer when
// TOLVANE_FUZZ is on (clang); otherwise a small runner feeds it the files of the corpus folder
// as a regression test.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "db/read_only_sql.h"
#include "reports/report_error.h"
#include "reports/rpx_file.h"

namespace reports = tolvane::reports;

namespace {
void checkQuery(const QString& sql) {
    for (const auto engine : {tolvane::db::Engine::SQLite, tolvane::db::Engine::PostgreSQL}) {
        const QString problem = tolvane::db::readOnlyProblem(engine, sql);
        if (!problem.isEmpty() && !problem.startsWith(QLatin1String("it"))) std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkQuery(QString::fromUtf8(bytes));
    reports::ReportLayout layout;
    try {
        layout = reports::parseRpx(bytes);
    } catch (const reports::ReportError& e) {
        if (!e.message().startsWith(QLatin1String("Error: "))) std::abort();
        return 0;
    }
    if (layout.data) checkQuery(layout.data->sql);
    try {
        if (!(reports::parseRpx(reports::serializeRpx(layout)) == layout)) std::abort();
    } catch (const reports::ReportError&) {
        std::abort();
    }
    return 0;
}

#include "corpus_main.h"
