#include "manager/clsJobManager.h"

#include <algorithm>
#include <cmath>

#include "engine/DownloadLogText.h"
#include "engine/DownloadSlot.h"
#include "engine/UrlParts.h"
#include "store/Globals.h"
#include "store/JobLog.h"
#include "store/JobTable.h"
#include "store/NumberRule.h"
#include "store/Settings.h"
#include "store/TransferText.h"
#include "store/VbDate.h"

QStringList clsJobManager::ColumnTitles() {
    return {QStringLiteral("State "),   QStringLiteral("FileName"), QStringLiteral("FileSize"),
            QStringLiteral("Complete"), QStringLiteral("Percent"),  QStringLiteral("Part"),
            QStringLiteral("Url"),      QStringLiteral("Comment"),  QStringLiteral("Speed"),
            QStringLiteral("Time Left")};
}

clsJobManager::clsJobManager(QObject* parent) : QObject(parent) {
    for (int k = 1; k <= kSlots; ++k) {
        DownloadSlot* slot = scheduler.Slot(k);
        connect(slot, &DownloadSlot::Report, this, &clsJobManager::UpdateDownloadState);
        connect(slot, &DownloadSlot::Completed, this, &clsJobManager::OnCompleted);
        connect(slot, &DownloadSlot::RunEnded, this, &clsJobManager::OnRunEnded);
        connect(slot, &DownloadSlot::StateIcon, this, &clsJobManager::OnStateIcon);
        connect(slot, &DownloadSlot::Notice, this, &clsJobManager::OnNotice);
        // A file is about to be made, or a finished one to take its final name.
        auto aboutToBeMade = [this](int, int jobIndex, const QString& name) {
            emit JobFileAboutToBeMade(jobIndex, name);
        };
        connect(slot, &DownloadSlot::FileAboutToBeMade, this, aboutToBeMade);
        connect(slot, &DownloadSlot::FileAboutToBeRenamed, this, aboutToBeMade);
        connect(slot, &DownloadSlot::LayingOutFile, this,
                [this](int, int jobIndex, const QString& name, qint64 done, qint64 size,
                       bool ended) { emit JobFileLayout(jobIndex, name, done, size, ended); });
    }
    clock.start();
    // The status bar's rate is the sum of the rows' speeds: one measure for both places.
    connect(&scheduler, &SlotScheduler::TransferRate, this, [this](qint64 rate, int busy) {
        qint64 sum = 0;
        bool measured = false;
        for (const Row& row : std::as_const(rows))
            if (row.Speed >= 0) {
                sum += static_cast<qint64>(row.Speed);
                measured = true;
            }
        emit TransferRate(busy == 0 ? 0 : (measured ? sum : rate), busy);
    });
    connect(&scheduler, &SlotScheduler::RatesDue, this, &clsJobManager::RefreshRates);
}

clsJobManager::~clsJobManager() = default;

bool clsJobManager::ValidJob(int j) const {
    return j >= 1 && j <= JobCount;
}

void clsJobManager::NotifyStates() {
    // Once the handler has run to its end (a finished job's slot may go to the next job), the
    // status bar's count of running jobs follows at once, not at the next tick of the rate.
    if (scheduler.Measuring())
        QMetaObject::invokeMethod(&scheduler, &SlotScheduler::CheckBusy, Qt::QueuedConnection);
    // Operations over many rows tell once, at their end.
    if (quietDepth > 0)
        statesPending = true;
    else
        emit JobStatesChanged();
}

clsJobManager::Quiet::Quiet(clsJobManager* m) : manager(m) {
    ++manager->quietDepth;
}

clsJobManager::Quiet::~Quiet() {
    if (--manager->quietDepth == 0 && manager->statesPending) {
        manager->statesPending = false;
        emit manager->JobStatesChanged();
    }
}

DownloadSlot* clsJobManager::Slot(int k) const {
    return scheduler.Slot(k);
}

int clsJobManager::SlotJob(int k) const {
    return scheduler.SlotJob(k);
}

