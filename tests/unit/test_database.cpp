// The connection layer: connection strings, clear errors for missing and corrupt databases,
// bound parameters, transactions, and the Jet idioms on both engines.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <functional>
#include <memory>

#include "db/database.h"
#include "db/read_only_sql.h"
#include "db/row_stream.h"
#include "db_fixture.h"
#include "front/script_ui.h"

using namespace tolvane;
using db::ConnectionSpec;

TEST(ConnectionSpec, ParsesAndWritesBothKinds) {
    EXPECT_EQ(ConnectionSpec::parse("/srv/tolvane/dbPM.db")->path, "/srv/tolvane/dbPM.db");
    EXPECT_EQ(ConnectionSpec::parse("sqlite:/a b/x.db")->path, "/a b/x.db");
    const auto pg = ConnectionSpec::parse(
        "postgresql:host=db1 port=6432 dbname=tolvane user=ann password='it''s' schema=proj_1");
    EXPECT_FALSE(pg.has_value());  // '' is not how a quote is written: \'
    const auto ok = ConnectionSpec::parse(
        "postgresql:host=db1 port=6432 dbname=tolvane user=ann password='it\\'s me' schema=proj_1");
    ASSERT_TRUE(ok.has_value());
    EXPECT_EQ(ok->engine, db::Engine::PostgreSQL);
    EXPECT_EQ(ok->port, 6432);
    EXPECT_EQ(ok->password, "it's me");
    EXPECT_EQ(ok->schema, "proj_1");
    EXPECT_EQ(ConnectionSpec::parse(ok->text()), ok);  // written and read back, the same
    EXPECT_FALSE(ok->location().contains("it's"));     // messages never show the password
    for (const char* bad : {"postgresql:host=x port=99999", "postgresql:hots=x",
                            "postgresql:host=x schema=a;drop", "  "})
        EXPECT_FALSE(ConnectionSpec::parse(bad).has_value()) << bad;
}

TEST(Connections, MissingAndCorruptFilesNameTheDatabase) {
    QTemporaryDir dir;
    db::Connections r;
    r.bind(db::DbId::Equipment, ConnectionSpec::sqlite(dir.filePath("dbEquip.db")));
    const QString missing = test::thrownText([&] { r.database(db::DbId::Equipment); });
    EXPECT_TRUE(missing.contains("equipment database")) << missing.toStdString();
    EXPECT_TRUE(missing.contains("does not exist")) << missing.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("dbEquip.db")));  // never made silently

    const QString junk = dir.filePath("dbPM.db");
    test::writeFile(junk, QByteArray(4096, 'x'));
    r.bind(db::DbId::PM, ConnectionSpec::sqlite(junk));
    const QString corrupt = test::thrownText([&] { r.database(db::DbId::PM); });
    EXPECT_TRUE(corrupt.contains("project manager database")) << corrupt.toStdString();
    EXPECT_TRUE(corrupt.contains(junk)) << corrupt.toStdString();

    // An unreachable server is named by where it is.
    r.bind(db::DbId::PM,
           *ConnectionSpec::parse("postgresql:host=127.0.0.1 port=1 dbname=x user=x"));
    EXPECT_TRUE(test::thrownText([&] { r.database(db::DbId::PM); }).contains("127.0.0.1:1/x"));
}

class DatabaseTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, r);
        db::Query(db::DbId::Project,
                  "create table tblSystems (SysID integer primary key, SysName varchar(50), "
                  "Available boolean)",
                  r)
            .exec();
    }
    int count(const QString& where = "1 = 1") {
        return db::Query(db::DbId::Project, "select count(*) from tblSystems where " + where, r)
            .scalar()
            .toInt();
    }
    db::Connections r;  // outlives the databases, which close it
    test::TestDatabases dbs{GetParam()};
};

TEST_P(DatabaseTest, QuotesInUserTextAreJustText) {
    db::Query ins(db::DbId::Project,
                  "insert into tblSystems (SysID, SysName, Available) values (?, ?, ?)", r);
    ins.bind(1).bind("O'Brien's VTR; drop table tblSystems --").bind(true).exec();
    db::Query q(db::DbId::Project, "select SysName from tblSystems where SysName = ?", r);
    q.bind("O'Brien's VTR; drop table tblSystems --").exec();
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value("sysname").toString(), "O'Brien's VTR; drop table tblSystems --");
}

