#pragma once
// Files of the program's own that live beside the job database (the search jobs, for one) and are
// saved at every moment the database is saved. Their owners register here, as the store knows
// nothing of them.

#include <QString>
#include <functional>

class QObject;

namespace JobDbSideFiles {

// Called on the main thread with the database's path.
using Saver = std::function<void(const QString& dbPath)>;

// Registers save for as long as owner lives.
void Add(QObject* owner, Saver save);
// Runs every registered save, in the order they were added.
void SaveAll(const QString& dbPath);

}  // namespace JobDbSideFiles
