// Table locks: single-user no-op, the busy message naming the holder, Retry and Cancel, and
// two users contending for the cable lock on both engines.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "db/locks.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "projects/drawing_registry.h"
#include "script_fixture.h"
#include "shell/run_state.h"

using namespace tolvane;
using test::ScriptedUser;

namespace {

class LockTest : public ::testing::TestWithParam<db::Engine> {
  protected:
    void SetUp() override {
        if (!dbs.available()) GTEST_SKIP() << "no PostgreSQL server (TOLVANE_TEST_PG)";
        dbs.makeEmpty(db::DbId::Project, first);
        db::ensureSchema(db::DbId::Project, first);
        dbs.share(db::DbId::Project, first, second);
    }
    // kill -9 of the program that owns victim: the server sees its connection end.
    void kill(db::Connections& victim, db::Connections& killer) {
        const QVariant pid =
            db::Query(db::DbId::Project, "select pg_backend_pid()", victim).scalar();
        db::Query(db::DbId::Project, "select pg_terminate_backend(?::int, 5000)", killer)
            .bind(pid)
            .exec();
    }
    QString holderRow(db::Connections& r) {
        db::Query q(db::DbId::Project, "select lockCables, LOCKEDBY from tblLockcables", r);
        q.exec();
        return q.next() ? QString("%1 %2").arg(q.value(0).toBool()).arg(q.value(1).toString())
                        : "none";
    }
    db::Connections first, second;  // outlive the databases, which close them
    test::TestDatabases dbs{GetParam()};
};

// A run of shared mode as who.
RunState sharedRun(const QString& who) {
    RunState run;
    run.mode = DatabaseMode::Shared;
    run.whoAmI = who;
    return run;
}

// A user who answers Retry while the holder finishes, then finds the lock free.
class RetryingUser : public ScriptUi {
  public:
    RetryingUser(QTextStream& out, std::function<void()> meanwhile)
        : ScriptUi(parseScript("button Retry\n"), out), meanwhile_(std::move(meanwhile)) {}
    MsgButton message(const QString& text, MsgButtons b, MsgIcon i, const QString& t) override {
        meanwhile_();
        return ScriptUi::message(text, b, i, t);
    }

  private:
    std::function<void()> meanwhile_;
};

}  // namespace

TEST_P(LockTest, FirstLockMakesTheRowAndReleaseFreesIt) {
    ScriptedUser user("");
    {
        db::TableLock single(db::cableLock(), false, "ann_pc1", *user.ui, first);
        EXPECT_TRUE(single.acquire());
        single.release();
        EXPECT_EQ(holderRow(first), "none");  // single-user mode never touches the table
    }
    {
        db::TableLock lock(db::cableLock(), true, "ann_pc1", *user.ui, first);
        ASSERT_TRUE(lock.acquire());
        EXPECT_EQ(holderRow(first), "1 ann_pc1");
        lock.release();
        EXPECT_EQ(holderRow(first), "0 -");
        ASSERT_TRUE(lock.acquire());
    }  // a lock still held when its command ends is given back
    EXPECT_EQ(holderRow(first), "0 -");
}

TEST_P(LockTest, BusyLockNamesTheHolderAndCancelLeavesItAlone) {
    ScriptedUser ann(""), bob("button Cancel\n");
    db::TableLock held(db::cableLock(), true, "ann_pc1", *ann.ui, first);
    ASSERT_TRUE(held.acquire());
    {
        db::TableLock wanted(db::cableLock(), true, "bob_pc2", *bob.ui, second);
        EXPECT_FALSE(wanted.acquire());
        EXPECT_FALSE(wanted.held());
    }  // giving up releases nothing
    EXPECT_EQ(
        bob.lines().first(),
        "MESSAGE [Retry/Cancel] Tolvane | The project Cables table is being edited by ann_pc1");
    EXPECT_EQ(holderRow(first), "1 ann_pc1");

    // Retry after the holder has finished takes the lock.
    QString transcript;
    QTextStream out(&transcript);
    RetryingUser carol(out, [&] { held.release(); });
    db::TableLock again(db::cableLock(), true, "carol_pc3", carol, second);
    EXPECT_TRUE(again.acquire());
    EXPECT_EQ(holderRow(first), "1 carol_pc3");
}

