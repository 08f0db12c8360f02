// The suite's sample query files, as paths relative to the installation
// directory, in their fixed order.
//
// Thread safety: constant data.
#pragma once

// Number of sample query files.
inline constexpr unsigned sampleQueryCount = 76;

// The sample query paths ("\SAMPLES\QUERY\VRKQD2CD.QRY", ...), each starting
// with a backslash, followed by the end marker sampleQueryEndMarker.
extern const char* const sampleQueryFiles[sampleQueryCount + 1];

// The entry that ends the table: a single line feed.
extern const char* const sampleQueryEndMarker;
