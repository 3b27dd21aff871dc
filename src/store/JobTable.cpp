#include "store/JobTable.h"

#include "store/NumberRule.h"
#include "store/UserMessage.h"

std::vector<JobRecord> Jobs(1);
int16_t JobCount = 0;

int AddJob(const JobRecord& record) {
    if (JobCount >= kMaxJobs) {
        UserMessage::Show(
            UserMessage::Warning, QStringLiteral("Quorvanta"),
            QStringLiteral("The job list is full (32767 jobs). The job was not added."));
        return 0;
    }
    ++JobCount;
    Jobs.resize(static_cast<size_t>(JobCount) + 1);
    Jobs[JobCount] = record;
    return JobCount;
}

void ClearJobs() {
    Jobs.assign(1, JobRecord{});
    JobCount = 0;
}

int KeyIndex(const QString& rowKey) {
    qsizetype n = 0;
    while (n < rowKey.size() && rowKey.at(n).isDigit()) ++n;
    return NumberRule::ToInt32(NumberRule::Val(rowKey.left(n)));
}
