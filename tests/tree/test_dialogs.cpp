// Every filing dialog driven through its named controls, refusals and messages included.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "TreeTestSupport.h"
#include "common/TestEnv.h"
#include "common/TestWidgets.h"
#include "store/Globals.h"
#include "store/JobDb.h"
#include "store/JobDbFormat.h"
#include "store/JobTable.h"
#include "tree/CategoryList.h"
#include "tree/CategoryView.h"
#include "tree/frmClassD.h"
#include "tree/frmClassMoveto.h"
#include "tree/frmClassNew.h"
#include "tree/frmClassP.h"
#include "tree/frmComment.h"
#include "tree/frmDelete.h"
#include "tree/frmMoveto.h"
#include "widgets/DialogHooks.h"
#include "widgets/TreeFill.h"

namespace {

using TestEnv::Child;

void Click(QWidget* w, const char* name) {
    Child<QPushButton>(w, name)->click();
}

void ChooseInTree(QWidget* w, const QString& key) {
    auto* tv = Child<QTreeWidget>(w, "tvClass");
    QTreeWidgetItem* item = FindTreeItem(tv, key);
    ASSERT_NE(item, nullptr) << key.toStdString();
    tv->setCurrentItem(item);
}

}  // namespace

TEST(FrmClassNew, FolderFollowsParentNameAndBoxAndOkCreatesTheCategory) {
    TreeTestScope scope;
    const QString base = TestEnv::NewDir("newcat");
    scope.tree.SetTag("102k", base + "/mtv/");
    scope.tree.SetTag("103k", base + "/games");
    frmClassNew dialog(&scope.tree, "102k");
    EXPECT_EQ(dialog.windowTitle(), "Create New Category");
    EXPECT_EQ(Child<QCheckBox>(&dialog, "chkCreateDir")->text(),
              "Create new directory with category name");
    EXPECT_EQ(dialog.ParentKey(), "102k");
    auto* txtName = Child<QLineEdit>(&dialog, "txtName");
    auto* txtDir = Child<QLineEdit>(&dialog, "txtDir");
    auto* chk = Child<QCheckBox>(&dialog, "chkCreateDir");
    EXPECT_TRUE(chk->isChecked());
    EXPECT_EQ(txtDir->text(), base + "/mtv/");

    txtName->setText("Live");
    EXPECT_EQ(txtDir->text(), base + "/mtv/Live");
    ChooseInTree(&dialog, "103k");
    EXPECT_EQ(txtDir->text(), base + "/games/Live");
    chk->setChecked(false);
    EXPECT_EQ(txtDir->text(), base + "/games");
    chk->setChecked(true);

    // Browsing replaces the base folder; the name is appended while the box is ticked.
    scope.nextFolder = base + "/picked";
    Click(&dialog, "cmdBrowse");
    EXPECT_EQ(scope.folderRequests.value(0), base + "/games");
    EXPECT_EQ(txtDir->text(), base + "/picked/Live");
    scope.nextFolder.clear();
    Click(&dialog, "cmdBrowse");
    EXPECT_EQ(txtDir->text(), base + "/picked/Live");

    Click(&dialog, "cmdOk");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.CreatedKey(), "103k1");
    const TreeNode* node = scope.tree.Find("103k1");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->ParentKey, "103k");
    EXPECT_EQ(node->Text, "Live");
    EXPECT_EQ(node->Tag, base + "/picked/Live/");
    EXPECT_TRUE(QDir(base + "/picked/Live").exists());
    EXPECT_TRUE(scope.messages.empty());
}

TEST(FrmClassNew, EmptyNameIsRefusedWithTheMessage) {
    TreeTestScope scope;
    frmClassNew dialog(&scope.tree, "Recely");  // not a category: "Downloaded" is preselected
    EXPECT_EQ(dialog.ParentKey(), "Downloaded");
    const int count = scope.tree.Count();
    Child<QLineEdit>(&dialog, "txtName")->setText("   ");
    dialog.show();
    Click(&dialog, "cmdOk");
    ASSERT_EQ(scope.messages.size(), 1u);
    EXPECT_EQ(scope.messages[0].text, "Please Input Category Name First!");
    EXPECT_EQ(scope.messages[0].icon, QMessageBox::Information);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(scope.tree.Count(), count);
    ASSERT_NE(dialog.focusWidget(), nullptr);
    EXPECT_EQ(dialog.focusWidget()->objectName(), "txtName");
    Click(&dialog, "cmdCancel");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(scope.tree.Count(), count);
}

