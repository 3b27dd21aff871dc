#pragma once
// The new-job dialog's main tabs: caption, key, the mode each stands for and its sub-tabs.

#include <QList>
#include <QPair>
#include <QString>

#include "newjob/NewJobMode.h"

class NewJobTabs {
public:
    struct MainTab {
        QString caption;
        QString key;
        NewJobModeValue mode;
        QList<QPair<QString, QString>> subTabs;  // caption, key
    };

    // In tab order: "OneFile", "Search", "BatFile", "FromIe".
    static const QList<MainTab>& All();
    // The tab of a key, or of a mode; nullptr when there is none.
    static const MainTab* Find(const QString& key);
    static const MainTab* OfMode(NewJobModeValue mode);
};
