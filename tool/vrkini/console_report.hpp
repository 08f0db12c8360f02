// The change report that the update steps write to standard output: one
// line for an entry left alone, three lines for a changed entry. Values are
// shown with each line feed written as the four characters "\x0A".
//
// Thread safety: writes to the process's standard output; one thread at a time.
#pragma once

#include "base/istring.hpp"

// value with every line feed replaced by the four characters "\x0A".
IString escapedValue(const IString& value);

// Writes text (up to its first zero byte) and a line feed to standard
// output, then flushes the stream.
void writeConsoleLine(const IString& text);

// "appName=<application> keyName=<key> " followed by verdict, one line.
void reportUnchanged(const IString& application, const IString& key, const char* verdict);

// The three lines of a changed entry: the "was changed:" line and the
// escaped old and new values in quotation marks.
void reportChanged(const IString& application, const IString& key, const IString& oldValue,
                   const IString& newValue);

// "appName=<application> keyName=<key> ", the prefix of every report line
// and of the trace lines that name an entry.
IString entryLabel(const IString& application, const IString& key);