TEST(FrmClassNew, RealMessageBoxCarriesTextAndIcon) {
    TreeTestScope scope;
    DialogHooks::SetMessageHook({});
    frmClassNew dialog(&scope.tree, "Downloaded");
    dialog.show();
    Click(&dialog, "cmdOk");
    auto* box = dialog.findChild<QMessageBox*>("msgTree");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Please Input Category Name First!");
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->windowTitle(), "Quorvanta");
    box->button(QMessageBox::Ok)->click();
}

TEST(FrmClassP, ShowsAndChangesCaptionAndFolderButKeepsTheKey) {
    TreeTestScope scope;
    const int job = AddTestJob("101k", StateComplete);
    frmClassP dialog(&scope.tree, "101k");
    EXPECT_EQ(dialog.windowTitle(), "Category Properties");
    auto* txtName = Child<QLineEdit>(&dialog, "txtName");
    auto* txtDir = Child<QLineEdit>(&dialog, "txtDir");
    EXPECT_EQ(txtName->text(), "Cartoon");
    EXPECT_EQ(txtDir->text(), DefaultDownDir);
    txtName->setText("Cartoons");
    scope.nextFolder = "/data/cartoons";
    Click(&dialog, "cmdBrowse");
    EXPECT_EQ(txtDir->text(), "/data/cartoons/");
    Click(&dialog, "cmdOk");
    EXPECT_EQ(scope.tree.Find("101k")->Text, "Cartoons");
    EXPECT_EQ(scope.tree.Find("101k")->Tag, "/data/cartoons/");
    EXPECT_EQ(Jobs[job].ClassKey, "101k");

    // Empty values are taken as they are.
    frmClassP again(&scope.tree, "101k");
    Child<QLineEdit>(&again, "txtDir")->clear();
    Click(&again, "cmdOk");
    EXPECT_EQ(scope.tree.Find("101k")->Tag, "");
}

TEST(FrmClassP, FixedNodesAreRefused) {
    TreeTestScope scope;
    for (const char* key : {"Downloaded", "Quorvanta", "History", "This Week"}) {
        scope.messages.clear();
        frmClassP dialog(&scope.tree, key);
        const QString text = scope.tree.Find(key)->Text;
        Child<QLineEdit>(&dialog, "txtName")->setText("X");
        Click(&dialog, "cmdOk");
        EXPECT_EQ(scope.tree.Find(key)->Text, text);
        ASSERT_EQ(scope.messages.size(), 1u) << key;
        EXPECT_EQ(scope.messages[0].text, "Error!\nCan not Change this Category!");
        EXPECT_EQ(scope.messages[0].icon, QMessageBox::Critical);
    }
}

TEST(FrmClassD, DeletesCategoryAndBinsItsFinishedJobs) {
    TreeTestScope scope;
    scope.tree.Add("102k", "102k1", "Sub", "5", "6", "/s/");
    const int done = AddTestJob("102k", StateComplete);
    const int running = AddTestJob("102k", StateRunning);
    const int sub = AddTestJob("102k1", StateComplete);
    frmClassD dialog(&scope.tree, "102k");
    EXPECT_EQ(dialog.windowTitle(), "Delete Category");
    EXPECT_EQ(Child<QLabel>(&dialog, "lblText")->text(),
              "Do you really want to delete this category and its sub category ?");
    EXPECT_EQ(Child<QLabel>(&dialog, "lblName")->text(), "MTV");
    EXPECT_EQ(Child<QLabel>(&dialog, "lblDir")->text(), DefaultDownDir);
    Click(&dialog, "cmdOk");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(scope.tree.Exists("102k"));
    EXPECT_FALSE(scope.tree.Exists("102k1"));
    EXPECT_EQ(Jobs[done].ClassKey, "Recely");
    EXPECT_EQ(Jobs[running].ClassKey, "102k");
    EXPECT_EQ(Jobs[sub].ClassKey, "102k1");
    EXPECT_TRUE(scope.messages.empty());
}

TEST(FrmClassD, FixedNodesRootAndHistoryAreRefused) {
    TreeTestScope scope;
    const int count = scope.tree.Count();
    for (const char* key :
         {"Downloaded", "Recely", "NowSearch", "NowDownLoad", "Quorvanta", "History", "Today"}) {
        scope.messages.clear();
        frmClassD dialog(&scope.tree, key);
        Click(&dialog, "cmdOk");
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        ASSERT_EQ(scope.messages.size(), 1u) << key;
        EXPECT_EQ(scope.messages[0].text, "Error!\nCan not Delete this Category!");
        EXPECT_EQ(scope.messages[0].icon, QMessageBox::Critical);
    }
    EXPECT_EQ(scope.tree.Count(), count);
}

