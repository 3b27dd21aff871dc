#include "widgets/Icons.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSet>
#include <array>

static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace {

// Theme names tried for each key.
const QHash<QString, QString>& ThemeNames() {
    static const QHash<QString, QString> names = {
        {"app", "folder-download"},
        {"AddNewJob", "list-add"},
        {"AddNewJobB", "edit-copy"},
        {"AddSearch", "edit-find"},
        {"Start", "media-playback-start"},
        {"Pause", "media-playback-pause"},
        {"AllStart", "media-seek-forward"},
        {"AllPause", "media-playback-stop"},
        {"Comment", "document-edit"},
        {"Delete", "edit-delete"},
        {"Openfile", "document-open"},
        {"Opendir", "folder-open"},
        {"AddPf", "document-new"},
        {"AddPbf", "folder-new"},
        {"Option", "preferences-system"},
        {"Help", "help-contents"},
        {"Home", "go-home"},
        {"About", "help-about"},
        {"Play", "media-playback-start"},
        {"Stop", "media-playback-stop"},
        {"Last", "media-skip-backward"},
        {"Next", "media-skip-forward"},
        {"FullS", "view-fullscreen"},
        {"Waitfor", "appointment-soon"},
        {"Error", "dialog-error"},
        {"Ok", "emblem-ok"},
        {"Info1", "dialog-information"},
        {"1", "network-server"},
        {"2", "edit-find"},
        {"3", "folder-download"},
        {"4", "folder"},
        {"5", "folder"},
        {"6", "folder-open"},
        {"7", "user-trash"},
        {"History", "document-open-recent"},
        {"History1", "x-office-calendar"},
    };
    return names;
}

// The keys of the job and log lists' states, drawn when neither our pictures nor the theme
// have them ("Jet" is a connection node of the part tree).
const QSet<QString>& DrawnKeys() {
    static const QSet<QString> keys = {"Start", "Pause",   "Waitfor",  "Error",    "Ok",
                                       "Info1", "Request", "Response", "PicChart", "Jet"};
    return keys;
}

QPixmap Canvas(int size) {
    QPixmap pix(size, size);
    pix.fill(Qt::transparent);
    return pix;
}

void Disc(QPainter& p, int size, const QColor& colour) {
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, colour.lighter(125));
    g.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(140), size / 16.0));
    p.setBrush(g);
    const qreal m = size / 10.0;
    p.drawEllipse(QRectF(m, m, size - 2 * m, size - 2 * m));
}

QPixmap Draw(const QString& key, int size) {
    QPixmap pix = Canvas(size);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    if (key == "Start") {
        Disc(p, size, QColor(46, 160, 67));
        QPainterPath tri;
        tri.moveTo(s * 0.40, s * 0.30);
        tri.lineTo(s * 0.72, s * 0.50);
        tri.lineTo(s * 0.40, s * 0.70);
        tri.closeSubpath();
        p.fillPath(tri, Qt::white);
    } else if (key == "Pause") {
        Disc(p, size, QColor(230, 150, 30));
        p.fillRect(QRectF(s * 0.35, s * 0.30, s * 0.11, s * 0.40), Qt::white);
        p.fillRect(QRectF(s * 0.54, s * 0.30, s * 0.11, s * 0.40), Qt::white);
    } else if (key == "Waitfor") {
        Disc(p, size, QColor(90, 120, 170));
        p.setPen(QPen(Qt::white, s / 10.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.5, s * 0.28));
        p.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.68, s * 0.6));
    } else if (key == "Error") {
        Disc(p, size, QColor(210, 45, 45));
        p.setPen(QPen(Qt::white, s / 9.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.35, s * 0.35), QPointF(s * 0.65, s * 0.65));
        p.drawLine(QPointF(s * 0.65, s * 0.35), QPointF(s * 0.35, s * 0.65));
    } else if (key == "Ok") {
        Disc(p, size, QColor(46, 160, 67));
        p.setPen(QPen(Qt::white, s / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(s * 0.30, s * 0.52);
        tick.lineTo(s * 0.45, s * 0.66);
        tick.lineTo(s * 0.70, s * 0.36);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else if (key == "Info1") {
        Disc(p, size, QColor(60, 120, 200));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(s * 0.5, s * 0.31), s * 0.06, s * 0.06);
        p.drawRect(QRectF(s * 0.45, s * 0.43, s * 0.10, s * 0.30));
    } else if (key == "Request" || key == "Response") {
        const bool up = key == "Request";
        const QColor c = up ? QColor(0, 140, 150) : QColor(120, 90, 190);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(s * 0.1, s * 0.1, s * 0.8, s * 0.8), s * 0.15, s * 0.15);
        QPainterPath arrow;
        const qreal tip = up ? 0.22 : 0.78, base = up ? 0.50 : 0.50, tail = up ? 0.78 : 0.22;
        arrow.moveTo(s * 0.5, s * tip);
        arrow.lineTo(s * 0.76, s * base);
        arrow.lineTo(s * 0.24, s * base);
        arrow.closeSubpath();
        p.fillPath(arrow, Qt::white);
        p.fillRect(QRectF(s * 0.42, std::min(base, tail) * s, s * 0.16, std::abs(tail - base) * s),
                   Qt::white);
    } else if (key == "PicChart") {
        const std::array<QColor, 4> c = {Icons::PartColor(1), Icons::PartColor(2),
                                         Icons::PartColor(3), QColor(200, 200, 200)};
        const qreal cell = s * 0.36, gap = s * 0.08, o = s * 0.10;
        for (int i = 0; i < 4; ++i) {
            const QRectF r(o + (i % 2) * (cell + gap), o + (i / 2) * (cell + gap), cell, cell);
            p.setPen(QPen(c[i].darker(130), 1));
            p.setBrush(c[i]);
            p.drawRoundedRect(r, 2, 2);
        }
    } else {
        Disc(p, size, QColor(128, 128, 128));
    }
    return pix;
}