TEST_P(DatabaseTest, TransactionsWriteAllOrNothing) {
    {
        db::Transaction t(db::DbId::Project, r);
        db::Query ins(db::DbId::Project, "insert into tblSystems (SysID, SysName) values (?, ?)",
                      r);
        for (int i = 1; i <= 3; ++i) ins.bind(i).bind("CAM").exec();
    }  // no commit: rolled back
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(
        test::thrownText([&] {
            db::Transaction t(db::DbId::Project, r);
            db::Query(db::DbId::Project, "insert into tblSystems (SysID) values (1)", r).exec();
            db::Query(db::DbId::Project, "insert into tblSystems (SysID) values (1)", r)
                .exec();  // duplicate
            t.commit();
        }).startsWith("The project database"));
    EXPECT_EQ(count(), 0);
}

TEST_P(DatabaseTest, JetIdiomsMeanTheSameOnBothEngines) {
    const db::Engine e = GetParam();
    db::Query ins(db::DbId::Project,
                  "insert into tblSystems (SysID, SysName, Available) values (?, ?, ?)", r);
    ins.bind(1).bind("Camera").bind(true).exec();
    ins.bind(2).bind("CCU").bind(false).exec();
    ins.bind(3).bind("monitor").bind(true).exec();
    EXPECT_EQ(count(db::dialect::fromJet(e, "Available = True")), 2);
    EXPECT_EQ(count(db::dialect::fromJet(e, "Available = -1")), 2);
    EXPECT_EQ(count(db::dialect::fromJet(e, "Available = false")), 1);
    EXPECT_EQ(count(db::dialect::fromJet(e, "SysName LIKE 'c%'")), 2);  // letter case ignored
    db::Query like(db::DbId::Project,
                   "select count(*) from tblSystems where " + db::dialect::likeNoCase(e, "SysName"),
                   r);
    like.bind("MON%");
    EXPECT_EQ(like.scalar().toInt(), 1);
    db::Query(db::DbId::Project,
              db::dialect::fromJet(e, "Delete * FROM tblSystems Where Available = True"), r)
        .exec();
    EXPECT_EQ(count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseTest, test::bothEngines(), test::engineName);

// The fast row path gives every value as the query gives it: numbers, reals, nulls, empty and
// non-Latin texts, flags however they are stored, and on SQLite values of another type than
// their column's. Texts read as names are the same texts, shared when they repeat.
TEST_P(DatabaseTest, RowStreamReadsEveryValueAsQueryDoes) {
    const bool sqlite = GetParam() == db::Engine::SQLite;
    db::Query(db::DbId::Project,
              "create table t (id integer primary key, n bigint, r double precision, "
              "s varchar(50), f boolean)",
              r)
        .exec();
    db::Query(db::DbId::Project,
              "insert into t values (1, 9007199254740993, 1.5, 'CAM-01', true), "
              "(2, null, null, null, null), (3, -7, 0.1, '', 'True'), "
              "(4, 0, 1e20, 'Kamera ÄÖ ✓ カメラ', 'false'), (5, 12, -2.25, 'CAM-01', false)",
              r)
        .exec();
    if (sqlite)  // SQLite keeps what a column's type cannot take as it was given
        db::Query(db::DbId::Project,
                  "insert into t values (6, 'abc', 'x', 42, '0'), (7, '12', '3.5', 'yes', 2)", r)
            .exec();
    // Read the query's rows first: a server connection runs one read at a time.
    QList<QVariantList> expected;
    db::Query q(db::DbId::Project, "select id, n, r, s, f from t order by id", r);
    q.exec();
    while (q.next()) {
        expected << QVariantList{};
        for (int c = 0; c < 5; ++c) expected.last() << q.value(c);
    }
    db::RowStream stream(db::DbId::Project, "select id, n, r, s, f from t order by id", r);
    stream.exec();
    int rows = 0;
    QString first;
    for (const QVariantList& values : expected) {
        ASSERT_TRUE(stream.next());
        ++rows;
        for (int c = 0; c < 5; ++c) {
            const QVariant& v = values[c];
            SCOPED_TRACE(testing::Message() << "row " << rows << " column " << c);
            EXPECT_EQ(stream.integer(c), v.toLongLong());
            EXPECT_EQ(stream.flag(c), v.toBool());
            EXPECT_EQ(stream.text(c), v.toString());
            EXPECT_EQ(stream.text(c).isNull(), v.toString().isNull());
            const QString name = stream.name(c);
            EXPECT_EQ(name, v.toString());
            EXPECT_EQ(name.isNull(), v.toString().isNull());
        }
        if (rows == 1) first = stream.name(3);
        if (rows == 5 && sqlite) {
            EXPECT_EQ(stream.name(3).constData(), first.constData());
        }
    }
    EXPECT_FALSE(stream.next());
    EXPECT_EQ(rows, sqlite ? 7 : 5);
    stream.exec();  // run again from the start
    ASSERT_TRUE(stream.next());
    EXPECT_EQ(stream.integer(0), 1);
    EXPECT_THROW(db::RowStream(db::DbId::Project, "select nothing from t", r).exec(), db::DbError);
}

TEST_P(DatabaseTest, WritesAnnounceTheirTable) {
    QStringList seen;
    const auto c = QObject::connect(
        &db::TableChanges::instance(), &db::TableChanges::changed,
        [&](db::DbId id, const QString& table) { seen << db::dbName(id) + ":" + table; });
    db::Query(db::DbId::Project, "select count(*) from tblSystems", r).exec();
    db::Query ins(db::DbId::Project, "insert into tblSystems (SysID, SysName) values (?, ?)", r);
    ins.bind(1).bind("VTR").exec();
    db::Query(db::DbId::Project, "update tblSystems set SysName = 'CAM'", r).exec();
    QObject::disconnect(c);
    EXPECT_EQ(seen, QStringList({"PROJECT:tblSystems", "PROJECT:tblSystems"}));
}

// A store that refuses a write (a read-only or full disk) and a server that went away end only
// the action: the error says so in the user's words, and a dropped connection is opened anew
// by the next statement. A statement's own fault (a violated key) still ends the program.
TEST_P(DatabaseTest, RefusedWritesAndLostConnectionsEndOnlyTheAction) {
    const auto run = [&](const char* sql) { db::Query(db::DbId::Project, sql, r).exec(); };
    run("insert into tblSystems (SysID, SysName) values (1, 'CAM')");
    const auto own = test::caught([&] { run("insert into tblSystems (SysID) values (1)"); });
    EXPECT_TRUE(own && !own->endsActionOnly());
    run(GetParam() == db::Engine::SQLite ? "pragma query_only = 1"
                                         : "set session characteristics as transaction read only");
    const auto refused = test::caught([&] {
        db::Transaction t(db::DbId::Project, r);
        db::Query(db::DbId::Project, "update tblSystems set SysName = ?", r).bind("VTR").exec();
        t.commit();
    });
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->endsActionOnly());
    EXPECT_TRUE(refused->description().startsWith(
        "The project database could not be written: the database is read-only."))
        << refused->description().toStdString();
    EXPECT_EQ(count("SysName = 'CAM'"), 1);  // reads go on

    if (GetParam() != db::Engine::PostgreSQL) return;
    db::Connections killer;
    killer.bind(db::DbId::Project, r.boundTo(db::DbId::Project));
    const QVariant pid = db::Query(db::DbId::Project, "select pg_backend_pid()", r).scalar();
    db::Query(db::DbId::Project, "select pg_terminate_backend(?::int, 5000)", killer)
        .bind(pid)
        .exec();
    const auto lost = test::caught([&] { count(); });
    ASSERT_TRUE(lost);
    EXPECT_TRUE(lost->endsActionOnly() && lost->connectionLost());
    EXPECT_TRUE(lost->description().startsWith("The project database could not be reached"))
        << lost->description().toStdString();
    EXPECT_EQ(count(), 1);  // the next action finds the server again
}

