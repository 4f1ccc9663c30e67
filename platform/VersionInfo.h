#pragma once

#include <QString>

namespace ifb {

// A string of the program's version record, by key code:
// 0 CompanyName, 1 FileDescription, 2 FileVersion, 3 InternalName,
// 4 LegalCopyright, 5 OriginalFilename, 6 ProductVersion, 7 ProductName;
// any other code gives ProductVersion. Empty when the build set no value.
QString GetVersionInfo(unsigned code);

}  // namespace ifb
