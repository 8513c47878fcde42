// The demonstration interface on screen: ordinary controls in the view's
// window showing that it is a stand-in, the status as the client reports it,
// the connected-since time, Connect and Disconnect, and the settings file
// with what it holds.

#ifndef STAND_INS_EMBEDDER_DEMO_PANEL_H_
#define STAND_INS_EMBEDDER_DEMO_PANEL_H_

#include <windows.h>

#include <string>

#include "stand_ins/embedder/demo_settings.h"
#include "stand_ins/embedder/ui_channels.h"
#include "stand_ins/embedder/ui_codec.h"
#include "win/scoped_handle.h"

namespace velk::embedder {

struct FontTraits {
  using Type = HFONT;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) { return value != nullptr; }
  static void Close(Type value) { DeleteObject(value); }
};
using ScopedFont = velk::ScopedResource<FontTraits>;

class DemoPanel {
 public:
  // The controls' identifiers in WM_COMMAND.
  static constexpr int kConnectButton = 103;
  static constexpr int kDisconnectButton = 104;

  // Builds the controls as children of `parent`.
  DemoPanel(HWND parent, UiChannels* channels);

  DemoPanel(const DemoPanel&) = delete;
  DemoPanel& operator=(const DemoPanel&) = delete;

  // The settings file and what was read from it; `settings` is null when
  // the file is unusable, and `problem` then says why.
  void ShowSettings(const std::string& path, const DemoSettings* settings,
                    const std::string& problem);
  void ShowStatus(const std::string& status);
  // The reply to "getConnectedSince": milliseconds since 1970 in UTC, or
  // null for none.
  void ShowConnectedSince(const UiValue& value);
  void ShowNote(const std::string& note);

  // A button press; true when `id` is one of the panel's buttons.
  bool OnCommand(int id);

  void Layout(int width, int height);
  void ReloadFonts();

  // The window's answer to WM_CTLCOLORSTATIC for the panel's texts; 0 where
  // the default answer stands.
  LRESULT StaticColours(HDC dc, HWND control) const;

 private:
  HWND AddControl(const wchar_t* kind, DWORD style, int id);
  void SetText(HWND control, const std::string& utf8);

  HWND parent_;
  UiChannels* channels_;
  const DemoSettings* settings_ = nullptr;  // owned by the view
  std::string settings_problem_ = "no --demo-settings= argument";
  bool connected_ = false;

  HWND notice_ = nullptr;
  HWND status_ = nullptr;
  HWND connected_since_ = nullptr;
  HWND connect_ = nullptr;
  HWND disconnect_ = nullptr;
  HWND settings_path_ = nullptr;
  HWND settings_text_ = nullptr;
  HWND note_ = nullptr;
  ScopedFont font_;
  ScopedFont bold_font_;
};

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_DEMO_PANEL_H_
