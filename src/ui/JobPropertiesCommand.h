#pragma once
// "Job Properties" for a job of the download list that is not running: the dialog opens
// (window-modal, not blocking), and OK puts the values into the job. A new address or file gives
// up the partial file and starts from zero; anything else keeps the bytes.

#include <functional>

class QWidget;
class clsJobManager;

class JobPropertiesCommand {
public:
    // changed runs after the job took new values (the owner saves and refreshes).
    static void Open(QWidget* parent, clsJobManager& manager, int jobIndex,
                     const std::function<void()>& changed);
};
