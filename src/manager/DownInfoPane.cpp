#include "manager/DownInfoPane.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

#include "manager/BlockPicture.h"
#include "manager/clsJobManager.h"
#include "store/JobTable.h"
#include "store/NumberRule.h"
#include "widgets/Icons.h"
#include "widgets/KeyboardChoice.h"
#include "widgets/LogView.h"

namespace {
constexpr int KeyRole = Qt::UserRole;

QString SizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}
}  // namespace

QString ShortTimeText(double days) {
    const qint64 minutes =
        std::max<qint64>(0, NumberRule::SaturatingCast<qint64>(std::floor(days * 1440.0 + 1e-7)));
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void ShowDoneJobInfo(QTreeWidget* list, int j) {
    if (list == nullptr) return;
    list->clear();
    if (j < 1 || j > JobCount) return;
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    const QList<QPair<QString, QString>> rows = {
        {"Create Time", LogTimeText(job.CreateTime)},
        {"Complete Time", LogTimeText(job.CompleteTime)},
        {"Total Time", ShortTimeText(job.TimeElapsed)},
        {"Average Speed",
         QString::number(NumberRule::SaturatingCast<qint64>(job.AvgSpeed)) + "bps"},
        {"Total Size", QString::number(job.FileSize)},
        {"Complete Size", QString::number(job.Received)},
        {"Url", job.Url},
        {"Comment", job.Comment},
    };
    for (const auto& [name, value] : rows) {
        auto* row = new QTreeWidgetItem(list);
        row->setIcon(0, Icons::Get("Info1"));
        row->setText(0, name);
        row->setText(1, value);
        row->setToolTip(1, value);  // a long URL or comment is cut off in the column
    }
    // Every name readable ("Average Speed", "Complete Size"), the values get the rest.
    list->resizeColumnToContents(0);
}

DownInfoPane::DownInfoPane(clsJobManager* mgr, QWidget* parent) : QWidget(parent), manager(mgr) {
    setObjectName("DownInfoPane");

    tvNowDown = new QTreeWidget;
    tvNowDown->setObjectName("tvNowDown");
    tvNowDown->setHeaderHidden(true);
    tvNowDown->setColumnCount(1);
    tvNowDown->setIconSize(QSize(16, 16));
    tvNowDown->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    {
        // Wide enough for "Part 10" under "Chart" (two indentation steps, the icon) and a
        // vertical scroll bar when the pane is low.
        const int text = tvNowDown->fontMetrics().horizontalAdvance(QStringLiteral("Part 10"));
        const int bar = tvNowDown->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        tvNowDown->setMinimumWidth(2 * tvNowDown->indentation() + 16 + text + bar +
                                   2 * tvNowDown->frameWidth() + 16);
    }

    picDownInfo = new QStackedWidget;
    picDownInfo->setObjectName("picDownInfo");

    lvResponse1 = NewLogList("lvResponse1");
    lvResponse0 = new QTreeWidget;
    lvResponse0->setObjectName("lvResponse0");
    lvResponse0->setColumnCount(2);
    lvResponse0->setHeaderLabels({"Parameter", "Value"});
    lvResponse0->setRootIsDecorated(false);
    lvResponse0->setColumnWidth(0, 150);
    lvResponse0->header()->setStretchLastSection(true);

    picDrawDot = new QWidget;
    picDrawDot->setObjectName("picDrawDot");
    picDrawDot->setAutoFillBackground(true);
    QPalette white = picDrawDot->palette();
    white.setColor(QPalette::Window, Qt::white);
    picDrawDot->setPalette(white);
    lblNum = new QLabel;
    lblNum->setObjectName("lblNum");
    QFont big = lblNum->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    lblNum->setFont(big);
    lblNum->setMinimumWidth(lblNum->fontMetrics().horizontalAdvance("100%") + 8);
    lblNum->setStyleSheet("color: #1f3b57;");
    lblPic = new QLabel;
    lblPic->setObjectName("lblPic");
    lblPic->setStyleSheet("color: #55606e;");
    lblPic->setTextFormat(Qt::RichText);
    // The figures give way in a narrow pane (the later ones are left out) instead of holding the
    // whole window wide.
    lblPic->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblPic->setMinimumWidth(0);
    lblPic->installEventFilter(this);
    picDraw = new BlockPicture;
    VScroll1 = new QScrollBar(Qt::Vertical);
    VScroll1->setObjectName("VScroll1");
    VScroll1->hide();

    auto* head = new QHBoxLayout;
    head->setContentsMargins(10, 6, 10, 0);
    head->setSpacing(12);
    head->addWidget(lblNum);
    head->addWidget(lblPic, 1);
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(picDraw, 1);
    body->addWidget(VScroll1);
    auto* area = new QVBoxLayout(picDrawDot);
    area->setContentsMargins(0, 0, 0, 0);
    area->setSpacing(2);
    area->addLayout(head);
    area->addLayout(body, 1);

    picDownInfo->addWidget(picDrawDot);
    picDownInfo->addWidget(lvResponse1);
    picDownInfo->addWidget(lvResponse0);
    picDownInfo->setCurrentWidget(picDrawDot);

    split = new QSplitter(Qt::Horizontal);
    split->setObjectName("splitDownInfo");
    split->addWidget(tvNowDown);
    split->addWidget(picDownInfo);
    split->setStretchFactor(1, 1);
    split->setSizes({140, 600});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    connect(picDraw, &BlockPicture::PictureHeightChanged, this, [this](int total, int visible) {
        const int over = std::max(0, total - visible);
        VScroll1->setRange(0, over);
        VScroll1->setPageStep(std::max(1, visible));
        VScroll1->setSingleStep(12);
        VScroll1->setVisible(over > 0);
    });
    connect(VScroll1, &QScrollBar::valueChanged, picDraw, &BlockPicture::SetScrollOffset);
    connect(picDraw, &BlockPicture::ScrollOffsetChanged, VScroll1, &QScrollBar::setValue);
    connect(tvNowDown, &QTreeWidget::itemClicked, this, &DownInfoPane::OnNodeClicked);
    KeyboardChoice::Follow(tvNowDown, [this](QTreeWidgetItem* item) { OnNodeClicked(item); });

    connect(manager, &clsJobManager::PanesCleared, this, &DownInfoPane::ClearPanes);
    connect(manager, &clsJobManager::PartTreeRebuilt, this, &DownInfoPane::PutinTree);
    connect(manager, &clsJobManager::DetailViewChanged, this, &DownInfoPane::OnDetailViewChanged);
    connect(manager, &clsJobManager::ConnectionLogAppended, this,
            [this](int j, int part, int first) {
                LookSearchLogLv(lvResponse1, manager->RowTag(j), static_cast<uint8_t>(part), first);
            });
    connect(manager, &clsJobManager::PictureGrew, this, [this](int j, int part) {
        if (picDraw->Job() != j) picDraw->SetJob(j);
        picDraw->DataArrived(part);
    });
    // The figures above the picture change in the same screen update as its tiles; figures that
    // change without data (the size from the response head, a range given up) ask for one too.
    connect(picDraw, &BlockPicture::Refreshed, this, &DownInfoPane::UpdateLabels);
    connect(manager, &clsJobManager::RowChanged, this, [this](int j) {
        if (j == picDraw->Job()) picDraw->RefreshSoon();
    });
    UpdateLabels();
}

void DownInfoPane::ShowDetail(QWidget* control) {
    if (picDownInfo->currentWidget() != control) picDownInfo->setCurrentWidget(control);
}

void DownInfoPane::ClearPanes() {
    tvNowDown->clear();
    lvResponse1->clear();
    lvResponse0->clear();
    picDraw->Clear();
    ShowDetail(picDrawDot);
}

void DownInfoPane::PutinTree(int j) {
    tvNowDown->clear();
    if (j < 1 || j > JobCount) return;
    auto* root = new QTreeWidgetItem(tvNowDown);
    root->setText(0, "Chart");
    root->setData(0, KeyRole, "PicDraw");
    root->setIcon(0, Icons::Get("PicChart"));
    const int parts = std::clamp<int>(Jobs[static_cast<size_t>(j)].Parts, 0, kMaxParts);
    for (int k = 1; k <= parts; ++k) {
        auto* node = new QTreeWidgetItem(root);
        node->setText(0, QStringLiteral("Part %1").arg(k));
        node->setData(0, KeyRole, QStringLiteral("%1Jet").arg(k));
        node->setIcon(0, Icons::PartIcon(k));
    }
    root->setExpanded(true);
}

void DownInfoPane::SelectNode(const QString& key) {
    QTreeWidgetItemIterator it(tvNowDown);
    while (*it) {
        if ((*it)->data(0, KeyRole).toString() == key) {
            tvNowDown->setCurrentItem(*it);
            return;
        }
        ++it;
    }
}

void DownInfoPane::OnDetailViewChanged(int j, int view) {
    if (view == clsJobManager::ViewPicture) {
        SelectNode("PicDraw");
        ShowDetail(picDrawDot);
        picDraw->SetJob(j);
    } else if (view >= 1 && view <= kMaxParts) {
        SelectNode(QStringLiteral("%1Jet").arg(view));
        ShowDetail(lvResponse1);
        LookSearchLogLv(lvResponse1, manager->RowTag(j), static_cast<uint8_t>(view), 0);
    } else {
        ShowDoneJobInfo(lvResponse0, j);
        ShowDetail(lvResponse0);
    }
}

void DownInfoPane::OnNodeClicked(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    manager->ChooseNode(item->data(0, KeyRole).toString());
}

void DownInfoPane::UpdateLabels() {
    const int j = picDraw->Job();
    if (j < 1 || j > JobCount) {
        lblNum->setText(QString());
        lblPic->setText(QString());
        return;
    }
    const JobRecord& job = Jobs[static_cast<size_t>(j)];
    const QString percent =
        job.FileSize > 0
            ? QString::number(static_cast<qint64>(job.Received) * 100 / job.FileSize) + "%"
            : QStringLiteral("0%");
    if (lblNum->text() != percent) lblNum->setText(percent);
    const BlockLayout& layout = picDraw->Layout();
    // Received of total first; then, as far as the label's width allows, the connections and
    // the bytes of one tile.
    const QString received = SizeText(job.Received);
    const QString total = job.FileSize > 0 ? SizeText(job.FileSize) : QStringLiteral("?");
    QString figures = QStringLiteral("<b>%1</b> of <b>%2</b>").arg(received, total);
    QString plain = received + " of " + total;
    // The ranges laid out (connection 1 always): a small file or a server without ranges is
    // fetched over one connection, whatever the job allows.
    int ranges = 1;
    for (int k = 2; k <= std::clamp<int>(job.Parts, 1, kMaxParts); ++k)
        if (job.Segments[static_cast<size_t>(k)].StartPos != 0) ++ranges;
    QStringList more{QStringLiteral("%1 connection%2").arg(ranges).arg(ranges == 1 ? "" : "s")};
    if (layout.BlockBytes() > 0)
        more << QStringLiteral("1 block = %1").arg(SizeText(layout.BlockBytes()));
    QFont bold = lblPic->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int room = lblPic->contentsRect().width();
    for (const QString& piece : std::as_const(more)) {
        plain += QStringLiteral("  ·  ") + piece;
        if (metrics.horizontalAdvance(plain) > room) break;
        figures += QStringLiteral("&nbsp;&nbsp;·&nbsp;&nbsp;") + piece;
    }
    if (lblPic->text() != figures) lblPic->setText(figures);
}

bool DownInfoPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblPic && event->type() == QEvent::Resize) UpdateLabels();
    return QWidget::eventFilter(watched, event);
}