TEST(DbError, TheEnginesRefusalsInTheUsersWords) {
    const auto cause = [](db::Engine engine, const char* code, const char* text) {
        return db::refusalOf(engine, QSqlError("", text, QSqlError::StatementError, code));
    };
    using db::Engine;
    EXPECT_EQ(cause(Engine::SQLite, "13", "database or disk is full"), "disk full");
    EXPECT_EQ(cause(Engine::SQLite, "778", "disk I/O error"), "the disk reported an error");
    EXPECT_EQ(cause(Engine::SQLite, "19", "UNIQUE constraint failed"), "");
    EXPECT_EQ(cause(Engine::PostgreSQL, "53100", "could not extend file"), "disk full");
    EXPECT_EQ(
        cause(Engine::PostgreSQL, "25006", "cannot execute UPDATE in a read-only transaction"),
        "the database is read-only");
    EXPECT_EQ(cause(Engine::PostgreSQL, "", "server closed the connection unexpectedly"),
              "the connection to the server was lost");
    EXPECT_EQ(cause(Engine::PostgreSQL, "23505", "duplicate key value"), "");
}

TEST(Tables, EachTableHasItsDatabase) {
    EXPECT_EQ(db::writtenTable("Delete * FROM tblInputs Where EquipmentID = 4"), "tblInputs");
    EXPECT_EQ(db::writtenTable(" insert into tblCables (CableNO) values (?)"), "tblCables");
    EXPECT_EQ(db::writtenTable("select * from tblCables"), "");
    EXPECT_EQ(db::homeOf("tblCables"), db::DbId::Project);
    EXPECT_EQ(db::homeOf("TBLPROJECTS"), db::DbId::PM);
    EXPECT_EQ(db::homeOf("SignalDefault"), db::DbId::Equipment);
    EXPECT_EQ(db::homeOf("tblUsers"), db::DbId::Equipment);
    EXPECT_EQ(db::homeOf("tblNothing"), std::nullopt);
}

