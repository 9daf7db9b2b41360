// ZELMAIN, the one export of libJexSetupVars.so: parses a command text, binds
// libJexVars.so from the directory it is given (no registry is used) and
// runs the commands against one variable builder.
#include "ZelSetupScript.h"
#include "jexcommon/ZelExport.h"
#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

#include <string>

extern "C" ZEL_EXPORT int32_t ZELMAIN(const char16_t* commands, const char16_t* directory)
{
    CZelScript script;
    script.Parse(commands);
    std::u16string folder;
    if (directory != nullptr)
        for (size_t i = 0; directory[i] != 0; ++i)
            folder.push_back(directory[i]);
    // The library stays loaded for the rest of the process.
    CZelComPtr<IZelVarBuilder> builder;
    std::string error;
    if (!ZelLoadVarBuilder(ZelWideToNarrow(ZelUtf16ToWide(folder.data(), folder.size())), builder, error))
        return -1;
    return script.Run(builder.Get());
}
