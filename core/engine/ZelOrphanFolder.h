// The folder every engine lists found files under when the folder they were
// in is gone (its entry or record holds something else now, or was never
// found).
#pragma once

constexpr const char* kZelOrphanFolder = "$OrphanFiles";
constexpr const wchar_t* kZelOrphanFolderW = L"$OrphanFiles";
