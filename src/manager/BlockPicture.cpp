#include "manager/BlockPicture.h"

#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "manager/RefreshThrottle.h"
#include "store/JobTable.h"
#include "widgets/Icons.h"

namespace {
const QColor kEmptyFill(236, 239, 243);
const QColor kEmptyEdge(212, 217, 224);
const QColor kBackground(Qt::white);
}  // namespace

BlockPicture::BlockPicture(QWidget* parent) : QWidget(parent) {
    setObjectName("picDraw");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    screenRefresh = new RefreshThrottle(
        40,
        [this] {
            if (!pendingDirty.isNull()) update(OnScreen(pendingDirty));
            pendingDirty = QRect();
            emit Refreshed();
        },
        this);
}

const JobRecord* BlockPicture::Record() const {
    if (jobIndex < 1 || jobIndex > JobCount) return nullptr;
    return &Jobs[static_cast<size_t>(jobIndex)];
}

void BlockPicture::SetJob(int j) {
    jobIndex = j;
    scrollOffset = 0;
    Redraw();
}

void BlockPicture::Relayout() {
    const JobRecord* job = Record();
    layout = BlockLayout(job ? job->FileSize : 0, size());
    const qreal dpr = devicePixelRatioF();
    const QSize pixels(std::max(1, width()), std::max(1, std::max(layout.Height(), height())));
    picImg = QPixmap(pixels * dpr);
    picImg.setDevicePixelRatio(dpr);
    drawn.assign(static_cast<size_t>(layout.Tiles()), TileFill{});
    emit PictureHeightChanged(layout.Height(), height());
}

void BlockPicture::Redraw() {
    ++fullRedraws;
    Relayout();
    picImg.fill(kBackground);
    QPainter painter(&picImg);
    painter.setRenderHint(QPainter::Antialiasing);
    const JobRecord* job = Record();
    drawnFrom.fill(0);
    drawnTo.fill(0);
    drawnEnd.fill(0);
    if (job != nullptr && layout.Tiles() > 0) {
        for (int t = 0; t < layout.Tiles(); ++t) {
            const TileFill fill = FillOfBytes(*job, layout.TileStart(t), layout.TileEnd(t));
            drawn[static_cast<size_t>(t)] = fill;
            DrawTile(painter, t, fill);
        }
        for (int k = 1; k <= kMaxParts; ++k) {
            drawnFrom[static_cast<size_t>(k)] = job->Segments[static_cast<size_t>(k)].StartPos;
            drawnTo[static_cast<size_t>(k)] = job->Segments[static_cast<size_t>(k)].CurPos;
            drawnEnd[static_cast<size_t>(k)] = job->Segments[static_cast<size_t>(k)].EndPos;
        }
    } else {
        painter.setPen(QColor(140, 146, 155));
        hintSaysReceiving = job != nullptr && job->Received > 0;
        const QString hint = job == nullptr ? tr("Choose a job to see its download.")
                             : hintSaysReceiving
                                 ? tr("The server gave no file size: the bytes received are "
                                      "counted above.")
                                 : tr("Waiting for the file size...");
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, hint);
    }
    painter.end();
    pendingDirty = QRect();
    update();
    emit Refreshed();
}

void BlockPicture::RefreshSoon() {
    screenRefresh->Request();
}

void BlockPicture::DataArrived(int part) {
    const JobRecord* job = Record();
    if (job == nullptr || part < 1 || part > kMaxParts) return;
    if (layout.FileSize() != std::max<int32_t>(job->FileSize, 0)) {
        Redraw();  // the size became known or changed: lay the picture out anew
        return;
    }
    if (layout.Tiles() == 0) {
        // No size from the server: there is nothing to lay out, only the figures change (the
        // hint was drawn with the first bytes).
        if (!hintSaysReceiving && job->Received > 0) Redraw();
        screenRefresh->Request();
        return;
    }
    // New range boundaries (ranges laid out, a range cancelled) change the tint of many tiles.
    for (int i = 1; i <= kMaxParts; ++i) {
        const SegmentRecord& r = job->Segments[static_cast<size_t>(i)];
        if (r.StartPos != drawnFrom[static_cast<size_t>(i)] ||
            r.EndPos != drawnEnd[static_cast<size_t>(i)]) {
            Redraw();
            return;
        }
    }
    const SegmentRecord& s = job->Segments[static_cast<size_t>(part)];
    const size_t k = static_cast<size_t>(part);
    int64_t lo = 0, hi = 0;
    if (drawnFrom[k] == s.StartPos && s.CurPos >= drawnTo[k]) {
        lo = drawnTo[k];  // the range grew: only its new end
        hi = s.CurPos;
    } else {
        // The range moved or shrank (restarted, cancelled): its old and its new extent.
        lo = std::min<int64_t>(drawnFrom[k], s.StartPos);
        hi = std::max<int64_t>(drawnTo[k], s.CurPos);
    }
    drawnFrom[k] = s.StartPos;
    drawnTo[k] = s.CurPos;
    if (hi <= lo) hi = lo + 1;
    const int first = layout.TileOf(lo);
    const int last = layout.TileOf(hi - 1);
    QPainter painter(&picImg);
    painter.setRenderHint(QPainter::Antialiasing);
    QRect dirty;
    for (int t = first; t <= last; ++t) {
        const TileFill fill = FillOfBytes(*job, layout.TileStart(t), layout.TileEnd(t));
        if (fill == drawn[static_cast<size_t>(t)]) continue;
        drawn[static_cast<size_t>(t)] = fill;
        DrawTile(painter, t, fill);
        dirty |= layout.TileRect(t).adjusted(-1, -1, 1, 1);
    }
    painter.end();
    // Even bytes that change no tile change the figures beside the picture.
    pendingDirty |= dirty;
    screenRefresh->Request();
}

