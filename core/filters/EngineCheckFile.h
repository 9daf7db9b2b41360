// Engine filters: what the FAT32 and NTFS engines ask for every candidate
// entry of a scan.
#pragma once

class CDirEntryInterface;
class CNtfsEntryInterface;

class CFat32CheckFile {
public:
    virtual ~CFat32CheckFile() = default;
    virtual bool Check(const CDirEntryInterface* entry) = 0;
};

class CNtfsCheckFile {
public:
    virtual ~CNtfsCheckFile() = default;
    virtual bool Check(const CNtfsEntryInterface* entry) = 0;
};
