#include "fat32/DirEntry.h"

bool CDirEntry::IsInDeletedTree() const
{
    // The walk reads at most a bounded number of levels, so the chain ends.
    for (const CDirEntry* node = this; node != nullptr; node = node->m_pParent)
        if (node->m_Deleted)
            return true;
    return false;
}

bool CDirEntry::IsPlaceGuessed() const
{
    for (const CDirEntry* node = this; node != nullptr; node = node->m_pParent)
        if (node->m_PlaceGuessed)
            return true;
    return false;
}

CZelFoundEntryView CDirEntryInterface::GetView() const
{
    CZelFoundEntryView view;
    const wchar_t* longName = GetLongName().GetBuffer();
    view.wideName = longName != nullptr && *longName != 0 ? longName : nullptr;
    view.narrowName = GetShortName().GetBuffer();
    view.size = GetSize();
    view.directory = GetType() == FatEntryDirectory;
    return view;
}
