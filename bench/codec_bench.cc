// The standard codec against msgpack-cxx (the same logical values, from and
// into EncodableValue) and, for the bulk lists, against a plain memcpy of the
// payload. After the run the program checks its targets and exits with 1 when
// one is missed:
//  - small messages: encode+decode in at most 0.8 x msgpack-cxx's time, and
//    encode alone no slower than msgpack-cxx's;
//  - bulk lists: decode at no less than half of memcpy's bandwidth.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <msgpack.hpp>
#include <string>
#include <vector>

#include "bench/codec_subjects.h"

namespace {

using flutter::EncodableValue;

// One target: `ours` may take at most `allowance` times the time of
// `theirs`.
struct Target {
  const char* subject;
  const char* ours;
  const char* theirs;
  double allowance;
};

// The small messages are the ones this client exchanges (the call arguments
// and a status string) and, as a larger mix of maps, strings, numbers and
// lists, the nested map.
const Target kTargets[] = {
    {"connect_args", "round_trip/codec/", "round_trip/msgpack/", 0.8},
    {"status_event", "round_trip/codec/", "round_trip/msgpack/", 0.8},
    {"nested_map", "round_trip/codec/", "round_trip/msgpack/", 0.8},
    {"connect_args", "encode/codec/", "encode/msgpack/", 1.0},
    {"status_event", "encode/codec/", "encode/msgpack/", 1.0},
    {"nested_map", "encode/codec/", "encode/msgpack/", 1.0},
    {"bytes_1MiB", "decode/codec/", "copy/memcpy/", 2.0},
    {"int64_list_128Ki", "decode/codec/", "copy/memcpy/", 2.0},
};

void Register(const velk::CodecSubject& subject) {
  const EncodableValue value = subject.make();
  const std::vector<uint8_t> codec_bytes = velk::CodecEncode(value);
  const msgpack::sbuffer msgpack_source = velk::MsgpackEncode(value);
  const std::vector<char> msgpack_bytes(
      msgpack_source.data(), msgpack_source.data() + msgpack_source.size());
  const std::string name = subject.name;
  const bool int64_list = subject.int64_list;
  const int64_t size = int64_t(subject.payload_bytes ? subject.payload_bytes
                                                     : codec_bytes.size());

  auto copy_of = [msgpack_bytes] {
    msgpack::sbuffer buffer;
    buffer.write(msgpack_bytes.data(), msgpack_bytes.size());
    return buffer;
  };

  benchmark::RegisterBenchmark(
      ("encode/codec/" + name).c_str(), [value, size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(velk::CodecEncode(value));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(
      ("decode/codec/" + name).c_str(),
      [codec_bytes, size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(velk::CodecDecode(codec_bytes));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(
      ("round_trip/codec/" + name).c_str(), [value](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(velk::CodecDecode(velk::CodecEncode(value)));
        }
      });
  benchmark::RegisterBenchmark(
      ("encode/msgpack/" + name).c_str(),
      [value, size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(velk::MsgpackEncode(value));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(
      ("decode/msgpack/" + name).c_str(),
      [buffer = std::make_shared<msgpack::sbuffer>(copy_of()), int64_list,
       size](benchmark::State& state) {
        for (auto _ : state) {
          benchmark::DoNotOptimize(velk::MsgpackDecode(*buffer, int64_list));
        }
        state.SetBytesProcessed(state.iterations() * size);
      });
  benchmark::RegisterBenchmark(("round_trip/msgpack/" + name).c_str(),
                               [value, int64_list](benchmark::State& state) {
                                 for (auto _ : state) {
                                   benchmark::DoNotOptimize(velk::MsgpackDecode(
                                       velk::MsgpackEncode(value), int64_list));
                                 }
                               });
  if (subject.payload_bytes != 0) {
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
    for (const Target& target : kTargets) {
      const std::string ours = std::string(target.ours) + target.subject;
      const std::string theirs = std::string(target.theirs) + target.subject;
      const double our_time = TimeOf(ours);
      const double their_time = TimeOf(theirs);
      if (our_time <= 0 || their_time <= 0) continue;  // filtered out
      const double ratio = our_time / their_time;
      const bool met = ratio <= target.allowance;
      all_met = all_met && met;
      std::printf("target %-40s %s: %.2fx the time of %s (allowed %.1fx)\n",
                  ours.c_str(), met ? "met" : "MISSED", ratio, theirs.c_str(),
                  target.allowance);
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
  for (const velk::CodecSubject& subject : velk::CodecSubjects()) {
    Register(subject);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.CheckTargets() ? 0 : 1;
}
