// Table locks: single-user no-op, the busy message naming the holder, Retry and Cancel, and
// two users contending for the cable lock on both engines.
#include <gtest/gtest.h>

#include <QThread>
#include <atomic>

#include "db/locks.h"
#include "db/schema.h"
#include "db_fixture.h"
#include "script_fixture.h"

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
    QString holderRow(db::Connections& r) {
        db::Query q(db::DbId::Project, "select lockCables, LOCKEDBY from tblLockcables", r);
        q.exec();
        return q.next() ? QString("%1 %2").arg(q.value(0).toBool()).arg(q.value(1).toString())
                        : "none";
    }
    db::Connections first, second;  // outlive the databases, which close them
    test::TestDatabases dbs{GetParam()};
};

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

TEST_P(LockTest, SingleUserModeNeverTouchesTheTable) {
    ScriptedUser user("");
    db::TableLock lock(db::cableLock(), false, "ann_pc1", *user.ui, db::DbId::Project, first);
    EXPECT_TRUE(lock.acquire());
    lock.release();
    EXPECT_EQ(holderRow(first), "none");  // the empty table stays empty
}

TEST_P(LockTest, FirstLockMakesTheRowAndReleaseFreesIt) {
    ScriptedUser user("");
    {
        db::TableLock lock(db::cableLock(), true, "ann_pc1", *user.ui, db::DbId::Project, first);
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
    db::TableLock held(db::cableLock(), true, "ann_pc1", *ann.ui, db::DbId::Project, first);
    ASSERT_TRUE(held.acquire());
    {
        db::TableLock wanted(db::cableLock(), true, "bob_pc2", *bob.ui, db::DbId::Project, second);
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
    db::TableLock again(db::cableLock(), true, "carol_pc3", carol, db::DbId::Project, second);
    EXPECT_TRUE(again.acquire());
    EXPECT_EQ(holderRow(first), "1 carol_pc3");
}

TEST_P(LockTest, SystemLockHasItsOwnMessage) {
    ScriptedUser ann(""), bob("button Cancel\n");
    db::TableLock held(db::systemLock(), true, "ann_pc1", *ann.ui, db::DbId::Project, first);
    ASSERT_TRUE(held.acquire());
    db::TableLock wanted(db::systemLock(), true, "bob_pc2", *bob.ui, db::DbId::Project, second);
    EXPECT_FALSE(wanted.acquire());
    EXPECT_TRUE(bob.transcript.contains("The Systems table is being edited by ann_pc1"));
}

TEST_P(LockTest, TwoUsersContendingNeverBothHoldTheLock) {
    std::atomic<int> inside{0}, overlaps{0}, taken{0};
    const db::ConnectionSpec connSpec = first.boundTo(db::DbId::Project);
    auto worker = [&](const QString& who) {
        db::Connections own;
        own.bind(db::DbId::Project, connSpec);
        ScriptedUser nobody("");
        db::TableLock lock(db::cableLock(), true, who, *nobody.ui, db::DbId::Project, own);
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
    QThread* a = QThread::create(worker, QString("ann_pc1"));
    QThread* b = QThread::create(worker, QString("bob_pc2"));
    a->start();
    b->start();
    a->wait();
    b->wait();
    delete a;
    delete b;
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(taken.load(), 0);
    EXPECT_EQ(holderRow(first), "0 -");
}

INSTANTIATE_TEST_SUITE_P(Engines, LockTest, test::bothEngines(), test::engineName);
