// Parse and write speed of our JSON reader and writer beside nlohmann::json
// on the same documents, in MB/s (10^6 bytes of JSON text per second).
// Documents of about 50 KB and 1 MB are generated: records shaped like
// preferences and server replies, with nesting, escapes and non-ASCII text.

#include <stddef.h>

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/values.h"
#include "benchmark/benchmark.h"
#include "nlohmann/json.hpp"

namespace {

std::string Record(int i) {
  const std::string n = std::to_string(i);
  return "{\"id\":" + n + ",\"name\":\"item " + n +
         " caf\xC3\xA9 \\u00e9 \\\"quoted\\\"\",\"price\":" +
         std::to_string(i) + "." + std::to_string(i % 97) + ",\"ratio\":1.5e-" +
         std::to_string(i % 30 + 1) +
         ",\"active\":" + (i % 3 ? "true" : "false") +
         ",\"tags\":[\"alpha\",\"beta\",\"gamma\"],\"owner\":null,"
         "\"position\":{\"x\":" +
         std::to_string(i * 7 % 1000) + ",\"y\":-" +
         std::to_string(i * 13 % 1000) +
         ",\"path\":\"C:\\\\Users\\\\velna\\\\AppData\"}}";
}

// A JSON document of at least |size| bytes: {"records":[...]}.
std::string MakeDocument(size_t size) {
  std::string json = "{\"records\":[";
  for (int i = 0; json.size() < size; ++i) {
    if (i) json += ",";
    json += Record(i);
  }
  json += "],\"version\":\"1.0.0\"}";
  return json;
}

const std::string& Document(int64_t size) {
  static const std::string small = MakeDocument(50 * 1000);
  static const std::string large = MakeDocument(1000 * 1000);
  return size == 0 ? small : large;
}

void ReportThroughput(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["MB"] =
      benchmark::Counter(static_cast<double>(state.iterations() * bytes) / 1e6,
                         benchmark::Counter::kIsRate);
}

void BM_ParseVelna(benchmark::State& state) {
  const std::string& json = Document(state.range(0));
  for (auto _ : state) {
    std::unique_ptr<base::Value> root = base::JSONReader::Read(json);
    if (!root) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root);
  }
  ReportThroughput(state, json.size());
}

void BM_ParseNlohmann(benchmark::State& state) {
  const std::string& json = Document(state.range(0));
  for (auto _ : state) {
    nlohmann::json root = nlohmann::json::parse(json);
    benchmark::DoNotOptimize(root);
  }
  ReportThroughput(state, json.size());
}

void BM_WriteVelna(benchmark::State& state) {
  std::unique_ptr<base::Value> root =
      base::JSONReader::Read(Document(state.range(0)));
  std::string out;
  base::JSONWriter::Write(*root, &out);
  const size_t bytes = out.size();
  for (auto _ : state) {
    base::JSONWriter::Write(*root, &out);
    benchmark::DoNotOptimize(out.data());
  }
  ReportThroughput(state, bytes);
}

void BM_WriteNlohmann(benchmark::State& state) {
  const nlohmann::json root = nlohmann::json::parse(Document(state.range(0)));
  const size_t bytes = root.dump().size();
  for (auto _ : state) {
    std::string out = root.dump();
    benchmark::DoNotOptimize(out.data());
  }
  ReportThroughput(state, bytes);
}

// Argument 0 is the 50 KB document, 1 the 1 MB one.
BENCHMARK(BM_ParseVelna)->Arg(0)->Arg(1);
BENCHMARK(BM_ParseNlohmann)->Arg(0)->Arg(1);
BENCHMARK(BM_WriteVelna)->Arg(0)->Arg(1);
BENCHMARK(BM_WriteNlohmann)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
