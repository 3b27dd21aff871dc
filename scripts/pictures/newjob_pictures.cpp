// Pictures of every tab of the new-job dialog and of "Job Properties", for looking at the layout
// (not a test: it checks nothing). Writes PNG files into the folder given as the only argument; see
// scripts/pictures.sh.

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <cstdio>

#include "newjob/JobEdit.h"
#include "newjob/NewJobLauncher.h"
#include "newjob/frmJobProperties.h"
#include "newjob/frmNewDown1.h"
#include "store/CategoryTree.h"
#include "store/Globals.h"

int main(int argc, char** argv) {
    // A home of its own, so the user's settings are neither read nor written.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toUtf8());
    InitGlobals();
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    CategoryTree tree;
    tree.Add(QString(), TreeKeys::Root, "Quorvanta", "1", "1");
    tree.Add(TreeKeys::Root, TreeKeys::Downloaded, "Downloaded", "3", "3", "/dl/");
    tree.Add(TreeKeys::Downloaded, "101k", "Cartoon", "5", "6", "/dl/cartoon/");
    tree.Add(TreeKeys::Downloaded, "102k", "MTV", "5", "6", "/dl/mtv/");
    NewJobHooks hooks;
    NewJobLauncher launcher(nullptr, hooks, &tree);

    auto shoot = [&](QWidget* d, const QString& name) {
        QApplication::processEvents();
        const QString file = folder + "/" + name + ".png";
        if (d->grab().save(file)) std::printf("%s\n", qPrintable(file));
    };
    QApplication::clipboard()->setText("http://www.example.com/flash/intro.swf?v=2");
    frmNewDown1* d = launcher.Open(ModeSingleFile);
    QApplication::setActiveWindow(d);
    d->txtUrl->setFocus(Qt::MouseFocusReason);
    shoot(d, "newjob-1-single");
    d->TabStrip1->setCurrentIndex(1);
    shoot(d, "newjob-2-search");
    d->Tab2->setCurrentIndex(1);
    d->chkLoginServer->setChecked(true);
    shoot(d, "newjob-2-save");
    d->TabStrip1->setCurrentIndex(2);
    d->txtBatUrl->setText("http://www.example.com/flash/a*.swf");
    d->cmdCreateUrl->click();
    shoot(d, "newjob-3-batch");
    d->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    hooks.fetchPageLinks = [](const QString&, NewJobHooks::LinksDone done) {
        done({"http://www.example.com/flash/intro.swf", "http://www.example.com/news.htm"}, {});
    };
    launcher.SetContext(nullptr, hooks, &tree);
    launcher.Memory().Mode = ModePageLinks;
    d = launcher.Load();
    d->Fill("http://www.example.com/index.htm", "", "");
    launcher.ShowDialog();
    shoot(d, "newjob-4-links");
    d->reject();

    JobEdit values;
    values.Url = "http://www.example.com/flash/intro.swf";
    values.Referer = "http://www.example.com/index.htm";
    values.FileName = "intro.swf";
    values.Folder = "/dl/cartoon/";
    values.Parts = 5;
    frmJobProperties properties(values);
    properties.show();
    shoot(&properties, "job-properties");
    return 0;
}
