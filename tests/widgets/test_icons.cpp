// The icon table: every key gives an icon, the list states without a picture of their own are
// drawn rather than shown as the program's icon, and the connections keep their own colours.

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

#include "widgets/Icons.h"

namespace {

QImage Look(const QIcon& icon) {
    return icon.pixmap(16, 16).toImage();
}

TEST(Icons, KeysGiveTheirOwnPictureTheDrawnStateOrTheProgramsIcon) {
    const QImage program = Look(Icons::Get("app"));
    ASSERT_FALSE(program.isNull());
    struct Row {
        const char* key;
        bool programsIcon;
    };
    const Row rows[] = {
        {"Start", false},    {"Request", false}, {"AddNewJob", false}, {"7", false},
        {"PicChart", false}, {"Jet", false},     {"NoSuchKey", true},  {"", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        const QIcon icon = Icons::Get(row.key);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(Look(icon) == program, row.programsIcon);
        EXPECT_EQ(Icons::Get(row.key).cacheKey(), icon.cacheKey());  // asked once, kept
    }
}

TEST(Icons, EveryConnectionHasItsOwnColourAndOthersAreGrey) {
    QSet<QRgb> seen;
    for (int part = 1; part <= 10; ++part) seen.insert(Icons::PartColor(part).rgb());
    EXPECT_EQ(seen.size(), 10);
    for (int part : {0, 11, -1}) EXPECT_EQ(Icons::PartColor(part), QColor(128, 128, 128));
    EXPECT_NE(Look(Icons::PartIcon(1)), Look(Icons::PartIcon(2)));
}

}  // namespace
