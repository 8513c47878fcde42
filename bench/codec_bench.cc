// The standard codec against msgpack-cxx (the same logical values, from and
// into EncodableValue) and, for the bulk lists, against a plain memcpy of the
// payload. After the run the program checks its two targets and exits with 1
// when one is missed:
//  - bulk decode at no less than half of memcpy's bandwidth;
//  - small-message encode+decode at least as fast as msgpack-cxx.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <msgpack.hpp>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "channels/standard_codec_serializer.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

// --- The values ---------------------------------------------------------

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

msgpack::sbuffer MsgpackEncode(const EncodableValue& value) {
  msgpack::sbuffer buffer;
  Packer packer(buffer);
  MsgpackPack(value, packer);
  return buffer;
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

// A number list comes back as an array; the receiver knows it expects one.
EncodableValue MsgpackDecode(const msgpack::sbuffer& buffer,
                             bool int64_list = false) {
  const msgpack::object_handle handle =
      msgpack::unpack(buffer.data(), buffer.size(), ReferenceEverything);
  if (int64_list) {
    return EncodableValue(handle.get().as<std::vector<int64_t>>());
  }
  return FromMsgpack(handle.get());
}

// --- The benchmarks -----------------------------------------------------

// Which target a value is checked against.
enum class Target {
  kSmallMessage,  // encode+decode no slower than msgpack-cxx
  kBulk,          // decode at least half of memcpy's bandwidth
  kNone,          // measured and recorded only
};

struct Case {
  const char* name;
  EncodableValue (*make)();
  Target target;
  bool int64_list;
  size_t payload_bytes;  // what memcpy copies, for bulk values
};

// The small messages are the ones this client exchanges. The nested map, a
// few kilobytes of maps in maps, is measured beside them without a target.
const Case kCases[] = {
    {"connect_args", ConnectArguments, Target::kSmallMessage, false, 0},
    {"status_event", StatusEvent, Target::kSmallMessage, false, 0},
    {"nested_map", NestedMap, Target::kNone, false, 0},
    {"bytes_1MiB", Bytes1MiB, Target::kBulk, false, 1 << 20},
    {"int64_list_128Ki", Int64List128Ki, Target::kBulk, true, 128 * 1024 * 8},
};

void Register(const Case& c) {
  const EncodableValue value = c.make();
  const std::vector<uint8_t> codec_bytes = CodecEncode(value);
  const msgpack::sbuffer msgpack_source = MsgpackEncode(value);
  const std::vector<char> msgpack_bytes(
      msgpack_source.data(), msgpack_source.data() + msgpack_source.size());
  const std::string name = c.name;
  const bool int64_list = c.int64_list;
  const int64_t size =
      int64_t(c.payload_bytes ? c.payload_bytes : codec_bytes.size());

  auto copy_of = [msgpack_bytes] {
    msgpack::sbuffer buffer;
    buffer.write(msgpack_bytes.data(), msgpack_bytes.size());
    return buffer;
  };

  benchmark::RegisterBenchmark(
      ("encode/codec/" + name).c_str(), [value, size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(CodecEncode(value));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(
      ("decode/codec/" + name).c_str(),
      [codec_bytes, size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(CodecDecode(codec_bytes));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(
      ("round_trip/codec/" + name).c_str(), [value](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(CodecDecode(CodecEncode(value)));
        }
      });
  benchmark::RegisterBenchmark(
      ("encode/msgpack/" + name).c_str(),
      [value, size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(MsgpackEncode(value));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(
      ("decode/msgpack/" + name).c_str(),
      [buffer = std::make_shared<msgpack::sbuffer>(copy_of()), int64_list,
       size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(MsgpackDecode(*buffer, int64_list));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(("round_trip/msgpack/" + name).c_str(),
                               [value, int64_list](benchmark::State& state) {
                                 for (auto _ : state) {
                                   benchmark::DoNotOptimize(MsgpackDecode(
                                       MsgpackEncode(value), int64_list));
                                 }
                               });
  if (c.target == Target::kBulk) {
    benchmark::RegisterBenchmark(
        ("copy/memcpy/" + name).c_str(), [size](benchmark::State& state) {
          std::vector<uint8_t> source(size, 0x5a), destination(size);
          for (auto _ : state) {
            std::memcpy(destination.data(), source.data(), size);
            benchmark::DoNotOptimize(destination.data());
            benchmark::ClobberMemory();
          }
          state.SetBytesProcessed(state.iterations() * size);
        });
  }
}

// Collects each benchmark's real time per iteration for the target checks.
class TargetReporter : public benchmark::ConsoleReporter {
 public:
  TargetReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      // CPU time: the machine may be shared, and waiting for a core is not
      // the codec's cost. With repetitions the median counts.
      const bool median =
          run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const double nanoseconds =
          run.GetAdjustedCPUTime() *
          benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
          benchmark::GetTimeUnitMultiplier(run.time_unit);
      (median ? medians_ : singles_)[run.run_name.function_name] = nanoseconds;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints one line per target; false when one was measured and missed.
  bool CheckTargets() const {
    bool all_met = true;
    for (const Case& c : kCases) {
      if (c.target == Target::kNone) continue;
      const bool bulk = c.target == Target::kBulk;
      const std::string name = c.name;
      const char* left = bulk ? "decode/codec/" : "round_trip/codec/";
      const char* right = bulk ? "copy/memcpy/" : "round_trip/msgpack/";
      // Bulk decode may take up to twice memcpy's time (half its bandwidth);
      // small messages no longer than msgpack.
      const double allowance = bulk ? 2.0 : 1.0;
      const double ours = TimeOf(left + name);
      const double theirs = TimeOf(right + name);
      if (ours <= 0 || theirs <= 0) continue;  // filtered out of this run
      const double ratio = ours / theirs;
      const bool met = ratio <= allowance;
      all_met = all_met && met;
      std::printf("target %-40s %s: %.2fx the time of %s (allowed %.1fx)\n",
                  (left + name).c_str(), met ? "met" : "MISSED", ratio,
                  (right + name).c_str(), allowance);
    }
    return all_met;
  }

 private:
  double TimeOf(const std::string& name) const {
    const auto median = medians_.find(name);
    if (median != medians_.end()) return median->second;
    const auto single = singles_.find(name);
    return single != singles_.end() ? single->second : 0;
  }

  std::map<std::string, double> medians_;
  std::map<std::string, double> singles_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Case& c : kCases) Register(c);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.CheckTargets() ? 0 : 1;
}
