// The main window as users expect it: a job just added is shown with its speed and time left next
// to the percentage, links dropped anywhere on it open the new-job dialog, and the windows come
// back on the screens there are.

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
#include <QTest>
#include <QTreeWidget>

#include "common/NginxServer.h"
#include "common/TestEnv.h"
#include "manager/clsJobManager.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/Globals.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "store/TransferText.h"
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
    }
    void Open() {
        w = std::make_unique<frmMain>();
        w->Load();
        Settings.PopMessage = 0;
        w->ShowAfterLoad();
    }
    void TearDown() override {
        if (frmNewDown1* d = w->NewJobs()->Loaded()) d->reject();
        w.reset();
        ClearJobs();
    }
    std::unique_ptr<frmMain> w;
};

// "12.3 KB/s" (also at the end of a longer text) in kilobytes per second; -1 when not such a text.
double KBPerSecond(const QString& text) {
    const auto m = QRegularExpression("(\\d+\\.\\d) (KB|MB)/s$").match(text);
    return m.hasMatch() ? m.captured(1).toDouble() * (m.captured(2) == "MB" ? 1024 : 1) : -1;
}

}  // namespace

TEST_F(ProgressView, AddedJobIsShownWithItsSpeedAndTimeLeftNextToThePercentage) {
    NginxServer nginx("sendfile off; limit_rate 200k;");  // an even rate, no bursts
    ASSERT_TRUE(nginx.IsRunning()) << nginx.Error().toStdString();
    ASSERT_TRUE(nginx.Put("slow.swf", TestEnv::RandomBytes(3000000, 4)));
    Open();
    auto* list = w->findChild<QTreeWidget*>("lvNowDown");
    EXPECT_EQ(list->headerItem()->text(clsJobManager::ColSpeed), "Speed");
    EXPECT_EQ(list->header()->visualIndex(clsJobManager::ColTimeLeft),
              list->header()->visualIndex(clsJobManager::ColPercent) + 2);

    frmNewDown1* dialog = w->NewJobs()->Open(ModeSingleFile);
    ASSERT_TRUE(dialog);
    dialog->findChild<QLineEdit*>("txtUrl")->setText(nginx.Url("/slow.swf"));
    dialog->findChild<QLineEdit*>("txtSaveAs1")->setText(TestEnv::NewDir("movies") + "/");
    dialog->findChild<QComboBox*>("cmbNum1")->setCurrentText("1");  // the rate is per connection
    dialog->findChild<QPushButton*>("cmdNewJobOk")->click();
    // The tree goes to "Downloading" and the new row is the chosen one.
    ASSERT_TRUE(TestEnv::WaitFor([&] { return w->ActiveList() == 2; }, 3000));
    EXPECT_EQ(w->Manager()->SelectedJobs(), QList<int>{1});
    EXPECT_EQ(w->Manager()->ShownJob(), 1);
    ASSERT_TRUE(list->currentItem() && list->currentItem()->isSelected());

    // About the server's 200 KB/s once a few seconds are measured; the status bar alike.
    QTest::qWait(3000);
    const QStringList cells = w->Manager()->RowTexts(1);
    ASSERT_EQ(cells.size(), clsJobManager::ColumnCount);
    const double speed = KBPerSecond(cells[clsJobManager::ColSpeed]);
    EXPECT_TRUE(speed > 120 && speed < 260) << cells[clsJobManager::ColSpeed].toStdString();
    EXPECT_TRUE(
        QRegularExpression("^\\d+:\\d\\d$").match(cells[clsJobManager::ColTimeLeft]).hasMatch())
        << cells[clsJobManager::ColTimeLeft].toStdString();
    // That of the bytes still missing, not of the whole file.
    EXPECT_LT(w->Manager()->RowSecondsLeft(1),
              TransferText::SecondsLeft(3000000, w->Manager()->RowSpeed(1)));
    const QString bar = w->findChild<QLabel*>("StatusBar1_Panel2")->text();
    EXPECT_TRUE(bar.startsWith("1 running, ") && KBPerSecond(bar) > 100) << bar.toStdString();
    // On the screen too, sorting by bytes per second rather than by the text.
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return !list->currentItem()->text(clsJobManager::ColSpeed).isEmpty(); }, 2000));
    EXPECT_GT(list->currentItem()->data(clsJobManager::ColSpeed, SortableItem::SortRole).toDouble(),
              100 * 1024);

    w->Manager()->PauseJob(1);  // paused: neither speed nor time left
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return (w->Manager()->RowTexts(1).mid(clsJobManager::ColSpeed).join("")).isEmpty(); },
        3000));
}

TEST_F(ProgressView, LinkDroppedAnywhereOnTheMainWindowOpensTheNewJobDialog) {
    Open();
    for (const auto& [target, asUrl] :
         {std::pair{"lvNowDown", false}, {"tvNa", true}, {"StatusBar1", false}}) {
        const QString url = QString("http://127.0.0.1:8/dropped-%1.swf").arg(target);
        QMimeData data;
        if (asUrl)
            data.setUrls({QUrl(url)});
        else
            data.setText(url + "\nThe movie's title");
        QWidget* widget = w->findChild<QWidget*>(target);
        if (auto* view = qobject_cast<QAbstractScrollArea*>(widget)) widget = view->viewport();
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        EXPECT_TRUE(enter.isAccepted()) << target;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &drop);
        ASSERT_TRUE(TestEnv::WaitFor([&] {
            frmNewDown1* dialog = w->NewJobs()->Loaded();
            return dialog && dialog->isVisible() && dialog->txtUrl->text() == url;
        })) << target;
        w->NewJobs()->Loaded()->reject();
    }
    QMimeData image;  // no link: left alone
    image.setImageData(QImage(4, 4, QImage::Format_RGB32));
    QDragEnterEvent enter({5, 5}, Qt::CopyAction, &image, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.get(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(ProgressView, WindowsComeBackOnTheScreensThereAre) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Left on a screen to the right that is not there now, larger than this one; and far away.
    ASSERT_TRUE(WindowPlace::Write(
        IniFile, "Main", {{screen.right() + 3000, 40, screen.width() + 400, 2000}, false}));
    ASSERT_TRUE(WindowPlace::Write(IniFile, "Float", {{-5000, -5000, 40, 40}, false}));
    Open();
    EXPECT_TRUE(screen.contains(w->frameGeometry()));
    frmTop* top = w->Floating()->Top();
    EXPECT_TRUE(screen.contains(top->frameGeometry()));

    // Moved off the screens, the floating window comes back once it rests; its place is kept.
    top->move(screen.right() + 500, screen.bottom() + 500);
    ASSERT_TRUE(TestEnv::WaitFor([&] { return screen.contains(top->frameGeometry()); }, 3000));
    EXPECT_EQ(WindowPlace::Read(IniFile, "Float").Rect.topLeft(), top->geometry().topLeft());
    w->setGeometry(QRect(screen.topLeft() + QPoint(10, 20), QSize(500, 400)));
    w->ExitProgram();
    EXPECT_EQ(WindowPlace::Read(IniFile, "Main").Rect, w->geometry());
}
