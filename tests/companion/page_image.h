// Pages that look scanned: off-white paper with a title, paragraphs of text-like marks,
// a rule, a page number and the grain and shadow of a scan, written in a chosen format.
#pragma once

#include <windows.h>

namespace companion
{

// Writes page `number` (from 1), `dpi` dots per inch on A4, as "bmp", "png", "jpg" or
// "tif" through the platform's imaging codecs.
HRESULT WritePage(const wchar_t* path, const char* format, int number, int dpi);

} // namespace companion
