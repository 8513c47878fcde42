// Runs one codec operation a given number of times and nothing else, for an
// instruction counter: unlike a clock, the count does not move with the load
// of a shared machine. bench/count_instructions runs it under callgrind twice
// (0 and N times) and prints the difference per operation.
//
//   codec_instructions SUBJECT OPERATION COUNT
//     SUBJECT    connect_args, status_event, nested_map, bytes_1MiB,
//                int64_list_128Ki
//     OPERATION  encode/codec, decode/codec, round_trip/codec,
//                encode/msgpack, decode/msgpack, round_trip/msgpack
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/codec_subjects.h"

namespace {

// What every operation may start from, prepared before the count starts.
struct Inputs {
  flutter::EncodableValue value;
  std::vector<uint8_t> codec_bytes;
  msgpack::sbuffer msgpack_bytes;
  bool int64_list;
};

using Operation = void (*)(const Inputs&);

const struct {
  const char* name;
  Operation run;
} kOperations[] = {
    {"encode/codec",
     [](const Inputs& in) {
       benchmark::DoNotOptimize(velk::CodecEncode(in.value));
     }},
    {"decode/codec",
     [](const Inputs& in) {
       benchmark::DoNotOptimize(velk::CodecDecode(in.codec_bytes));
     }},
    {"round_trip/codec",
     [](const Inputs& in) {
       benchmark::DoNotOptimize(velk::CodecDecode(velk::CodecEncode(in.value)));
     }},
    {"encode/msgpack",
     [](const Inputs& in) {
       benchmark::DoNotOptimize(velk::MsgpackEncode(in.value));
     }},
    {"decode/msgpack",
     [](const Inputs& in) {
       benchmark::DoNotOptimize(
           velk::MsgpackDecode(in.msgpack_bytes, in.int64_list));
     }},
    {"round_trip/msgpack",
     [](const Inputs& in) {
       benchmark::DoNotOptimize(
           velk::MsgpackDecode(velk::MsgpackEncode(in.value), in.int64_list));
     }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SUBJECT OPERATION COUNT\n", argv[0]);
    return 2;
  }
  const velk::CodecSubject* subject = velk::FindCodecSubject(argv[1]);
  Operation operation = nullptr;
  for (const auto& known : kOperations) {
    if (std::strcmp(argv[2], known.name) == 0) operation = known.run;
  }
  const long count = std::strtol(argv[3], nullptr, 10);
  if (subject == nullptr || operation == nullptr || count < 0) {
    std::fprintf(stderr, "unknown subject or operation, or bad count\n");
    return 2;
  }
  // Both encodings are prepared whatever the operation, so that a run of 0
  // counts all the set-up and nothing of the operation.
  Inputs inputs{subject->make(), {}, {}, subject->int64_list};
  inputs.codec_bytes = velk::CodecEncode(inputs.value);
  inputs.msgpack_bytes = velk::MsgpackEncode(inputs.value);

  for (long i = 0; i < count; ++i) operation(inputs);
  return 0;
}