int clsJobManager::SlotItem(int k) const {
    return (k < 1 || k > kSlots) ? 0 : slotItem[static_cast<size_t>(k)];
}

uint8_t clsJobManager::SlotViewPart(int k) const {
    return (k < 1 || k > kSlots) ? 0 : slotViewPart[static_cast<size_t>(k)];
}

// ---------------------------------------------------------------------------------------------
// Slot table

DownloadSlot* clsJobManager::FindOneCls() {
    return scheduler.FindFree(Settings.Maxjobs);
}

DownloadSlot* clsJobManager::FindSelectCls(int j) const {
    const int k = FindSelectClsId(j);
    return k == 0 ? nullptr : Slot(k);
}

int16_t clsJobManager::FindSelectClsId(int j) const {
    return scheduler.FindJobSlot(j);
}

DownloadSlot* clsJobManager::RunningSlot(int j) const {
    return scheduler.RunningSlot(j);
}

void clsJobManager::SaveCls() {
    scheduler.PauseBusy();
}

// ---------------------------------------------------------------------------------------------
// Rows

QStringList clsJobManager::RowTexts(int j) const {
    auto it = rows.constFind(j);
    return it == rows.cend() ? QStringList() : it->Cells;
}

double clsJobManager::RowSpeed(int j) const {
    auto it = rows.constFind(j);
    return it == rows.cend() ? -1 : it->Speed;
}

qint64 clsJobManager::RowSecondsLeft(int j) const {
    auto it = rows.constFind(j);
    return it == rows.cend() ? -1 : it->SecondsLeft;
}

int clsJobManager::RowIcon(int j) const {
    auto it = rows.constFind(j);
    return it == rows.cend() ? -1 : it->Icon;
}

QString clsJobManager::RowTag(int j) const {
    auto it = rows.constFind(j);
    return it == rows.cend() ? QString() : it->Tag;
}

QString clsJobManager::ErrorText(int j) const {
    auto it = rows.constFind(j);
    if (it == rows.cend() || !ValidJob(j) || Jobs[static_cast<size_t>(j)].State != StateError)
        return QString();
    return it->Problem;
}

int clsJobManager::Log(Row& row, const QString& text, uint8_t kind, uint8_t part) {
    if (kind == LogProblem) {
        row.Problem = text;
        row.ProblemPart = part;
    }
    return AddLog(row.Tag, text, kind, part);
}

void clsJobManager::SetRowIcon(int j, int state) {
    // Running, paused, waiting and error have icons; any other state leaves the icon as it is.
    if (state != StateRunning && state != StatePaused && state != StateWaiting &&
        state != StateError)
        return;
    auto it = rows.find(j);
    if (it == rows.end()) return;
    if (it->Icon == state) return;
    it->Icon = state;
    emit RowIconChanged(j, state);
}

void clsJobManager::SetJobState(int j, int state) {
    if (!ValidJob(j)) return;
    Jobs[static_cast<size_t>(j)].State = state;
    SetRowIcon(j, state);
}

void clsJobManager::RefreshFigures(int j, bool rounded) {
    auto it = rows.find(j);
    if (it == rows.end() || !ValidJob(j)) return;
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    QStringList& cells = it->Cells;
    QString percent;
    if (rounded) {
        // The refresh rounds to the nearest whole percent (halves to even) ...
        if (job.FileSize >= 1)
            percent = QString::number(static_cast<qint64>(NumberRule::RoundHalfEven(
                          static_cast<double>(job.Received) / job.FileSize * 100.0))) +
                      "%";
        else
            percent = cells[ColPercent];
    } else {
        // ... while the first fill cuts the fraction off.
        percent =
            job.FileSize != 0
                ? QString::number(static_cast<qint64>(job.Received) * 100 / job.FileSize) + "%"
                : QStringLiteral("0%");
    }
    const QString size = QString::number(job.FileSize);
    const QString received = QString::number(job.Received);
    if (cells[ColFileSize] == size && cells[ColComplete] == received &&
        cells[ColPercent] == percent)
        return;
    cells[ColFileSize] = size;
    cells[ColComplete] = received;
    cells[ColPercent] = percent;
    emit RowChanged(j);
}

