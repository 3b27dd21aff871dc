// The SWF reader, its rewritten copies for seeking and the frame clock, on movies built here.

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <functional>

#include "player/FrameClock.h"
#include "player/SwfBuilder.h"
#include "player/SwfNames.h"
#include "player/SwfReader.h"
#include "player/SwfRewriter.h"

using namespace SwfBuilder;

namespace {

// Parses a copy held in a heap block of exactly its size, so that a read past the end is caught by
// the address sanitizer (a QByteArray's own terminator would hide a one-byte over-read).
bool ReadExact(const QByteArray& bytes, SwfMovie& movie, QString& error) {
    std::vector<char> exact(bytes.begin(), bytes.end());
    return SwfReader::Read(QByteArray::fromRawData(exact.data(), qsizetype(exact.size())), movie,
                           error);
}

QByteArray Rgb(int r, int g, int b) {
    QByteArray c;
    c.append(char(r)).append(char(g)).append(char(b));
    return c;
}

// A three-frame timeline movie: background, a shape placed, moved, removed and placed again, a
// sound stream with a block per frame, a label and frame actions (stop only).
QList<QByteArray> TimelineTags() {
    const QByteArray stop("\x07\x00", 2);
    return {Tag(9, Rgb(0x20, 0x80, 0xc0)),
            Tag(2, QByteArray("shape-1-bits")),
            Tag(26, QByteArray("place-d1")),
            Tag(18, QByteArray("head")),
            Tag(19, QByteArray("block-1")),
            Tag(12, stop),
            Tag(43, QByteArray("intro\0", 6)),
            Tag(1, {}),
            Tag(26, QByteArray("move-d1"), true),
            Tag(19, QByteArray("block-2")),
            Tag(12, stop),
            Tag(1, {}),
            Tag(28, QByteArray("rm")),
            Tag(26, QByteArray("place-d2")),
            Tag(19, QByteArray("block-3")),
            Tag(12, stop),
            Tag(1, {}),
            Tag(0, {})};
}

QList<int> Codes(const SwfMovie& m) {
    QList<int> codes;
    for (const SwfTag& t : m.tags) codes << t.code;
    return codes;
}

}  // namespace

TEST(SwfReader, ReadsPlainZlibAndLzmaMoviesAlike) {
    const QByteArray body = Body(0x1880, 3, TimelineTags());  // 24.5 frames a second
    const QList<int> expected = {9, 2, 26, 18, 19, 12, 43, 1, 26, 19, 12, 1, 28, 26, 19, 12, 1, 0};
    for (const auto& [file, kind] :
         {std::pair{Fws(body), SwfMovie::None}, std::pair{Cws(body), SwfMovie::Zlib},
          std::pair{Zws(body), SwfMovie::Lzma}}) {
        SwfMovie m;
        QString error;
        ASSERT_TRUE(ReadExact(file, m, error)) << kind << " " << error.toStdString();
        EXPECT_EQ(m.compression, kind);
        EXPECT_EQ(m.fileLength, quint32(8 + body.size()));
        EXPECT_EQ(m.frameCount, 3);
        EXPECT_EQ(m.shownFrames, 3);
        EXPECT_DOUBLE_EQ(m.frameRate, 24.5);
        EXPECT_EQ(m.WidthPixels(), 550);
        EXPECT_EQ(m.HeightPixels(), 400);
        EXPECT_TRUE(m.hasBackground);
        EXPECT_EQ(m.background, 0x2080c0u);
        EXPECT_FALSE(m.scriptDriven);
        EXPECT_EQ(m.stopFrames, (QList<int>{1, 2, 3}));
        EXPECT_EQ(Codes(m), expected);
        EXPECT_EQ(m.tags[8].length, 7);  // the long header of the move
        EXPECT_EQ(m.tags[13].frame, 3);
        EXPECT_EQ(m.data.mid(8), body);
    }

    // Movies that move their own timeline: a jump in a frame action, or ActionScript 3.
    const QByteArray gotoFrame("\x81\x02\x00\x05\x00\x06\x00", 7);
    SwfMovie m;
    QString error;
    ASSERT_TRUE(
        ReadExact(Fws(Body(0x0c00, 2, {Tag(12, gotoFrame), Tag(1, {}), Tag(0, {})})), m, error));
    EXPECT_TRUE(m.scriptDriven);
    ASSERT_TRUE(ReadExact(Cws(Body(0x0c00, 1, {Tag(69, QByteArray("\x08\0\0\0", 4)), Tag(1, {})})),
                          m, error));
    EXPECT_TRUE(m.scriptDriven);
    EXPECT_EQ(m.shownFrames, 1);
}

