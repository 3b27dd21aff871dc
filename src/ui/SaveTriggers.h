#pragma once
// What makes the job database be saved while the program runs: jobs added, deleted, started,
// paused, failed or complete (their files go to disk with the save), the categories and the
// jobs' categories changed, and the name of every file a download is about to make, written
// down before the file exists (a line in the names journal; the whole database only when that
// cannot be written), so that a kill leaves no file that no job knows.

class CategoryCommands;
class CategoryTree;
class JobDbSaver;
class clsJobManager;

namespace SaveTriggers {

void Connect(JobDbSaver* saver, clsJobManager* manager, const CategoryTree* tree,
             CategoryCommands* commands);

}  // namespace SaveTriggers
