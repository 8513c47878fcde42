// Reading the stored configuration file that the service's command line
// names.

#ifndef TUNNEL_HOST_CONFIG_FILE_H_
#define TUNNEL_HOST_CONFIG_FILE_H_

#include <string>

namespace velk {

// Reads the file at `path` as UTF-8 into `text`. The text ends before the
// first NUL byte, if any; a byte-order mark is kept as U+FEFF. False when
// the file cannot be opened or read to its end, holds no bytes or cannot be
// converted.
bool LoadConfigText(const std::wstring& path, std::wstring& text);

}  // namespace velk

#endif  // TUNNEL_HOST_CONFIG_FILE_H_
