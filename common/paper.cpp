#include "common/paper.h"

#include <cstring>

InstalledPaper PaperToInstalled(const PaperRecord& p) {
  InstalledPaper out{};
  std::memcpy(out.Name, p.Name, sizeof out.Name);
  out.Name[kPaperNameChars - 1] = 0;
  out.Width = p.Width;
  out.Length = p.Length;
  out.ImageableArea = {p.MarginLeft, p.MarginTop, p.Width - p.MarginRight, p.Length - p.MarginBottom};
  out.Flags = p.Flags;
  out.GapHeight = p.GapHeight;
  out.GapOffset = p.GapOffset;
  out.Speed = p.Speed;
  out.Darkness = p.Darkness;
  return out;
}

PaperRect InstalledToRect(const InstalledPaper& p) { return PaperRect{p.Width, p.Length, p.ImageableArea}; }
