// Waits for a lock bounded by the clock, not by a count of pauses: with
// pauses that last a whole timer tick (15.625 ms for a 1 ms pause, as on
// Windows), the record locks are still given up within their wait plus one
// tick, where 2000 counted pauses of 1 ms would have lasted 31 s.
#include <gtest/gtest.h>

#include <string>

#include "mock/TemporaryDirectory.h"
#include "mock/TickClock.h"
#include "records/RecordFile.h"
#include "serial/Clock.h"
#include "serial/FileStore.h"

namespace zul {
namespace {

using records::RecordFile;
using test::TickClock;

// The wait ended no sooner than waitMs and within waitMs and one tick.
void ExpectEndedWithin(const TickClock& clock, uint64_t waitMs) {
    EXPECT_GE(clock.NowUs(), waitMs * 1000);
    EXPECT_LE(clock.NowUs(), waitMs * 1000 + TickClock::kTickUs);
}

TEST(BoundedWait, EndsWithinItsBoundWhateverAPauseLastsAndStopsAtAnAnswer) {
    TickClock clock;
    int tries = 0;
    EXPECT_EQ(RetryFor(clock, 2000, 1,
                       [&] {
                           ++tries;
                           return Tried::kAgain;
                       }),
              Tried::kAgain);
    ExpectEndedWithin(clock, 2000);
    // About one try a tick, and a last one at the bound.
    EXPECT_EQ(tries, clock.sleeps() + 1);
    EXPECT_LE(clock.sleeps(), 2000 / 15 + 1);

    // An answer ends the wait at once; no wait at all tries once.
    for (const Tried answer : {Tried::kDone, Tried::kFailed}) {
        TickClock quick;
        EXPECT_EQ(RetryFor(quick, 2000, 1, [&] { return answer; }), answer);
        EXPECT_EQ(quick.sleeps(), 0);
    }
    TickClock none;
    tries = 0;
    RetryFor(none, 0, 1, [&] {
        ++tries;
        return Tried::kAgain;
    });
    EXPECT_EQ(tries, 1);
    EXPECT_EQ(none.sleeps(), 0);
}

TEST(LockWait, AHeldRecordLockIsGivenUpWithinItsWaitAndOneTick) {
    test::TemporaryDirectory dir;
    const std::string path = dir.File("zul10-2026-01-02.jsonl");
    std::string error;
    RecordFile holder;  // another writer, stopped while it holds the lock
    ASSERT_EQ(holder.Open(path, RecordFile::Access::kAppend, 0, error), RecordFile::Opened::kOpened)
        << error;

    TickClock clock;
    RecordFile waiter(records::RealDiskSync(), clock);
    EXPECT_EQ(waiter.Open(path, RecordFile::Access::kAppend, 2000, error),
              RecordFile::Opened::kLockHeld);
    ExpectEndedWithin(clock, 2000);

    // The file store's record append: done without the lock after its 2 s,
    // as it promises.
    TickClock appendClock;
    EXPECT_TRUE(AppendRecord(path, "{\"run_id\":\"a\"}\n", error, appendClock)) << error;
    ExpectEndedWithin(appendClock, kRecordLockWaitMs);

    // Once the holder is gone the lock is had at once.
    holder.Close();
    TickClock free;
    RecordFile next(records::RealDiskSync(), free);
    EXPECT_EQ(next.Open(path, RecordFile::Access::kAppend, 2000, error),
              RecordFile::Opened::kOpened)
        << error;
    EXPECT_EQ(free.sleeps(), 0);
}

}  // namespace
}  // namespace zul
