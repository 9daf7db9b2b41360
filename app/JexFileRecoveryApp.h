// The application: it shows the main window modally and ends when it
// closes.
#pragma once

#include <QApplication>

class CJexFileRecoveryApp : public QApplication {
public:
    CJexFileRecoveryApp(int& argc, char** argv);
    // Runs the main window; the program's exit status.
    int Run();
};
