// The URL generator, file names from URLs, the clipboard rule and the record building pieces.

#include <gtest/gtest.h>

#include "newjob/BatchGenerator.h"
#include "newjob/BatchKeyFilter.h"
#include "newjob/NewJobBuilder.h"
#include "newjob/UrlFileName.h"

namespace {

const QString kPattern = QStringLiteral("http://files.example.com/a*.zip");

QStringList Expected(const QStringList& values) {
    QStringList urls;
    for (const QString& v : values)
        urls << QStringLiteral("http://files.example.com/a%1.zip").arg(v);
    return urls;
}

}  // namespace

TEST(BatchGenerator, NumbersArePaddedToTheWidthButNeverCut) {
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "1", "12", "2").Urls,
              Expected({"01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"}));
    const QStringList plain =
        Expected({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"});
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "1", "12", "1").Urls, plain);
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "1", "12", "0").Urls, plain);
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "1", "12", "").Urls, plain);
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "7", "7", "4").Urls, Expected({"0007"}));
}

TEST(BatchGenerator, EmptyBoxesReadZeroAndFromAboveToGivesNothing) {
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "", "", "1").Urls, Expected({"0"}));
    const BatchResult reversed = BatchGenerator::Numbers(kPattern, "9", "3", "1");
    EXPECT_TRUE(reversed.Urls.isEmpty());
    EXPECT_TRUE(reversed.Error.isEmpty());
}

TEST(BatchGenerator, EveryStarOfTheWholePatternGetsTheSameValue) {
    EXPECT_EQ(BatchGenerator::Numbers("http://h*.example.com/*/f*.swf?n=*", "8", "9", "2").Urls,
              QStringList({"http://h08.example.com/08/f08.swf?n=08",
                           "http://h09.example.com/09/f09.swf?n=09"}));
    EXPECT_EQ(BatchGenerator::Letters("http://x/*_*.swf", "a", "b").Urls,
              QStringList({"http://x/a_a.swf", "http://x/b_b.swf"}));
}

TEST(BatchGenerator, RangesBeyondTheSixteenBitCounterAreRefused) {
    EXPECT_EQ(BatchGenerator::Numbers(kPattern, "32760", "32766", "1").Urls.size(), 7);
    for (const auto& [from, to] : {std::pair{"32760", "32767"}, std::pair{"1", "40000"},
                                   std::pair{"32768", "32769"}, std::pair{"99999", "1"}}) {
        const BatchResult result = BatchGenerator::Numbers(kPattern, from, to, "1");
        EXPECT_TRUE(result.Urls.isEmpty()) << from << ".." << to;
        EXPECT_FALSE(result.Error.isEmpty()) << from << ".." << to;
    }
}

TEST(BatchGenerator, AtMostTenThousandLines) {
    const BatchResult most = BatchGenerator::Numbers(kPattern, "0", "9999", "4");
    ASSERT_EQ(most.Urls.size(), BatchGenerator::kMaxLines);
    EXPECT_EQ(most.Urls.first(), Expected({"0000"}).first());
    EXPECT_EQ(most.Urls.last(), Expected({"9999"}).first());
    const BatchResult tooMany = BatchGenerator::Numbers(kPattern, "0", "10000", "1");
    EXPECT_TRUE(tooMany.Urls.isEmpty());
    EXPECT_FALSE(tooMany.Error.isEmpty());
}

TEST(BatchGenerator, LetterRanges) {
    EXPECT_EQ(BatchGenerator::Letters(kPattern, "a", "e").Urls,
              Expected({"a", "b", "c", "d", "e"}));
    EXPECT_TRUE(BatchGenerator::Letters(kPattern, "e", "a").Urls.isEmpty());
    // An emptied letter box has no first or last letter: nothing, and no complaint.
    for (const auto& [from, to] : {std::pair{"", "z"}, std::pair{"a", ""}}) {
        const BatchResult result = BatchGenerator::Letters(kPattern, from, to);
        EXPECT_TRUE(result.Urls.isEmpty());
        EXPECT_TRUE(result.Error.isEmpty());
    }
}