TEST(SwfReader, RefusesEveryCutAndLyingMovieWithoutReadingPastIt) {
    const QByteArray body = Body(0x0c00, 3, TimelineTags());
    const QList<QByteArray> files = {Fws(body), Cws(body), Zws(body)};
    SwfMovie m;
    QString error;
    // Every shorter prefix of every form is refused with a reason, unless only the compressed
    // stream's trailer is gone and the whole movie came out.
    for (const QByteArray& file : files) {
        for (qsizetype n = 0; n < file.size(); ++n) {
            if (ReadExact(file.left(n), m, error)) {
                ASSERT_NE(file[0], 'F') << "cut at " << n;
                ASSERT_EQ(m.data.mid(8), body) << file.left(3).data() << " cut at " << n;
            } else {
                ASSERT_FALSE(error.isEmpty());
            }
        }
    }
    EXPECT_FALSE(ReadExact(files[0].left(files[0].size() - 1), m, error));
    EXPECT_EQ(error, "The Flash movie is damaged: it is cut short.");

    auto withLength = [](QByteArray file, quint32 length) {
        for (int i = 0; i < 4; ++i) file[4 + i] = char((length >> (8 * i)) & 0xff);
        return file;
    };
    // A header that claims more than there is, in every form.
    for (const QByteArray& file : files)
        EXPECT_FALSE(ReadExact(withLength(file, quint32(8 + body.size() + 1)), m, error));
    // Claims that cut the last tag in the middle.
    for (const QByteArray& file : files)
        EXPECT_FALSE(ReadExact(withLength(file, quint32(8 + body.size() - 3)), m, error));
    // Too small to hold a header, or too large to be expanded.
    EXPECT_FALSE(ReadExact(withLength(files[0], 12), m, error));
    EXPECT_EQ(error, "The Flash movie is damaged: its header is not valid.");
    EXPECT_FALSE(ReadExact(withLength(files[1], 0xffffffffu), m, error));
    EXPECT_EQ(error, "The Flash movie is too large to play.");
    // A tag whose long length runs past the end, and one that wraps when added.
    for (quint32 lie : {quint32(1000), 0x7fffffffu, 0xffffffffu}) {
        QByteArray tag;
        Le16(tag, 2 << 6 | 0x3f);
        Le32(tag, lie);
        const QByteArray lying = Body(0x0c00, 1, {Tag(1, {}), tag + "abc"});
        EXPECT_FALSE(ReadExact(Fws(lying), m, error)) << lie;
        EXPECT_FALSE(ReadExact(Zws(lying), m, error)) << lie;
    }
    // A frame size whose field width needs more bytes than the movie has.
    QByteArray wide = Rect(31, 0, 0, 0, 0).left(3);
    Le16(wide, 0x0c00);
    EXPECT_FALSE(ReadExact(Fws(wide), m, error));
    // Not a movie at all, and LZMA properties asking for a 4 GiB dictionary.
    EXPECT_FALSE(ReadExact("GIF89a\x01\x00\x01\x00", m, error));
    EXPECT_EQ(error, "The file is not a Flash movie.");
    QByteArray hugeDict = files[2];
    for (int i = 0; i < 4; ++i) hugeDict[13 + i] = char(0xff);
    EXPECT_FALSE(ReadExact(hugeDict, m, error));
    // Damage anywhere: any outcome but a crash or a read past the buffer.
    QRandomGenerator rng(20261207);
    for (const QByteArray& file : files) {
        for (int round = 0; round < 1500; ++round) {
            QByteArray bad = file;
            const int flips = 1 + rng.bounded(4);
            for (int k = 0; k < flips; ++k)
                bad[rng.bounded(int(bad.size()))] = char(rng.bounded(256));
            if (ReadExact(bad, m, error)) {
                EXPECT_LE(m.tags.size(), m.data.size());
            }
        }
    }
}

// The names of loadable files in frame actions, a sprite's actions, init actions and
// ActionScript 3 strings; nothing else, each once, and no damage reads past the movie.
TEST(SwfNames, FindsLoadableNamesInEveryKindOfCode) {
    QByteArray sprite;
    Le16(sprite, 1);  // sprite id
    Le16(sprite, 1);  // frames
    sprite += DoAction({"Levels/L2.XML", "_root"}) + Tag(1, {}) + Tag(0, {});
    QByteArray init;
    Le16(init, 1);
    init += DoAction({"http://127.0.0.1/snd/a.mp3?v=2"}).mid(2);
    // ABC 46.16: no ints, uints or doubles; strings "", "hello", "img/b.png", "../up.swf".
    QByteArray abc("\x10\x00\x2e\x00\x00\x00\x00\x05", 8);
    for (const QByteArray& text :
         {QByteArray(""), QByteArray("hello"), QByteArray("img/b.png"), QByteArray("../up.swf")})
        abc += char(text.size()) + text;
    const QByteArray body =
        Body(0x0c00, 1,
             {DoAction({"data/level.xml", "intro", "mailto:x@y.gif"}, "part2.swf"), Tag(39, sprite),
              Tag(59, init), Tag(82, QByteArray(4, '\0') + "main" + '\0' + abc), Tag(72, abc),
              Tag(1, {}), Tag(0, {})});
    SwfMovie m;
    QString error;
    ASSERT_TRUE(SwfReader::Read(Cws(body), m, error)) << error.toStdString();
    EXPECT_EQ(SwfNames::Find(m),
              QStringList({"data/level.xml", "part2.swf", "Levels/L2.XML",
                           "http://127.0.0.1/snd/a.mp3?v=2", "img/b.png", "../up.swf"}));
    QRandomGenerator rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        QByteArray bad = m.data;
        for (int k = 0; k < 1 + rng.bounded(4); ++k)
            bad[int(m.tagsOffset) + rng.bounded(int(bad.size() - m.tagsOffset))] =
                char(rng.bounded(256));
        SwfMovie damaged = m;
        damaged.data = bad;
        EXPECT_LE(SwfNames::Find(damaged).size(), SwfNames::kMaxNames);
    }
}

