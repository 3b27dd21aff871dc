// The tree widget mirror, the menus and their enabling, and the commands' dispatch by view.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QWidget>

#include "TreeTestSupport.h"
#include "store/JobTable.h"
#include "tree/CategoryCommands.h"
#include "tree/CategoryList.h"
#include "tree/CategoryTreeUi.h"
#include "tree/CategoryView.h"
#include "tree/EditEnabling.h"
#include "tree/TreeMirror.h"
#include "tree/frmDelete.h"

namespace {

struct Window {
    explicit Window(CategoryTree* tree)
        : tvNa(new QTreeWidget(&main)),
          lvHaveDown(new QTreeWidget(&main)),
          ui(tree, tvNa, lvHaveDown, &main) {
        ui.commands()->Hooks().saveJobDb = [this] { ++saves; };
    }
    QWidget main;
    QTreeWidget* tvNa;
    QTreeWidget* lvHaveDown;
    CategoryTreeUi ui;
    int saves = 0;
};

QAction* Action(QWidget* parent, const char* name) {
    auto* a = parent->findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(a, nullptr) << name;
    return a;
}

}  // namespace

TEST(TreeMirror, KeepsSelectionAndCollapsedNodesAcrossChanges) {
    TreeTestScope scope;
    QTreeWidget tvNa;
    TreeMirror mirror(&scope.tree, &tvNa);
    QSignalSpy selected(&mirror, &TreeMirror::NodeSelected);
    ASSERT_EQ(tvNa.topLevelItemCount(), 2);
    EXPECT_EQ(TreeMirror::KeyOf(tvNa.topLevelItem(0)), "Quorvanta");
    EXPECT_EQ(tvNa.topLevelItem(1)->childCount(), 4);
    EXPECT_EQ(mirror.ItemOf("104k")->text(0), "Ad");

    // A click (current item change) reports the node.
    tvNa.setCurrentItem(mirror.ItemOf("102k"));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toString(), "102k");
    mirror.ItemOf("103k")->setExpanded(false);
    scope.tree.Add("103k", "103k1", "Puzzles", "5", "6", "/p/");

    scope.tree.SetText("102k", "Music");
    EXPECT_EQ(mirror.SelectedKey(), "102k");
    EXPECT_EQ(mirror.ItemOf("102k")->text(0), "Music");
    EXPECT_FALSE(mirror.ItemOf("103k")->isExpanded());
    EXPECT_TRUE(mirror.ItemOf("Downloaded")->isExpanded());
    EXPECT_EQ(selected.count(), 1);  // rebuilding reports nothing

    // The chosen node disappears: its parent is chosen and reported.
    mirror.Select("103k1");
    selected.clear();
    scope.tree.Remove("103k");
    EXPECT_EQ(mirror.SelectedKey(), "Downloaded");
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toString(), "Downloaded");
}

TEST(CategoryCommands, MenusFollowTheView) {
    TreeTestScope scope;
    Window w(&scope.tree);
    CategoryCommands* c = w.ui.commands();
    const char* categoryEntries[] = {
        "popClass_New",     "popClass_Delete",     "popClass_Moveto",     "popClass_Property",
        "mnuFile_ClassNew", "mnuFile_ClassMoveto", "mnuFile_ClassDelete", "mnuFile_ClassProperty"};
    const char* importExport[] = {"popClass_ImportList", "popClass_ExportList",
                                  "popClass_ImportFile", "popClass_ImportBatch"};

    w.ui.mirror()->Select("NowDownLoad");
    for (const char* name : categoryEntries)
        EXPECT_FALSE(Action(&w.main, name)->isEnabled()) << name;
    EXPECT_FALSE(c->CategoryMenu()->menuAction()->isEnabled());
    w.ui.mirror()->Select("101k");
    for (const char* name : categoryEntries)
        EXPECT_TRUE(Action(&w.main, name)->isEnabled()) << name;
    for (const char* name : importExport) EXPECT_FALSE(Action(&w.main, name)->isEnabled()) << name;
    EXPECT_EQ(Action(&w.main, "popClass_ExportList")->text(), "&Export DownLoad List...");
    EXPECT_EQ(Action(&w.main, "mnuFile_ClassMoveto")->text(), "&MoveTo");

    c->SetImportExportReady(true);
    w.ui.mirror()->Select("NowDownLoad");
    EXPECT_TRUE(Action(&w.main, "popClass_ImportList")->isEnabled());
    EXPECT_FALSE(Action(&w.main, "popClass_ImportFile")->isEnabled());
    w.ui.mirror()->Select("NowSearch");
    EXPECT_FALSE(Action(&w.main, "popClass_ImportList")->isEnabled());

    // A right click chooses the node before the menu comes up.
    QSignalSpy panes(w.ui.view(), &CategoryView::PaneChanged);
    const QRect rect = w.tvNa->visualItemRect(w.ui.mirror()->ItemOf("Recely"));
    emit w.tvNa->customContextMenuRequested(rect.center());
    EXPECT_EQ(w.ui.view()->CurrentKey(), "Recely");
    EXPECT_EQ(panes.count(), 1);
    EXPECT_TRUE(c->TreeMenu()->isVisible());
    EXPECT_TRUE(Action(&w.main, "popClass_Delete")->isEnabled());
    c->TreeMenu()->hide();
}

