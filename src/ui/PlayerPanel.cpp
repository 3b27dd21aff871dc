#include "ui/PlayerPanel.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "net/MovieFileKeeper.h"
#include "player/flash1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "tree/CategoryList.h"
#include "ui/MovieFilesCommand.h"
#include "widgets/SliderClickStyle.h"

PlayerPanel::PlayerPanel(QTreeWidget* lvHaveDown, QLabel* panel1, QLabel* panel2, QObject* parent)
    : QObject(parent), list(lvHaveDown), panel1(panel1), panel2(panel2) {
    pane = new QWidget;
    pane->setObjectName("picFlash");
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    player = new flash1;
    layout->addWidget(player, 1);
    slider = new QSlider(Qt::Horizontal);
    slider->setObjectName("Slider1");
    slider->setRange(0, 0);
    // A click on the groove goes to the frame clicked, not a page towards it.
    SliderClickStyle::Apply(slider);
    layout->addWidget(slider);

    timer = new QTimer(this);
    timer->setObjectName("Timer2");
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, this, &PlayerPanel::Tick);

    // Holding the slider stops it following; letting go seeks to where it was left (a click
    // puts the handle under the pointer and holds it: one seek, on letting go).
    connect(slider, &QSlider::sliderPressed, this, [this] {
        follow = false;
        seekTimer->stop();
    });
    connect(slider, &QSlider::sliderReleased, this, [this] {
        follow = true;
        seekTimer->stop();
        Seek(slider->value());
    });
    // Clicks beside the handle, keys and the wheel seek too; a burst of them (a held click
    // repeats) makes one seek, to where the slider ends up.
    seekTimer = new QTimer(this);
    seekTimer->setSingleShot(true);
    seekTimer->setInterval(150);
    connect(seekTimer, &QTimer::timeout, this, [this] { Seek(pendingSeek); });
    connect(slider, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderNoAction || slider->isSliderDown()) return;
        pendingSeek = slider->sliderPosition();
        seekTimer->start();
    });
}

bool PlayerPanel::IsSwfPath(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? path : path.mid(dot + 1);
    return ext.toUpper() == QLatin1String("SWF");
}

QString PlayerPanel::MovieOf(QTreeWidgetItem* item) {
    // The job's own file: the row's text may be shortened or out of date.
    const int job = item ? CategoryList::JobOf(item) : 0;
    if (job < 1 || job > JobCount) return {};
    const QString path = Jobs[static_cast<size_t>(job)].LocalFile;
    if (!IsSwfPath(path) || !QFileInfo::exists(path)) return {};
    return path;
}

QTreeWidgetItem* PlayerPanel::ChosenRow() const {
    QTreeWidgetItem* current = list->currentItem();
    if (current && current->isSelected()) return current;
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void PlayerPanel::KeepFilesOf(int job) {
    delete keeper;
    keeper = new MovieFileKeeper(Jobs[static_cast<size_t>(job)], Settings.MovieOtherSites != 0,
                                 MovieFilesCommand::SizeLimit(), this);
    MovieFileKeeper* k = keeper;
    const QString name = QFileInfo(k->MoviePath()).fileName();
    player->SetFileSource([this, k, name](const QString& address, MovieFileAnswer answer) {
        if (k != keeper) return answer(false, {});
        k->Obtain(address, [this, name, address, answer](const MovieFileKeeper::Outcome& out) {
            QFile file(out.KeptPath);
            if (out.Ok && file.open(QIODevice::ReadOnly)) return answer(true, file.readAll());
            panel1->setText(
                QStringLiteral("%1: could not load %2 (%3)")
                    .arg(name, address,
                         out.Ok ? QStringLiteral("the kept file cannot be read") : out.Failure));
            answer(false, {});
        });
    });
}

void PlayerPanel::OpenItem(QTreeWidgetItem* item) {
    const QString path = MovieOf(item);
    if (path.isEmpty()) return;
    const int job = CategoryList::JobOf(item);
    if (!player->LoadMovie(path, Jobs[static_cast<size_t>(job)].Url)) {
        panel1->setText(QFileInfo(path).fileName() + QStringLiteral(": ") + player->LastError());
        return;
    }
    // The movie asks for its files once the page has it: after this.
    KeepFilesOf(job);
    slider->setMaximum(player->TotalFrames());
    timer->start();
    follow = true;
}

bool PlayerPanel::PlayItem(QTreeWidgetItem* item) {
    const QString path = MovieOf(item);
    if (path.isEmpty()) return false;
    if (player->Movie() != path) {
        OpenItem(item);
        // A file named .swf that is not a movie is not ours to play.
        if (player->Movie() != path) return false;
    }
    Play();
    return true;
}

void PlayerPanel::Play() {
    if (player->Movie().isEmpty())
        OpenItem(ChosenRow());
    else
        player->Play();
}

void PlayerPanel::Pause() {
    player->StopPlay();
}

void PlayerPanel::Close() {
    player->LoadMovie(QString());
    // The closed movie's position goes at once, not at the next tick: a movie opened before
    // then must not show it as its own.
    Tick();
}

void PlayerPanel::Tick() {
    // Held by the user, or about to seek to where the user put it.
    if (!follow || seekTimer->isActive()) return;
    if (player->Movie().isEmpty()) {
        // Nothing loaded: the position written last goes.
        slider->setValue(0);
        if (!shownText.isEmpty() && panel2->text() == shownText) panel2->clear();
        shownText.clear();
        return;
    }
    const int frame = player->CurrentFrame();
    slider->setValue(frame);
    QString text = player->Movie() + QLatin1Char(' ') + QString::number(frame) + QLatin1Char('/') +
                   QString::number(player->TotalFrames());
    if (player->ScriptDriven()) text += QStringLiteral("  (the movie runs by its own script)");
    panel2->setText(text);
    shownText = text;
}

void PlayerPanel::Seek(int frame) {
    if (player->Movie().isEmpty()) return;
    // The slider goes to the frame and plays from it, paused before or not: a movie sent again
    // without playing shows nothing until Play.
    player->GotoFrame(std::max(1, frame), true);
}

void PlayerPanel::Step(int delta) {
    QTreeWidgetItem* current = ChosenRow();
    if (!current) return;
    const int i = list->indexOfTopLevelItem(current) + 1;
    const int target = i + delta;
    if (i < 1 || target < 1 || target > list->topLevelItemCount()) return;
    QTreeWidgetItem* next = list->topLevelItem(target - 1);
    list->setCurrentItem(next, 0, QItemSelectionModel::Select);
    current->setSelected(false);
    list->scrollToItem(next);
    OpenItem(next);
    emit ItemOpened(CategoryList::JobOf(next));
}