QIcon Drawn(const QString& key) {
    QIcon icon;
    for (int size : {16, 22, 32, 48}) icon.addPixmap(Draw(key, size));
    return icon;
}

}  // namespace

QIcon Icons::Get(const QString& key) {
    static bool initialised = false;
    if (!initialised) {
        InitIconResources();
        initialised = true;
    }
    static QHash<QString, QIcon> cache;
    auto it = cache.constFind(key);
    if (it != cache.cend()) return *it;
    QIcon icon;
    const QString ours = QStringLiteral(":/icons/%1.png").arg(key);
    if (QFile::exists(ours)) icon = QIcon(ours);
    const QString theme = ThemeNames().value(key);
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) icon = QIcon::fromTheme(theme, icon);
    if (icon.isNull())
        icon = DrawnKeys().contains(key) ? Drawn(key) : QIcon(QStringLiteral(":/icons/app.png"));
    cache.insert(key, icon);
    return icon;
}

QColor Icons::PartColor(int part) {
    // Ten clearly different hues that stay readable on white and on the dark tile edge.
    static const std::array<QColor, 10> colours = {
        QColor(33, 118, 210), QColor(46, 160, 67), QColor(236, 128, 20), QColor(142, 68, 173),
        QColor(214, 51, 108), QColor(0, 150, 160), QColor(192, 150, 0),  QColor(96, 110, 220),
        QColor(120, 160, 40), QColor(200, 70, 40),
    };
    if (part < 1 || part > 10) return QColor(128, 128, 128);
    return colours[static_cast<size_t>(part - 1)];
}

QIcon Icons::PartIcon(int part) {
    static QHash<int, QIcon> cache;
    auto it = cache.constFind(part);
    if (it != cache.cend()) return *it;
    QIcon icon;
    for (int size : {16, 22, 32}) {
        QPixmap pix = Canvas(size);
        QPainter p(&pix);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        const QColor c = PartColor(part);
        p.setPen(QPen(c.darker(140), 1));
        p.setBrush(c);
        p.drawRoundedRect(QRectF(s * 0.12, s * 0.12, s * 0.76, s * 0.76), s * 0.18, s * 0.18);
        p.setPen(QPen(Qt::white, s / 9.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(s * 0.30, s * 0.5), QPointF(s * 0.70, s * 0.5));
        p.drawLine(QPointF(s * 0.55, s * 0.35), QPointF(s * 0.70, s * 0.5));
        p.drawLine(QPointF(s * 0.55, s * 0.65), QPointF(s * 0.70, s * 0.5));
        icon.addPixmap(pix);
    }
    cache.insert(part, icon);
    return icon;
}
