// The values that the codec benchmarks measure, and the two ways of carrying
// them: the standard codec, and msgpack-cxx from and into the same
// EncodableValue. codec_bench times them; codec_instructions runs them under
// an instruction counter.
#ifndef BENCH_CODEC_SUBJECTS_H_
#define BENCH_CODEC_SUBJECTS_H_

#include <cstddef>
#include <cstdint>
#include <msgpack.hpp>
#include <string>
#include <vector>

#include "channels/encodable_value.h"

namespace velk {

struct CodecSubject {
  const char* name;
  flutter::EncodableValue (*make)();
  // msgpack has no typed lists: the receiver of an int64 list asks for one.
  bool int64_list;
  // What a bare memcpy copies for a bulk value; 0 for the small messages.
  size_t payload_bytes;
};

// connect_args, status_event, nested_map, bytes_1MiB, int64_list_128Ki.
const std::vector<CodecSubject>& CodecSubjects();

// Null when no subject has that name.
const CodecSubject* FindCodecSubject(const std::string& name);

std::vector<uint8_t> CodecEncode(const flutter::EncodableValue& value);
flutter::EncodableValue CodecDecode(const std::vector<uint8_t>& message);

msgpack::sbuffer MsgpackEncode(const flutter::EncodableValue& value);
flutter::EncodableValue MsgpackDecode(const msgpack::sbuffer& buffer,
                                      bool int64_list);

}  // namespace velk

#endif  // BENCH_CODEC_SUBJECTS_H_
