// Paths of the developer tools. The tools were written for a system whose
// separator is a backslash: their INI names begin with one ("\\Vellumark.ini"),
// they join a directory and a name with "%s\\%s", and INI values may hold
// backslashes. Here every backslash of such a path is a separator.
#pragma once
#include <string>

namespace tw {

// The path with each backslash turned into the platform's separator.
std::string ToolPath(const std::string& path);

// dir + separator + name ("%s\\%s"), in the platform's form. An empty dir
// gives the name under the root, as it always did.
std::string JoinToolPath(const std::string& dir, const std::string& name);

// The process's current directory; empty when it cannot be read.
std::string CurrentDirectory();

// An INI file name that begins with a separator ("\\OneImgMergy.ini"),
// appended to the current directory.
std::string IniPathInCurrentDir(const std::string& iniName);

}  // namespace tw