TEST_P(LockTest, TwoUsersContendingNeverBothHoldTheLock) {
    std::atomic<int> inside{0}, overlaps{0}, taken{0};
    const db::ConnectionSpec connSpec = first.boundTo(db::DbId::Project);
    auto worker = [&](const QString& who) {
        db::Connections own;
        own.bind(db::DbId::Project, connSpec);
        ScriptedUser nobody("");
        db::TableLock lock(db::cableLock(), true, who, *nobody.ui, own);
        for (int i = 0; i < 150; ++i) {
            if (!lock.tryAcquire()) continue;
            if (++inside > 1) ++overlaps;
            ++taken;
            if (lock.holder() != who) ++overlaps;
            --inside;
            lock.release();
        }
        own.closeAll();
    };
    std::thread a(worker, QString("ann_pc1")), b(worker, QString("bob_pc2"));
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(taken.load(), 0);
    EXPECT_EQ(holderRow(first), "0 -");
}

// A database another user keeps busy past the wait (a long write holding SQLite's file):
// the lock is not taken this time, as when another user holds it; nothing is thrown.
TEST_P(LockTest, ADatabaseKeptBusyMeansNotTakenThisTime) {
    if (GetParam() != db::Engine::SQLite) GTEST_SKIP() << "readers wait on SQLite alone";
    ScriptedUser ann("");
    {
        db::TableLock made(db::cableLock(), true, "ann_pc1", *ann.ui, first);
        ASSERT_TRUE(made.acquire());
    }
    db::Connections impatient;
    impatient.setBusyWait(20);
    impatient.bind(db::DbId::Project, first.boundTo(db::DbId::Project));
    db::TableLock lock(db::cableLock(), true, "bob_pc2", *ann.ui, impatient);
    ASSERT_TRUE(lock.tryAcquire());  // its connection is open before the database is held
    lock.release();
    db::Query(db::DbId::Project, "begin exclusive", second).exec();
    bool taken = true;
    EXPECT_NO_THROW(taken = lock.tryAcquire());
    EXPECT_FALSE(taken);
    db::Query(db::DbId::Project, "rollback", second).exec();
    EXPECT_TRUE(lock.tryAcquire());
    lock.release();
    impatient.closeAll();
}

// A lock left behind by a run that ended without giving it back: its own WhoAmI, started
// again, takes it back without a question; anybody else still finds it busy where nothing
// tells whether its holder is alive (SQLite), and takes it over where the server does.
TEST_P(LockTest, ALockLeftBehindIsTakenBackByItsOwnUser) {
    db::Query(db::DbId::Project, "insert into tblLockcables (lockCables, LOCKEDBY) values (?, ?)",
              first)
        .bind(true)
        .bind("ann_pc1")
        .exec();
    ScriptedUser ann("");
    db::TableLock again(db::cableLock(), true, "ann_pc1", *ann.ui, second);
    EXPECT_TRUE(again.acquire());
    EXPECT_TRUE(ann.transcript.isEmpty());
    EXPECT_EQ(holderRow(first), "1 ann_pc1");
    // The same run asking again (a second command while the first holds it) is told "busy".
    ScriptedUser twice("button Cancel\n");
    db::TableLock nested(db::cableLock(), true, "ann_pc1", *twice.ui, second);
    EXPECT_FALSE(nested.acquire());
    again.release();
    EXPECT_EQ(holderRow(first), "0 -");
}

// A holder killed while it holds the lock: the server ends its session, and the next user takes
// the lock over. Another running copy of the same WhoAmI keeps what that copy holds.
TEST_P(LockTest, AKilledHoldersLockIsTakenOver) {
    if (GetParam() != db::Engine::PostgreSQL) GTEST_SKIP() << "sessions live on the server";
    ScriptedUser ann(""), bob("button Cancel\n");
    auto held = std::make_unique<db::TableLock>(db::cableLock(), true, "ann_pc1", *ann.ui, first);
    ASSERT_TRUE(held->acquire());
    {
        db::TableLock wanted(db::cableLock(), true, "bob_pc2", *bob.ui, second);
        EXPECT_FALSE(wanted.acquire());  // Ann is at work
    }
    kill(first, second);
    db::TableLock taken(db::cableLock(), true, "bob_pc2", *bob.ui, second);
    EXPECT_TRUE(taken.acquire());
    EXPECT_EQ(bob.lines().size(), 2);  // the one busy message above, and its answer
    EXPECT_EQ(holderRow(second), "1 bob_pc2");
    held.reset();  // the dead run's release changes nothing
    EXPECT_EQ(holderRow(second), "1 bob_pc2");

    db::Connections copy;  // closed before the database is dropped
    copy.bind(db::DbId::Project, second.boundTo(db::DbId::Project));
    ScriptedUser bobAgain("button Cancel\n");
    db::TableLock other(db::cableLock(), true, "bob_pc2", *bobAgain.ui, copy);
    EXPECT_FALSE(other.acquire());  // the first copy of Bob's program is still running
    EXPECT_TRUE(bobAgain.transcript.contains("being edited by bob_pc2"));
}