TEST(FrmClassMoveto, MovesRefusesOwnSubtreeAndLeavesDownloaded) {
    TreeTestScope scope;
    scope.tree.Add("101k", "101k1", "Child", "5", "6", "/c/");
    {
        frmClassMoveto dialog(&scope.tree, "101k");
        EXPECT_EQ(dialog.windowTitle(), "Move Category To . . .");
        EXPECT_EQ(Child<QLineEdit>(&dialog, "txtName")->text(), "Cartoon");
        EXPECT_EQ(Child<QCheckBox>(&dialog, "chkMoveFile")->text(), "Move File");
        EXPECT_EQ(dialog.ChosenKey(), "101k");
        dialog.show();
        ChooseInTree(&dialog, "101k1");
        Click(&dialog, "cmdOk");
        ASSERT_EQ(scope.messages.size(), 1u);
        EXPECT_EQ(scope.messages[0].text,
                  "Can not move a category into itself or one of its sub categories!");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(scope.tree.Find("101k")->ParentKey, "Downloaded");
        ChooseInTree(&dialog, "104k");
        Click(&dialog, "cmdOk");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(scope.tree.Find("101k")->ParentKey, "104k");
        EXPECT_EQ(scope.tree.Find("101k1")->ParentKey, "101k");
        EXPECT_EQ(scope.tree.Find("101k")->Tag, DefaultDownDir);
    }
    {
        scope.messages.clear();
        frmClassMoveto dialog(&scope.tree, "Downloaded");
        ChooseInTree(&dialog, "103k");
        Click(&dialog, "cmdOk");
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(scope.tree.Find("Downloaded")->ParentKey, "Quorvanta");
        EXPECT_TRUE(scope.messages.empty());
    }
    {
        frmClassMoveto dialog(&scope.tree, "Recely");
        ChooseInTree(&dialog, "103k");
        Click(&dialog, "cmdOk");
        EXPECT_EQ(scope.tree.Find("Recely")->ParentKey, "Quorvanta");
        ASSERT_EQ(scope.messages.size(), 1u);
        EXPECT_EQ(scope.messages[0].text, "Error!\nCan not Move this Category!");
    }
}

TEST(FrmMoveto, MovesSelectedJobsAndLeavesSameCategoryAlone) {
    TreeTestScope scope;
    const int a = AddTestJob("101k", StateComplete);
    const int b = AddTestJob("101k", StateComplete);
    const int c = AddTestJob("101k", StateComplete);
    CategoryView view(&scope.tree);
    QTreeWidget lv;
    CategoryList list(&view, &lv);
    view.SelectNode("101k");
    ASSERT_EQ(list.RowCount(), 3);
    list.RowOf(a)->setSelected(true);
    list.RowOf(c)->setSelected(true);

    {
        frmMoveto dialog(&scope.tree, &view, &list);
        EXPECT_EQ(dialog.windowTitle(), "Move File To . . .");
        EXPECT_EQ(dialog.ChosenKey(), "101k");
        Click(&dialog, "cmdOk");  // same category: nothing changes
        EXPECT_EQ(list.RowCount(), 3);
        EXPECT_EQ(Jobs[a].ClassKey, "101k");
    }
    {
        frmMoveto dialog(&scope.tree, &view, &list);
        ChooseInTree(&dialog, "103k");
        Click(&dialog, "cmdOk");
        EXPECT_EQ(Jobs[a].ClassKey, "103k");
        EXPECT_EQ(Jobs[b].ClassKey, "101k");
        EXPECT_EQ(Jobs[c].ClassKey, "103k");
        ASSERT_EQ(list.RowCount(), 1);
        EXPECT_EQ(CategoryList::RowKey(lv.topLevelItem(0)), QString::number(b) + "Key");
    }
    // Under a history filter the moved jobs stay listed.
    view.SelectNode("All");
    ASSERT_EQ(list.RowCount(), 3);
    list.RowOf(b)->setSelected(true);
    frmMoveto dialog(&scope.tree, &view, &list);
    ChooseInTree(&dialog, "104k");
    Click(&dialog, "cmdOk");
    EXPECT_EQ(Jobs[b].ClassKey, "104k");
    EXPECT_EQ(list.RowCount(), 3);
}

