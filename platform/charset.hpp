// Character-set facts that differ between Windows and Linux, asked once when
// the string buffers choose their variant.
// Thread safety: every function may be called from any thread.
#pragma once

namespace vrk::platform {

// True when the system reports a double-byte character set (a DBCS code
// page on Windows). Never on Linux.
bool systemUsesDoubleByteCharacterSet();

// True when the runtime's current character set uses more than one byte per
// character (MB_CUR_MAX above 1).
bool characterSetIsMultiByte();

}  // namespace vrk::platform
