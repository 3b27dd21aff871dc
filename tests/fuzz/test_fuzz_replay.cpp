// Every corpus input of tests/fuzz/corpus (all targets' inputs, the findings kept as regression
// cases among them) through every target's entry: no crash, no broken promise.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include "fuzz/FuzzSupport.h"

namespace {

QStringList CorpusFiles() {
    QStringList files;
    QDirIterator it(QStringLiteral(QV_FUZZ_CORPUS), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
    files.sort();
    return files;
}

}  // namespace

TEST(FuzzReplay, EveryCorpusInputThroughEveryTarget) {
    const QStringList files = CorpusFiles();
    ASSERT_GE(files.size(), 20);
    ASSERT_GE(Fuzz::Targets().size(), 12u);
    for (const Fuzz::Target& target : Fuzz::Targets()) {
        for (const QString& path : files) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            const QByteArray bytes = file.readAll();
            Fuzz::Findings().clear();
            target.entry(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            for (const std::string& finding : Fuzz::Findings())
                ADD_FAILURE() << target.name << " on " << path.toStdString() << ": " << finding;
        }
    }
}
