#include "tools/command_help.h"

#include <algorithm>

namespace lbl {

namespace {

std::string Indent(const std::string& text, const std::string& pad) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    out += line.empty() ? "\n" : pad + line + "\n";
    start = end + 1;
  }
  return out;
}

// Bash single-quoted word.
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string OptionLines(const std::vector<OptionSpec>& options) {
  std::string out;
  for (const OptionSpec& o : options) {
    std::string head = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : std::string());
    const std::string pad(28, ' ');
    if (head.size() >= pad.size() - 1) {
      out += head + "\n";
      head = pad;
    } else {
      head.resize(pad.size(), ' ');
    }
    std::string help = o.help;
    size_t nl;
    while ((nl = help.find('\n')) != std::string::npos) {
      out += head + help.substr(0, nl) + "\n";
      help = help.substr(nl + 1);
      head = pad;
    }
    out += head + help + "\n";
  }
  return out;
}

std::string CommandPage(const CommandSpec& c) {
  std::string out = "NAME\n    lbl " + std::string(c.name) + " - " + c.summary + "\n\n";
  out += "SYNOPSIS\n    lbl " + std::string(c.synopsis) + "\n\n";
  out += "DESCRIPTION\n" + Indent(c.description, "    ") + "\n";
  if (!c.options.empty()) out += "OPTIONS\n" + Indent(OptionLines(c.options), "  ");
  out += "EXIT STATUS\n" + Indent(c.exitStatus, "    ") + "\n";
  out += "EXAMPLE\n" + Indent(c.example, "    ");
  return out;
}

std::string BashCompletion(const std::vector<CommandSpec>& commands) {
  std::string names;
  for (const CommandSpec& c : commands) names += (names.empty() ? "" : " ") + std::string(c.name);
  std::string out =
      "# bash completion for lbl; made by 'lbl completion bash'.\n"
      "# Use: source <(lbl completion bash)\n"
      "_lbl_offer() {\n"
      "  local what=$1 cur=$2\n"
      "  case $what in\n"
      "    @file) COMPREPLY=($(compgen -f -- \"$cur\")) ;;\n"
      "    @dir) COMPREPLY=($(compgen -d -- \"$cur\")) ;;\n"
      "    @printers) local IFS=$'\\n'; COMPREPLY=($(compgen -W \"$(\"${COMP_WORDS[0]}\" printers 2>/dev/null | "
      "sed -n 's/^ *\"Name\": \"\\(.*\\)\",$/\\1/p')\" -- \"$cur\")) ;;\n"
      "    @models) local IFS=$'\\n'; COMPREPLY=($(compgen -W \"$(\"${COMP_WORDS[0]}\" models 2>/dev/null)\" -- \"$cur\")) ;;\n"
      "    @commands) COMPREPLY=($(compgen -W " + Quote(names) + " -- \"$cur\")) ;;\n"
      "    ''|@none) COMPREPLY=() ;;\n"
      "    *) COMPREPLY=($(compgen -W \"$what\" -- \"$cur\")) ;;\n"
      "  esac\n"
      "}\n"
      "_lbl() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    COMPREPLY=($(compgen -W " + Quote(names + " --version --help") + " -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  local options='' operands='' value=''\n"
      "  case ${COMP_WORDS[1]} in\n";
  for (const CommandSpec& c : commands) {
    std::string options = "--help";
    std::string values;
    for (const OptionSpec& o : c.options) {
      options += std::string(" ") + o.name;
      if (o.value) values += std::string("        ") + o.name + ") value=" + Quote(*o.complete ? o.complete : "@none") + " ;;\n";
    }
    out += "    " + std::string(c.name) + ")\n";
    out += "      options=" + Quote(options) + "; operands=" + Quote(c.operands) + "\n";
    if (!values.empty()) out += "      case $prev in\n" + values + "      esac\n";
    out += "      ;;\n";
  }
  out +=
      "  esac\n"
      "  if [ -n \"$value\" ]; then _lbl_offer \"$value\" \"$cur\"; return; fi\n"
      "  if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W \"$options\" -- \"$cur\")); return; fi\n"
      "  _lbl_offer \"$operands\" \"$cur\"\n"
      "}\n"
      "complete -o filenames -F _lbl lbl\n";
  return out;
}

}  // namespace lbl
