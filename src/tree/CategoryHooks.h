#pragma once
// What the category commands need from other parts of the main window. Every hook may be left
// empty; the commands then skip that step (saveJobDb: the job database is saved to JobDbFile).

#include <QList>
#include <functional>

struct CategoryHooks {
    // Jobs of the selected rows of the now-downloading list lvNowDown, in row order.
    std::function<QList<int>()> selectedNowDownJobs;
    // Pauses job i when it runs in a download slot (so its file is closed and the slot freed).
    std::function<void(int job)> pauseJob;
    // Removes the row of job i from lvNowDown.
    std::function<void(int job)> removeNowDownRow;
    // View 1: deletes the selected search jobs and their rows.
    std::function<void()> deleteSelectedSearches;
    // Writes the job database; empty: SaveJobDb(tree, JobDbFile).
    std::function<void()> saveJobDb;
};
