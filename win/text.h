// Conversion between the platform's UTF-16 and the UTF-8 of channel strings,
// configuration texts and messages.

#ifndef WIN_TEXT_H_
#define WIN_TEXT_H_

#include <string>
#include <string_view>

namespace velk {

// The UTF-8 form of a null-terminated wide text. Empty for no text, and for
// a text that is not valid UTF-16 (an unpaired surrogate): nothing invalid
// is ever passed on.
std::string Utf16ToUtf8(const wchar_t* text);
std::string Utf16ToUtf8(std::wstring_view text);

// The UTF-16 form of a UTF-8 text; empty when the text is not valid UTF-8.
std::wstring Utf8ToUtf16(std::string_view text);

}  // namespace velk

#endif  // WIN_TEXT_H_
