// The message reader's work on each library: parse, read "c" and "a" as text,
// write the whole document back. Ours reads code page 936 text (as the
// program does); the others read the same message as UTF-8, their own input.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <nlohmann/json.hpp>
#include <string>

#include "bench/json/json_bench_messages.h"
#include "log/text_encoding.h"
#include "util/json_document.h"

namespace {

void Lumo(benchmark::State& state) {
  std::string text = Utf8ToAnsi(MakeMessage(state.range(0)));
  for (auto _ : state) {
    JsonDocument document;
    if (!document.Parse(text)) state.SkipWithError("parse failed");
    std::string c = document.GetText("c");
    std::string a = document.GetText("a");
    std::string out = document.ToText();
    benchmark::DoNotOptimize(c);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
  state.counters["bytes"] = text.size();
}

void RapidJson(benchmark::State& state) {
  std::string text = MakeMessage(state.range(0));
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    if (document.HasParseError()) state.SkipWithError("parse failed");
    std::string c = document["c"].GetString();
    std::string a = document["a"].GetString();
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    document.Accept(writer);
    std::string out(buffer.GetString(), buffer.GetSize());
    benchmark::DoNotOptimize(c);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
  state.counters["bytes"] = text.size();
}

void Nlohmann(benchmark::State& state) {
  std::string text = MakeMessage(state.range(0));
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text);
    std::string c = document["c"].get<std::string>();
    std::string a = document["a"].get<std::string>();
    std::string out = document.dump();
    benchmark::DoNotOptimize(c);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * text.size());
  state.counters["bytes"] = text.size();
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(100)->Arg(1024)->Arg(16 * 1024);
}

BENCHMARK(Lumo)->Apply(Sizes);
BENCHMARK(RapidJson)->Apply(Sizes);
BENCHMARK(Nlohmann)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