TEST(CategoryCommands, DeleteDispatchesByView) {
    TreeTestScope scope;
    Window w(&scope.tree);
    CategoryCommands* c = w.ui.commands();
    const int a = AddTestJob("101k", StateComplete);
    const int b = AddTestJob("101k", StateComplete);
    int searchDeletes = 0;
    c->Hooks().deleteSelectedSearches = [&] { ++searchDeletes; };
    c->Hooks().selectedNowDownJobs = [] { return QList<int>{}; };

    // No node chosen: nothing happens.
    EXPECT_EQ(c->DeleteJobs(), nullptr);
    EXPECT_EQ(searchDeletes, 0);

    w.ui.mirror()->Select("NowSearch");
    EXPECT_EQ(c->DeleteJobs(), nullptr);
    EXPECT_EQ(searchDeletes, 1);

    w.ui.mirror()->Select("NowDownLoad");
    QDialog* d = c->DeleteJobs();
    ASSERT_NE(qobject_cast<frmDelete*>(d), nullptr);
    d->close();

    // A category: the selected finished jobs go to the recycle bin at once and are saved.
    w.ui.mirror()->Select("101k");
    ASSERT_EQ(w.ui.list()->RowCount(), 2);
    w.ui.list()->RowOf(a)->setSelected(true);
    EXPECT_EQ(c->DeleteJobs(), nullptr);
    EXPECT_EQ(Jobs[a].ClassKey, "Recely");
    EXPECT_EQ(Jobs[b].ClassKey, "101k");
    EXPECT_EQ(w.ui.list()->RowCount(), 1);
    EXPECT_EQ(w.saves, 1);

    // The recycle bin asks first.
    w.ui.mirror()->Select("Recely");
    ASSERT_EQ(w.ui.list()->RowCount(), 1);
    d = c->DeleteJobs();
    ASSERT_NE(qobject_cast<frmDelete*>(d), nullptr);
    EXPECT_EQ(Jobs[a].ClassKey, "Recely");
    d->close();
}

TEST(CategoryCommands, CategoryDialogsWorkOnTheChosenNode) {
    TreeTestScope scope;
    Window w(&scope.tree);
    CategoryCommands* c = w.ui.commands();
    const int own = AddTestJob("104k", StateComplete);
    const int parentJob = AddTestJob("Downloaded", StateComplete);

    // Fixed nodes: properties and move are refused before any dialog opens.
    w.ui.mirror()->Select("Recely");
    EXPECT_EQ(c->CategoryProperties(), nullptr);
    EXPECT_EQ(c->MoveCategory(), nullptr);
    ASSERT_EQ(scope.messages.size(), 2u);
    EXPECT_EQ(scope.messages[0].text, "Error!\nCan not Change this Category!");
    EXPECT_EQ(scope.messages[1].text, "Error!\nCan not Move this Category!");

    // A new category below the chosen one shows in tvNa at once.
    w.ui.mirror()->Select("104k");
    QDialog* d = c->NewCategory();
    ASSERT_NE(d, nullptr);
    QSignalSpy done(c, &CategoryCommands::CommandDone);
    d->findChild<QLineEdit*>("txtName")->setText("Banners");
    d->findChild<QCheckBox*>("chkCreateDir")->setChecked(false);
    d->findChild<QPushButton*>("cmdOk")->click();
    EXPECT_EQ(done.count(), 1);
    ASSERT_NE(w.ui.mirror()->ItemOf("104k1"), nullptr);
    EXPECT_EQ(w.ui.mirror()->ItemOf("104k1")->text(0), "Banners");
    EXPECT_EQ(w.ui.mirror()->SelectedKey(), "104k");

    // Deleting the chosen category bins its job and shows its parent.
    ASSERT_EQ(w.ui.list()->RowCount(), 1);
    d = c->DeleteCategory();
    ASSERT_NE(d, nullptr);
    d->findChild<QPushButton*>("cmdOk")->click();
    EXPECT_FALSE(scope.tree.Exists("104k"));
    EXPECT_EQ(Jobs[own].ClassKey, "Recely");
    EXPECT_EQ(w.ui.mirror()->SelectedKey(), "Downloaded");
    EXPECT_EQ(w.ui.view()->CurrentKey(), "Downloaded");
    ASSERT_EQ(w.ui.list()->RowCount(), 1);
    EXPECT_EQ(CategoryList::JobOf(w.lvHaveDown->topLevelItem(0)), parentJob);
    EXPECT_EQ(w.saves, 0);  // category edits wait for the next save

    // Comment needs a chosen row.
    EXPECT_EQ(c->CommentJob(), nullptr);
    w.lvHaveDown->topLevelItem(0)->setSelected(true);
    d = c->CommentJob();
    ASSERT_NE(d, nullptr);
    d->close();
}

