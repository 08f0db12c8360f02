// The program's command line as the user gave it, beside the char
// arguments that the runtime's start-up hands to main.
//
// Thread safety: every function may be called from any thread.
#pragma once

namespace vrk::platform {

// True when text, argument index of main's argument vector (0 being the
// program), holds exactly the characters of that argument as given. Windows
// starts a char program with its arguments converted to the process's ANSI
// code page: a character the code page lacks arrives as "?" or as a
// look-alike ("Ω" as "O"), and the text then names something else. It is
// compared here with the same argument of the wide command line; an index
// that the wide command line does not reach is not exact either. Always
// true on Linux, where a program gets the bytes it was given.
bool commandLineArgumentIsExact(int index, const char* text);

}  // namespace vrk::platform