TileFill BlockPicture::DrawnTile(int t) const {
    if (t < 0 || t >= static_cast<int>(drawn.size())) return {};
    return drawn[static_cast<size_t>(t)];
}

void BlockPicture::DrawTile(QPainter& painter, int t, const TileFill& fill) {
    const QRectF r = QRectF(layout.TileRect(t)).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = layout.Tile() >= 9 ? 2.5 : 1.5;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBackground);
    painter.drawRect(r.adjusted(-1, -1, 1, 1));
    if (fill.part == 0 || fill.share <= 0) {
        // A block still to come: pale grey, tinted with the colour of the range it belongs to.
        QColor edge = kEmptyEdge, inside = kEmptyFill;
        if (fill.range != 0) {
            const QColor c = Icons::PartColor(fill.range);
            auto mix = [](const QColor& a, const QColor& b, double t) {
                return QColor::fromRgbF(a.redF() * (1 - t) + b.redF() * t,
                                        a.greenF() * (1 - t) + b.greenF() * t,
                                        a.blueF() * (1 - t) + b.blueF() * t);
            };
            inside = mix(kEmptyFill, c, 0.10);
            edge = mix(kEmptyEdge, c, 0.28);
        }
        painter.setPen(QPen(edge, 1));
        painter.setBrush(inside);
        painter.drawRoundedRect(r, radius, radius);
        return;
    }
    const QColor colour = Icons::PartColor(fill.part);
    if (fill.share >= 1.0) {
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, colour.lighter(118));
        g.setColorAt(1, colour);
        painter.setPen(QPen(colour.darker(125), 1));
        painter.setBrush(g);
        painter.drawRoundedRect(r, radius, radius);
        return;
    }
    // A block that is still arriving: a pale tile of the connection's colour, filled from the
    // left as far as its bytes have come, with a strong edge marking where the connection is.
    QColor pale = colour;
    pale.setAlpha(60);
    painter.setPen(QPen(colour, 1));
    painter.setBrush(QColor(250, 250, 252));
    painter.drawRoundedRect(r, radius, radius);
    painter.setBrush(pale);
    painter.drawRoundedRect(r, radius, radius);
    const qreal w = std::max<qreal>(1.0, (r.width() - 2) * fill.share);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour.lighter(110));
    painter.drawRect(QRectF(r.left() + 1, r.top() + 1, w, r.height() - 2));
}

QRect BlockPicture::OnScreen(const QRect& pictureRect) const {
    return pictureRect.translated(0, -scrollOffset);
}

void BlockPicture::SetScrollOffset(int offset) {
    offset = std::clamp(offset, 0, std::max(0, layout.Height() - height()));
    if (offset == scrollOffset) return;
    scrollOffset = offset;
    update();
}

void BlockPicture::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), kBackground);
    const QRect source = event->rect().translated(0, scrollOffset);
    const qreal dpr = picImg.devicePixelRatio();
    painter.drawPixmap(
        event->rect(), picImg,
        QRectF(source.x() * dpr, source.y() * dpr, source.width() * dpr, source.height() * dpr)
            .toRect());
}

void BlockPicture::wheelEvent(QWheelEvent* event) {
    const int before = scrollOffset;
    SetScrollOffset(scrollOffset - event->angleDelta().y() / 4);
    if (scrollOffset != before) emit ScrollOffsetChanged(scrollOffset);
    event->accept();
}

void BlockPicture::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Redraw();
    SetScrollOffset(scrollOffset);
}
