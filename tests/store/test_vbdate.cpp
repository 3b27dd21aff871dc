// Local dates in other time zones: the clock, a zone changed while running, and the instants
// around daylight-saving changes.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimeZone>
#include <QtGlobal>
#include <cstdlib>
#include <ctime>

#include "common/TestEnv.h"
#include "store/VbDate.h"

namespace {

constexpr double kMsPerDay = 86400000.0;
// One millisecond, in days.
constexpr double kMs = 1.0 / kMsPerDay;

double UtcDays(qint64 utcMs) {
    return 25569.0 + static_cast<double>(utcMs) / kMsPerDay;
}

// Sets TZ for this process while it lives; the previous value comes back afterwards.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld = old != nullptr;
        if (hadOld) oldZone = old;
        Set(zone);
    }
    ~ZoneScope() { hadOld ? Set(oldZone.constData()) : Unset(); }
    static void Set(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    static void Unset() {
        unsetenv("TZ");
        tzset();
    }
    bool hadOld = false;
    QByteArray oldZone;
};

}  // namespace

// Runs in a child process with TZ set by the parent (below); disabled, so only the parent runs it.
TEST(VbDateInZone, DISABLED_NowIsTheZonesLocalTime) {
    const QByteArray hours = qgetenv("QV_EXPECTED_OFFSET_HOURS");
    if (hours.isEmpty()) GTEST_SKIP() << "runs as a child of VbDate.NowFollowsTheZoneOfTheProcess";
    const QDateTime before = QDateTime::currentDateTime();
    const qint64 utcBefore = QDateTime::currentMSecsSinceEpoch();
    const double now = VbDate::Now();
    const qint64 utcAfter = QDateTime::currentMSecsSinceEpoch();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_GE(now, VbDate::FromDateTime(before) - kMs);
    EXPECT_LE(now, VbDate::FromDateTime(after) + kMs);
    const double offset = hours.toDouble() / 24.0;
    EXPECT_GE(now, UtcDays(utcBefore) + offset - kMs);
    EXPECT_LE(now, UtcDays(utcAfter) + offset + kMs);
    // A job made now is listed under "Today" of the zone's calendar.
    EXPECT_EQ(VbDate::ToDateTime(now).date(), before.date());
    EXPECT_EQ(VbDate::DayBoundaries(now, VbDate::FromDateTime(after)),
              after.date() == before.date() ? 0 : 1);
}

TEST(VbDate, NowFollowsTheZoneOfTheProcess) {
    for (const QByteArray zone : {"Asia/Tokyo", "America/New_York"}) {
        const int offsetSeconds =
            QTimeZone(zone).offsetFromUtc(QDateTime::currentDateTimeUtc().addSecs(5));
        const QString hours = QString::number(offsetSeconds / 3600.0);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", QString::fromLatin1(zone));
        env.insert("QV_EXPECTED_OFFSET_HOURS", hours);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=VbDateInZone.*", "--gtest_also_run_disabled_tests"});
        ASSERT_TRUE(child.waitForFinished(60000)) << zone.constData();
        const QByteArray out = child.readAll();
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.constData();
        EXPECT_EQ(child.exitCode(), 0) << zone.constData() << "\n" << out.constData();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
    }
}

TEST(VbDate, NowFollowsAZoneChangedWhileRunningWithinASecond) {
    ZoneScope zone("UTC");
    EXPECT_NEAR(VbDate::Now(), UtcDays(QDateTime::currentMSecsSinceEpoch()), 50 * kMs);
    const struct {
        const char* zone;
        double lowest, highest;  // the zone's offset in days
    } changes[] = {{"Asia/Tokyo", 9.0 / 24.0, 9.0 / 24.0},
                   {"America/Los_Angeles", -8.0 / 24.0, -7.0 / 24.0}};
    for (const auto& c : changes) {
        SCOPED_TRACE(c.zone);
        ZoneScope::Set(c.zone);
        const double offset = QDateTime::currentDateTime().offsetFromUtc() / 86400.0;
        EXPECT_GE(offset, c.lowest);
        EXPECT_LE(offset, c.highest);
        auto off = [&] {
            return VbDate::Now() - (UtcDays(QDateTime::currentMSecsSinceEpoch()) + offset);
        };
        TestEnv::WaitFor([&] { return qAbs(off()) < 50 * kMs; }, 1100);
        EXPECT_NEAR(off(), 0.0, 50 * kMs);
    }
}

TEST(VbDate, OffsetIsTheOneInForceAtTheInstantAcrossDaylightSavingChanges) {
    ZoneScope zone("America/New_York");
    constexpr qint64 kHour = 3600000;
    // 8 March 2026, 07:00 UTC: 02:00 EST becomes 03:00 EDT.
    const qint64 spring = QDateTime(QDate(2026, 3, 8), QTime(7, 0), Qt::UTC).toMSecsSinceEpoch();
    // 1 November 2026, 06:00 UTC: 02:00 EDT becomes 01:00 EST.
    const qint64 autumn = QDateTime(QDate(2026, 11, 1), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    struct Step {
        qint64 utcMs;
        qint64 offsetMs;
    };
    // Steps closer together than the second an offset is kept, and one going back in time.
    const Step steps[] = {
        {spring - 500, -5 * kHour}, {spring + 100, -4 * kHour}, {spring - 1, -5 * kHour},
        {spring, -4 * kHour},       {autumn - 300, -4 * kHour}, {autumn + 200, -5 * kHour},
        {autumn + 900, -5 * kHour}, {autumn - 1, -4 * kHour},
    };
    for (const Step& s : steps)
        EXPECT_NEAR(VbDate::FromUtcMs(s.utcMs), UtcDays(s.utcMs + s.offsetMs), 1e-3 * kMs)
            << QDateTime::fromMSecsSinceEpoch(s.utcMs, Qt::UTC)
                   .toString(Qt::ISODateWithMs)
                   .toStdString();

    // On the short day, a late time stays on its own day and the history filters count it so.
    const double lateOnShortDay = VbDate::FromUtcMs(spring + 20 * kHour);  // 23:00 EDT
    EXPECT_EQ(VbDate::ToDateTime(lateOnShortDay), QDateTime(QDate(2026, 3, 8), QTime(23, 0)));
    const double nextMorning = VbDate::FromUtcMs(spring + 21 * kHour + 1000);
    EXPECT_EQ(VbDate::DayBoundaries(lateOnShortDay, nextMorning), 1);
    // On the long day, the repeated hour is still the same day.
    EXPECT_EQ(VbDate::DayBoundaries(VbDate::FromUtcMs(autumn - 2 * kHour),
                                    VbDate::FromUtcMs(autumn + 22 * kHour)),
              0);
    // A time the spring change skips comes out as far past the change.
    const double skipped = VbDate::FromDateTime(QDateTime(QDate(2026, 3, 7), QTime(2, 30))) + 1;
    EXPECT_EQ(VbDate::ToDateTime(skipped).toMSecsSinceEpoch(), spring + kHour / 2);
}