// Drawing locks follow the same rule: a holder at work keeps the drawing (the others may open
// it read-only); once the holder's program is killed the next opener gets it for editing.
TEST_P(LockTest, ADrawingOfAKilledHolderOpensForEditing) {
    if (GetParam() != db::Engine::PostgreSQL) GTEST_SKIP() << "sessions live on the server";
    RunState annRun = sharedRun("ann_pc1"), bobRun = sharedRun("bob_pc2");
    ScriptedUser ann(""), bob("button Cancel\n");
    projects::DrawingRegistry annDrawings(annRun, *ann.ui, first),
        bobDrawings(bobRun, *bob.ui, second);
    const QString rack = "/srv/job/DRAWINGS/rack.dxf";
    EXPECT_EQ(annDrawings.lockForOpen(rack), projects::OpenLock::Opened);
    EXPECT_EQ(bobDrawings.lockForOpen(rack), projects::OpenLock::Cancelled);
    EXPECT_TRUE(bob.transcript.contains("is in use by: ann_pc1"));
    kill(first, second);
    EXPECT_EQ(bobDrawings.lockForOpen(rack), projects::OpenLock::Opened);
    EXPECT_EQ(bobDrawings.find(rack)->lockedBy, "bob_pc2");
    EXPECT_TRUE(bob.ui->atEnd());
}

// A run has several connections to the server (the project manager, the library and the
// project may share one database), each announcing the user's identity. After a crash the same
// user's next run takes back its own drawing and cable locks all the same, without a question,
// and everyone else still finds the identity alive while that run is at work.
TEST_P(LockTest, AUsersOwnLocksComeBackToItsNextRunOfSeveralConnections) {
    if (GetParam() != db::Engine::PostgreSQL) GTEST_SKIP() << "sessions live on the server";
    RunState annRun = sharedRun("ann_pc1"), bobRun = sharedRun("bob_pc2");
    const QString rack = "/srv/job/DRAWINGS/rack.dxf";
    {
        ScriptedUser ann("");
        projects::DrawingRegistry crashed(annRun, *ann.ui, first);
        ASSERT_EQ(crashed.lockForOpen(rack), projects::OpenLock::Opened);
        db::TableLock held(db::cableLock(), true, "ann_pc1", *ann.ui, first);
        ASSERT_TRUE(held.acquire());
        kill(first, second);
    }  // the killed run gives nothing back
    ASSERT_EQ(holderRow(second), "1 ann_pc1");

    db::Connections restarted;  // closed before the database is dropped
    for (db::DbId id : {db::DbId::PM, db::DbId::Equipment, db::DbId::Project})
        restarted.bind(id, second.boundTo(db::DbId::Project));
    restarted.setSessionIdentity("ann_pc1");
    for (db::DbId id : {db::DbId::PM, db::DbId::Equipment, db::DbId::Project})
        db::Query(id, "select 1", restarted).exec();
    ScriptedUser ann("");
    projects::DrawingRegistry annDrawings(annRun, *ann.ui, restarted);
    EXPECT_EQ(annDrawings.lockForOpen(rack), projects::OpenLock::Opened);
    db::TableLock again(db::cableLock(), true, "ann_pc1", *ann.ui, restarted);
    EXPECT_TRUE(again.acquire());
    EXPECT_TRUE(ann.transcript.isEmpty()) << ann.transcript.toStdString();
    EXPECT_EQ(holderRow(second), "1 ann_pc1");

    // Taking back its own locks left every connection of the run announcing the identity.
    ScriptedUser bob("button Cancel\nbutton Cancel\n");
    projects::DrawingRegistry bobDrawings(bobRun, *bob.ui, second);
    EXPECT_EQ(bobDrawings.lockForOpen(rack), projects::OpenLock::Cancelled);
    kill(restarted, second);  // the project's connection ends; the library's stays
    db::TableLock wanted(db::cableLock(), true, "bob_pc2", *bob.ui, second);
    EXPECT_FALSE(wanted.acquire());  // the library's connection still says Ann is at work
    EXPECT_TRUE(bob.transcript.contains("being edited by ann_pc1"));
}

INSTANTIATE_TEST_SUITE_P(Engines, LockTest, test::bothEngines(), test::engineName);
