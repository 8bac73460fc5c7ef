// kelo's terminal side: message boxes as prompts, and Control+C as the script break request.
#pragma once

#include <string>

namespace kelo_tool {

// Installs the message-box handler (texts to the terminal, Yes/No read from standard input) and
// the break poll fed by Control+C.
void InstallTerminalHost();

// One line of standard input without its newline; false at the end of input.
bool ReadLine(std::string& line);

}  // namespace kelo_tool
