// The installer's debug trace: one OutputDebugStringW line per call, followed by a separate "\n".
#pragma once

// fmt is narrow text with the Windows printf conventions (%ws for wide strings); it is widened (at most
// 256 characters) and formatted into at most 767 characters.
void DebugTrace(const char* fmt, ...);
