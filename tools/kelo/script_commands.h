// kelo's script commands: run, check, build, exec, encrypt and the terminal debugger.
#pragma once

namespace kelo_tool {

// Each takes the arguments after the command word and returns the process exit status.
int RunCommand(int argc, char** argv);
int CheckCommand(int argc, char** argv);
int BuildCommand(int argc, char** argv);
int ExecCommand(int argc, char** argv);
int EncryptCommand(int argc, char** argv);
int DebugCommand(int argc, char** argv);

}  // namespace kelo_tool