void clsJobManager::AddToNowDownList(int j) {
    if (!ValidJob(j)) return;
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    if (!rows.contains(j)) {
        Row row;
        row.Cells = QStringList(ColumnCount);
        row.Cells[ColFileName] = job.FileName;
        row.Cells[ColFileSize] = QString::number(job.FileSize);
        row.Cells[ColComplete] = QString::number(job.Received);
        row.Cells[ColPart] = QString::number(job.Parts);
        row.Cells[ColUrl] = job.Url;
        row.Cells[ColComment] = job.Comment;
        rows.insert(j, row);
        rowOrder.append(j);
        RefreshFigures(j, false);
        emit RowAdded(j);
        SetRowIcon(j, job.State);
    } else {
        // The row is there already (the same job added twice): keep the one row.
        SetRowIcon(j, job.State);
        emit RowChanged(j);
    }
    if (FindOneCls() != nullptr && Jobs[static_cast<size_t>(j)].State == StateWaiting &&
        RunningSlot(j) == nullptr)
        BindAndStart(j);
    NotifyStates();
}

void clsJobManager::BindAndStart(int j) {
    const int s = scheduler.FreeSlot();
    DownloadSlot* slot = Slot(s);
    if (slot == nullptr || slot->InUse() || !ValidJob(j)) return;
    slotItem[static_cast<size_t>(s)] = rows.contains(j) ? j : 0;
    noResume.remove(j);  // a new run tests the server again
    if (shownJob == j)
        shownSlot = s;
    else if (shownSlot == s)
        shownSlot = 0;  // the shown job's old slot serves another job now
    scheduler.Bind(s, j);
    if (ValidJob(j)) {
        SetRowIcon(j, Jobs[static_cast<size_t>(j)].State);
        // The first speed sample: the next tick of the rate already measures a whole second.
        if (auto it = rows.find(j); it != rows.end()) {
            it->Rate.Clear();
            it->Rate.Add(clock.elapsed(), Jobs[static_cast<size_t>(j)].Received);
        }
    }
    NotifyStates();
}

bool clsJobManager::StartNextWaiting() {
    // A job deleted while it waited keeps its state until the program ends; it has no row and
    // is never started.
    int j = 0;
    for (int i = 1; i <= JobCount; ++i) {
        const JobRecord& job = Jobs[static_cast<size_t>(i)];
        if (job.State == StateWaiting && rows.contains(i) &&
            job.ClassKey != QLatin1String("Recely_Really")) {
            j = i;
            break;
        }
    }
    if (j == 0) return false;
    if (FindOneCls() == nullptr) return false;
    BindAndStart(j);
    return true;
}

void clsJobManager::RemoveRow(int j) {
    // The job leaves the queue before its slot is given back, so that the slot never goes to it.
    if (ValidJob(j) && Jobs[static_cast<size_t>(j)].State == StateWaiting)
        Jobs[static_cast<size_t>(j)].State = StatePaused;
    const bool hadRow = rows.remove(j) > 0;
    if (hadRow) {
        rowOrder.removeOne(j);
        selected.removeAll(j);
        for (int k = 1; k <= kSlots; ++k)
            if (slotItem[static_cast<size_t>(k)] == j) slotItem[static_cast<size_t>(k)] = 0;
        emit RowRemoved(j);
        if (shownJob == j) ClearShown();
    }
    DownloadSlot* running = RunningSlot(j);
    if (running != nullptr) running->Pause();
    if (hadRow) NotifyStates();
    if (running != nullptr) StartNextWaiting();  // the slot was given back
}

// ---------------------------------------------------------------------------------------------
// Reports of the slots

