#include "stand_ins/embedder/demo_panel.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "interfaces/vpn_channels.h"
#include "win/text.h"

namespace velk::embedder {
namespace {

constexpr int kNotice = 100;
constexpr int kStatus = 101;
constexpr int kConnectedSince = 102;
constexpr int kSettingsPath = 105;
constexpr int kSettingsText = 106;
constexpr int kNote = 107;

// Says what this is before anything else: a person must never take the
// stand-in for the product's interface.
const char kNoticeText[] =
    "\xD0\x94\xD0\xB5\xD0\xBC\xD0\xBE\xD0\xBD\xD1\x81\xD1\x82\xD1\x80\xD0\xB0"
    "\xD1\x86\xD0\xB8\xD0\xBE\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB9 "
    "\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80\xD1\x84\xD0\xB5\xD0\xB9\xD1\x81 "
    "(\xD0\xB7\xD0\xB0\xD0\xB3\xD0\xBB\xD1\x83\xD1\x88\xD0\xBA\xD0\xB0), "
    "\xD0\xBD\xD0\xB5 "
    "\xD0\xBD\xD0\xB0\xD1\x81\xD1\x82\xD0\xBE\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB9 "
    "\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80\xD1\x84\xD0\xB5\xD0\xB9\xD1\x81\n"
    "Demonstration stand-in, not the real user interface";

// The text on screen, or the escaped bytes when they are not valid UTF-8.
std::wstring ScreenText(const std::string& utf8) {
  std::wstring wide = velk::Utf8ToUtf16(utf8);
  if (wide.empty() && !utf8.empty()) {
    std::string quoted = QuoteString(utf8);
    wide.assign(quoted.begin(), quoted.end());  // all ASCII
  }
  return wide;
}

// A settings text shown on screen: keys stay readable, private keys do not.
std::string MaskSecrets(const std::string& settings) {
  std::string shown;
  size_t start = 0;
  while (start <= settings.size()) {
    size_t end = settings.find('\n', start);
    if (end == std::string::npos) end = settings.size();
    std::string line = settings.substr(start, end - start);
    size_t equals = line.find('=');
    std::string key = line.substr(0, equals);
    for (char& c : key) c = static_cast<char>(tolower(static_cast<uint8_t>(c)));
    if (equals != std::string::npos &&
        key.find("private") != std::string::npos) {
      line = line.substr(0, equals + 1) + "(hidden)";
    }
    if (!shown.empty()) shown += "\r\n";
    shown += line;
    start = end + 1;
  }
  return shown;
}

std::string LocalTimeText(int64_t milliseconds_since_1970) {
  // FILETIME counts 100 ns units from 1601-01-01.
  constexpr int64_t kMillisecondsFrom1601To1970 = 11644473600000;
  if (milliseconds_since_1970 <= -kMillisecondsFrom1601To1970) return "?";
  ULARGE_INTEGER ticks;
  ticks.QuadPart = static_cast<ULONGLONG>(milliseconds_since_1970 +
                                          kMillisecondsFrom1601To1970) *
                   10000;
  FILETIME utc = {ticks.LowPart, ticks.HighPart};
  SYSTEMTIME universal = {};
  SYSTEMTIME local = {};
  if (!FileTimeToSystemTime(&utc, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return "?";
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u",
                local.wYear, local.wMonth, local.wDay, local.wHour,
                local.wMinute, local.wSecond);
  return text;
}

}  // namespace

DemoPanel::DemoPanel(HWND parent, UiChannels* channels)
    : parent_(parent), channels_(channels) {
  notice_ = AddControl(L"STATIC", SS_LEFT, kNotice);
  status_ = AddControl(L"STATIC", SS_LEFT | SS_NOPREFIX, kStatus);
  connected_since_ = AddControl(L"STATIC", SS_LEFT, kConnectedSince);
  connect_ = AddControl(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kConnectButton);
  disconnect_ =
      AddControl(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kDisconnectButton);
  settings_path_ = AddControl(
      L"STATIC", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, kSettingsPath);
  settings_text_ = AddControl(
      L"EDIT",
      ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER,
      kSettingsText);
  note_ = AddControl(L"STATIC", SS_LEFT | SS_NOPREFIX, kNote);

  SetText(notice_, kNoticeText);
  SetText(connect_,
          "\xD0\x9F\xD0\xBE\xD0\xB4\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB8"
          "\xD1\x82\xD1\x8C / Connect");
  SetText(disconnect_,
          "\xD0\x9E\xD1\x82\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB8\xD1\x82"
          "\xD1\x8C / Disconnect");
  ShowStatus("");
  ShowConnectedSince(UiValue());
  ShowSettings("", nullptr, settings_problem_);
  ReloadFonts();
}

HWND DemoPanel::AddControl(const wchar_t* kind, DWORD style, int id) {
  // A control that cannot be made stays missing; the rest still work.
  return CreateWindowExW(
      0, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void DemoPanel::SetText(HWND control, const std::string& utf8) {
  if (control != nullptr) SetWindowTextW(control, ScreenText(utf8).c_str());
}

void DemoPanel::ShowSettings(const std::string& path,
                             const DemoSettings* settings,
                             const std::string& problem) {
  settings_ = settings;
  settings_problem_ = problem;
  SetText(settings_path_,
          "\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \xD0\xBD\xD0\xB0\xD1\x81\xD1\x82"
          "\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA / Settings file: " +
              (path.empty() ? std::string("-") : path));
  if (settings == nullptr) {
    SetText(settings_text_, "(" + problem + ")");
    return;
  }
  SetText(settings_text_, "address=" + settings->address +
                              "\r\ndns=" + settings->dns +
                              "\r\nmtu=" + std::to_string(settings->mtu) +
                              "\r\n" + MaskSecrets(settings->settings));
}

void DemoPanel::ShowStatus(const std::string& status) {
  // The status is shown exactly as the client sends it, Russian included.
  SetText(status_,
          "\xD0\xA1\xD0\xBE\xD1\x81\xD1\x82\xD0\xBE\xD1\x8F\xD0\xBD\xD0\xB8"
          "\xD0\xB5 / Status: " +
              (status.empty() ? std::string("-") : status));
  bool connected = status == vpn_channels::kStatusConnected;
  if (connected_ && !connected) ShowConnectedSince(UiValue());
  connected_ = connected;
}

void DemoPanel::ShowConnectedSince(const UiValue& value) {
  std::string since = "-";
  if (const int64_t* big = std::get_if<int64_t>(&value.data)) {
    since = LocalTimeText(*big);
  } else if (const int32_t* small = std::get_if<int32_t>(&value.data)) {
    since = LocalTimeText(*small);
  }
  SetText(connected_since_,
          "\xD0\x9F\xD0\xBE\xD0\xB4\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\xD0\xB5"
          "\xD0\xBD\xD0\xBE \xD1\x81 / Connected since: " +
              since);
}

void DemoPanel::ShowNote(const std::string& note) { SetText(note_, note); }

bool DemoPanel::OnCommand(int id) {
  if (id == kConnectButton) {
    if (settings_ == nullptr) {
      ShowNote("Connect: no settings (" + settings_problem_ + ")");
    } else {
      channels_->Send(vpn_channels::kControlChannel, vpn_channels::kConnect,
                      DemoArgument(*settings_));
    }
    return true;
  }
  if (id == kDisconnectButton) {
    channels_->Send(vpn_channels::kControlChannel, vpn_channels::kDisconnect,
                    UiValue());
    return true;
  }
  return false;
}

void DemoPanel::Layout(int width, int height) {
  HDC dc = GetDC(parent_);
  int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc != nullptr) ReleaseDC(parent_, dc);
  auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
  int margin = scaled(12);
  int inner = width - 2 * margin;
  if (inner < 0) inner = 0;
  int y = margin;
  auto place = [&](HWND control, int control_width, int control_height) {
    if (control != nullptr) {
      MoveWindow(control, margin, y, control_width, control_height, TRUE);
    }
    y += control_height + scaled(8);
  };
  place(notice_, inner, scaled(52));
  place(status_, inner, scaled(36));
  place(connected_since_, inner, scaled(20));
  if (connect_ != nullptr) {
    MoveWindow(connect_, margin, y, (inner - margin) / 2, scaled(30), TRUE);
  }
  if (disconnect_ != nullptr) {
    MoveWindow(disconnect_, margin + (inner + margin) / 2, y,
               (inner - margin) / 2, scaled(30), TRUE);
  }
  y += scaled(30) + scaled(12);
  place(settings_path_, inner, scaled(20));
  int note_height = scaled(36);
  int text_height = height - y - note_height - 2 * margin;
  place(settings_text_, inner, text_height > 0 ? text_height : 0);
  place(note_, inner, note_height);
}

void DemoPanel::ReloadFonts() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics,
                             0)) {
    return;  // the controls keep the font they have
  }
  ScopedFont font(CreateFontIndirectW(&metrics.lfMessageFont));
  metrics.lfMessageFont.lfWeight = FW_BOLD;
  ScopedFont bold_font(CreateFontIndirectW(&metrics.lfMessageFont));
  if (!font || !bold_font) return;
  for (HWND control : {status_, connected_since_, connect_, disconnect_,
                       settings_path_, settings_text_, note_}) {
    if (control != nullptr) {
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()),
                   TRUE);
    }
  }
  if (notice_ != nullptr) {
    SendMessageW(notice_, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font.get()),
                 TRUE);
  }
  // The controls use the new fonts from here on; the old ones may go.
  font_ = std::move(font);
  bold_font_ = std::move(bold_font);
}

LRESULT DemoPanel::StaticColours(HDC dc, HWND control) const {
  if (control == settings_text_) return 0;  // a read-only edit keeps its own
  SetBkMode(dc, TRANSPARENT);
  if (control == notice_) SetTextColor(dc, RGB(0xA0, 0x20, 0x20));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

}  // namespace velk::embedder
