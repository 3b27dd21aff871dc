#pragma once
// Icons of the job lists, the log lists and the part tree by their image-list keys ("Start",
// "Pause", "Waitfor", "Error", "Ok", "Info1", "Request", "Response", "Jet", "PicChart"). The
// desktop theme's icon is used when it has one; otherwise a small drawn icon, so the lists never
// show the same placeholder for every state.

#include <QColor>
#include <QIcon>
#include <QString>

QIcon ManagerIcon(const QString& key);

// The colour that stands for connection 1..10 in the block picture and the part tree.
QColor PartColor(int part);

// A part node's icon: the connection symbol in that connection's colour.
QIcon PartIcon(int part);
