#include "store/JobDbSideFiles.h"

#include <QObject>
#include <vector>

namespace JobDbSideFiles {
namespace {

struct Entry {
    const QObject* owner;
    Saver save;
};

std::vector<Entry>& Entries() {
    static std::vector<Entry> entries;
    return entries;
}

}  // namespace

void Add(QObject* owner, Saver save) {
    if (!owner || !save) return;
    Entries().push_back({owner, std::move(save)});
    QObject::connect(owner, &QObject::destroyed, [owner] {
        std::erase_if(Entries(), [owner](const Entry& e) { return e.owner == owner; });
    });
}

void SaveAll(const QString& dbPath) {
    // A copy: a save may register or remove others.
    const std::vector<Entry> entries = Entries();
    for (const Entry& e : entries) e.save(dbPath);
}

}  // namespace JobDbSideFiles
