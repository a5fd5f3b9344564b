// lbl: runs the driver code on the simulated machine from the command line.
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/product.h"
#include "common/wstr.h"
#include "tools/command_help.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/install_commands.h"
#include "tools/job_options.h"
#include "tools/json_out.h"
#include "tools/model_commands.h"
#include "tools/print_commands.h"
#include "tools/print_job.h"
#include "tools/sample_commands.h"
#include "tools/discover_command.h"
#include "tools/sheet_command.h"
#include "tools/state.h"
#include "tools/stock_commands.h"
#include "tools/wizard_command.h"
#include "tools/ui_commands.h"
#include "tools/ui_language.h"
#include "tools/tools_commands.h"
#include "ipp/commands.h"

namespace {

using lbl::CommandSpec;
using lbl::Fail;
using lbl::JsonOut;
using lbl::Usage;

const char* const kVersion = kProductVersion;
const char* const kCommit = LBL_COMMIT;

int CmdVersion(const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("'version' takes no arguments");
  std::printf("lbl %s (driver version %s, commit %s)\n", kVersion, kVersion, kCommit);
  return 0;
}

const std::vector<CommandSpec>& Commands();

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& c : Commands())
    if (name == c.name) return &c;
  return nullptr;
}

int CmdHelp(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("'help' takes one COMMAND at most");
  if (args.size() == 1) {
    const CommandSpec* c = FindCommand(args[0]);
    if (!c) return Usage("no such command: " + args[0] + " (try 'lbl help')");
    std::fputs(lbl::CommandPage(*c).c_str(), stdout);
    return 0;
  }
  std::printf("usage: lbl COMMAND [ARGS]\n\nRuns the label printer driver on a simulated Windows machine. The machine is\n"
              "kept between commands: it starts freshly installed with the embedded default printer\n"
              "\"%s\" on %s, and what a command changes is there for the next.\n\nCommands:\n",
              lbl::kDefaultDriver, lbl::kDefaultPort);
  for (const CommandSpec& c : Commands()) std::printf("  %-11s %s\n", c.name, c.summary);
  std::printf("\n'lbl help COMMAND' or 'lbl COMMAND --help' describes one command.\n"
              "Exit status: 0 success, 1 the operation failed (message on stderr), 2 usage error.\n");
  std::fputs(lbl::UiLanguageHelp(), stdout);
  std::printf("Option of every command: --state DIR keeps the machine in DIR (default: $LBL_STATE_DIR, else\n"
              "$XDG_STATE_HOME/lbl, else ~/.local/state/lbl; now %s).\n", lbl::StateFolder().c_str());
  return 0;
}

int CmdCompletion(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0] != "bash") return Usage("completion takes the shell: bash");
  std::fputs(lbl::BashCompletion(Commands()).c_str(), stdout);
  return 0;
}

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> cmds = {
      lbl::ModelCommand(),
      lbl::DefaultsCommand(),
      lbl::ModelsCommand(),
      lbl::CapsCommand(),
      lbl::CheckJobCommand(),
      lbl::SheetCommand(),
      lbl::PreviewCommand(),
      lbl::StockCommand(),
      lbl::DiscoverCommand(),
      lbl::PrintCommand(),
      lbl::ViewCommand(),
      lbl::SampleCommand(),
      lbl::InstallCommand(),
      lbl::UninstallCommand(),
      lbl::ToolsCommand(),
      lbl::FirmwareCommand(),
      lbl::WizardCommand(),
      lbl::PrintersCommand(),
      lbl::ResetCommand(),
      lbl::ServeCommand(),
      lbl::PrinterCommand(),
      {"version", "the driver version and the commit lbl was built from", "version",
       "Prints the driver version of the package and the commit lbl was built from; also 'lbl --version'.",
       {}, "0  success\n2  usage error", "lbl --version", "", CmdVersion},
      {"completion", "a bash completion script for lbl", "completion bash",
       "Prints a bash completion script for lbl's commands, their options and the values they take,\n"
       "made from the same option tables as the help pages.",
       {}, "0  success\n2  usage error", "source <(lbl completion bash)", "bash", CmdCompletion},
      {"help", "a list of the commands, or the page of one", "help [COMMAND]",
       "Without COMMAND, lists every command with one line each; with one, prints its page.",
       {}, "0  success\n2  usage error: no such command", "lbl help print", "@commands", CmdHelp},
  };
  return cmds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (int status = lbl::TakeUiLanguageOption(&args)) return status;
  if (int status = lbl::TakeStateOption(&args)) return status;
  if (args.empty()) {
    CmdHelp({});
    return 2;
  }
  if (args[0] == "--version" || args[0] == "-V") return CmdVersion({args.begin() + 1, args.end()});
  if (args[0] == "--help" || args[0] == "-h") return CmdHelp({args.begin() + 1, args.end()});
  const CommandSpec* command = FindCommand(args[0]);
  if (!command) return Usage("unknown command '" + args[0] + "' (try 'lbl help')");
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest)
    if (a == "--help" || a == "-h") return CmdHelp({args[0]});
  // A command that used the machine leaves it in the state folder for the next.
  return lbl::CloseState(command->run(rest));
}