namespace {
// The user of a second program: before answering a question it lets the test act (the other
// program finishing its write, say).
class AnsweringUser : public ScriptUi {
  public:
    AnsweringUser(const QString& script, QTextStream& out) : ScriptUi(parseScript(script), out) {}
    std::function<void()> beforeAnswer;
    MsgButton message(const QString& text, MsgButtons buttons, MsgIcon icon,
                      const QString& title) override {
        if (beforeAnswer) beforeAnswer();
        return ScriptUi::message(text, buttons, icon, title);
    }
};
}  // namespace

// Another program writing the same SQLite file keeps it busy: after the wait the user is asked
// Retry / Cancel instead of the program failing. Retry once the writer is done goes through;
// Cancel ends the operation (Cancelled) with nothing written, the transaction rolled back.
TEST(Connections, ABusyFileAsksRetryOrCancel) {
    QTemporaryDir dir;
    const QString file = dir.filePath("busy.db");
    db::Connections writer, other;
    writer.bind(db::DbId::Project, ConnectionSpec::sqlite(file));
    QFile(file).open(QIODevice::WriteOnly);
    db::Query(db::DbId::Project, "create table t (v integer)", writer).exec();
    other.bind(db::DbId::Project, ConnectionSpec::sqlite(file));
    other.setBusyWait(50);
    QString transcript;
    QTextStream out(&transcript);
    AnsweringUser user("button Retry\nbutton Retry\nbutton Cancel\n", out);
    other.askWhenBusy(&user);
    const auto count = [&] {
        return db::Query(db::DbId::Project, "select count(*) from t", writer).scalar().toInt();
    };

    auto held = std::make_unique<db::Transaction>(db::DbId::Project, writer);
    db::Query(db::DbId::Project, "insert into t values (1)", writer).exec();
    int asked = 0;
    user.beforeAnswer = [&] {
        if (++asked == 2) held->commit();  // the writer finishes while the second question waits
    };
    db::Query(db::DbId::Project, "insert into t values (2)", other).exec();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(transcript.count("MESSAGE [Retry/Cancel] Tolvane | The project database (" + file +
                               ") is busy: another program is writing to it."),
              2);

    held = std::make_unique<db::Transaction>(db::DbId::Project, writer);
    db::Query(db::DbId::Project, "insert into t values (3)", writer).exec();
    user.beforeAnswer = nullptr;
    {
        db::Transaction mine(db::DbId::Project, other);
        EXPECT_THROW(db::Query(db::DbId::Project, "insert into t values (4)", other).exec(),
                     Cancelled);
    }
    held->commit();
    EXPECT_EQ(count(), 3);
    EXPECT_TRUE(user.atEnd());
    // Nobody to ask (a registry of its own): the failure is the engine's.
    db::Connections silent;
    silent.bind(db::DbId::Project, ConnectionSpec::sqlite(file));
    silent.setBusyWait(50);
    held = std::make_unique<db::Transaction>(db::DbId::Project, writer);
    db::Query(db::DbId::Project, "insert into t values (5)", writer).exec();
    EXPECT_THROW(db::Query(db::DbId::Project, "insert into t values (6)", silent).exec(),
                 db::DbError);
    held.reset();
    silent.closeAll();
    other.closeAll();
    writer.closeAll();
}