TEST(FrmDelete, CurrentDownloadsArePausedDeletedForGoodWithTheirFiles) {
    TreeTestScope scope;
    JobDbFile = TestEnv::NewDir("deldb") + "/default.qvb";
    const QString dir = TestEnv::NewDir("deldl");
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/run.swf!qv", "x"));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/wait.swf", "y"));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/done.swf", "z"));
    const int running = AddTestJob("101k", StateRunning, dir + "/run.swf!qv");
    const int waiting = AddTestJob("101k", StateWaiting, dir + "/wait.swf");
    const int done = AddTestJob("101k", StateComplete, dir + "/done.swf");
    const int other = AddTestJob("101k", StatePaused);

    QList<int> paused, removed;
    CategoryHooks hooks;
    hooks.selectedNowDownJobs = [&] { return QList<int>{running, waiting, done}; };
    hooks.pauseJob = [&](int i) {
        paused.append(i);
        Jobs[i].State = StatePaused;
    };
    hooks.removeNowDownRow = [&](int i) { removed.append(i); };

    frmDelete dialog(&scope.tree, CategoryView::ViewDownloads, "NowDownLoad", nullptr, hooks);
    EXPECT_EQ(dialog.windowTitle(), "Delete");
    EXPECT_EQ(Child<QLabel>(&dialog, "lblText")->text(),
              "Are you really want to delete this item?");
    EXPECT_EQ(Child<QCheckBox>(&dialog, "chkDelUndown")->text(), "Delete Undownload file");
    EXPECT_EQ(Child<QCheckBox>(&dialog, "chkDelDown")->text(), "Delete Have Downloaded file");
    Child<QCheckBox>(&dialog, "chkDelUndown")->setChecked(true);
    Click(&dialog, "cmdOk");

    EXPECT_EQ(paused, QList<int>{running});
    EXPECT_EQ(removed, (QList<int>{running, waiting}));
    EXPECT_EQ(Jobs[running].ClassKey, "Recely_Really");
    EXPECT_EQ(Jobs[waiting].ClassKey, "Recely_Really");
    EXPECT_NE(Jobs[waiting].State, StateWaiting);  // never started by the scheduler again
    EXPECT_EQ(Jobs[done].ClassKey, "101k");
    EXPECT_FALSE(QFile::exists(dir + "/run.swf!qv"));
    EXPECT_FALSE(QFile::exists(dir + "/wait.swf"));
    EXPECT_TRUE(QFile::exists(dir + "/done.swf"));

    // Saved at once, without the deleted jobs.
    CategoryTree loaded;
    ClearJobs();
    LoadJobDb(loaded, JobDbFile);
    EXPECT_EQ(JobCount, 2);
    EXPECT_EQ(Jobs[1].State, StateComplete);
    EXPECT_EQ(Jobs[2].State, StatePaused);
    (void)other;
}

TEST(FrmDelete, RecycleBinRowsAreDeletedForGoodAndCancelChangesNothing) {
    TreeTestScope scope;
    JobDbFile = TestEnv::NewDir("bindb") + "/default.qvb";
    const QString dir = TestEnv::NewDir("bindl");
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/old.swf", "x"));
    const int old = AddTestJob("Recely", StateComplete, dir + "/old.swf");
    const int keep = AddTestJob("Recely", StateComplete);
    CategoryView view(&scope.tree);
    QTreeWidget lv;
    CategoryList list(&view, &lv);
    view.SelectNode("Recely");
    list.RowOf(old)->setSelected(true);

    {
        frmDelete dialog(&scope.tree, CategoryView::ViewCategory, "Recely", &list, {});
        Child<QCheckBox>(&dialog, "chkDelDown")->setChecked(true);
        Click(&dialog, "cmdCancel");
        EXPECT_EQ(Jobs[old].ClassKey, "Recely");
        EXPECT_EQ(list.RowCount(), 2);
    }
    int saves = 0;
    CategoryHooks hooks;
    hooks.saveJobDb = [&] { ++saves; };
    frmDelete dialog(&scope.tree, CategoryView::ViewCategory, "Recely", &list, hooks);
    Child<QCheckBox>(&dialog, "chkDelDown")->setChecked(true);
    Click(&dialog, "cmdOk");
    EXPECT_EQ(Jobs[old].ClassKey, "Recely_Really");
    EXPECT_EQ(Jobs[keep].ClassKey, "Recely");
    EXPECT_FALSE(QFile::exists(dir + "/old.swf"));
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(dialog.DeletedJobs(), QList<int>{old});
}

TEST(FrmComment, EditsTheJobsComment) {
    TreeTestScope scope;
    const int job = AddTestJob("101k", StateComplete);
    Jobs[job].Comment = "first";
    {
        frmComment dialog(job);
        EXPECT_EQ(dialog.windowTitle(), "Comment");
        auto* txt = Child<QPlainTextEdit>(&dialog, "txtComment");
        EXPECT_EQ(txt->toPlainText(), "first");
        txt->setPlainText("changed");
        Click(&dialog, "cmdCancel");
        EXPECT_EQ(Jobs[job].Comment, "first");
    }
    frmComment dialog(job);
    Child<QPlainTextEdit>(&dialog, "txtComment")->setPlainText("two\nlines");
    Click(&dialog, "cmdOk");
    EXPECT_EQ(Jobs[job].Comment, "two\nlines");
}
