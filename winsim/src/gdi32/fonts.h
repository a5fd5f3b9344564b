// gdi32 internals: the fonts of dialogs and their controls. A template's face and point size resolve to an
// installed face (the shell dialog faces to a sans-serif face of the same widths as the Windows ones); the
// characters that face lacks come from the first installed face that has them, as Windows' font linking
// takes CJK characters from a CJK face. The same resolution measures text and draws it, so a text that
// measures as fitting is drawn inside its control.
#pragma once

#include <string>

#include <cairo.h>

namespace winsim::detail {

struct DialogFont {
  std::string face;      // the installed family the template's face resolves to
  int pixelHeight = 11;  // character height in pixels on a 96-dpi screen (8 pt)
  bool bold = false, italic = false;
};

// The template's font (DS_SETFONT: point size, weight, italic, typeface).
DialogFont ResolveDialogFont(const std::u16string& typeface, int pointSize, int weight, bool italic);
// "MS Shell Dlg" 8 pt: the font of controls that no dialog template gave a font.
const DialogFont& DefaultDialogFont();

struct TextMetricsPx {
  int height = 0;   // ascent + descent (tmHeight): one line of text
  int ascent = 0;   // baseline below the top of a line
  int aveWidth = 0; // the average width of "A".."Z" "a".."z", rounded as dialog base units are
};
TextMetricsPx MetricsOf(const DialogFont& f);

// Width in pixels of one line of text (mnemonic markers already removed by the caller).
int TextWidth(const DialogFont& f, const std::u16string& text);
// Draws one line with its baseline at y in the current source colour and leaves no path behind.
void ShowText(cairo_t* cr, const DialogFont& f, const std::u16string& text, double x, double baseline);
// The family that draws ch: the font's own face or the linked face that has the character; empty when no
// installed face has it.
std::string FaceFor(const DialogFont& f, char32_t ch);

}  // namespace winsim::detail
