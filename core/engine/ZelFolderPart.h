// The folder part of the paths the iterators hand out: the root's name and
// the folders below it, each with "/" after it, shared by every entry that
// lies below them.
#pragma once

#include <memory>
#include <string>

struct CZelFolderPart {
    std::shared_ptr<const std::string> path;
    // Set once the path is too long to take more folders.
    bool full = false;
};

// The part of the root, named rootText.
CZelFolderPart ZelRootFolderPart(const std::string& rootText);
// The part of the folder name below parent: the parent's with the name and
// "/" added, or the parent's own once the path would grow past the longest
// path (with room kept for a name at its end), and so for every folder
// below it. The entry's own name is never left out; crafted trees of
// hundreds of long names would otherwise cost gigabytes.
CZelFolderPart ZelFolderPartBelow(const CZelFolderPart& parent, const std::string& name);
