#include "TreeTestSupport.h"

#include "store/JobDb.h"
#include "store/JobTable.h"
#include "store/VbDate.h"
#include "widgets/DialogHooks.h"

TreeTestScope::TreeTestScope() {
    ClearJobs();
    AddFixedNodes(tree, true);
    AddHistoryNodes(tree);
    DialogHooks::SetMessageHook([this](QWidget*, QMessageBox::Icon icon, const QString& text,
                                       QMessageBox::StandardButtons) {
        messages.push_back({icon, text});
        return QMessageBox::Ok;
    });
    DialogHooks::SetFolderHook([this](QWidget*, const QString& start) {
        folderRequests.append(start);
        return nextFolder;
    });
}

TreeTestScope::~TreeTestScope() {
    DialogHooks::SetMessageHook({});
    DialogHooks::SetFolderHook({});
    ClearJobs();
}

int AddTestJob(const QString& classKey, int state, const QString& localFile, double createTime) {
    JobRecord job;
    job.ClassKey = classKey;
    job.State = state;
    job.LocalFile =
        localFile.isEmpty() ? QStringLiteral("/tmp/none/file%1.swf").arg(JobCount + 1) : localFile;
    job.Url = QStringLiteral("http://127.0.0.1/file%1.swf").arg(JobCount + 1);
    job.FileSize = 1000 + JobCount;
    job.CreateTime = createTime == 0 ? VbDate::Now() : createTime;
    return AddJob(job);
}
