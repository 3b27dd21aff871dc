#include "pages/clsSearchQueue.h"

#include <QDir>
#include <QFile>

#include "pages/SearchFile.h"
#include "pages/SearchRecord.h"
#include "pages/clsDownHtml.h"
#include "store/AtomicFile.h"
#include "store/JobDbSideFiles.h"
#include "store/JobLog.h"
#include "store/NumberRule.h"
#include "store/UserMessage.h"

namespace {
// Sub-items of a row.
enum Column {
    ColState = 1,
    ColFileName = 2,
    ColSize = 3,
    ColComplete = 4,
    ColPercent = 5,
    ColLinks = 6,
    ColValidLinks = 7,
    ColFlash = 8,
    ColUrl = 9,
};

// Kinds of the search log's entries.
constexpr uint8_t LogConnecting = 1;  // connecting and connected
constexpr uint8_t LogRequestLine = 3;
constexpr uint8_t LogResponseLine = 4;
constexpr uint8_t LogPageComplete = 6;
constexpr uint8_t LogFailure = 8;
constexpr uint8_t LogFoundFlash = 9;
constexpr uint8_t LogFoundLink = 10;
constexpr uint8_t LogProgress = 100;

bool ValidSearch(int i) {
    return i >= 1 && i <= SearchCount && Searches[i].SearchState != SearchFree;
}
}  // namespace

const QStringList& clsSearchQueue::ColumnCaptions() {
    static const QStringList captions = {
        QStringLiteral("State"),       QStringLiteral("FileName"),      QStringLiteral("Size"),
        QStringLiteral("Complete"),    QStringLiteral("Percent"),       QStringLiteral("Links"),
        QStringLiteral("Valid Links"), QStringLiteral("Include Flash"), QStringLiteral("Url")};
    return captions;
}

clsSearchQueue::clsSearchQueue(QObject* parent) : QObject(parent) {
    analyser = new clsDownHtml(this);
    analyser->SearchAddedHook = [this](int i) { AddToSearchList(i); };
    connect(analyser, &clsDownHtml::UpdataState, this, &clsSearchQueue::clsDownHtml_UpdataState);
    connect(analyser, &clsDownHtml::DownComplete, this, &clsSearchQueue::clsDownHtml_DownComplete);
    connect(analyser, &clsDownHtml::FenXiComplete, this,
            &clsSearchQueue::clsDownHtml_FenXiComplete);
}

clsSearchQueue::~clsSearchQueue() = default;

void clsSearchQueue::SetAddToNowDownList(std::function<void(int)> hook) {
    addToNowDownList = std::move(hook);
    analyser->JobAddedHook = [this](int j) {
        if (addToNowDownList) addToNowDownList(j);
    };
}

const SearchRow* clsSearchQueue::Row(int i) const {
    const auto it = rows.find(i);
    return it == rows.end() ? nullptr : &it->second;
}

SearchRow* clsSearchQueue::MutableRow(int i) {
    const auto it = rows.find(i);
    return it == rows.end() ? nullptr : &it->second;
}

QList<int> clsSearchQueue::RowIndexes() const {
    QList<int> list;
    list.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& [index, row] : rows) list << index;
    return list;
}

void clsSearchQueue::AddToSearchList(int i) {
    if (!ValidSearch(i) || HasRow(i)) return;
    const SearchRecord& search = Searches[i];
    SearchRow row;
    row.Index = i;
    if (search.SearchState == SearchWaiting)
        row.Icon = QStringLiteral("Waitfor");
    else if (search.SearchState == SearchPaused)
        row.Icon = QStringLiteral("Pause");
    QString name = search.PageUrl.mid(search.PageUrl.lastIndexOf(u'/') + 1);
    if (name.isEmpty()) name = QStringLiteral("[Index.htm]");
    row.SubItems = {QString(),
                    QStringLiteral("Waiting Search"),
                    name,
                    QStringLiteral("??"),
                    QStringLiteral("0"),
                    QStringLiteral("0%"),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    QStringLiteral("0"),
                    search.PageUrl};
    const bool waiting = search.SearchState == SearchWaiting;
    rows.emplace(i, std::move(row));
    emit RowAdded(i);
    emit JobsChanged();
    if (waiting && !analyser->InUse && !StartSearch(i)) StartNextWaiting();
}

