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
#include <string>
#include <vector>

#include "bench/codec_subjects.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SUBJECT OPERATION COUNT\n", argv[0]);
    return 2;
  }
  const velk::CodecSubject* subject = velk::FindCodecSubject(argv[1]);
  const std::string operation = argv[2];
  const long count = std::strtol(argv[3], nullptr, 10);
  if (subject == nullptr || count < 0) {
    std::fprintf(stderr, "unknown subject or bad count\n");
    return 2;
  }
  // Both encodings are prepared whatever the operation, so that a run of 0
  // counts all the set-up and nothing of the operation.
  const flutter::EncodableValue value = subject->make();
  const std::vector<uint8_t> codec_bytes = velk::CodecEncode(value);
  const msgpack::sbuffer msgpack_bytes = velk::MsgpackEncode(value);
  const bool int64_list = subject->int64_list;

  for (long i = 0; i < count; ++i) {
    if (operation == "encode/codec") {
      benchmark::DoNotOptimize(velk::CodecEncode(value));
    } else if (operation == "decode/codec") {
      benchmark::DoNotOptimize(velk::CodecDecode(codec_bytes));
    } else if (operation == "round_trip/codec") {
      benchmark::DoNotOptimize(velk::CodecDecode(velk::CodecEncode(value)));
    } else if (operation == "encode/msgpack") {
      benchmark::DoNotOptimize(velk::MsgpackEncode(value));
    } else if (operation == "decode/msgpack") {
      benchmark::DoNotOptimize(velk::MsgpackDecode(msgpack_bytes, int64_list));
    } else if (operation == "round_trip/msgpack") {
      benchmark::DoNotOptimize(
          velk::MsgpackDecode(velk::MsgpackEncode(value), int64_list));
    } else {
      std::fprintf(stderr, "unknown operation %s\n", operation.c_str());
      return 2;
    }
  }
  return 0;
}