void clsJobManager::UpdateDownloadState(int k, int part, ReportKind kind, const QString& detail) {
    DownloadSlot* slot = Slot(k);
    if (slot == nullptr) return;
    const int j = scheduler.SlotJob(k);
    const int row = slotItem[static_cast<size_t>(k)];
    const bool dataArrival = kind == ReportKind::DataArrival;
    if (dataArrival) scheduler.AddReceived(NumberRule::ValInt32(detail));
    if (kind == ReportKind::ResumeTestError && j != 0) noResume.insert(j);

    // The row's figures (the slot has already copied its progress into Jobs).
    if (row != 0) RefreshFigures(row, true);

    // The log.
    int first = 0;
    if (!dataArrival && row != 0) {
        Row& entries = rows[row];
        const uint8_t logPart = static_cast<uint8_t>(std::clamp(part, 0, 255));
        for (const DownloadLogLine& line : DownloadLogText::Lines(part, kind, detail)) {
            const int n = Log(entries, line.Text, static_cast<uint8_t>(line.Kind), logPart);
            if (first == 0) first = n;
        }
    }

    if (kind == ReportKind::Connecting && part == 1 && j != 0 && j == shownJob) {
        // The shown job (re)starts: its parts appear in the part tree.
        shownSlot = k;
        chosenNode.clear();
        emit PartTreeRebuilt(j);
        SelectDefaultView();
    }

    // Completion ("Close" with every byte) is finished by the slot, which then reports Completed;
    // a request error frees the slot and the slot reports RunEnded. Both start the next job.

    // The shown job's panes.
    if (j != 0 && j == shownJob && slot->JobIndex() == shownJob) {
        const uint8_t view = slotViewPart[static_cast<size_t>(k)];
        if (dataArrival) {
            if (view == ViewPicture) emit PictureGrew(j, part);
        } else if (first != 0 && view == part) {
            emit ConnectionLogAppended(j, part, first);
        }
    }
}

void clsJobManager::OnCompleted(int k, int j) {
    if (!ValidJob(j)) return;
    // The slot has closed the file, given it its final name, set State 4 and accounted the
    // run's time and speed.
    const JobRecord& job = Jobs[static_cast<size_t>(j)];

    if (rows.contains(j)) {
        rows.remove(j);
        rowOrder.removeOne(j);
        selected.removeAll(j);
        emit RowRemoved(j);
    }
    if (slotItem[static_cast<size_t>(std::clamp(k, 0, kSlots))] == j)
        slotItem[static_cast<size_t>(std::clamp(k, 0, kSlots))] = 0;
    if (shownJob == j) ClearShown();
    if (Settings.PopMessage == 1) emit JobMessage(QStringLiteral("Job complete.") + job.Url);
    emit JobCompleted(j);
    NotifyStates();
    if (!StartNextWaiting()) emit StatebarReset();
    noResume.remove(j);
    CheckDownloadsEnded();
}

void clsJobManager::OnRunEnded(int k, int j, const QString& reason) {
    Q_UNUSED(k);
    if (ValidJob(j)) {
        SetRowIcon(j, Jobs[static_cast<size_t>(j)].State);
        // Failures the reports have not logged yet (a failed write, an unusable URL) go into the
        // job's log as well.
        auto it = rows.find(j);
        if (it != rows.end() && !reason.isEmpty()) {
            const std::vector<int32_t> last = LogEntryNumbers(it->Tag, LogCount);
            const bool logged =
                !last.empty() && JobLog[static_cast<size_t>(last.back())].LogText == reason;
            if (!logged) {
                const int n = Log(*it, reason, LogProblem, 1);
                if (j == shownJob && k >= 1 && k <= kSlots &&
                    slotViewPart[static_cast<size_t>(k)] == 1)
                    emit ConnectionLogAppended(j, 1, n);
            }
        }
        // The row (its tool tip) and the status bar tell why.
        if (it != rows.end()) emit RowChanged(j);
        if (const QString why = ErrorText(j); !why.isEmpty()) {
            problemOnStatebar = true;
            emit JobProblem(j, why);
        }
        if (Jobs[static_cast<size_t>(j)].State == StateError) {
            const QString why = ErrorText(j);
            emit JobFailed(j, why.isEmpty() ? reason : why);
        }
    }
    NotifyStates();
    StartNextWaiting();
    if (ValidJob(j) && Jobs[static_cast<size_t>(j)].State == StateError) CheckDownloadsEnded();
}

