// Keys of new categories, moves, deletions, and a user-built tree surviving save and load.

#include <gtest/gtest.h>

#include <QDir>

#include "TreeTestSupport.h"
#include "common/TestEnv.h"
#include "store/JobDb.h"
#include "store/JobTable.h"
#include "tree/CategoryEdit.h"

using CategoryEdit::MoveResult;

TEST(CategoryEdit, NewKeysNeverReuseKeysOfNodesOrOfJobs) {
    TreeTestScope scope;
    CategoryTree& tree = scope.tree;
    EXPECT_EQ(CategoryEdit::NewCategoryKey(tree, "Downloaded"), "Downloaded5");
    const QString a = CategoryEdit::CreateCategory(tree, "101k", "A", "/m/a", false);
    const QString b = CategoryEdit::CreateCategory(tree, "101k", "B", "/m/b", false);
    EXPECT_EQ(a, "101k1");
    EXPECT_EQ(b, "101k2");
    EXPECT_EQ(CategoryEdit::CreateCategory(tree, "101k", "C", "/m/c", false), "101k3");

    // After the first child is moved away, the parent has two children: "101k3" is taken, so
    // the next key skips it.
    ASSERT_EQ(CategoryEdit::MoveCategory(tree, "101k1", "102k"), MoveResult::Moved);
    EXPECT_EQ(CategoryEdit::CreateCategory(tree, "101k", "D", "/m/d", false), "101k4");

    // A deleted category whose jobs still carry its key is not reborn under that key.
    const QString gone = CategoryEdit::CreateCategory(tree, "103k", "Gone", "/m/g", false);
    EXPECT_EQ(gone, "103k1");
    AddTestJob(gone, StatePaused);
    ASSERT_TRUE(CategoryEdit::DeleteCategory(tree, gone));
    EXPECT_EQ(CategoryEdit::CreateCategory(tree, "103k", "New", "/m/n", false), "103k2");

    // Keys stay when a category is renamed or moved.
    tree.SetText("101k2", "Renamed");
    EXPECT_TRUE(tree.Exists("101k2"));
    EXPECT_EQ(tree.Find("101k1")->ParentKey, "102k");
}

TEST(CategoryEdit, FolderRuleAndCreatedFolder) {
    TreeTestScope scope;
    EXPECT_EQ(CategoryEdit::FolderFor("/m/", "Toons", true), "/m/Toons");
    EXPECT_EQ(CategoryEdit::FolderFor("/m", "Toons", true), "/m/Toons");
    EXPECT_EQ(CategoryEdit::FolderFor("/m/", "Toons", false), "/m/");

    const QString base = TestEnv::NewDir("folders");
    const QString key =
        CategoryEdit::CreateCategory(scope.tree, "Downloaded", "Toons", base + "/Toons", true);
    EXPECT_TRUE(QDir(base + "/Toons").exists());
    EXPECT_EQ(scope.tree.Find(key)->Tag, base + "/Toons/");
    EXPECT_EQ(scope.tree.Find(key)->Image, "5");
    EXPECT_EQ(scope.tree.Find(key)->SelectedImage, "6");
    // A folder that already ends with a separator gets no second one.
    const QString plain =
        CategoryEdit::CreateCategory(scope.tree, "Downloaded", "P", base + "/", false);
    EXPECT_EQ(scope.tree.Find(plain)->Tag, base + "/");
}

