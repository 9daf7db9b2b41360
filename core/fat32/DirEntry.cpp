#include "fat32/DirEntry.h"

bool CDirEntry::IsInDeletedTree() const
{
    // The walk reads at most a bounded number of levels, so the chain ends.
    for (const CDirEntry* node = this; node != nullptr; node = node->m_pParent)
        if (node->m_Deleted)
            return true;
    return false;
}
