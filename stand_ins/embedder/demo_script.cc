// Reading of the demonstration interface's scripts and literals.

#include "stand_ins/embedder/demo_script.h"

#include <cstdint>
#include <limits>

namespace velk::embedder {
namespace {

constexpr int kMaxLiteralDepth = 32;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Splits off the first blank-separated word of `rest`.
std::string_view NextWord(std::string_view* rest) {
  *rest = Trim(*rest);
  size_t end = 0;
  while (end < rest->size() && !IsBlank((*rest)[end])) ++end;
  std::string_view word = rest->substr(0, end);
  *rest = Trim(rest->substr(end));
  return word;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class LiteralParser {
 public:
  explicit LiteralParser(std::string_view text) : text_(text) {}

  size_t position() const { return position_; }

  bool Value(UiValue* value, int depth) {
    SkipBlanks();
    if (depth > kMaxLiteralDepth) return Fail("nested too deeply");
    if (position_ >= text_.size()) return Fail("a value is missing");
    char c = text_[position_];
    if (c == '"') {
      std::string text;
      if (!String(&text)) return false;
      value->data = std::move(text);
      return true;
    }
    if (c == '[') return List(value, depth);
    if (c == '{') return Map(value, depth);
    if (c == '-' || (c >= '0' && c <= '9')) return Number(value);
    if (Keyword("null")) {
      value->data = std::monostate();
      return true;
    }
    if (Keyword("true")) {
      value->data = true;
      return true;
    }
    if (Keyword("false")) {
      value->data = false;
      return true;
    }
    return Fail("unexpected \"" + std::string(1, c) + "\"");
  }

  bool String(std::string* text) {
    ++position_;  // the opening quote
    while (position_ < text_.size()) {
      char c = text_[position_++];
      if (c == '"') return true;
      if (c != '\\') {
        *text += c;
        continue;
      }
      if (position_ >= text_.size()) break;
      char escape = text_[position_++];
      switch (escape) {
        case '\\':
        case '"':
          *text += escape;
          break;
        case 'n':
          *text += '\n';
          break;
        case 'r':
          *text += '\r';
          break;
        case 't':
          *text += '\t';
          break;
        case 'x': {
          int high =
              position_ + 1 < text_.size() ? HexValue(text_[position_]) : -1;
          int low = high < 0 ? -1 : HexValue(text_[position_ + 1]);
          if (low < 0) return Fail("\\x needs two hexadecimal digits");
          *text += static_cast<char>(high * 16 + low);
          position_ += 2;
          break;
        }
        default:
          return Fail("unknown escape \\" + std::string(1, escape));
      }
    }
    return Fail("a string is not closed");
  }

  bool AtEnd() {
    SkipBlanks();
    return position_ == text_.size();
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& what) {
    if (error_.empty()) {
      error_ = what + " at column " + std::to_string(position_ + 1);
    }
    return false;
  }

  void SkipBlanks() {
    while (position_ < text_.size() && IsBlank(text_[position_])) ++position_;
  }

  bool Keyword(std::string_view word) {
    if (text_.substr(position_, word.size()) != word) return false;
    size_t after = position_ + word.size();
    if (after < text_.size() && text_[after] >= 'a' && text_[after] <= 'z') {
      return false;
    }
    position_ = after;
    return true;
  }

  bool Number(UiValue* value) {
    bool negative = text_[position_] == '-';
    if (negative) ++position_;
    uint64_t magnitude = 0;
    size_t digits = 0;
    while (position_ < text_.size() && text_[position_] >= '0' &&
           text_[position_] <= '9') {
      uint64_t digit = static_cast<uint64_t>(text_[position_] - '0');
      if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) {
        return Fail("number too large");
      }
      magnitude = magnitude * 10 + digit;
      ++position_;
      ++digits;
    }
    if (digits == 0) return Fail("digits expected");
    bool wide = position_ < text_.size() && text_[position_] == 'L';
    if (wide) ++position_;
    // The most negative value has one more unit than the most positive.
    uint64_t limit = wide ? uint64_t{1} << 63 : uint64_t{1} << 31;
    if (magnitude > limit || (!negative && magnitude == limit)) {
      return Fail(wide ? "number does not fit in 64 bits"
                       : "number does not fit in 32 bits (add L for int64)");
    }
    // Two's complement negation in unsigned arithmetic, then the cast.
    uint64_t bits = negative ? ~magnitude + 1 : magnitude;
    if (wide) {
      value->data = static_cast<int64_t>(bits);
    } else {
      value->data = static_cast<int32_t>(static_cast<uint32_t>(bits));
    }
    return true;
  }

  // Reads "]" or "}" closing a sequence, or the "," before its next item.
  bool NextItem(char close, bool* done) {
    SkipBlanks();
    if (position_ < text_.size() && text_[position_] == close) {
      ++position_;
      *done = true;
      return true;
    }
    if (position_ < text_.size() && text_[position_] == ',') {
      ++position_;
      *done = false;
      return true;
    }
    return Fail(std::string("\",\" or \"") + close + "\" expected");
  }

  bool List(UiValue* value, int depth) {
    ++position_;
    UiList list;
    SkipBlanks();
    bool done = position_ < text_.size() && text_[position_] == ']';
    if (done) ++position_;
    while (!done) {
      UiValue element;
      if (!Value(&element, depth + 1)) return false;
      list.push_back(std::move(element));
      if (!NextItem(']', &done)) return false;
    }
    value->data = std::move(list);
    return true;
  }

  bool Map(UiValue* value, int depth) {
    ++position_;
    UiMap map;
    SkipBlanks();
    bool done = position_ < text_.size() && text_[position_] == '}';
    if (done) ++position_;
    while (!done) {
      UiMapEntry entry;
      if (!Value(&entry.key, depth + 1)) return false;
      for (const UiMapEntry& earlier : map) {
        if (earlier.key == entry.key) {
          return Fail("repeated key " + FormatValue(entry.key));
        }
      }
      SkipBlanks();
      if (position_ >= text_.size() || text_[position_] != ':') {
        return Fail("\":\" expected");
      }
      ++position_;
      if (!Value(&entry.value, depth + 1)) return false;
      map.push_back(std::move(entry));
      if (!NextItem('}', &done)) return false;
    }
    value->data = std::move(map);
    return true;
  }

  std::string_view text_;
  size_t position_ = 0;
  std::string error_;
};

bool ParseMilliseconds(std::string_view word, int64_t* milliseconds) {
  if (word.empty() || word.size() > 9) return false;
  int64_t value = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *milliseconds = value;
  return true;
}

// Reads "TEXT [MS]" of a status wait.
bool ParseStatusWait(std::string_view rest, ScriptCommand* command,
                     std::string* error) {
  rest = Trim(rest);
  if (rest.empty()) {
    *error = "the status to wait for is missing";
    return false;
  }
  if (rest.front() == '"') {
    LiteralParser parser(rest);
    if (!parser.String(&command->status)) {
      *error = parser.error();
      return false;
    }
    rest = Trim(rest.substr(parser.position()));
  } else {
    command->status = std::string(NextWord(&rest));
  }
  command->milliseconds = kDefaultWaitMilliseconds;
  if (rest.empty()) return true;
  std::string_view time_out = NextWord(&rest);
  if (!rest.empty() || !ParseMilliseconds(time_out, &command->milliseconds) ||
      command->milliseconds == 0) {
    *error = "a time-out in milliseconds (1 or more) expected";
    return false;
  }
  return true;
}

bool ParseCommand(std::string_view line, ScriptCommand* command,
                  std::string* error) {
  using Kind = ScriptCommand::Kind;
  std::string_view rest = line;
  std::string_view word = NextWord(&rest);
  auto no_more = [&](Kind kind) {
    command->kind = kind;
    if (rest.empty()) return true;
    *error = "unexpected \"" + std::string(rest) + "\"";
    return false;
  };
  if (word == "listen") return no_more(Kind::kListen);
  if (word == "cancel") return no_more(Kind::kCancel);
  if (word == "close") return no_more(Kind::kClose);
  if (word == "click") {
    std::string_view button = NextWord(&rest);
    if (button == "connect") return no_more(Kind::kClickConnect);
    if (button == "disconnect") return no_more(Kind::kClickDisconnect);
    *error = "click connect or click disconnect expected";
    return false;
  }
  if (word == "sleep") {
    command->kind = Kind::kSleep;
    if (!ParseMilliseconds(NextWord(&rest), &command->milliseconds) ||
        !rest.empty()) {
      *error = "sleep needs a time in milliseconds";
      return false;
    }
    return true;
  }
  if (word == "call") {
    command->kind = Kind::kCall;
    command->method = std::string(NextWord(&rest));
    if (command->method.empty()) {
      *error = "the method name is missing";
      return false;
    }
    if (rest.empty()) return true;
    if (rest == "demo") {
      command->demo_argument = true;
      return true;
    }
    UiValue argument;
    if (!ParseLiteral(rest, &argument, error)) return false;
    command->argument = std::move(argument);
    return true;
  }
  if (word == "wait") {
    std::string_view what = NextWord(&rest);
    if (what == "status" || what == "status-prefix") {
      command->kind =
          what == "status" ? Kind::kWaitStatus : Kind::kWaitStatusPrefix;
      return ParseStatusWait(rest, command, error);
    }
    if (what == "replies") {
      command->kind = Kind::kWaitReplies;
      command->milliseconds = kDefaultWaitMilliseconds;
      if (rest.empty()) return true;
      if (ParseMilliseconds(NextWord(&rest), &command->milliseconds) &&
          rest.empty() && command->milliseconds > 0) {
        return true;
      }
      *error = "a time-out in milliseconds (1 or more) expected";
      return false;
    }
    *error = "wait status, wait status-prefix or wait replies expected";
    return false;
  }
  *error = "unknown command \"" + std::string(word) + "\"";
  return false;
}

}  // namespace

bool ParseLiteral(std::string_view text, UiValue* value, std::string* error) {
  LiteralParser parser(text);
  UiValue parsed;
  if (!parser.Value(&parsed, 0)) {
    *error = parser.error();
    return false;
  }
  if (!parser.AtEnd()) {
    *error = "unexpected text after the value at column " +
             std::to_string(parser.position() + 1);
    return false;
  }
  *value = std::move(parsed);
  return true;
}

bool ParseScript(std::string_view text, std::vector<ScriptCommand>* commands,
                 std::string* error) {
  std::vector<ScriptCommand> parsed;
  int line_number = 0;
  while (!text.empty() || line_number == 0) {
    ++line_number;
    size_t end = text.find('\n');
    std::string_view line =
        Trim(text.substr(0, end == std::string_view::npos ? text.size() : end));
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    ScriptCommand command;
    command.line = line_number;
    command.text = std::string(line);
    std::string reason;
    if (!ParseCommand(line, &command, &reason)) {
      *error = "line " + std::to_string(line_number) + ": " + reason;
      return false;
    }
    parsed.push_back(std::move(command));
  }
  *commands = std::move(parsed);
  return true;
}

}  // namespace velk::embedder
