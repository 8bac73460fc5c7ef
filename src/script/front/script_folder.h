// Where scripts live: the script folder below the module folder, and the lookup of a script name
// in it and its sub-folders.
#pragma once

#include <string>

#include "kelo_api.h"

namespace kelo {

// $KELO_HOME/KeloScript, else <folder of the library>/KeloScript.
KELO_API std::string GetKeloScriptFolder();

// True when the script exists. An absolute path is tested as it is; any other name is looked for
// in the script folder and then its sub-folders, with its own extension or, without one, with
// ".wsp" and then ".cpp". On success path becomes the full path of the file found.
KELO_API bool getVailWSPFilePath(std::string& path);

}  // namespace kelo
