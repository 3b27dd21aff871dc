#pragma once
// Listing log entries in a list with the columns "Date Time" and "Infomation": the log of one
// connection of a download job (lvResponse(1)) and the log of a search job (lvHaveDownHtml).

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>

class QTreeWidget;
class QWidget;

// Role of column 0 that holds a row's log kind (the row's tag).
constexpr int LogKindRole = Qt::UserRole + 1;

// Lists the entries of entryList ("1,5,9,") whose part is the given one, oldest first.
// first = 0 clears the list and lists them all; first > 0 appends only the entries numbered first
// and above (what the event being handled has just written). Each row is drawn on the band colour
// of its kind, with the kind's icon; the last row is brought into view.
void LookSearchLogLv(QTreeWidget* list, const QString& entryList, uint8_t part, int32_t first);

// Brings the list's last row into view when the list is visible.
void ScrollList(QTreeWidget* list);

// A log list with its two columns, ready to be placed.
QTreeWidget* NewLogList(const QString& objectName, QWidget* parent = nullptr);

// The look of a log kind: its icon key ("" for none) and its band colour (none for kinds 6, 10
// and unknown kinds).
QString LogKindIconKey(uint8_t kind);
std::optional<QColor> LogKindBand(uint8_t kind);

// A log time as the lists show it (local date and time with seconds).
QString LogTimeText(double logTime);