void clsJobManager::CheckDownloadsEnded() {
    for (int row : rowOrder) {
        if (!ValidJob(row)) continue;
        const int state = Jobs[static_cast<size_t>(row)].State;
        if (state == StateRunning || state == StateWaiting) return;
    }
    emit DownloadsEnded();
}

bool clsJobManager::PauseRestartsFromZero(int j) const {
    return noResume.contains(j) && RunningSlot(j) != nullptr;
}

bool clsJobManager::MayPause(const QList<int>& jobs) {
    if (Settings.StillDownload == 1 || !pauseQuestion) return true;
    QList<int> lost;
    for (int j : jobs)
        if (PauseRestartsFromZero(j)) lost.append(j);
    return lost.isEmpty() || pauseQuestion(lost);
}

void clsJobManager::PauseDownloadJobAsked() {
    if (selected.isEmpty() || !MayPause({selected.first()})) return;
    PauseDownloadJob();
}

void clsJobManager::PauseAllAsked() {
    if (!MayPause(rowOrder)) return;
    PauseAll();
}

void clsJobManager::OnNotice(int k, int part, const QString& text) {
    const int j = SlotJob(k);
    auto it = rows.find(slotItem[static_cast<size_t>(std::clamp(k, 0, kSlots))]);
    if (it == rows.end()) return;
    const uint8_t logPart = static_cast<uint8_t>(std::clamp(part, 0, 255));
    const int n = Log(*it, text, LogProblem, logPart);
    if (j != 0 && j == shownJob && slotViewPart[static_cast<size_t>(k)] == part)
        emit ConnectionLogAppended(j, part, n);
}

void clsJobManager::OnStateIcon(int k, int state) {
    // The job this slot was last given (a job that failed to bind is not the slot's JobIndex).
    SetRowIcon(SlotJob(k), state);
}

float clsJobManager::AverageSpeed(int32_t fileSize, double timeElapsed) {
    return DownloadSlot::AverageSpeed(fileSize, timeElapsed);
}

// ---------------------------------------------------------------------------------------------
// Start-up and exit

int clsJobManager::LoadUnfinishedJobs(bool goOn) {
    Quiet quiet(this);
    int goingOn = 0;
    for (int j = 1; j <= JobCount; ++j) {
        JobRecord& job = Jobs[static_cast<size_t>(j)];
        if (job.State == StateComplete || job.State == StateFree) continue;
        if (job.ClassKey == QLatin1String("Recely_Really")) continue;
        // A job still marked running was cut off by the end of the program: it waits for a slot
        // again (goOn), or is paused.
        if (job.State == StateRunning) job.State = goOn ? StateWaiting : StatePaused;
        if (job.State == StateWaiting) ++goingOn;
        AddToNowDownList(j);
    }
    return goingOn;
}

void clsJobManager::PauseAll(bool keepQueued) {
    Quiet quiet(this);
    // What runs or waits is noted before the slots are stopped (which pauses their jobs).
    QList<int> queued;
    for (int j : rowOrder) {
        if (!ValidJob(j)) continue;
        const int state = Jobs[static_cast<size_t>(j)].State;
        if (state == StateRunning || state == StateWaiting) queued << j;
    }
    SaveCls();
    for (int j : queued) SetJobState(j, StatePaused);
    // At the end of the program: what ran or waited is kept waiting, so the next start goes on
    // with it; the slots are stopped all the same.
    if (keepQueued)
        for (int j : queued) Jobs[static_cast<size_t>(j)].State = StateWaiting;
    NotifyStates();
}

// ---------------------------------------------------------------------------------------------
// Commands

void clsJobManager::SetSelectedJobs(const QList<int>& jobs) {
    selected = jobs;
}

