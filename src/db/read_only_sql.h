// The check every query a user wrote passes before it reaches a database: a report layout's
// query, the filter put over it, the report wizard's query (which the layout then holds). Such a
// query comes from a file anyone may have written, so it must be one SELECT that only reads.
// The check reads the text as the engine it goes to reads it (its quotes, comments and
// dollar-quoted strings), so that nothing the engine would run hides from it; ReadOnlyQuery
// (db/database.h) then runs it where it cannot write even if it slipped through.
#pragma once

#include <QString>

#include "db/database.h"

namespace tolvane::db {

// Why the text may not run as a user's query ("it begins with DELETE", "it holds a second
// statement (\"; drop table t\")", "it calls load_extension(), which ..."); empty when it is one
// SELECT (or WITH ... SELECT) that reads. Closing semicolons and comments are allowed.
QString readOnlyProblem(Engine engine, const QString& sql);

}  // namespace tolvane::db
