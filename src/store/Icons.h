#pragma once
// Icons by the image-list keys the program uses ("Start", "Pause", "Waitfor", "Error", "Ok",
// "Info1", "Request", "Response", tree images "1".."7", "History", "History1", tool bar keys
// such as "AddNewJob" or "FullS"). The desktop's icon theme is asked first; our own small
// fallbacks are used where the theme has nothing, so every key always gives an icon.

#include <QIcon>
#include <QString>

QIcon QvIcon(const QString& key);
