// The job database's side files: the validators of the downloads and the page searches. What is
// read is written and read back the same.

#include "fuzz/FuzzSupport.h"
#include "pages/SearchFile.h"
#include "store/JobValidators.h"

QV_FUZZ_ENTRY(side_files) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QHash<QString, JobValidator> table = JobValidators::FromBytes(bytes);
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        QV_FUZZ_CHECK(!it.key().isEmpty() && !it.value().IsEmpty());
        it.value().IfRange();
    }
    QV_FUZZ_CHECK(JobValidators::FromBytes(JobValidators::ToBytes(table)) == table);

    std::vector<SearchFile::Entry> entries;
    if (SearchFile::FromBytes(bytes, &entries)) {
        std::vector<SearchFile::Entry> back;
        QV_FUZZ_CHECK(SearchFile::FromBytes(SearchFile::ToBytes(entries), &back));
        QV_FUZZ_CHECK(back.size() == entries.size());
        QV_FUZZ_CHECK(SearchFile::ToBytes(back) == SearchFile::ToBytes(entries));
    }
    return 0;
}
