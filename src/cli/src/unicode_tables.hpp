// Character classes of the quoted error line, answered from range tables that
// scripts/gen-unicode-tables generates into unicode_tables.cpp.
#pragma once

namespace orvane::unicode {

// General categories Cc, Cf, Cs, Co, Cn, Zl, Zp, and Zs other than U+0020.
bool is_not_printable(char32_t cp);

// The Grapheme_Extend property: combining marks and the like, which would attach to the
// character before them.
bool is_grapheme_extend(char32_t cp);

}  // namespace orvane::unicode
