// Databases for tests, on both engines: SQLite files in a temporary folder, and fresh
// PostgreSQL databases on the server named by TOLVANE_TEST_PG (a connection string such as
// "postgresql:host=127.0.0.1 port=55432 user=ci password=ci dbname=postgres"). Without that
// variable the PostgreSQL cases are skipped; CI sets it.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <optional>
#include <ostream>
#include <utility>

#include "db/database.h"

namespace tolvane::db {
// Test names and messages say which engine a case ran on.
inline void PrintTo(Engine e, std::ostream* os) {
    *os << (e == Engine::SQLite ? "SQLite" : "PostgreSQL");
}
}  // namespace tolvane::db

namespace tolvane::test {

inline std::optional<db::ConnectionSpec> postgresServer() {
    const QString text = qEnvironmentVariable("TOLVANE_TEST_PG");
    if (text.isEmpty()) return std::nullopt;
    return db::ConnectionSpec::parse(text);
}

inline std::string engineName(const ::testing::TestParamInfo<db::Engine>& info) {
    return info.param == db::Engine::SQLite ? "SQLite" : "PostgreSQL";
}

// Owns the databases it made and removes them at the end.
class TestDatabases {
  public:
    explicit TestDatabases(db::Engine engine) : engine_(engine) {}
    ~TestDatabases() {
        for (auto* r : registries_) r->closeAll();
        if (engine_ == db::Engine::PostgreSQL && !made_.isEmpty()) {
            QSqlDatabase admin = adminConnection();
            if (admin.isOpen()) {
                QSqlQuery q(admin);
                for (const QString& name : made_)
                    q.exec(QStringLiteral("drop database if exists %1 with (force)").arg(name));
            }
            admin.close();
            admin = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("tolvane-test-admin"));
        }
    }

    // False (and the test skips) when the engine is not available.
    bool available() const { return engine_ == db::Engine::SQLite || postgresServer().has_value(); }

    // A new, empty database bound to id in registry.
    db::ConnectionSpec makeEmpty(db::DbId id, db::Connections& registry) {
        db::ConnectionSpec connSpec;
        if (engine_ == db::Engine::SQLite) {
            connSpec = db::ConnectionSpec::sqlite(
                dir_.filePath(db::dbName(id) + QString::number(made_.size()) + ".db"));
            QFile f(connSpec.path);
            f.open(QIODevice::WriteOnly);
            made_ << connSpec.path;
        } else {
            connSpec = *postgresServer();
            const QString name = QStringLiteral("tolvane_test_%1")
                                     .arg(QUuid::createUuid().toString(QUuid::Id128).left(16));
            QSqlDatabase admin = adminConnection();
            QSqlQuery q(admin);
            if (!q.exec(QStringLiteral("create database %1").arg(name)))
                ADD_FAILURE() << q.lastError().text().toStdString();
            made_ << name;
            connSpec.database = name;
        }
        registry.bind(id, connSpec);
        if (!registries_.contains(&registry)) registries_ << &registry;
        return connSpec;
    }

    // Binds id in another registry to the same database (a second user of it).
    void share(db::DbId id, const db::Connections& from, db::Connections& to) {
        to.bind(id, from.boundTo(id));
        if (!registries_.contains(&to)) registries_ << &to;
    }

    QString folder() const { return dir_.path(); }

  private:
    QSqlDatabase adminConnection() {
        const QString name = QStringLiteral("tolvane-test-admin");
        if (QSqlDatabase::contains(name)) return QSqlDatabase::database(name);
        const db::ConnectionSpec s = *postgresServer();
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        admin.setHostName(s.host);
        admin.setPort(s.port);
        admin.setDatabaseName(s.database);
        admin.setUserName(s.user);
        admin.setPassword(s.password);
        if (!admin.open()) ADD_FAILURE() << admin.lastError().text().toStdString();
        return admin;
    }

    db::Engine engine_;
    QTemporaryDir dir_;
    QStringList made_;
    QList<db::Connections*> registries_;
};

inline auto bothEngines() {
    return ::testing::Values(db::Engine::SQLite, db::Engine::PostgreSQL);
}

// The error of type Error that f throws; without one the test fails and the answer is empty.
template <class Error = db::DbError, class F>
std::optional<Error> caught(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return std::nullopt;
}

// The description of the error f throws ("" and a failure when it throws none).
template <class Error = db::DbError, class F>
QString thrownText(F&& f) {
    const std::optional<Error> e = caught<Error>(std::forward<F>(f));
    return e ? e->description() : QString();
}

// Three cables in a project database that has its tables: A1 of length 10, A2 of 15, B1 of 2.5.
inline void addThreeCables(db::Connections& registry) {
    for (const auto& [no, length] : {std::pair{"A1", 10.0}, {"A2", 15.0}, {"B1", 2.5}})
        db::Query(db::DbId::Project, "insert into tblCables (CableNO, Length) values (?, ?)",
                  registry)
            .bind(QString::fromLatin1(no))
            .bind(length)
            .exec();
}

// The first column of every row of sql, as text (null values as null texts).
inline QStringList firstColumn(db::DbId id, db::Connections& registry, const QString& sql,
                               const QVariantList& values = {}) {
    db::Query q(id, sql, registry);
    for (const QVariant& v : values) q.bind(v);
    q.exec();
    QStringList out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

// The bytes of a file ("" when it cannot be read), and a file written whole, its folder made.
inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

}  // namespace tolvane::test
