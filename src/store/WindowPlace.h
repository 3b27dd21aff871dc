#pragma once
// Where a window was left, kept in the settings file's section "Window" under a prefix of its own
// ("Main", "Float"): its place and size, and whether it was maximized. A place taken back on
// other screens is first made to fit them: moved onto the screen it overlaps most (or the one
// nearest to it) and shrunk to that screen's size.

#include <QList>
#include <QRect>
#include <QString>

class WindowPlace {
public:
    struct Place {
        QRect Rect;  // the normal (not maximized) place, frame excluded
        bool Maximized = false;
        bool operator==(const Place&) const = default;
    };

    // The place moved and shrunk to fit one of the areas (the screens' usable areas); unchanged
    // when it lies inside one already, or when there are no areas.
    static QRect Fit(const QRect& place, const QList<QRect>& areas);

    // Room a window manager's frame takes around the inside of a window, before the frame is
    // known (the title bar above, borders elsewhere).
    static constexpr int kFrameTop = 32;
    static constexpr int kFrameSide = 8;
    // The inside of a window of the wanted size placed on area, frame included: shrunk to the
    // area when it is larger, in its middle.
    static QRect Centered(const QSize& wanted, const QRect& area);
    // True when the inside place, with room for its frame, lies wholly in one of the areas.
    static bool FitsWithFrame(const QRect& place, const QList<QRect>& areas);

    // The place saved under the prefix; an empty rectangle when none (or a broken one) is.
    static Place Read(const QString& iniPath, const QString& prefix);
    static bool Write(const QString& iniPath, const QString& prefix, const Place& place);
};
