#include "engine/ZelFolderPart.h"

#include "engine/ZelLimits.h"

CZelFolderPart ZelRootFolderPart(const std::string& rootText)
{
    CZelFolderPart root;
    root.path = std::make_shared<const std::string>(rootText + "/");
    return root;
}

CZelFolderPart ZelFolderPartBelow(const CZelFolderPart& parent, const std::string& name)
{
    CZelFolderPart part;
    part.full = parent.full || parent.path->size() + name.size() + zellimits::kRoomForName > zellimits::kMaxPathBytes;
    part.path = part.full ? parent.path : std::make_shared<const std::string>(*parent.path + name + "/");
    return part;
}