void clsJobManager::StartJob(int j) {
    if (!ValidJob(j) || !rows.contains(j)) return;
    if (RunningSlot(j) != nullptr) return;  // never the same job in two slots
    if (FindOneCls() != nullptr)
        BindAndStart(j);
    else
        SetJobState(j, StateWaiting);
    NotifyStates();
}

void clsJobManager::PauseJob(int j) {
    if (!ValidJob(j) || !rows.contains(j)) return;
    if (DownloadSlot* slot = RunningSlot(j))
        slot->Pause();  // State 2, slot given back, progress saved
    else
        SetJobState(j, StatePaused);  // waiting, or not served by any slot right now
    SetRowIcon(j, Jobs[static_cast<size_t>(j)].State);
    NotifyStates();
    StartNextWaiting();
}

void clsJobManager::StartDownloadJob() {
    if (selected.isEmpty()) return;
    StartJob(selected.first());
}

void clsJobManager::PauseDownloadJob() {
    if (selected.isEmpty()) return;
    PauseJob(selected.first());
}

void clsJobManager::StartAll() {
    Quiet quiet(this);
    const QList<int> order = rowOrder;
    for (int j : order) {
        if (!rows.contains(j) || !ValidJob(j)) continue;
        if (RunningSlot(j) != nullptr) continue;
        if (FindOneCls() != nullptr)
            BindAndStart(j);
        else
            SetJobState(j, StateWaiting);
    }
    NotifyStates();
}

clsJobManager::JobsMenuState clsJobManager::JobsMenuEnabling(int activeList) const {
    JobsMenuState state;
    if (activeList != 2 || rowOrder.isEmpty()) return state;
    if (ValidJob(shownJob)) {
        const int shown = Jobs[static_cast<size_t>(shownJob)].State;
        // A failed job is started again like a paused one, from the bytes it has.
        state.StartJob = shown == StatePaused || shown == StateError;
        state.PauseJob = shown == StateRunning || shown == StateWaiting;
    }
    for (int i = 1; i <= JobCount; ++i) {
        const int s = Jobs[static_cast<size_t>(i)].State;
        if (s == StatePaused || s == StateWaiting || s == StateError) state.StartAll = true;
        if (s == StateRunning) state.PauseAll = true;
    }
    return state;
}

bool clsJobManager::CanDeleteSelected() const {
    if (rowOrder.isEmpty() || selected.isEmpty()) return false;
    const int j = selected.first();
    return ValidJob(j) && Jobs[static_cast<size_t>(j)].State != StateRunning;
}

QString clsJobManager::ServerText(const QString& url) {
    UrlParts u;
    return u.Split(UrlParts::TakeLogin(url.trimmed()).Url, UrlParts::EngineRules()) ? u.Authority
                                                                                    : QString();
}

bool clsJobManager::SameServer(const QString& a, const QString& b) {
    return UrlParts::SameOrigin(a, b);
}

bool clsJobManager::MayEdit(int j) const {
    if (!ValidJob(j) || !rows.contains(j) || RunningSlot(j) != nullptr) return false;
    const int state = Jobs[static_cast<size_t>(j)].State;
    return state != StateRunning && state != StateWaiting;
}

void clsJobManager::ReplaceJob(int j, const JobRecord& record) {
    if (!MayEdit(j)) return;
    Jobs[static_cast<size_t>(j)] = record;
    Row& row = rows[j];
    row.Cells[ColFileName] = record.FileName;
    row.Cells[ColPart] = QString::number(record.Parts);
    row.Cells[ColUrl] = record.Url;
    RefreshFigures(j, false);
    emit RowChanged(j);
    NotifyStates();
}

bool clsJobManager::CanCopyUrl() const {
    return !rowOrder.isEmpty() && selected.size() < 2;
}

// ---------------------------------------------------------------------------------------------
// Panes

void clsJobManager::ClearShown() {
    shownJob = 0;
    shownSlot = 0;
    chosenNode.clear();
    emit PanesCleared();
}

uint8_t& clsJobManager::ShownViewPart() {
    return shownSlot != 0 ? slotViewPart[static_cast<size_t>(shownSlot)] : idleViewPart;
}

