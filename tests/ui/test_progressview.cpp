// What users expect of the main window: a job just added is shown with its speed and time left
// next to the percentage, links dropped anywhere on the window open the new-job dialog, and the
// windows come back on the screens there are.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTreeWidget>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "manager/clsJobManager.h"
#include "newjob/NewJobMode.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/WindowPlace.h"
#include "ui/FloatingTools.h"
#include "ui/frmMain.h"
#include "ui/frmTop.h"
#include "widgets/SortableItem.h"

namespace {

class ProgressView : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        NewJobMode = 1;
        frmNewDown1::SharedUrl.clear();
    }
    void Open() {
        w = std::make_unique<frmMain>();
        w->Load();
        Settings.PopMessage = 0;
        Settings.Notify = 0;
        w->ShowAfterLoad();
    }
    void TearDown() override {
        if (frmNewDown1* d = frmNewDown1::Loaded()) d->reject();
        QTest::qWait(20);
        w.reset();
        ClearJobs();
    }
    QString Panel2() const { return w->findChild<QLabel*>("StatusBar1_Panel2")->text(); }
    std::unique_ptr<frmMain> w;
};

// "12.3 KB/s" as a number of kilobytes per second; -1 when it is not such a text.
double KBPerSecond(const QString& text) {
    const QRegularExpressionMatch m =
        QRegularExpression("^(\\d+\\.\\d) (KB|MB)/s$").match(text.section(", ", -1));
    if (!m.hasMatch()) return -1;
    return m.captured(1).toDouble() * (m.captured(2) == "MB" ? 1024 : 1);
}

}  // namespace

TEST_F(ProgressView, AddedJobIsShownWithItsSpeedAndTimeLeftNextToThePercentage) {
    NginxServer nginx("limit_rate 200k;");
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("slow.swf", TestEnv::RandomBytes(3000000, 4)));
    Open();
    auto* list = w->findChild<QTreeWidget*>("lvNowDown");
    QHeaderView* head = list->header();
    EXPECT_EQ(list->headerItem()->text(clsJobManager::ColSpeed), "Speed");
    EXPECT_EQ(list->headerItem()->text(clsJobManager::ColTimeLeft), "Time Left");
    EXPECT_EQ(clsJobManager::ColSpeed, 8);  // after the columns the rest of the program knows
    EXPECT_EQ(head->visualIndex(clsJobManager::ColSpeed),
              head->visualIndex(clsJobManager::ColPercent) + 1);
    EXPECT_EQ(head->visualIndex(clsJobManager::ColTimeLeft),
              head->visualIndex(clsJobManager::ColPercent) + 2);

    frmNewDown1* dialog = frmNewDown1::Open(1);
    ASSERT_TRUE(dialog);
    dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url("/slow.swf"));
    dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(TestEnv::NewDir("movies") + "/");
    dialog->findChild<QComboBox*>("cmbNum1")->setCurrentText(
        "1");  // the server's rate is per connection
    dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
    ASSERT_EQ(JobCount, 1);
    // The tree goes to "Downloading" and the new row is the chosen one.
    ASSERT_TRUE(TestEnv::WaitFor([&] { return w->ActiveList() == 2; }, 3000));
    EXPECT_EQ(w->Manager()->SelectedJobs(), QList<int>{1});
    EXPECT_EQ(w->Manager()->ShownJob(), 1);
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_TRUE(list->currentItem()->isSelected());

    // Speed (about the server's 200 KB/s), time left, and the status bar in the same units.
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] { return KBPerSecond(w->Manager()->RowTexts(1).value(clsJobManager::ColSpeed)) > 0; },
        5000));
    QTest::qWait(2200);
    const QStringList cells = w->Manager()->RowTexts(1);
    ASSERT_EQ(cells.size(), clsJobManager::ColumnCount) << Jobs[1].State;
    const double speed = KBPerSecond(cells[clsJobManager::ColSpeed]);
    EXPECT_GT(speed, 120) << cells[clsJobManager::ColSpeed].toStdString();
    EXPECT_LT(speed, 260) << cells[clsJobManager::ColSpeed].toStdString();
    EXPECT_TRUE(
        QRegularExpression("^\\d+:\\d\\d$").match(cells[clsJobManager::ColTimeLeft]).hasMatch())
        << cells[clsJobManager::ColTimeLeft].toStdString();
    EXPECT_TRUE(Panel2().startsWith("1 running, ")) << Panel2().toStdString();
    EXPECT_GT(KBPerSecond(Panel2()), 100) << Panel2().toStdString();
    // The row on the screen follows.
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return !list->currentItem()->text(clsJobManager::ColSpeed).isEmpty(); }, 2000));
    // A click on the header sorts by bytes per second, not by the text.
    EXPECT_GT(list->currentItem()->data(clsJobManager::ColSpeed, SortableItem::SortRole).toDouble(),
              100 * 1024);

    // Paused: no speed and no time left any more.
    w->Manager()->PauseJob(1);
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] {
            const QStringList now = w->Manager()->RowTexts(1);
            return now[clsJobManager::ColSpeed].isEmpty() &&
                   now[clsJobManager::ColTimeLeft].isEmpty();
        },
        3000));
}