bool clsSearchQueue::StartSearch(int i) {
    CurSearchRow = HasRow(i) ? i : 0;
    CurSearch = static_cast<int16_t>(i);
    if (analyser->Create(i)) {
        analyser->Start();
        emit JobsChanged();
        return true;
    }
    // A page that cannot be fetched is an error; the caller goes on with the next job.
    CurSearchRow = 0;
    if (ValidSearch(i)) Searches[i].SearchState = SearchError;
    if (SearchRow* row = MutableRow(i)) {
        row->SubItems[ColState] = QStringLiteral("Error");
        row->Icon = QStringLiteral("Error");
        emit RowChanged(i);
    }
    emit JobsChanged();
    return false;
}

bool clsSearchQueue::StartNextWaiting() {
    if (analyser->InUse) return false;
    for (int i = 1; i <= SearchCount; ++i)
        if (Searches[i].SearchState == SearchWaiting && StartSearch(i)) return true;
    return false;
}

void clsSearchQueue::PauseAnalyser() {
    if (!analyser->InUse) return;
    analyser->Pause();
    if (analyser->InUse) return;  // the page is being analysed; it finishes by itself
    if (SearchRow* row = MutableRow(CurSearchRow)) {
        row->Icon = QStringLiteral("Pause");
        emit RowChanged(CurSearchRow);
    }
    emit JobsChanged();
}

void clsSearchQueue::SetState(int i, int32_t state, const QString& icon) {
    if (!ValidSearch(i)) return;
    Searches[i].SearchState = state;
    if (SearchRow* row = MutableRow(i)) {
        row->Icon = icon;
        emit RowChanged(i);
    }
    emit JobsChanged();
}

void clsSearchQueue::StartSearchJob(int selected) {
    if (!HasRow(selected) || !ValidSearch(selected)) return;
    if (analyser->InUse) {
        // The job the analyser is serving already runs.
        if (selected == analyser->SearchIndex && selected == CurSearch) return;
        SetState(selected, SearchWaiting, QStringLiteral("Waitfor"));
        return;
    }
    StartSearch(selected);
}

void clsSearchQueue::PauseSearchJob() {
    PauseAnalyser();
    StartNextWaiting();
}

void clsSearchQueue::StartAllSearchJob() {
    for (int i = 1; i <= SearchCount; ++i) {
        if (Searches[i].SearchState != SearchPaused) continue;
        if (!analyser->InUse)
            StartSearch(i);
        else
            SetState(i, SearchWaiting, QStringLiteral("Waitfor"));
    }
}

void clsSearchQueue::PauseAllSearchJob() {
    PauseAnalyser();
    for (const int i : RowIndexes()) {
        const int32_t state = Searches[i].SearchState;
        if (state == SearchRunning || state == SearchWaiting)
            SetState(i, SearchPaused, QStringLiteral("Pause"));
    }
}

void clsSearchQueue::DeleteSearchJobs(const QList<int>& selected) {
    bool stoppedCurrent = false;
    for (int i = 1; i <= SearchCount; ++i) {
        if (Searches[i].SearchState == SearchFree || !selected.contains(i)) continue;
        if (i == CurSearch && analyser->InUse) {
            // Its events have no row any more; a transfer is stopped, an analysis finishes.
            PauseAnalyser();
            stoppedCurrent = true;
        }
        if (i == CurSearchRow) CurSearchRow = 0;
        Searches[i].SearchState = SearchFree;
        if (rows.erase(i) != 0) emit RowRemoved(i);
        emit JobsChanged();
    }
    if (stoppedCurrent) StartNextWaiting();
}

void clsSearchQueue::KeepBeside(const QString& dbPath) {
    Load(SearchFile::PathBeside(dbPath));
    JobDbSideFiles::Add(this, [this](const QString& db) { Save(SearchFile::PathBeside(db)); });
}