// A file another program holds while it writes keeps the fast row path waiting as it keeps a
// query: the user is asked, Retry reads the rows once the writer is done, Cancel ends it.
TEST(Connections, ARowStreamOnABusyFileAsksRetryOrCancel) {
    QTemporaryDir dir;
    const QString file = dir.filePath("busy.db");
    db::Connections writer, reader;
    QFile(file).open(QIODevice::WriteOnly);
    writer.bind(db::DbId::Project, ConnectionSpec::sqlite(file));
    db::Query(db::DbId::Project, "create table t (v integer)", writer).exec();
    db::Query(db::DbId::Project, "insert into t values (1)", writer).exec();
    reader.bind(db::DbId::Project, ConnectionSpec::sqlite(file));
    reader.setBusyWait(50);
    QString transcript;
    QTextStream out(&transcript);
    AnsweringUser user("button Retry\nbutton Cancel\n", out);
    reader.askWhenBusy(&user);
    const auto hold = [&] {
        db::Query(db::DbId::Project, "begin exclusive", writer).exec();
        db::Query(db::DbId::Project, "insert into t values (2)", writer).exec();
    };
    const auto release = [&] { db::Query(db::DbId::Project, "commit", writer).exec(); };

    hold();
    user.beforeAnswer = release;
    {
        db::RowStream rows(db::DbId::Project, "select v from t order by v", reader);
        rows.exec();
        QList<qint64> values;
        while (rows.next()) values << rows.integer(0);
        EXPECT_EQ(values, (QList<qint64>{1, 2}));
    }
    EXPECT_EQ(transcript.count("is busy: another program is writing to it."), 1);

    hold();
    user.beforeAnswer = nullptr;
    {
        db::RowStream rows(db::DbId::Project, "select v from t", reader);
        rows.exec();
        EXPECT_THROW(rows.next(), Cancelled);
    }
    release();
    EXPECT_TRUE(user.atEnd());
    reader.closeAll();
    writer.closeAll();
}

// The text is read the way the engine it goes to reads it, so that nothing the engine would
// run hides from the check in a string, a name or a comment.
TEST(ReadOnlySql, EachEngineIsReadAsItReadsIt) {
    using db::Engine;
    const auto problem = [](Engine e, const char* sql) {
        return db::readOnlyProblem(e, QString::fromUtf8(sql));
    };
    for (Engine e : {Engine::SQLite, Engine::PostgreSQL}) {
        EXPECT_EQ(problem(e, "  "), "it is empty");
        EXPECT_EQ(problem(e, "select 1;  ;"), "");
        EXPECT_EQ(problem(e, "select 1; -- that is all\n"), "");
        EXPECT_EQ(problem(e, "(select 1) union (select 2)"), "");
        EXPECT_EQ(problem(e, "select 'a;b', \"de\"\"lete\" from t -- ; drop table t\n"), "");
        EXPECT_EQ(problem(e, "select 1 from t where a = 'x"),
                  "its quoted text (\"'x\") is not closed");
        EXPECT_EQ(problem(e, "select 1 /* ; drop table t"),
                  "its comment (\"/* ; drop table t\") is not closed");
        EXPECT_EQ(problem(e, "explain select 1"), "it begins with EXPLAIN");
        EXPECT_EQ(problem(e, "select 1\n;\ndrop table t"),
                  "it holds a second statement (\"; drop table t\")");
        EXPECT_EQ(problem(e, "select * from t for share"),
                  "it locks rows (\"for share\"), which only a change needs");
        EXPECT_EQ(problem(e, "select * from t where x in (select readfile('/etc/passwd'))"),
                  "it calls readfile(), which may change the database or reach beyond it");
        EXPECT_EQ(problem(e, "with d as (insert into t values (1) returning *) select * from d"),
                  "it holds INSERT, which changes data");
    }
    // PostgreSQL: escaped strings, dollar quotes and nested comments.
    EXPECT_EQ(problem(Engine::PostgreSQL, "select E'\\'' ; delete from t --'"),
              "it holds a second statement (\"; delete from t --'\")");
    EXPECT_EQ(problem(Engine::PostgreSQL, "select $q$ ; delete from t $q$, $$x$$"), "");
    EXPECT_EQ(problem(Engine::PostgreSQL, "select $q$ a $q$; delete from t"),
              "it holds a second statement (\"; delete from t\")");
    EXPECT_EQ(problem(Engine::PostgreSQL, "select $q$ a"),
              "its quoted text (\"$q$ a\") is not closed");
    EXPECT_EQ(problem(Engine::PostgreSQL, "select 1 /* a /* b */ ; delete from t */"), "");
    EXPECT_EQ(problem(Engine::PostgreSQL, "select \"pg_sleep\"(100)"),
              "it calls pg_sleep(), which may change the database or reach beyond it");
    EXPECT_EQ(problem(Engine::PostgreSQL, "select x[1] from t"), "");
    // SQLite: comments do not nest; brackets and backticks quote names.
    EXPECT_EQ(problem(Engine::SQLite, "select 1 /* a /* b */ ; delete from t */"),
              "it holds a second statement (\"; delete from t */\")");
    EXPECT_EQ(problem(Engine::SQLite, "select [a;delete], `b;drop` from t"), "");
    EXPECT_EQ(problem(Engine::SQLite, "select * from pragma_table_info('t')"), "");
}

