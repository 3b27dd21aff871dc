#include "store/WindowPlace.h"

#include <algorithm>
#include <limits>

#include "store/NumberRule.h"
#include "store/clsIniFile.h"

namespace {

const QString kSection = QStringLiteral("Window");

qint64 Area(const QRect& r) {
    return r.isValid() ? static_cast<qint64>(r.width()) * r.height() : 0;
}

// Squared distance between the centre of a and the nearest point of b.
qint64 Distance(const QRect& a, const QRect& b) {
    const QPoint c = a.center();
    const qint64 dx =
        c.x() < b.left() ? b.left() - c.x() : (c.x() > b.right() ? c.x() - b.right() : 0);
    const qint64 dy =
        c.y() < b.top() ? b.top() - c.y() : (c.y() > b.bottom() ? c.y() - b.bottom() : 0);
    return dx * dx + dy * dy;
}

}  // namespace

QRect WindowPlace::Fit(const QRect& place, const QList<QRect>& areas) {
    if (areas.isEmpty() || !place.isValid()) return place;
    for (const QRect& a : areas)
        if (a.contains(place)) return place;
    // The screen holding most of the window; when it lies on none, the nearest one.
    QRect best;
    qint64 bestArea = 0;
    for (const QRect& a : areas) {
        const qint64 shared = Area(a.intersected(place));
        if (shared > bestArea) {
            bestArea = shared;
            best = a;
        }
    }
    if (bestArea == 0) {
        qint64 nearest = std::numeric_limits<qint64>::max();
        for (const QRect& a : areas) {
            const qint64 d = Distance(place, a);
            if (d < nearest) {
                nearest = d;
                best = a;
            }
        }
    }
    QRect fitted = place;
    fitted.setWidth(std::min(place.width(), best.width()));
    fitted.setHeight(std::min(place.height(), best.height()));
    fitted.moveLeft(std::clamp(place.left(), best.left(), best.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(place.top(), best.top(), best.bottom() - fitted.height() + 1));
    return fitted;
}

QRect WindowPlace::Centered(const QSize& wanted, const QRect& area) {
    const int width = std::max(1, std::min(wanted.width(), area.width() - 2 * kFrameSide));
    const int height =
        std::max(1, std::min(wanted.height(), area.height() - kFrameTop - kFrameSide));
    const int left = area.left() + (area.width() - width) / 2;
    const int top = area.top() + kFrameTop + (area.height() - kFrameTop - kFrameSide - height) / 2;
    return QRect(left, top, width, height);
}

bool WindowPlace::FitsWithFrame(const QRect& place, const QList<QRect>& areas) {
    const QRect framed = place.adjusted(-kFrameSide, -kFrameTop, kFrameSide, kFrameSide);
    for (const QRect& a : areas)
        if (a.contains(framed)) return true;
    return false;
}

WindowPlace::Place WindowPlace::Read(const QString& iniPath, const QString& prefix) {
    clsIniFile ini(iniPath);
    int values[4] = {};
    const char* keys[4] = {"Left", "Top", "Width", "Height"};
    for (int i = 0; i < 4; ++i) {
        QString text;
        if (!ini.ReadValue(kSection, prefix + QLatin1String(keys[i]), &text)) return {};
        bool ok = false;
        values[i] = text.trimmed().toInt(&ok);
        if (!ok) return {};
    }
    Place place;
    place.Rect = QRect(values[0], values[1], values[2], values[3]);
    if (place.Rect.width() < 1 || place.Rect.height() < 1) return {};
    QString maximized;
    place.Maximized = ini.ReadValue(kSection, prefix + QStringLiteral("Maximized"), &maximized) &&
                      NumberRule::Val(maximized) != 0;
    return place;
}

bool WindowPlace::Write(const QString& iniPath, const QString& prefix, const Place& place) {
    clsIniFile ini(iniPath);
    ini.BeginUpdate();
    ini.SaveSetting(kSection, prefix + QStringLiteral("Left"), QString::number(place.Rect.left()));
    ini.SaveSetting(kSection, prefix + QStringLiteral("Top"), QString::number(place.Rect.top()));
    ini.SaveSetting(kSection, prefix + QStringLiteral("Width"),
                    QString::number(place.Rect.width()));
    ini.SaveSetting(kSection, prefix + QStringLiteral("Height"),
                    QString::number(place.Rect.height()));
    ini.SaveSetting(kSection, prefix + QStringLiteral("Maximized"),
                    place.Maximized ? QStringLiteral("1") : QStringLiteral("0"));
    return ini.EndUpdate();
}
