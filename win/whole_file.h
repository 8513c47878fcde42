// Reading and replacing a file's whole content in one step.

#ifndef WIN_WHOLE_FILE_H_
#define WIN_WHOLE_FILE_H_

#include <string>

namespace velk {

// True when the file opened and held at least one byte; `bytes` then holds
// all of them.
bool ReadWholeFile(const std::wstring& path, std::string* bytes);

// Creates or truncates the file (no sharing while it is written) and writes
// `bytes` in one write; true when every byte was written.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace velk

#endif  // WIN_WHOLE_FILE_H_
