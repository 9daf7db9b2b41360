// Where restored files go: names that are safe on Linux and never replace a
// file that is there, folders that follow the found tree, and the refusal of
// a destination on the volume being searched.
#pragma once

#include "jexplatform/VolumeAccess.h"

#include <string>
#include <unordered_set>

// A file name made safe: never empty, "." or "..", without "/", NUL or
// control characters, and at most 255 bytes (the stem is cut, the
// extension kept).
std::string ZelSafeName(const std::string& name);
// "stem (n).ext" for name "stem.ext", within the longest name allowed.
std::string ZelNumberedName(const std::string& name, unsigned n);
// The first of "name", "stem (1).ext", "stem (2).ext", ... not taken in
// folder, nor among the paths reserved (files written and not yet named).
std::string ZelFreeName(const std::string& folder, const std::string& name,
                        const std::unordered_set<std::string>* reserved = nullptr);

// Whether files in folder may have ":" in their names: a name with one is
// made and removed again. FAT, exFAT and an NTFS that keeps Windows' rules
// refuse it.
bool ZelFolderTakesColons(const std::string& folder);
// The folder a found file goes to: destination itself when flat, else
// destination followed by the found path's folders below the volume's root
// name, each made safe.
std::string ZelDestinationFolder(const std::string& destination, const std::string& foundPath, bool flat);
// Why destination must not be used for what the volume holds (it lies on
// the volume being searched, where writing can overwrite the very files
// being recovered); empty when it may.
std::string ZelRefuseDestination(const CZelVolumeCheck& volume, const std::string& destination);