TEST_P(DatabaseTest, AReadOnlyQueryNeverWritesAndLeavesTheConnectionAsItWas) {
    db::Query ins(db::DbId::Project, "insert into tblSystems (SysID, SysName) values (?, ?)", r);
    for (int i = 1; i <= 3; ++i) ins.bind(i).bind("CAM").exec();
    const auto del = test::caught<db::RefusedQuery>(
        [&] { db::ReadOnlyQuery(db::DbId::Project, "delete from tblSystems", r).exec(); });
    ASSERT_TRUE(del);
    EXPECT_EQ(del->reason(), "it begins with DELETE");
    EXPECT_TRUE(del->description().startsWith("The project database")) << del->what();
    EXPECT_EQ(count(), 3);
    // A read left half way, the program writes on and the rest of the rows still come.
    db::ReadOnlyQuery rows(db::DbId::Project,
                           "select SysID from tblSystems where SysID > ? order by SysID", r);
    rows.bind(0).exec();
    ASSERT_TRUE(rows.next());
    EXPECT_EQ(rows.value(0).toInt(), 1);
    ins.bind(4).bind("CCU").exec();
    EXPECT_EQ(count(), 4);
    QList<int> rest;
    while (rows.next()) rest << rows.value(0).toInt();
    EXPECT_EQ(rest.mid(0, 2), (QList<int>{2, 3}));
    if (GetParam() == db::Engine::SQLite) {
        EXPECT_EQ(db::Query(db::DbId::Project, "pragma query_only", r).scalar().toInt(), 0);
        return;
    }
    EXPECT_EQ(db::Query(db::DbId::Project, "show transaction_read_only", r).scalar().toString(),
              "off");
    // On the server the query runs in a read-only transaction: a function that writes is
    // stopped there, whatever its name.
    db::Query(db::DbId::Project,
              "create function bump() returns int language sql as $$ insert into tblSystems "
              "(SysID, SysName) values (99, 'X'); select 1 $$",
              r)
        .exec();
    try {
        db::ReadOnlyQuery(db::DbId::Project, "select bump()", r).exec();
        FAIL() << "bump() ran";
    } catch (const db::RefusedQuery&) {
        FAIL() << "refused by name";
    } catch (const db::DbError& e) {
        EXPECT_TRUE(e.description().contains("read-only transaction")) << e.what();
    }
    EXPECT_EQ(count(), 4);
    // The next query of the kind starts afresh.
    EXPECT_EQ(
        db::ReadOnlyQuery(db::DbId::Project, "select count(*) from tblSystems", r).scalar().toInt(),
        4);
}