TEST(SwfRewriter, FoldsTheFramesBeforeNIntoTheFirstKeepingTheOrder) {
    const QByteArray body = Body(0x0c00, 3, TimelineTags());
    SwfMovie movie;
    QString error;
    ASSERT_TRUE(ReadExact(Cws(body), movie, error));

    // Frame 3: frames 1 and 2 keep every tag but ShowFrame, sound blocks and frame actions.
    SwfMovie copy;
    const QByteArray third = SwfRewriter::FoldFramesBefore(movie, 3);
    ASSERT_TRUE(ReadExact(third, copy, error)) << error.toStdString();
    EXPECT_EQ(third.left(3), "FWS");
    EXPECT_EQ(copy.fileLength, quint32(third.size()));
    EXPECT_EQ(copy.frameCount, 1);
    EXPECT_EQ(copy.version, movie.version);
    EXPECT_DOUBLE_EQ(copy.frameRate, 12.0);
    EXPECT_EQ(Codes(copy), (QList<int>{9, 2, 26, 18, 43, 26, 28, 26, 19, 12, 1, 0}));
    // Every kept tag is the original record, byte for byte (the long header too).
    const QList<int> kept = {0, 1, 2, 3, 6, 8, 12, 13, 14, 15, 16, 17};
    for (int i = 0; i < kept.size(); ++i) {
        const SwfTag& a = movie.tags[kept[i]];
        const SwfTag& b = copy.tags[i];
        EXPECT_EQ(copy.data.mid(b.offset, b.dataOffset + b.length - b.offset),
                  movie.data.mid(a.offset, a.dataOffset + a.length - a.offset))
            << "tag " << i;
    }

    // Frame 2 keeps the second and third frames whole; frame 1 is the movie as it is.
    ASSERT_TRUE(ReadExact(SwfRewriter::FoldFramesBefore(movie, 2), copy, error));
    EXPECT_EQ(copy.frameCount, 2);
    EXPECT_EQ(Codes(copy), (QList<int>{9, 2, 26, 18, 43, 26, 19, 12, 1, 28, 26, 19, 12, 1, 0}));
    EXPECT_EQ(SwfRewriter::FoldFramesBefore(movie, 1), movie.data);
    // Past the end means the last frame.
    EXPECT_EQ(SwfRewriter::FoldFramesBefore(movie, 99), third);
}

TEST(FrameClock, AdvancesAtTheRateStopsAndNeverPassesTheTotal) {
    qint64 now = 5000;
    FrameClock clock([&now] { return now; });
    clock.Reset(12.0, 30);
    EXPECT_EQ(clock.Frame(), 1);
    now += 2000;
    EXPECT_EQ(clock.Frame(), 1);  // not started
    clock.Start();
    now += 999;
    EXPECT_EQ(clock.Frame(), 12);
    now += 1;
    EXPECT_EQ(clock.Frame(), 13);
    clock.Stop();
    now += 60000;
    EXPECT_EQ(clock.Frame(), 13);  // stopped keeps its frame
    clock.Start();
    now += 1000;
    EXPECT_EQ(clock.Frame(), 25);
    now += 60000;
    EXPECT_EQ(clock.Frame(), 30);  // held at the total
    clock.SetFrame(5);             // seeking while running goes on from there
    now += 500;
    EXPECT_EQ(clock.Frame(), 11);
    clock.SetFrame(400);
    EXPECT_EQ(clock.Frame(), 30);
    clock.SetFrame(-3);
    EXPECT_EQ(clock.Frame(), 1);
    clock.Reset(0.0, 10);  // a rate of 0 never moves
    clock.Start();
    now += 60000;
    EXPECT_EQ(clock.Frame(), 1);
    clock.Reset(24.0, 0);  // no frames at all
    clock.Start();
    now += 1000;
    EXPECT_EQ(clock.Frame(), 0);

    // A looping timeline starts again at frame 1; a stop holds it where the stop is.
    clock.Reset(10.0, 20);
    clock.SetTimeline(true, {});
    clock.Start();
    now += 2500;
    EXPECT_EQ(clock.Frame(), 6);  // 1 + 25 frames: the sixth of the second pass
    clock.Reset(10.0, 20);
    clock.SetTimeline(true, {4, 12});
    clock.Start();
    now += 5000;
    EXPECT_EQ(clock.Frame(), 4);  // halted by the first stop
    clock.SetFrame(10);
    now += 5000;
    EXPECT_EQ(clock.Frame(), 12);  // from 10 the next stop is 12
    clock.SetFrame(13);
    now += 500;
    EXPECT_EQ(clock.Frame(), 18);
    now += 1000;
    EXPECT_EQ(clock.Frame(), 4);  // past the end, the next pass halts at frame 4
}
