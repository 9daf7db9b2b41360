#include "JexFileRecoveryApp.h"

#include "DialogFileRecovery.h"
#include "jexcommon/ZelSharedLibrary.h"
#include "jexcommon/ZelVersion.h"

CJexFileRecoveryApp::CJexFileRecoveryApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("JexFileRecovery"));
    setApplicationVersion(QStringLiteral(ZEL_VERSION_TEXT));
}

int CJexFileRecoveryApp::Run()
{
    // Libraries and data files are found beside the program, never in the
    // working folder.
    CDialogFileRecovery dialog(ZelProgramFolder());
    if (!dialog.Bound())
        return 1;
    // Image files named on the command line are listed as volumes.
    dialog.SetImageFiles(arguments().mid(1));
    // Without its data files the program has told so and ends.
    if (!dialog.InitDialog())
        return 1;
    dialog.exec();
    return 0;
}