void clsJobManager::SelectDefaultView() {
    // What the slot showed last comes back: the picture or a connection's log.
    if (shownJob == 0 || (shownSlot == 0 && !rows.contains(shownJob))) return;
    // A slot nobody has looked into yet shows its block picture first.
    uint8_t& chosen = ShownViewPart();
    if (chosen == ViewNothing) chosen = ViewPicture;
    const uint8_t view = chosen;
    if (view == ViewPicture)
        chosenNode = QStringLiteral("PicDraw");
    else if (view >= 1 && view <= 10)
        chosenNode = QString::number(view) + "Jet";
    else
        chosenNode.clear();
    emit DetailViewChanged(shownJob, view);
}

void clsJobManager::ChooseJob(int j) {
    shownJob = ValidJob(j) ? j : 0;
    // Only a job that runs in a slot right now has parts to show.
    DownloadSlot* slot = RunningSlot(shownJob);
    shownSlot = slot != nullptr ? slot->Slot() : 0;
    chosenNode.clear();
    if (shownSlot != 0) {
        emit PartTreeRebuilt(shownJob);
        SelectDefaultView();
    } else if (rows.contains(shownJob)) {
        // No slot serves it: its parts and its log as they were left, the failure first.
        const Row& row = rows[shownJob];
        const bool failed =
            Jobs[static_cast<size_t>(shownJob)].State == StateError && !row.Problem.isEmpty();
        idleViewPart =
            failed && row.ProblemPart >= 1 && row.ProblemPart <= 10 ? row.ProblemPart : ViewPicture;
        emit PanesCleared();
        emit PartTreeRebuilt(shownJob);
        SelectDefaultView();
    } else {
        const int keep = shownJob;
        ClearShown();
        shownJob = keep;
    }
    if (const QString why = ErrorText(shownJob); !why.isEmpty()) {
        problemOnStatebar = true;
        emit JobProblem(shownJob, why);
    } else if (problemOnStatebar) {
        problemOnStatebar = false;
        emit StatebarReset();
    }
    if (selected.size() >= 2) shownJob = 0;
    NotifyStates();
}

void clsJobManager::ChooseNode(const QString& key) {
    if (shownJob == 0 || (shownSlot == 0 && !rows.contains(shownJob)) || key == chosenNode) return;
    uint8_t& view = ShownViewPart();
    if (key == QLatin1String("PicDraw")) {
        chosenNode = key;
        view = ViewPicture;
        emit DetailViewChanged(shownJob, ViewPicture);
    } else if (key.endsWith(QLatin1String("Jet"))) {
        const int part = NumberRule::ValInt32(key);
        if (part < 1 || part > 10) return;
        chosenNode = key;
        view = static_cast<uint8_t>(part);
        emit DetailViewChanged(shownJob, part);
    }
}

QString clsJobManager::StatebarText() {
    return QStringLiteral("Quorvanta ") + AppVersion;
}

void clsJobManager::RefreshRates() {
    const qint64 now = clock.elapsed();
    for (auto it = rows.begin(); it != rows.end(); ++it) {
        const int j = it.key();
        QString speed;
        QString left;
        it->Speed = -1;
        it->SecondsLeft = -1;
        if (ValidJob(j) && RunningSlot(j) != nullptr) {
            const JobRecord& job = Jobs[static_cast<size_t>(j)];
            it->Rate.Add(now, job.Received);
            it->Speed = it->Rate.Rate();
            speed = TransferText::Speed(it->Speed);
            if (job.FileSize > 0) {
                it->SecondsLeft = TransferText::SecondsLeft(
                    static_cast<qint64>(job.FileSize) - job.Received, it->Speed);
                left = TransferText::TimeLeft(it->SecondsLeft);
            }
        } else {
            it->Rate.Clear();
        }
        QStringList& cells = it->Cells;
        if (cells[ColSpeed] == speed && cells[ColTimeLeft] == left) continue;
        cells[ColSpeed] = speed;
        cells[ColTimeLeft] = left;
        emit RowChanged(j);
    }
}
