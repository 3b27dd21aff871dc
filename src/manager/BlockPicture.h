#pragma once
// picDraw: the block picture of one download. Every tile stands for one block of the file and
// fills in the colour of the connection that received it; the picture is kept in an off-screen
// image (picImg) that is drawn whole only when the pane changes size or another job is shown, and
// is otherwise touched tile by tile as data arrives.

#include <QPixmap>
#include <QRegion>
#include <QWidget>
#include <array>

#include "manager/BlockLayout.h"

class RefreshThrottle;

class BlockPicture : public QWidget {
    Q_OBJECT
public:
    explicit BlockPicture(QWidget* parent = nullptr);

    // Shows job j (0: nothing) and draws it whole.
    void SetJob(int jobIndex);
    int Job() const { return jobIndex; }
    // Empties the picture.
    void Clear() { SetJob(0); }
    // Connection part of the shown job has written more bytes: redraws only the tiles between
    // where the picture had that connection and where it is now.
    void DataArrived(int part);
    // Draws the whole picture again from the job record (after ranges were laid out anew).
    void Redraw();
    // The job's figures changed without new tiles: Refreshed follows at the next screen update.
    void RefreshSoon();

    // First picture row shown at the top (the scroll bar's value), in pixels.
    void SetScrollOffset(int offset);
    int ScrollOffset() const { return scrollOffset; }

    const BlockLayout& Layout() const { return layout; }
    // Number of whole redraws so far (tests check that data only touches tiles).
    int FullRedraws() const { return fullRedraws; }
    // What tile t shows at the moment.
    TileFill DrawnTile(int t) const;

    QSize sizeHint() const override { return {360, 160}; }
    QSize minimumSizeHint() const override { return {60, 40}; }

signals:
    // The picture's full height and the visible height changed (for VScroll1).
    void PictureHeightChanged(int pictureHeight, int visibleHeight);
    // The wheel moved the picture (VScroll1 follows).
    void ScrollOffsetChanged(int offset);
    // What the picture shows reached the screen (at most 25 times a second, and after every
    // whole redraw): the figures beside it are refreshed in the same step, so they never show
    // less than the tiles do.
    void Refreshed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    const JobRecord* Record() const;
    void Relayout();
    void DrawTile(QPainter& painter, int t, const TileFill& fill);
    QRect OnScreen(const QRect& pictureRect) const;

    int jobIndex = 0;
    BlockLayout layout;
    QPixmap picImg;
    std::vector<TileFill> drawn;
    std::array<int64_t, kMaxParts + 1> drawnFrom{};  // range of each connection already drawn
    std::array<int64_t, kMaxParts + 1> drawnTo{};
    std::array<int64_t, kMaxParts + 1> drawnEnd{};  // range ends when the whole was drawn
    int scrollOffset = 0;
    int fullRedraws = 0;
    bool hintSaysReceiving = false;  // the picture without size says that data arrives anyway
    QRect pendingDirty;              // tiles drawn into picImg but not yet on the screen
    RefreshThrottle* screenRefresh;  // at most 25 screen updates a second
};
