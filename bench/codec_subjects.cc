#include "bench/codec_subjects.h"

#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "channels/byte_streams.h"
#include "channels/standard_codec_serializer.h"

namespace velk {

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

EncodableValue ConnectArguments() {
  const char* settings =
      "PrivateKey=yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk=\n"
      "PublicKey=xTIBA5rboUvnH4htodjb6e697QjLERt1NAB4mZqp8Dg=\n"
      "PresharedKey=gN65BkIKy1eCE9pP1wdc8ROUtkHLF2PfAqYdyYBz6EA=\n"
      "Endpoint=203.0.113.7:51820\n"
      "AllowedIPs=0.0.0.0/0, ::/0\n"
      "PersistentKeepalive=25\n"
      "Jc=4\nJmin=40\nJmax=70\nS1=0\nS2=0\n"
      "H1=1\nH2=2\nH3=3\nH4=4\n";
  return EncodableValue(EncodableValueMap{
      {EncodableValue("settings"), EncodableValue(settings)},
      {EncodableValue("address"), EncodableValue("10.8.0.2/32")},
      {EncodableValue("dns"), EncodableValue("1.1.1.1, 8.8.8.8")},
      {EncodableValue("mtu"), EncodableValue(int32_t{1280})},
  });
}

EncodableValue StatusEvent() {
  return EncodableValue(
      "error:\xd0\x9d\xd0\xb5\xd1\x82 \xd1\x81\xd0\xbe\xd0\xb5\xd0\xb4\xd0\xb8"
      "\xd0\xbd\xd0\xb5\xd0\xbd\xd0\xb8\xd1\x8f");
}

// Three levels of maps with a mix of scalars, strings and small lists.
EncodableValue NestedMap() {
  EncodableValueMap outer;
  for (int32_t i = 0; i < 8; ++i) {
    EncodableValueMap middle;
    for (int32_t j = 0; j < 8; ++j) {
      middle[EncodableValue("key" + std::to_string(j))] =
          EncodableValue(EncodableValueMap{
              {EncodableValue("id"), EncodableValue(i * 8 + j)},
              {EncodableValue("ratio"), EncodableValue(j / 8.0)},
              {EncodableValue("name"), EncodableValue("entry")},
              {EncodableValue("flags"),
               EncodableValue(EncodableValueList{EncodableValue(true),
                                                 EncodableValue(int64_t{j})})},
          });
    }
    outer[EncodableValue(i)] = EncodableValue(std::move(middle));
  }
  return EncodableValue(std::move(outer));
}

EncodableValue Bytes1MiB() {
  std::vector<uint8_t> bytes(1 << 20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 131);
  return EncodableValue(std::move(bytes));
}

EncodableValue Int64List128Ki() {
  std::vector<int64_t> numbers(128 * 1024);
  for (size_t i = 0; i < numbers.size(); ++i) {
    numbers[i] = int64_t(i) * 0x9E3779B97F4A7C15LL;
  }
  return EncodableValue(std::move(numbers));
}

// --- msgpack-cxx --------------------------------------------------------
// Typed lists have no msgpack form of their own: bytes travel as bin, the
// number lists as arrays, which is how msgpack users send them.

using Packer = msgpack::packer<msgpack::sbuffer>;

void MsgpackPack(const EncodableValue& value, Packer& packer) {
  std::visit(
      [&packer](const auto& held) {
        using T = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<T, std::monostate> ||
                      std::is_same_v<T, flutter::CustomValue>) {
          packer.pack_nil();
        } else if constexpr (std::is_same_v<T, std::string>) {
          packer.pack_str(uint32_t(held.size()));
          packer.pack_str_body(held.data(), uint32_t(held.size()));
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          packer.pack_bin(uint32_t(held.size()));
          packer.pack_bin_body(reinterpret_cast<const char*>(held.data()),
                               uint32_t(held.size()));
        } else if constexpr (std::is_same_v<T, EncodableValueList>) {
          packer.pack_array(uint32_t(held.size()));
          for (const EncodableValue& element : held) {
            MsgpackPack(element, packer);
          }
        } else if constexpr (std::is_same_v<T, EncodableValueMap>) {
          packer.pack_map(uint32_t(held.size()));
          for (const auto& [key, mapped] : held) {
            MsgpackPack(key, packer);
            MsgpackPack(mapped, packer);
          }
        } else {
          packer.pack(held);  // numbers and number lists
        }
      },
      static_cast<const EncodableValue::Variant&>(value));
}

