// The stand-in embedder's demonstration interface: its entry-point arguments,
// its script mode and its transcript. Tests of the client are written against
// the formats below; change them only together with those tests.
//
// The view of the stand-in embedder is a small native panel that plays the
// user interface's side of the two channels, "tovrane.vpn/control" (method
// channel) and "tovrane.vpn/status" (event channel), both in the standard
// method encoding. It is a demonstration and test tool and says so on screen.
//
// ENTRY-POINT ARGUMENTS
//
// The client hands its command-line arguments to the engine unchanged. The
// panel reads the three below (each a whole argument, name and value joined
// by "="; when one is given twice the last counts) and ignores every other.
// Paths are UTF-8 as the engine receives them; a relative path is taken from
// the process's current folder.
//
//   --demo-settings=PATH   the connection settings the panel connects with
//   --ui-script=PATH       run this script (see SCRIPT); no script: the panel
//                          is driven by a person
//   --ui-transcript=PATH   append the transcript (see TRANSCRIPT) to this file
//
// Demonstration settings file: UTF-8 text (a leading byte-order mark is
// skipped), lines ending in LF or CR LF. Empty lines and lines whose first
// character is "#" are skipped. A line beginning with "address=", "dns=" or
// "mtu=" gives that value (the text after the first "="; mtu as a decimal
// 32-bit signed integer, 1350 when there is no mtu line). Every other line
// goes verbatim, in file order, into the settings text, the lines joined with
// "\n" and no line end after the last, for example:
//
//   # demonstration tunnel
//   private_key=...
//   public_key=...
//   endpoint=10.77.0.1:51820
//   address=10.77.0.2/32
//   dns=1.1.1.1
//   mtu=1380
//
// A file that cannot be read, or an mtu that is not such an integer, leaves
// the panel without settings: it shows why, and Connect sends nothing.
//
// The "demo" argument (used by Connect and by scripts) is a map with, in this
// order, "settings", "address" and "dns" (strings, empty when absent) and
// "mtu" (int32). Map entries are encoded in the order written, as an
// interface written in another language would, not sorted.
//
// What the panel sends by itself: without a script, "listen" on the status
// channel and then "getStatus" when it starts. With or without a script, a
// "getConnectedSince" call each time the status it shows becomes "connected"
// (from another status or none; the client repeats "connected" at every
// poll), whether by a status event or by a "getStatus" reply. With
// a script, nothing else is sent except what the script asks for (clicks
// included).
//
// SCRIPT
//
// UTF-8 text, one command per line, lines ending in LF or CR LF. Blanks
// (spaces, tabs) around and between words are ignored; empty lines and lines
// whose first non-blank character is "#" are comments. The whole script is
// read before anything runs: a line that does not parse writes a FAIL line
// naming it to the transcript, nothing is sent and the window is closed.
// Commands run one after another on the platform thread, driven by timers and
// the message loop; waits never block the thread.
//
//   listen                  method call "listen" (no argument) on the status
//                           channel
//   cancel                  method call "cancel" (no argument) on the status
//                           channel
//   call METHOD [ARG]       method call METHOD (one word) on the control
//                           channel; ARG is a literal (below), "demo", or
//                           absent for no argument (encoded as null)
//   wait status TEXT [MS]   wait for a status event whose string equals TEXT
//   wait status-prefix TEXT [MS]
//                           wait for a status event whose string begins with
//                           TEXT
//                           Status waits look at the status events that
//                           arrived after the event that satisfied the
//                           previous status wait (from the start for the
//                           first one), skipping those that do not match.
//                           TEXT is one word, or a string literal when it
//                           holds blanks or non-ASCII text.
//   wait replies [MS]       wait until every call made so far (by the script
//                           or by the panel) has its reply
//   sleep MS                pause
//   click connect           press the panel's Connect button
//   click disconnect        press the panel's Disconnect button
//   close                   post WM_CLOSE to the top-level window that holds
//                           the view (the client then ends with 0)
//
// MS is a time-out in milliseconds, a decimal integer; waits default to
// 60000. A wait that times out writes a FAIL line to the transcript and
// closes the window, as does a "demo" argument while the panel has no
// settings. When the last command has run, "script done" is written; the
// window stays open unless the script closed it.
//
// Literals (ARG and quoted TEXT):
//
//   null  true  false
//   123  -5                 int32 (must fit in 32 bits)
//   4294968696L             int64 (suffix L)
//   "text"                  string; escapes \\ \" \n \r \t and \xHH (one
//                           byte); other bytes, UTF-8 included, as written
//   []  [1, "a"]            list
//   {"mtu": 1400, "dns": "1.1.1.1"}
//                           map; entries encoded in the order written; a
//                           repeated key is an error
//
// Examples:
//
//   listen
//   call getStatus
//   wait replies 5000
//   call connect demo
//   wait status connected 40000
// clang-format off
//   call connect {"settings": "private_key=...\nendpoint=10.77.0.1:51820", "mtu": 4294968696L}
//   call connect []
//   wait status-prefix "error:" 40000
//   click disconnect
//   wait status disconnected
//   close
// clang-format on
//
// TRANSCRIPT
//
// UTF-8 text, appended to (never truncated), one line per item, each line
// written and flushed as it happens; several runs follow one another in one
// file. A run begins with its header:
//
//   transcript of the stand-in demonstration interface (not the real one)
//   args N                            the number of entry-point arguments
//   arg I HEX # "ESCAPED"             one line per argument, I from 0
//
// and goes on with entries, each starting with the time in milliseconds
// since the engine was created (a decimal integer):
//
//   T to_client CHANNEL HEX # call ID METHOD ARG
//   T reply_from_client CHANNEL HEX # reply ID METHOD ANSWER
//   T from_client CHANNEL HEX # MESSAGE
//   T settings "PATH" ok
//   T settings "PATH" unusable: REASON
//   T script LINE COMMAND             a script command starts (LINE from 1)
//   T script done
//   T FAIL REASON                     the script failed; the window closes
//
// HEX is the message's bytes as lower-case hexadecimal digit pairs with no
// separators, or "-" for a message of no bytes. ID numbers the calls of one
// run from 1 in the order sent, so a reply names the call it answers.
// ANSWER is "success VALUE", "error CODE MESSAGE DETAILS" (each a value),
// "not-implemented" (an empty reply) or "undecodable". MESSAGE (what the
// client sent by itself, on the status channel the status events) is
// "event VALUE", "error-event CODE MESSAGE DETAILS", "end-of-stream" (no
// bytes) or "undecodable", followed by " (expects reply)" when the client
// asked for a reply. VALUE and ARG are written in the literal syntax above;
// in strings, bytes below 0x20, 0x7F, and bytes that are not part of valid
// UTF-8 are written as escapes, other UTF-8 as it is. ESCAPED is a string
// literal of the argument. Example:
//
// clang-format off
//   12 to_client tovrane.vpn/status 07066c697374656e00 # call 1 listen null
//   12 reply_from_client tovrane.vpn/status 0000 # reply 1 listen success null
//   13 to_client tovrane.vpn/control 070967657453746174757300 # call 2 getStatus null
//   14 reply_from_client tovrane.vpn/control 00070c646973636f6e6e6563746564 # reply 2 getStatus success "disconnected"
//   15 from_client tovrane.vpn/status 00070a636f6e6e656374696e67 # event "connecting"
// clang-format on
//
// THREADS
//
// The panel and the script live on the platform thread, in the view's window.
// Replies may reach the embedder on any thread; they are written to the
// transcript as they arrive and handed to the platform thread through the
// view window's queue. The engine ends before its view: no reply can reach a
// panel that is gone, and a script waiting at that moment simply stops.

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