TEST(CategoryList, RowsCarryKeyTagIconAndColumns) {
    TreeTestScope scope;
    const int job = AddTestJob("102k", StateComplete, "/home/u/mydown/clip.swf");
    AddTestJob("102k", StatePaused);
    CategoryView view(&scope.tree);
    QTreeWidget lv;
    CategoryList list(&view, &lv);
    view.SelectNode("102k");
    EXPECT_EQ(lv.objectName(), "lvHaveDown");
    ASSERT_EQ(lv.topLevelItemCount(), 1);
    QTreeWidgetItem* row = lv.topLevelItem(0);
    EXPECT_EQ(row->text(0), "clip.swf");
    EXPECT_EQ(row->text(1), QString::number(Jobs[job].FileSize));
    EXPECT_EQ(row->text(2), "/home/u/mydown/clip.swf");
    EXPECT_EQ(row->text(3), Jobs[job].Url);
    EXPECT_EQ(CategoryList::RowKey(row), QString::number(job) + "Key");
    EXPECT_EQ(CategoryList::JobOf(row), job);
    EXPECT_FALSE(row->icon(0).isNull());

    QTreeWidget* info = CategoryList::CreateInfoList();
    EXPECT_EQ(info->objectName(), "lvHaveDownInfo");
    EXPECT_EQ(info->headerItem()->text(0), "Parameter");
    EXPECT_EQ(info->headerItem()->text(1), "Value");
    delete info;
}

TEST(EditEnabling, RulesPerView) {
    const ListRowState idleSel{true, false}, runSel{true, true}, idle{false, false},
        run{false, true};
    EXPECT_EQ(ComputeEditEnabling(3, {}), EditEnabling{});
    EditEnabling one = ComputeEditEnabling(3, {idleSel, idle});
    EXPECT_TRUE(one.moveTo && one.deleteJobs && one.outputFile && one.comment && one.copyUrl &&
                one.openFile && one.openDir);
    EditEnabling two = ComputeEditEnabling(3, {idleSel, idleSel});
    EXPECT_TRUE(two.moveTo && two.deleteJobs && two.outputFile);
    EXPECT_FALSE(two.comment || two.copyUrl || two.openFile || two.openDir);

    EXPECT_TRUE(ComputeEditEnabling(2, {run, idleSel}).deleteJobs);
    EXPECT_FALSE(ComputeEditEnabling(2, {runSel, idle}).deleteJobs);
    EXPECT_FALSE(ComputeEditEnabling(2, {idleSel, runSel}, 1).deleteJobs);
    EXPECT_FALSE(ComputeEditEnabling(2, {idle, run}).deleteJobs);
    EXPECT_FALSE(ComputeEditEnabling(2, {idleSel, idleSel}).copyUrl);
    EXPECT_FALSE(ComputeEditEnabling(2, {idleSel}).moveTo);

    EXPECT_TRUE(ComputeEditEnabling(1, {run, idleSel, runSel}).deleteJobs);
    EXPECT_FALSE(ComputeEditEnabling(1, {runSel, idleSel}).deleteJobs);
    EXPECT_TRUE(ComputeEditEnabling(1, {idle}).copyUrl);
    EXPECT_FALSE(ComputeEditEnabling(1, {idle}).deleteJobs);
}