EncodableValue FromMsgpack(const msgpack::object& object) {
  switch (object.type) {
    case msgpack::type::BOOLEAN:
      return EncodableValue(object.via.boolean);
    case msgpack::type::POSITIVE_INTEGER:
    case msgpack::type::NEGATIVE_INTEGER: {
      const int64_t number = object.as<int64_t>();
      if (number == int32_t(number)) return EncodableValue(int32_t(number));
      return EncodableValue(number);
    }
    case msgpack::type::FLOAT32:
    case msgpack::type::FLOAT64:
      return EncodableValue(object.via.f64);
    case msgpack::type::STR:
      return EncodableValue(
          std::string(object.via.str.ptr, object.via.str.size));
    case msgpack::type::BIN: {
      const auto* bytes = reinterpret_cast<const uint8_t*>(object.via.bin.ptr);
      return EncodableValue(
          std::vector<uint8_t>(bytes, bytes + object.via.bin.size));
    }
    case msgpack::type::ARRAY: {
      EncodableValueList list;
      list.reserve(object.via.array.size);
      for (const msgpack::object& element : object.via.array) {
        list.push_back(FromMsgpack(element));
      }
      return EncodableValue(std::move(list));
    }
    case msgpack::type::MAP: {
      EncodableValueMap map;
      for (const msgpack::object_kv& entry : object.via.map) {
        // The same insertion as the codec's, for a fair comparison.
        map.emplace_hint(map.end(), FromMsgpack(entry.key),
                         FromMsgpack(entry.val));
      }
      return EncodableValue(std::move(map));
    }
    default:
      return EncodableValue();
  }
}

// Lets bin and str payloads point into the buffer instead of being copied
// into the zone: msgpack's fastest way to unpack.
bool ReferenceEverything(msgpack::type::object_type, std::size_t, void*) {
  return true;
}

}  // namespace

const std::vector<CodecSubject>& CodecSubjects() {
  static const std::vector<CodecSubject> subjects = {
      {"connect_args", ConnectArguments, false, 0},
      {"status_event", StatusEvent, false, 0},
      {"nested_map", NestedMap, false, 0},
      {"bytes_1MiB", Bytes1MiB, false, 1 << 20},
      {"int64_list_128Ki", Int64List128Ki, true, 128 * 1024 * 8},
  };
  return subjects;
}

const CodecSubject* FindCodecSubject(const std::string& name) {
  for (const CodecSubject& subject : CodecSubjects()) {
    if (name == subject.name) return &subject;
  }
  return nullptr;
}

// --- The standard codec -------------------------------------------------

std::vector<uint8_t> CodecEncode(const EncodableValue& value) {
  std::vector<uint8_t> message;
  flutter::ByteBufferStreamWriter writer(&message);
  flutter::SharedSerializer().WriteValue(value, &writer);
  return message;
}

EncodableValue CodecDecode(const std::vector<uint8_t>& message) {
  flutter::ByteBufferStreamReader reader(message.data(), message.size());
  return flutter::SharedSerializer().ReadNextValue(&reader);
}

msgpack::sbuffer MsgpackEncode(const EncodableValue& value) {
  msgpack::sbuffer buffer;
  Packer packer(buffer);
  MsgpackPack(value, packer);
  return buffer;
}

// A number list comes back as an array; the receiver knows it expects one.
EncodableValue MsgpackDecode(const msgpack::sbuffer& buffer, bool int64_list) {
  const msgpack::object_handle handle =
      msgpack::unpack(buffer.data(), buffer.size(), ReferenceEverything);
  if (int64_list) {
    return EncodableValue(handle.get().as<std::vector<int64_t>>());
  }
  return FromMsgpack(handle.get());
}

}  // namespace velk
