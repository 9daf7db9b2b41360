// Drives the main window as a person would, offscreen: the build's program
// folder, image files named as on the command line, clicks through the
// window's own handlers, and the message boxes it shows taken down.
#pragma once

#include "DialogFileRecovery.h"
#include "ProgramFolder.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace apptest {

class WindowDriver {
public:
    explicit WindowDriver(const std::vector<std::string>& images);

    CDialogFileRecovery& Dialog() { return dialog; }
    // The text of control id (a label, button, box or group).
    QString TextOf(int id) const;
    // Selects the row of list 100 that names volume.
    bool SelectVolume(const std::string& volume);
    // Ticks or clears a check box by its identifier, as a click does.
    void Tick(int id, bool on);
    // Search pressed, and the window's events handled until the results
    // are shown.
    bool SearchAndWait();
    // Handles the window's events until done() holds, or a minute passed.
    bool WaitUntil(const std::function<bool()>& done);
    // The found list's rows as shown: name, size text, path, estimate.
    std::vector<std::vector<std::string>> FoundRows() const;
    // Selects the shown found rows whose name is one of names; false when
    // one is missing.
    bool SelectFound(const std::vector<std::string>& names);
    // Recover pressed with dest chosen, and the restore waited for.
    bool RecoverAndWait(const std::string& dest);

    MessageRecorder messages;
    CDialogFileRecovery dialog;
    int finished = 0;
};

// Text k of the current language.
QString LanguageText(uint32_t k);

} // namespace apptest
