#include "stand_ins/embedder/ui_codec.h"

#include <string_view>

namespace velk::embedder {
namespace {

// Type bytes of the standard encoding that the interface uses.
constexpr uint8_t kNull = 0;
constexpr uint8_t kTrue = 1;
constexpr uint8_t kFalse = 2;
constexpr uint8_t kInt32 = 3;
constexpr uint8_t kInt64 = 4;
constexpr uint8_t kLegacyString = 5;  // read as a string, never written
constexpr uint8_t kString = 7;
constexpr uint8_t kList = 12;
constexpr uint8_t kMap = 13;

// Lists and maps nest; a hostile message must not exhaust the stack.
constexpr int kMaxDepth = 64;

// Numbers are built byte by byte, little-endian whatever the host: the
// client's codec copies memory, so the two do not share a mistake.
void PutLittleEndian(uint64_t value, int bytes, std::vector<uint8_t>* out) {
  for (int i = 0; i < bytes; ++i) {
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void PutSize(size_t size, std::vector<uint8_t>* out) {
  if (size < 254) {
    out->push_back(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    out->push_back(254);
    PutLittleEndian(size, 2, out);
  } else {
    out->push_back(255);
    PutLittleEndian(size, 4, out);
  }
}

void PutValue(const UiValue& value, std::vector<uint8_t>* out) {
  if (value.IsNull()) {
    out->push_back(kNull);
  } else if (const bool* flag = std::get_if<bool>(&value.data)) {
    out->push_back(*flag ? kTrue : kFalse);
  } else if (const int32_t* small = std::get_if<int32_t>(&value.data)) {
    out->push_back(kInt32);
    PutLittleEndian(static_cast<uint32_t>(*small), 4, out);
  } else if (const int64_t* big = std::get_if<int64_t>(&value.data)) {
    out->push_back(kInt64);
    PutLittleEndian(static_cast<uint64_t>(*big), 8, out);
  } else if (const std::string* text = value.AsString()) {
    out->push_back(kString);
    PutSize(text->size(), out);
    out->insert(out->end(), text->begin(), text->end());
  } else if (const UiList* list = std::get_if<UiList>(&value.data)) {
    out->push_back(kList);
    PutSize(list->size(), out);
    for (const UiValue& element : *list) PutValue(element, out);
  } else if (const UiMap* map = std::get_if<UiMap>(&value.data)) {
    out->push_back(kMap);
    PutSize(map->size(), out);
    for (const UiMapEntry& entry : *map) {
      PutValue(entry.key, out);
      PutValue(entry.value, out);
    }
  }
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return position_ == size_; }

  bool Byte(uint8_t* byte) {
    if (position_ >= size_) return false;
    *byte = data_[position_++];
    return true;
  }

  bool LittleEndian(int bytes, uint64_t* value) {
    if (size_ - position_ < static_cast<size_t>(bytes)) return false;
    *value = 0;
    for (int i = 0; i < bytes; ++i) {
      *value |= static_cast<uint64_t>(data_[position_++]) << (8 * i);
    }
    return true;
  }

  bool Size(size_t* size) {
    uint8_t first = 0;
    if (!Byte(&first)) return false;
    uint64_t value = first;
    if (first == 254 && !LittleEndian(2, &value)) return false;
    if (first == 255 && !LittleEndian(4, &value)) return false;
    *size = static_cast<size_t>(value);
    return true;
  }

  bool Value(UiValue* value, int depth) {
    uint8_t type = 0;
    if (depth > kMaxDepth || !Byte(&type)) return false;
    uint64_t number = 0;
    size_t size = 0;
    switch (type) {
      case kNull:
        value->data = std::monostate();
        return true;
      case kTrue:
      case kFalse:
        value->data = type == kTrue;
        return true;
      case kInt32:
        if (!LittleEndian(4, &number)) return false;
        value->data = static_cast<int32_t>(static_cast<uint32_t>(number));
        return true;
      case kInt64:
        if (!LittleEndian(8, &number)) return false;
        value->data = static_cast<int64_t>(number);
        return true;
      case kLegacyString:
      case kString:
        if (!Size(&size) || size_ - position_ < size) return false;
        value->data =
            std::string(reinterpret_cast<const char*>(data_ + position_), size);
        position_ += size;
        return true;
      case kList: {
        // Every element takes at least one byte: a count beyond the rest of
        // the message is a lie, refused before anything is allocated.
        if (!Size(&size) || size_ - position_ < size) return false;
        UiList list(size);
        for (UiValue& element : list) {
          if (!Value(&element, depth + 1)) return false;
        }
        value->data = std::move(list);
        return true;
      }
      case kMap: {
        if (!Size(&size) || (size_ - position_) / 2 < size) return false;
        UiMap map(size);
        for (UiMapEntry& entry : map) {
          if (!Value(&entry.key, depth + 1) ||
              !Value(&entry.value, depth + 1)) {
            return false;
          }
        }
        value->data = std::move(map);
        return true;
      }
      default:
        return false;  // a type the interface never expects
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// The length of the valid UTF-8 sequence at `text[at]`, 0 when there is none.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t lead = byte(at);
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

const char kHexDigits[] = "0123456789abcdef";

}  // namespace

bool UiValue::operator==(const UiValue& other) const {
  return data == other.data;
}

std::vector<uint8_t> EncodeMethodCall(const std::string& method,
                                      const UiValue& argument) {
  std::vector<uint8_t> bytes;
  PutValue(UiValue{method}, &bytes);
  PutValue(argument, &bytes);
  return bytes;
}

UiEnvelope DecodeEnvelope(const uint8_t* data, size_t size) {
  UiEnvelope envelope;
  if (size == 0) {
    envelope.kind = UiEnvelope::Kind::kEmpty;
    return envelope;
  }
  Reader reader(data, size);
  uint8_t first = 0;
  (void)reader.Byte(&first);  // size is not 0
  bool read = false;
  if (first == 0) {
    read = reader.Value(&envelope.value, 0);
    envelope.kind = UiEnvelope::Kind::kSuccess;
  } else if (first == 1) {
    read = reader.Value(&envelope.code, 0) &&
           reader.Value(&envelope.message, 0) &&
           reader.Value(&envelope.details, 0);
    envelope.kind = UiEnvelope::Kind::kError;
  }
  // Bytes left over mean the other side wrote more than one envelope holds.
  if (!read || !reader.AtEnd()) return UiEnvelope();
  return envelope;
}

std::string QuoteString(const std::string& bytes) {
  std::string quoted = "\"";
  for (size_t i = 0; i < bytes.size();) {
    uint8_t byte = static_cast<uint8_t>(bytes[i]);
    if (byte >= 0x80) {
      size_t length = Utf8SequenceLength(bytes, i);
      if (length > 0) {
        quoted.append(bytes, i, length);
        i += length;
        continue;
      }
    }
    switch (byte) {
      case '\\':
        quoted += "\\\\";
        break;
      case '"':
        quoted += "\\\"";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (byte < 0x20 || byte >= 0x7F) {
          quoted += "\\x";
          quoted += kHexDigits[byte >> 4];
          quoted += kHexDigits[byte & 0xF];
        } else {
          quoted += static_cast<char>(byte);
        }
    }
    ++i;
  }
  quoted += '"';
  return quoted;
}

std::string FormatValue(const UiValue& value) {
  if (value.IsNull()) return "null";
  if (const bool* flag = std::get_if<bool>(&value.data)) {
    return *flag ? "true" : "false";
  }
  if (const int32_t* small = std::get_if<int32_t>(&value.data)) {
    return std::to_string(*small);
  }
  if (const int64_t* big = std::get_if<int64_t>(&value.data)) {
    return std::to_string(*big) + "L";
  }
  if (const std::string* text = value.AsString()) return QuoteString(*text);
  std::string formatted;
  if (const UiList* list = std::get_if<UiList>(&value.data)) {
    formatted = "[";
    for (size_t i = 0; i < list->size(); ++i) {
      if (i > 0) formatted += ", ";
      formatted += FormatValue((*list)[i]);
    }
    return formatted + "]";
  }
  const UiMap& map = std::get<UiMap>(value.data);
  formatted = "{";
  for (size_t i = 0; i < map.size(); ++i) {
    if (i > 0) formatted += ", ";
    formatted += FormatValue(map[i].key) + ": " + FormatValue(map[i].value);
  }
  return formatted + "}";
}

std::string DescribeEnvelope(const UiEnvelope& envelope, bool as_event) {
  switch (envelope.kind) {
    case UiEnvelope::Kind::kSuccess:
      return (as_event ? "event " : "success ") + FormatValue(envelope.value);
    case UiEnvelope::Kind::kError:
      return (as_event ? "error-event " : "error ") +
             FormatValue(envelope.code) + " " + FormatValue(envelope.message) +
             " " + FormatValue(envelope.details);
    case UiEnvelope::Kind::kEmpty:
      return as_event ? "end-of-stream" : "not-implemented";
    case UiEnvelope::Kind::kUndecodable:
      break;
  }
  return "undecodable";
}

std::string HexBytes(const uint8_t* data, size_t size) {
  if (size == 0) return "-";
  std::string hex;
  hex.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    hex += kHexDigits[data[i] >> 4];
    hex += kHexDigits[data[i] & 0xF];
  }
  return hex;
}

}  // namespace velk::embedder
