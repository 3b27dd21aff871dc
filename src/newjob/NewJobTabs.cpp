#include "newjob/NewJobTabs.h"

const QList<NewJobTabs::MainTab>& NewJobTabs::All() {
    static const QList<MainTab> tabs{
        {QStringLiteral("Add Single File"),
         QStringLiteral("OneFile"),
         ModeSingleFile,
         {{QStringLiteral(" Gerenal "), QStringLiteral("Gernal")}}},
        {QStringLiteral("Add Page Search"),
         QStringLiteral("Search"),
         ModePageSearch,
         {{QStringLiteral(" Search Setting "), QStringLiteral("Search")},
          {QStringLiteral(" Save Option "), QStringLiteral("Save")}}},
        {QStringLiteral("Add Batch File"),
         QStringLiteral("BatFile"),
         ModeBatch,
         {{QStringLiteral(" Generate Url "), QStringLiteral("Url")},
          {QStringLiteral(" Save Option "), QStringLiteral("Save")}}},
        {QStringLiteral("Add Page Links Download"),
         QStringLiteral("FromIe"),
         ModePageLinks,
         {{QStringLiteral(" Select Url "), QStringLiteral("Select")},
          {QStringLiteral(" Save Option "), QStringLiteral("Save")}}},
    };
    return tabs;
}

const NewJobTabs::MainTab* NewJobTabs::Find(const QString& key) {
    for (const MainTab& tab : All())
        if (tab.key == key) return &tab;
    return nullptr;
}

const NewJobTabs::MainTab* NewJobTabs::OfMode(NewJobModeValue mode) {
    for (const MainTab& tab : All())
        if (tab.mode == mode) return &tab;
    return nullptr;
}
