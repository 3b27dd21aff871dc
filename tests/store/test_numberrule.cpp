#include <gtest/gtest.h>

#include "store/NumberRule.h"

using NumberRule::Val;

TEST(NumberRule, LeadingNumberWithSkippedBlanksAnywhere) {
    EXPECT_DOUBLE_EQ(Val("  12 34abc"), 1234);
    EXPECT_DOUBLE_EQ(Val("\t-1\n2.5x"), -12.5);
    EXPECT_DOUBLE_EQ(Val("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(Val("abc"), 0);
    EXPECT_DOUBLE_EQ(Val(""), 0);
    EXPECT_DOUBLE_EQ(Val("+7"), 7);
    EXPECT_DOUBLE_EQ(Val("-"), 0);
    EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
}

TEST(NumberRule, ExponentAndRadix) {
    EXPECT_DOUBLE_EQ(Val("1E3"), 1000);
    EXPECT_DOUBLE_EQ(Val("2d2"), 200);
    EXPECT_DOUBLE_EQ(Val("1.5e-1"), 0.15);
    EXPECT_DOUBLE_EQ(Val("3E"), 3);
    EXPECT_DOUBLE_EQ(Val("3Ex"), 3);
    EXPECT_DOUBLE_EQ(Val("&H1F"), 31);
    EXPECT_DOUBLE_EQ(Val("&hff zz"), 255);
    EXPECT_DOUBLE_EQ(Val("&O17"), 15);
    EXPECT_DOUBLE_EQ(Val("&O19"), 1);
    EXPECT_DOUBLE_EQ(Val("&X1"), 0);
}

TEST(NumberRule, RoundsHalvesToEvenAndClamps) {
    EXPECT_EQ(NumberRule::ValInt16("2.5"), 2);
    EXPECT_EQ(NumberRule::ValInt16("3.5"), 4);
    EXPECT_EQ(NumberRule::ValInt16("-2.5"), -2);
    EXPECT_EQ(NumberRule::ValInt16("2.51"), 3);
    EXPECT_EQ(NumberRule::ValInt16("99999"), 32767);
    EXPECT_EQ(NumberRule::ValUInt16("65535"), 65535);
    EXPECT_EQ(NumberRule::ValInt32("12345"), 12345);
}

#include "store/VbDate.h"

TEST(VbDate, NowAgreesWithTheLocalClockAndRoundTrips) {
    const QDateTime before = QDateTime::currentDateTime();
    const double now = VbDate::Now();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_GE(now, VbDate::FromDateTime(before) - 1e-7);
    EXPECT_LE(now, VbDate::FromDateTime(after) + 1e-7);
    EXPECT_DOUBLE_EQ(VbDate::FromDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(VbDate::FromDateTime(QDateTime(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
    EXPECT_EQ(VbDate::ToDateTime(2.75), QDateTime(QDate(1900, 1, 1), QTime(18, 0)));
    // Before the epoch the fraction still counts forward from midnight.
    EXPECT_EQ(VbDate::ToDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    const QDateTime late(QDate(2026, 12, 6), QTime(23, 59));
    const QDateTime early(QDate(2026, 12, 7), QTime(0, 1));
    EXPECT_EQ(VbDate::DayBoundaries(VbDate::FromDateTime(late), VbDate::FromDateTime(early)), 1);
}