bool clsSearchQueue::Save(const QString& path) {
    std::vector<SearchFile::Entry> entries;
    for (int i = 1; i <= SearchCount; ++i) {
        if (Searches[i].SearchState == SearchFree) continue;
        SearchFile::Entry e{Searches[i], {}, {}};
        SearchRecord& r = e.record;
        if (r.SearchState == SearchError || r.SearchState == SearchAnalysed) {
            if (const SearchRow* row = Row(i)) {
                e.icon = row->Icon;
                e.texts = row->SubItems;
            }
        } else {
            // A job that has not ended starts its page anew: its figures are not kept, so the
            // file changes with the jobs' states only, not with every block of a page.
            if (r.SearchState == SearchRunning) r.SearchState = SearchWaiting;
            r.PageSize = 0;
            r.PageReceived = 0;
        }
        entries.push_back(std::move(e));
    }
    const QByteArray bytes = SearchFile::ToBytes(entries);
    if (path == savedPath && bytes == savedBytes && QFile::exists(path)) return true;
    QString error;
    if (!AtomicFile::Write(path, bytes, &error)) {
        if (!saveFailed)
            UserMessage::Show(UserMessage::Critical, QStringLiteral("Quorvanta"),
                              QStringLiteral("The search jobs could not be saved to %1:\n%2\n"
                                             "The previous file was left as it was.")
                                  .arg(QDir::toNativeSeparators(path), error));
        saveFailed = true;
        return false;
    }
    saveFailed = false;
    savedPath = path;
    savedBytes = bytes;
    return true;
}

int clsSearchQueue::Load(const QString& path) {
    QFile file(path);
    if (!file.exists()) return 0;
    QByteArray bytes;
    std::vector<SearchFile::Entry> entries;
    bool whole = file.open(QIODevice::ReadOnly);
    if (whole) {
        bytes = file.readAll();
        whole = file.error() == QFileDevice::NoError && SearchFile::FromBytes(bytes, &entries);
    }
    int loaded = 0;
    for (SearchFile::Entry& e : entries) {
        SearchRecord& record = e.record;
        if (record.SearchState == SearchFree) continue;
        // A job the end of the program cut off is served again in its turn (saved so already).
        if (record.SearchState == SearchRunning) record.SearchState = SearchWaiting;
        const int i = AddSearch(record);
        if (i == 0) break;
        ++loaded;
        const bool finished =
            record.SearchState == SearchError || record.SearchState == SearchAnalysed;
        AddToSearchList(i);
        SearchRow* row = MutableRow(i);
        if (finished && row && e.texts.size() == row->SubItems.size()) {
            row->Icon = e.icon;
            row->SubItems = e.texts;
            emit RowChanged(i);
        }
    }
    if (whole) {
        savedPath = path;
        savedBytes = bytes;
        return loaded;
    }
    const QString keptAs = path + QStringLiteral(".bad");
    QFile::remove(keptAs);
    const bool kept = QFile::copy(path, keptAs);
    UserMessage::Show(
        UserMessage::Warning, QStringLiteral("Quorvanta"),
        QStringLiteral("The search jobs in %1 could not be read whole. What could be read was "
                       "loaded (%2 search jobs).%3")
            .arg(QDir::toNativeSeparators(path), QString::number(loaded),
                 kept ? QStringLiteral("\nThe file was kept as ") +
                            QDir::toNativeSeparators(keptAs) + u'.'
                      : QString()));
    return loaded;
}

bool clsSearchQueue::SearchCommandsEnabled(int activeList) const {
    return activeList == 1 && !rows.empty() && ShownSearch != 0;
}

void clsSearchQueue::ShowSearch(int i) {
    ShownSearch = static_cast<int16_t>(i);
    emit SearchLogChanged(i, 0);
}

QStringList clsSearchQueue::DetailLines(const QString& detail) {
    QStringList lines;
    QStringView rest(detail);
    do {
        const qsizetype end = rest.indexOf(QStringLiteral("\r\n"));
        if (end >= 0) {
            lines << rest.left(end).toString();
            rest = rest.mid(end + 2);
        } else {
            rest = rest.mid(rest.isEmpty() ? 0 : 1);
        }
    } while (rest.size() >= 4);
    return lines;
}