TEST(CategoryEdit, MovesAndDeletionsRefuseFixedNodesAndOwnSubtree) {
    TreeTestScope scope;
    CategoryTree& tree = scope.tree;
    tree.Add("101k", "101k1", "Child", "5", "6", "/c/");
    tree.Add("101k1", "101k11", "Grandchild", "5", "6", "/g/");

    EXPECT_EQ(CategoryEdit::MoveCategory(tree, "101k", "101k11"), MoveResult::IntoOwnSubtree);
    EXPECT_EQ(CategoryEdit::MoveCategory(tree, "101k", "101k"), MoveResult::Unchanged);
    EXPECT_EQ(tree.Find("101k")->ParentKey, "Downloaded");
    EXPECT_EQ(CategoryEdit::MoveCategory(tree, "Downloaded", "101k"), MoveResult::Unchanged);
    for (const char* fixed :
         {"Recely", "NowSearch", "NowDownLoad", "Quorvanta", "History", "Today"})
        EXPECT_EQ(CategoryEdit::MoveCategory(tree, fixed, "101k"), MoveResult::Refused) << fixed;
    // Only categories can take a category.
    EXPECT_EQ(CategoryEdit::MoveCategory(tree, "102k", "Recely"), MoveResult::Refused);
    EXPECT_EQ(CategoryEdit::MoveCategory(tree, "101k11", "Downloaded"), MoveResult::Moved);
    EXPECT_EQ(tree.ChildrenOf("Downloaded").last(), "101k11");

    for (const char* fixed :
         {"Downloaded", "Recely", "NowSearch", "NowDownLoad", "Quorvanta", "History", "All"})
        EXPECT_FALSE(CategoryEdit::DeleteCategory(tree, fixed)) << fixed;
    const int count = tree.Count();
    ASSERT_TRUE(CategoryEdit::DeleteCategory(tree, "101k"));
    EXPECT_FALSE(tree.Exists("101k1"));
    EXPECT_EQ(tree.Count(), count - 2);
}

TEST(CategoryEdit, UserBuiltTreeSurvivesSaveAndLoad) {
    TreeTestScope scope;
    CategoryTree& tree = scope.tree;
    const QString films =
        CategoryEdit::CreateCategory(tree, "Downloaded", "Films", "/d/Films", false);
    const QString shorts =
        CategoryEdit::CreateCategory(tree, films, "Shorts", "/d/Films/Shorts", false);
    const QString tiny = CategoryEdit::CreateCategory(tree, shorts, "Tiny", "/d/tiny/", false);
    tree.SetText(shorts, "Short films");
    tree.SetTag(shorts, "/d/short films/");
    ASSERT_EQ(CategoryEdit::MoveCategory(tree, films, "102k"), MoveResult::Moved);
    ASSERT_TRUE(CategoryEdit::DeleteCategory(tree, "104k"));
    const int job = AddTestJob(tiny, StateComplete, "/d/tiny/a.swf");

    const QString path = TestEnv::NewDir("db") + "/default.qvb";
    ASSERT_TRUE(SaveJobDb(tree, path));
    CategoryTree loaded;
    ClearJobs();
    const JobDbLoadResult result = LoadJobDb(loaded, path);
    AddHistoryNodes(loaded);
    ASSERT_TRUE(result.complete) << result.problem.toStdString();

    EXPECT_EQ(loaded.ChildrenOf("Downloaded"), (QStringList{"101k", "102k", "103k"}));
    EXPECT_EQ(loaded.ChildrenOf("102k"), QStringList{films});
    EXPECT_EQ(loaded.ChildrenOf(films), QStringList{shorts});
    EXPECT_EQ(loaded.ChildrenOf(shorts), QStringList{tiny});
    EXPECT_EQ(loaded.Find(shorts)->Text, "Short films");
    EXPECT_EQ(loaded.Find(shorts)->Tag, "/d/short films/");
    EXPECT_EQ(loaded.Find(films)->Tag, "/d/Films/");
    ASSERT_EQ(JobCount, 1);
    EXPECT_EQ(Jobs[job].ClassKey, tiny);
    // Keys made after the restart still skip what is in use.
    EXPECT_EQ(CategoryEdit::NewCategoryKey(loaded, "Downloaded"), "Downloaded4");
    EXPECT_EQ(tiny, shorts + "1");
    EXPECT_EQ(CategoryEdit::NewCategoryKey(loaded, shorts), shorts + "2");
}

TEST(CategoryEdit, DeletingAJobFileRemovesTheFileAsItIsOnDisk) {
    TreeTestScope scope;
    const QString dir = TestEnv::NewDir("files");
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/a.swf!qv", "partial"));
    ASSERT_TRUE(TestEnv::WriteFile(dir + "/a.swf", "someone else's"));
    JobRecord job;
    job.LocalFile = dir + "/a.swf!qv";
    EXPECT_TRUE(CategoryEdit::DeleteJobFile(job));
    EXPECT_FALSE(QFile::exists(dir + "/a.swf!qv"));
    EXPECT_TRUE(QFile::exists(dir + "/a.swf"));
    EXPECT_FALSE(CategoryEdit::DeleteJobFile(job));
    job.LocalFile.clear();
    EXPECT_FALSE(CategoryEdit::DeleteJobFile(job));
}
