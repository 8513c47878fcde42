// The stand-in embedder's demonstration interface: its entry-point arguments,
// its script mode and its transcript, whose formats docs/demo-script.md
// describes. Tests of the client are written against those formats; change
// them only together with those tests and that description.

#ifndef STAND_INS_EMBEDDER_DEMO_SCRIPT_H_
#define STAND_INS_EMBEDDER_DEMO_SCRIPT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stand_ins/embedder/ui_codec.h"

namespace velk::embedder {

inline constexpr int64_t kDefaultWaitMilliseconds = 60000;

struct ScriptCommand {
  enum class Kind {
    kListen,
    kCancel,
    kCall,
    kWaitStatus,
    kWaitStatusPrefix,
    kWaitReplies,
    kSleep,
    kClickConnect,
    kClickDisconnect,
    kClose,
  };
  Kind kind = Kind::kListen;
  int line = 0;                     // from 1
  std::string text;                 // the line as written, blanks trimmed
  std::string method;               // kCall
  bool demo_argument = false;       // kCall with "demo"
  std::optional<UiValue> argument;  // kCall with a literal
  std::string status;               // kWaitStatus, kWaitStatusPrefix
  int64_t milliseconds = 0;         // waits (time-out) and kSleep
};

// Reads a whole script. On failure returns false with `error` naming the line
// and what is wrong ("line 3: unknown command \"wiat\"").
bool ParseScript(std::string_view text, std::vector<ScriptCommand>* commands,
                 std::string* error);

// Reads one literal that fills `text` completely (blanks around it allowed).
bool ParseLiteral(std::string_view text, UiValue* value, std::string* error);

}  // namespace velk::embedder

#endif  // STAND_INS_EMBEDDER_DEMO_SCRIPT_H_
