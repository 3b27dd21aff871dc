#include "ui/DroppedLink.h"

#include <QMimeData>
#include <QUrl>

bool DroppedLink::Offered(const QMimeData* data) {
    return data != nullptr && (data->hasText() || data->hasUrls());
}

QString DroppedLink::Text(const QMimeData* data) {
    if (data == nullptr) return QString();
    QString text;
    if (data->hasText())
        text = data->text();
    else if (data->hasUrls() && !data->urls().isEmpty())
        text = data->urls().constFirst().toString();
    // A dragged link may bring its title on further lines: the first line is the address.
    return text.section(u'\n', 0, 0).trimmed();
}