TEST_F(ProgressView, LinkDroppedAnywhereOnTheMainWindowOpensTheNewJobDialog) {
    Open();
    struct Case {
        const char* target;
        bool asUrl;
    };
    for (const Case& c :
         {Case{"lvNowDown", false}, Case{"tvNa", true}, Case{"StatusBar1", false}}) {
        const QString url = QString("http://127.0.0.1:8/dropped-%1.swf").arg(c.target);
        QMimeData data;
        if (c.asUrl)
            data.setUrls({QUrl(url)});
        else
            data.setText(url + "\nThe movie's title");
        auto* widget = w->findChild<QWidget*>(c.target);
        ASSERT_NE(widget, nullptr) << c.target;
        if (auto* view = qobject_cast<QAbstractScrollArea*>(widget)) widget = view->viewport();
        const QPoint at = widget->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        EXPECT_TRUE(enter.isAccepted()) << c.target;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &drop);
        frmNewDown1* dialog = nullptr;
        ASSERT_TRUE(TestEnv::WaitFor(
            [&] {
                dialog = frmNewDown1::Loaded();
                return dialog && dialog->isVisible() && dialog->txtUrl->text() == url;
            },
            5000))
            << c.target;
        dialog->reject();
        QTest::qWait(20);
    }
    // Something that is no link is left alone.
    QMimeData image;
    image.setImageData(QImage(4, 4, QImage::Format_RGB32));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &image, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(ProgressView, WindowsComeBackOnTheScreensThereAre) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Left on a screen far to the right that is not there now, and larger than this one.
    ASSERT_TRUE(WindowPlace::Write(
        IniFile, "Main",
        {QRect(screen.right() + 3000, 40, screen.width() + 400, screen.height() + 300), false}));
    ASSERT_TRUE(WindowPlace::Write(IniFile, "Float", {QRect(-5000, -5000, 40, 40), false}));
    Open();
    EXPECT_TRUE(screen.contains(w->frameGeometry()));
    EXPECT_EQ(w->frameGeometry().size(), screen.size());
    frmTop* top = w->Floating()->Top();
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(screen.contains(top->frameGeometry()));

    // Moved off the screens, the floating window comes back once it rests, and its place is kept.
    top->move(screen.right() + 500, screen.bottom() + 500);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return screen.contains(top->frameGeometry()); }, 3000));
    EXPECT_EQ(WindowPlace::Read(IniFile, "Float").Rect.topLeft(), top->geometry().topLeft());

    // The main window's place is kept by the close step.
    w->setGeometry(QRect(screen.topLeft() + QPoint(10, 20), QSize(500, 400)));
    w->ExitProgram();
    EXPECT_EQ(WindowPlace::Read(IniFile, "Main").Rect, w->geometry());
}
