#pragma once
// Shared set-up for the category tree tests: a fresh tree with the skeleton, an empty job
// table, and captured dialog messages.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <vector>

#include "store/CategoryTree.h"
#include "store/JobRecord.h"

struct CapturedMessage {
    QMessageBox::Icon icon;
    QString text;
};

class TreeTestScope {
public:
    TreeTestScope();
    ~TreeTestScope();

    CategoryTree tree;
    std::vector<CapturedMessage> messages;
    QStringList folderRequests;
    QString nextFolder;  // answer of the folder browser (empty: cancelled)
};

// Adds a job and returns its index.
int AddTestJob(const QString& classKey, int state, const QString& localFile = QString(),
               double createTime = 0);
