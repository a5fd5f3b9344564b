// The queued answers and call records of the scripted system dialogs and programs (winsim/ui.h).
#pragma once

#include "winsim/ui.h"

#include "internal.h"

namespace winsim::detail {

struct Answer {
  int value = 0;          // message box button, menu command
  bool cancel = false;    // file and folder dialogs
  std::u16string path;
  DWORD exitCode = 0;     // processes
  bool runs = false;
  DWORD error = 0;
};
enum class ScriptKind { MessageBox, File, Folder, Menu, Process };
// Takes the next queued answer of that kind; false (recorded as unexpected with `what`) when none.
bool TakeAnswer(ScriptKind kind, const std::string& what, Answer* out);

void RecordMessageBox(const ui::MessageBoxCall& c);
void RecordFileDialog(const ui::FileDialogCall& c);
void RecordFolderDialog(const ui::FolderDialogCall& c);
void RecordMenu(const ui::MenuCall& c);
void RecordProcess(const ui::ProcessCall& c);

}  // namespace winsim::detail