TEST(BatchKeyFilter, WhatEachKindOfBoxLetsIn) {
    QString replace;
    EXPECT_TRUE(BatchKeyFilter::Accepts(BatchKeyFilter::Digits, "7", &replace));
    EXPECT_TRUE(replace.isEmpty());  // typed at the cursor
    EXPECT_FALSE(BatchKeyFilter::Accepts(BatchKeyFilter::Digits, "-", &replace));
    EXPECT_FALSE(BatchKeyFilter::Accepts(BatchKeyFilter::Digits, "\x08", &replace));
    EXPECT_TRUE(BatchKeyFilter::Accepts(BatchKeyFilter::OneDigit, "3", &replace));
    EXPECT_EQ(replace, "3");
    EXPECT_FALSE(BatchKeyFilter::Accepts(BatchKeyFilter::OneDigit, "x", &replace));
    EXPECT_TRUE(BatchKeyFilter::Accepts(BatchKeyFilter::OneLetter, "Q", &replace));
    EXPECT_EQ(replace, "Q");
    EXPECT_FALSE(BatchKeyFilter::Accepts(BatchKeyFilter::OneLetter, "1", &replace));
    EXPECT_FALSE(
        BatchKeyFilter::Accepts(BatchKeyFilter::OneLetter, QString(QChar(0xE9)), &replace));
}

TEST(UrlFileName, LastSegmentWithAndWithoutQuery) {
    EXPECT_EQ(FileNameFromUrl("http://h/dir/f.swf?x=1"), "f.swf?x=1");
    EXPECT_EQ(FileNameNoQuery("http://h/dir/f.swf?x=1"), "f.swf");
    EXPECT_EQ(FileNameNoQuery("http://h/dir/f.swf?x=1/y?z"), "y");
    EXPECT_EQ(FileNameFromUrl("http://h/dir/"), "");
    EXPECT_EQ(FileNameNoQuery("http://h/dir/f.swf#t=1/2"), "f.swf");
    EXPECT_EQ(FileNameNoQuery("http://h/dir/"), "");
    EXPECT_EQ(FileNameFromUrl("c:\\mydown\\movie.swf"), "movie.swf");
    EXPECT_EQ(FileNameFromUrl("movie.swf"), "");
    EXPECT_EQ(FileNameNoQuery(""), "");
    // Escapes are decoded unless that would make a path or no UTF-8.
    EXPECT_EQ(FileNameFromUrl("http://h/caf%C3%a9%20x.swf"),
              QString::fromUtf8("caf\xC3\xA9 x.swf"));
    EXPECT_EQ(FileNameFromUrl("http://h/a%2Fb%5Cc%00d%C3.swf%"), "a%2Fb%5Cc%00d%C3.swf%");
    EXPECT_EQ(FileNameNoQuery("http://h/%2E%2E?x"), "%2E%2E");
    EXPECT_EQ(FileNameNoQuery("http://h/a%3Fb.swf?x"), "a?b.swf");
}

TEST(UrlFileName, ClipboardTakesOnlyWebUrlsInAnyCase) {
    EXPECT_EQ(UrlFromClipboardText("HTTP://Example.COM/A.swf"), "HTTP://Example.COM/A.swf");
    EXPECT_EQ(UrlFromClipboardText("hTTp://x"), "hTTp://x");
    EXPECT_EQ(UrlFromClipboardText("HTTPS://x/a.swf"), "HTTPS://x/a.swf");
    EXPECT_EQ(UrlFromClipboardText("ftp://x/a.swf"), "");
    EXPECT_EQ(UrlFromClipboardText(" http://x/a.swf"), "");
    EXPECT_EQ(UrlFromClipboardText("http:/"), "");
}

TEST(NewJobBuilder, PartCountsStayWithinOneToTen) {
    EXPECT_EQ(PartsFromText("5"), 5);
    EXPECT_EQ(PartsFromText(" 7 parts"), 7);
    EXPECT_EQ(PartsFromText("2.5"), 2);
    EXPECT_EQ(PartsFromText("3.5"), 4);
    EXPECT_EQ(PartsFromText("0"), 1);
    EXPECT_EQ(PartsFromText("abc"), 1);
    EXPECT_EQ(PartsFromText("-4"), 1);
    EXPECT_EQ(PartsFromText("11"), 10);
    EXPECT_EQ(PartsFromText("99999"), 10);
}

TEST(NewJobBuilder, ProxyEntries) {
    int16_t use = 0;
    QString host = "stale";
    uint16_t port = 9;
    ProxyFromEntry(0, "Direct Connection", use, host, port);
    EXPECT_EQ(use, VbFalse);
    EXPECT_EQ(host, "");
    EXPECT_EQ(port, 0);
    ProxyFromEntry(2, "cache.local:3128", use, host, port);
    EXPECT_EQ(use, VbTrue);
    EXPECT_EQ(host, "cache.local");
    EXPECT_EQ(port, 3128);
    ProxyFromEntry(1, "noport.local", use, host, port);  // cannot give a port: direct
    EXPECT_EQ(use, VbFalse);
    EXPECT_EQ(host, "");
    EXPECT_EQ(port, 0);
}
