// The floating window in the real main window: shown at start-up and toggled by both "Top Window"
// commands with their check marks, a link dropped on Image1 opening the new-job dialog through the
// hand-off timer, the right button's tray menu with the Jobs menu's enabling, and the double click
// that minimizes and restores the main window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include "common/TestEnv.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmNewDown1.h"
#include "store/JobTable.h"
#include "store/Settings.h"
#include "ui/FloatingTools.h"
#include "ui/MainMenus.h"
#include "ui/frmMain.h"
#include "ui/frmTop.h"

namespace {

class FloatingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestEnv::IsolateHome();
        ClearJobs();
        Settings = SettingsRecord{};
        window = std::make_unique<frmMain>();
        window->Load();
        window->ShowAfterLoad();
    }
    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
        if (frmNewDown1* d = window->NewJobs()->Loaded()) d->reject();
        TestEnv::Settle();
        window.reset();
        ClearJobs();
    }
    frmTop* Top() const { return window->Floating()->Top(); }
    bool Checked(const char* name) const { return window->Menus()->Action(name)->isChecked(); }

    std::unique_ptr<frmMain> window;
};

TEST_F(FloatingWindowTest, ShownAtStartAndToggledByBothCommandsWithTheirChecks) {
    ASSERT_NE(Top(), nullptr);
    EXPECT_TRUE(Top()->isVisible());
    EXPECT_TRUE(Top()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Top()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Top()->Image1->accessibleName(), "Drop a link here");
    EXPECT_EQ(Top()->Image1->toolTip(), "Drop a link here");
    EXPECT_EQ(Top()->Image2->accessibleName(),
              "Drag over a browser window to find its Flash movies");
    EXPECT_TRUE(Checked("mnuView_Pop"));
    EXPECT_TRUE(Checked("popMain_Pop"));

    window->Menus()->Action("mnuView_Pop")->trigger();
    // Closing drops the window and the main window's reference to it.
    EXPECT_TRUE(TestEnv::WaitFor([&] { return Top() == nullptr; }, 2000));
    EXPECT_FALSE(Checked("mnuView_Pop"));
    EXPECT_FALSE(Checked("popMain_Pop"));

    window->Menus()->Action("popMain_Pop")->trigger();
    ASSERT_NE(Top(), nullptr);
    EXPECT_TRUE(Top()->isVisible());
    EXPECT_TRUE(Checked("mnuView_Pop"));
    EXPECT_TRUE(Checked("popMain_Pop"));
}

TEST_F(FloatingWindowTest, DroppedLinkOpensTheNewJobDialogWithIt) {
    ASSERT_NE(Top(), nullptr);
    // The batch tab used last: a dropped link still opens on the single file's address.
    window->NewJobs()->Memory().Mode = ModeBatch;
    const QString url = "http://127.0.0.1:8/movies/dropped.swf";
    QMimeData data;
    data.setText(url + "\nThe movie's title");
    QLabel* target = Top()->Image1;
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());

    frmNewDown1* dialog = nullptr;
    ASSERT_TRUE(TestEnv::WaitFor(
        [&] {
            dialog = window->NewJobs()->Loaded();
            return dialog && dialog->isVisible();
        },
        5000));
    EXPECT_EQ(window->NewJobs()->Memory().SharedUrl, url);
    EXPECT_TRUE(TestEnv::WaitFor([&] { return dialog->txtUrl->text() == url; }, 2000))
        << dialog->txtUrl->text().toStdString();
    EXPECT_EQ(window->NewJobs()->Memory().Mode, ModeSingleFile);
}

TEST_F(FloatingWindowTest, RightButtonPopsUpTheTrayMenuWithTheJobsMenusEnabling) {
    ASSERT_NE(Top(), nullptr);
    QMenu* popMain = window->Menus()->popMain();
    // No jobs: "start all" is not allowed, whatever the entry said before.
    window->Menus()->Action("popMain_AllBegin")->setEnabled(true);
    for (QLabel* image : {Top()->Image1, Top()->Image2}) {
        QTest::mousePress(image, Qt::RightButton, {}, image->rect().center());
        ASSERT_TRUE(TestEnv::WaitFor([&] { return popMain->isVisible(); }, 2000));
        EXPECT_FALSE(window->Menus()->Action("popMain_AllBegin")->isEnabled());
        EXPECT_EQ(popMain->actions().value(0)->objectName(), "popMain_Show");
        popMain->close();
        ASSERT_TRUE(TestEnv::WaitFor([&] { return !popMain->isVisible(); }, 2000));
        window->Menus()->Action("popMain_AllBegin")->setEnabled(true);
    }
}

TEST_F(FloatingWindowTest, DoubleClickMinimizesANormalMainWindowAndRestoresAMinimizedOne) {
    ASSERT_NE(Top(), nullptr);
    ASSERT_FALSE(window->isMinimized());
    QLabel* image = Top()->Image1;
    QTest::mouseDClick(image, Qt::LeftButton, {}, image->rect().center());
    EXPECT_TRUE(TestEnv::WaitFor([&] { return window->isMinimized(); }, 2000));
    QTest::mouseDClick(image, Qt::LeftButton, {}, image->rect().center());
    EXPECT_TRUE(
        TestEnv::WaitFor([&] { return !window->isMinimized() && window->isVisible(); }, 2000));
    // A maximized window counts as not normal: it comes back to normal size.
    window->showMaximized();
    QTest::mouseDClick(image, Qt::LeftButton, {}, image->rect().center());
    EXPECT_TRUE(TestEnv::WaitFor(
        [&] { return window->windowState() == Qt::WindowNoState && window->isVisible(); }, 2000));
}

}  // namespace
