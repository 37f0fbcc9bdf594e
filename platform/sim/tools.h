// The Windows tools of the simulated machine: what cmd.exe, reg.exe, net.exe and the boot,
// shutdown and logoff tools do when a process runs them. They act on the machine's state
// (accounts, registry, files) and answer with the exit codes of the real tools; what the real
// tool would print goes to Machine::console_output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine.h"

namespace kes::sim {

// Registers the tools for both the System32 and the SysWOW64 copy under the machine's Windows
// folder (the files themselves belong to the file system), and gives a machine without
// accounts the local accounts of a fresh Windows 10: Administrator, Guest and DefaultAccount
// (disabled) and the signed-in user, with the groups Administrators, Users and Guests.
void InstallDefaultTools(Machine& m);

// cmd.exe. "/c TEXT" runs TEXT and ends with its exit code; "/k TEXT" runs it and stays open
// until an "exit". TEXT is one or more commands joined by "&", "&&", "||" or "|" (a pipe: the
// next command reads what this one printed; only "find [/i] [/v] "text"" reads it, giving 0
// when it printed a line and 1 when none): "exit [/b] [N]"
// ends with N; "start ["title"] [/wait] [/min] [/max] [/d dir] program args" starts the program
// without waiting (exit 0; 9059 when it cannot be found); "echo", "rem", "cls" and "title" do
// what they do; anything else is a program found like CreateProcessW finds one, run to its end,
// whose exit code becomes cmd's. A command that names no program prints the "is not recognized"
// message and gives 1, which is what "cmd /c" reports for it (9009 is only the errorlevel a
// batch file sees).
DWORD RunCmd(Machine& m, const std::u16string& command_line);

// net.exe: "user", "user NAME", "user NAME [password] /add", "user NAME /delete",
// "localgroup", "localgroup GROUP", "localgroup GROUP NAME... /add", "localgroup GROUP
// NAME... /delete". Exit codes as the real tool: 0 done, 2 for a refused request (the account
// already exists, the user name could not be found, no such group, already / not a member),
// 1 for a command it does not understand.
DWORD RunNet(Machine& m, const std::u16string& command_line);

// reg.exe "import FILE [/reg:32|/reg:64]": applies the registry file (reg_file.h) and exits 0;
// 1 for a missing or unreadable file, a file that is not a registry script, or a key the
// registry refused. A 32-bit reg.exe on 64-bit Windows writes HKLM\SOFTWARE into the 32-bit
// view unless /reg:64 is given. Other sub-commands are not simulated: 1.
DWORD RunReg(Machine& m, const std::u16string& command_line);

// A tool that accepts any arguments and exits 0; the call itself is in
// Machine::started_command_lines. (shutdown.exe, logoff.exe and wpeutil.exe: shutdown.h.)
DWORD RunAcceptingTool(Machine& m, const std::u16string& command_line);

// The arguments of a command line split by the C runtime's rules (CommandLineToArgvW): blanks
// separate, double quotes group, backslashes before a quote escape it. The program itself is
// the first element.
std::vector<std::u16string> SplitCommandLine(std::u16string_view command_line);

// The text after the program token (quoted or not) and the blanks behind it (PathGetArgsW).
std::u16string_view ArgsAfterProgram(std::u16string_view command_line);

}  // namespace kes::sim
