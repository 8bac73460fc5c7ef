// The script cipher: a reversible transformation whose output is printable text.
#pragma once

#include <string>
#include <string_view>

#include "kelo_api.h"

namespace kelo {

// mode 1 enciphers, mode 0 deciphers. Deciphering text that is not a cipher text gives an empty
// string; KeloDecryptChecked tells the two cases apart.
KELO_API std::string KeloEncryptString2(std::string_view text, int mode);
KELO_API bool KeloDecryptChecked(std::string_view cipherText, std::string& plain);

}  // namespace kelo
