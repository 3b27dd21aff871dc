#include "fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace Fuzz {

namespace {
std::vector<Target>& Table() {
    static std::vector<Target> table;
    return table;
}
}  // namespace

bool Register(const char* name, Entry entry) {
    Table().push_back({name, entry});
    return true;
}

const std::vector<Target>& Targets() {
    return Table();
}

std::vector<std::string>& Findings() {
    static std::vector<std::string> findings;
    return findings;
}

void Finding(const char* file, int line, const char* what) {
    const std::string text = std::string(file) + ":" + std::to_string(line) + ": " + what;
#ifdef QV_FUZZ_TARGET
    std::fprintf(stderr, "FINDING %s\n", text.c_str());
    std::abort();
#else
    Findings().push_back(text);
#endif
}

void NeedApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

QString TempFolder() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quorvanta-fuzz-XXXXXX"));
    return dir.path();
}

std::vector<QByteArray> Pieces(const QByteArray& data, uint32_t seed) {
    std::vector<QByteArray> pieces;
    uint32_t state = seed * 2654435761u + 1;
    for (qsizetype at = 0; at < data.size();) {
        state = state * 1103515245u + 12345u;
        const uint32_t pick = (state >> 16) & 0xFF;
        const qsizetype n = pick < 16 ? data.size() - at : qsizetype(pick % 64) + 1;
        pieces.push_back(data.mid(at, n));
        at += n;
    }
    return pieces;
}

}  // namespace Fuzz