void clsSearchQueue::clsDownHtml_UpdataState(const QString& Kind, const QString& Detail) {
    const int r = CurSearchRow;
    SearchRow* row = MutableRow(r);
    if (!row) return;
    int32_t first = 0;
    auto log = [&](const QString& text, uint8_t kind) {
        const int n = AddLog(row->EntryList, text, kind, 0);
        if (first == 0) first = n;
    };
    bool changed = true;
    if (Kind == QLatin1String("Connecting")) {
        row->SubItems[ColState] = QStringLiteral("Connecting");
        row->Icon = QStringLiteral("Start");
        log(QStringLiteral("Connecting:") + Detail, LogConnecting);
    } else if (Kind == QLatin1String("Connected")) {
        row->SubItems[ColState] = QStringLiteral("Connected");
        log(QStringLiteral("Connected:") + Detail, LogConnecting);
    } else if (Kind == QLatin1String("Request")) {
        row->SubItems[ColState] = QStringLiteral("Request");
        log(QStringLiteral("Send Request."), LogProgress);
        for (const QString& line : DetailLines(Detail)) log(line, LogRequestLine);
        log(QStringLiteral("Waiting For Server Response..."), LogProgress);
    } else if (Kind == QLatin1String("Response")) {
        row->SubItems[ColState] = QStringLiteral("Response");
        log(QStringLiteral("Reveive the Server Response.."), LogProgress);
        for (const QString& line : DetailLines(Detail)) log(line, LogResponseLine);
        log(QStringLiteral("Start Receiving Date..."), LogProgress);
    } else if (Kind == QLatin1String("DataArrival")) {
        const SearchRecord& search = Searches[r];
        row->SubItems[ColState] = QStringLiteral("Receive Data");
        row->SubItems[ColSize] = QString::number(search.PageSize);
        row->SubItems[ColComplete] = QString::number(search.PageReceived);
        if (search.PageSize > 0) {
            const double percent = NumberRule::RoundHalfEven(
                static_cast<double>(search.PageReceived) / search.PageSize * 100.0);
            row->SubItems[ColPercent] = QString::number(percent, 'f', 0) + QStringLiteral("%");
        }
        emit RowChanged(r);
        return;
    } else if (Kind == QLatin1String("NotPage")) {
        // Not analysed: the answer is no page; its body was not read.
        log(Detail, LogProgress);
    } else if (Kind == QLatin1String("Close")) {
        row->SubItems[ColState] = QStringLiteral("Anlylizing");
        log(QStringLiteral("Receive Data Complete ."), LogPageComplete);
        log(QStringLiteral("Start Analysis.."), LogProgress);
    } else if (Kind == QLatin1String("RequestError")) {
        row->SubItems[ColState] = QStringLiteral("Error");
        log(QStringLiteral("Receive Data Error ."), LogFailure);
    } else if (Kind == QLatin1String("Error")) {
        // A failed connection ends the job like a refused request; the reason is logged.
        row->SubItems[ColState] = QStringLiteral("Error");
        log(Detail, LogFailure);
    } else if (Kind == QLatin1String("Found Flash")) {
        row->SubItems[ColFlash] = QString::number(NumberRule::Val(row->SubItems[ColFlash]) + 1);
        log(QStringLiteral("Found Flash. ") + Detail, LogFoundFlash);
    } else if (Kind == QLatin1String("Skipped Flash")) {
        // A movie of the page that is in the job list already: counted, not added again.
        row->SubItems[ColFlash] = QString::number(NumberRule::Val(row->SubItems[ColFlash]) + 1);
        log(QStringLiteral("Found Flash already in the job list. ") + Detail, LogFoundFlash);
    } else if (Kind == QLatin1String("Found A Link")) {
        row->SubItems[ColLinks] = QString::number(NumberRule::Val(row->SubItems[ColLinks]) + 1);
        log(QStringLiteral("Found A Link.") + Detail, LogFoundLink);
    } else {
        changed = false;
    }
    if (changed) emit RowChanged(r);
    if (first != 0 && CurSearch == ShownSearch) emit SearchLogChanged(r, first);
}

void clsSearchQueue::clsDownHtml_DownComplete() {
    analyser->Fenxi();
}

void clsSearchQueue::clsDownHtml_FenXiComplete() {
    const int r = CurSearchRow;
    if (SearchRow* row = MutableRow(r)) {
        const bool failed = CurSearch >= 1 && CurSearch <= SearchCount &&
                            Searches[CurSearch].SearchState == SearchError;
        // A failed job keeps "Error" in its state column.
        if (!failed) row->SubItems[ColState] = QStringLiteral("Anlyliz Complete");
        const int n = AddLog(row->EntryList, QStringLiteral("Anlyliz Complete"), LogProgress, 0);
        row->Icon = failed ? QStringLiteral("Error") : QStringLiteral("Ok");
        emit RowChanged(r);
        if (CurSearch == ShownSearch) emit SearchLogChanged(r, n);
    }
    analyser->InUse = false;
    emit JobsChanged();
    StartNextWaiting();
}
