// Settings fields by name: one table of every field of the settings record, public DEVMODE block
// and private block, that drives lbl print --set (the fields the driver reads, stored the way an
// application's DEVMODE carries them), lbl defaults (all of them) and the job of lbl check-job.
#pragma once

#include <string>
#include <vector>

#include "common/devmode.h"

namespace lbl {

class JsonOut;

// The names --set takes (no read-only field), in record order (Speed, Darkness, ..., UserCommand0, ..., dmCopies, ...).
const std::vector<std::string>& SettingsFieldNames();

// Stores `value` in the field `name` (case-insensitive). Numbers are decimal or 0x hexadecimal and
// must fit the field; PrintLanguage also takes tspl, zpl, esc or twl and dmOrientation portrait or
// landscape. Text fields (UserCommand0 to 3, WatermarkPath, dmFormName) take UTF-8 text with the
// escapes \r \n \t \\ and \xHH, and must leave room for the terminator. Setting a public field sets
// its dmFields bit too, as an application does. False with a message for an unknown field or a
// bad value; the record is then unchanged.
bool SetSettingsField(PrinterDevmode* dm, const std::string& name, const std::string& value, std::string* error);

// The field's value as text (numbers in decimal, texts as UTF-8 with the escapes above); empty
// and false when there is no such field.
bool GetSettingsField(const PrinterDevmode& dm, const std::string& name, std::string* value);

// JSON members of the current object, named as --set names them, numbers as numbers and texts as
// UTF-8 (without escapes). With no record every member is null. Unknown names are skipped.
void WriteSettingsFields(JsonOut& j, const PrinterDevmode* dm, const std::vector<std::string>& names);
// Every field of the table, read-only ones too: "Public" and "Private" objects in record order.
void WriteAllSettingsFields(JsonOut& j, const PrinterDevmode* dm);

}  // namespace lbl
