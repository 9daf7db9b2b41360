// A program folder laid out as installed (the libraries and the data files
// beside the program), with any of them left out or replaced, and a
// recorder for the message boxes the program shows.
#pragma once

#include "MessagePresenter.h"
#include "support/TestImages.h"

#include <string>
#include <vector>

namespace apptest {

class ProgramFolder {
public:
    // Every library and data file of the build except those named.
    explicit ProgramFolder(const std::vector<std::string>& leaveOut = {});
    const std::string& Path() const { return m_Dir.Path(); }
    std::string File(const std::string& name) const { return m_Dir.File(name); }
    // Writes name (a .vrl file) from a tree: strings, and numbers where
    // a text is "#n"; a nested list per inner vector. Replaces the build's.
    void WriteVrl(const std::string& name, const std::vector<std::vector<std::string>>& tree);

private:
    jextest::TempDir m_Dir;
};

struct ShownMessage {
    std::string text;
    std::string caption;
    QMessageBox::Icon icon;
};

// Takes the program's message boxes while it lives.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<ShownMessage> shown;
};

} // namespace apptest
