// reg.exe of the simulated machine: "import" of registry files (see tools.h).
#include <string>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/codepage.h"
#include "platform/sim/process_view.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/tools.h"

namespace kes::sim {
namespace {

DWORD Error(Machine& m, std::u16string text) {
  m.console_output.push_back(u"ERROR: " + std::move(text));
  return 1;
}

DWORD Import(Machine& m, const std::vector<std::u16string>& args) {
  std::u16string file;
  bool view64 = false;
  bool view32 = false;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::u16string a = LowerCase(args[i]);
    if (a == u"/reg:64")
      view64 = true;
    else if (a == u"/reg:32")
      view32 = true;
    else if (file.empty() && !a.starts_with(u"/"))
      file = args[i];
    else
      return Error(m, u"Invalid syntax.\r\nType \"REG IMPORT /?\" for usage.");
  }
  if (file.empty() || (view32 && view64))
    return Error(m, u"Invalid syntax.\r\nType \"REG IMPORT /?\" for usage.");

  DWORD read_error = 0;
  const auto bytes = FsReadFile(m, file, &read_error);
  if (!bytes) return Error(m, u"Error opening the file. There may be a disk or file system error.");

  // A 32-bit reg.exe on 64-bit Windows lands in the 32-bit view of SOFTWARE, as the program
  // it is would, unless told otherwise.
  const SimProcess& self = m.CurrentProcess();
  const bool to_view32 = m.facts.is_64bit && (view32 || (self.is_32bit && !view64));
  const platform::UINT code_page = m.ansi_code_page;
  const AnsiDecoder ansi = [code_page](std::string_view raw) {
    return DecodeCodePage(code_page, raw, false).value_or(std::u16string());
  };
  const std::string_view raw(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  const RegFileResult r = ImportRegFile(m.registry(), raw, ansi, to_view32);
  if (!r.accepted) {
    return Error(m,
                 u"The specified file is not a registry script. You can only import binary "
                 u"registry files from within the registry editor.");
  }
  for (const RegFileProblem& p : r.problems) {
    if (p.status == platform::kERROR_ACCESS_DENIED)
      return Error(m, u"Error accessing the registry.");
  }
  // Lines it could not read are skipped quietly, as reg.exe does.
  m.console_output.push_back(u"The operation completed successfully.");
  return 0;
}

}  // namespace

DWORD RunReg(Machine& m, const std::u16string& command_line) {
  const std::vector<std::u16string> args = SplitCommandLine(command_line);
  const std::u16string operation = args.size() > 1 ? LowerCase(args[1]) : u"";
  if (operation == u"import") return Import(m, args);
  return Error(m, u"Invalid syntax.\r\nType \"REG /?\" for usage.");
}

}  // namespace kes::sim
