// The export through which a program names the GNU ddrescue map of an
// image: the core reads the map and keeps its own table.
#include "jexcommon/ZelExport.h"
#include "jexplatform/RescueMap.h"

#include <cstring>
#include <memory>
#include <string>

extern "C" ZEL_EXPORT int JexUseRescueMap(const char* image, const char* map, char* error, size_t errorSize)
{
    std::string why;
    auto loaded = std::make_shared<CZelRescueMap>();
    bool used = image != nullptr && map != nullptr && CZelRescueMap::Load(map, *loaded, why) &&
                ZelUseRescueMap(image, loaded, why);
    if (!used && why.empty())
        why = "no image or map named";
    if (!used && error != nullptr && errorSize != 0) {
        std::strncpy(error, why.c_str(), errorSize - 1);
        error[errorSize - 1] = '\0';
    }
    return used ? 1 : 0;
}
