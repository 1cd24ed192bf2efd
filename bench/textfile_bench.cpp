// Micro-benchmarks of the harvest's two hot paths: reading lines through
// the text-file layer, and sorting plus de-duplicating a full store.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "harvest.h"
#include "process.h"
#include "textfile.h"

namespace {

std::string MakeFile() {
  std::string path = "/tmp/ehi-bench-lines.txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::string line = std::string(19, '\t') + std::string(100, 'x') + "\r\n";
  for (int i = 0; i < 200000; ++i) std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
  return path;
}

void BM_ReadTextLine(benchmark::State& state) {
  static std::string path = MakeFile();
  ehi::TextBlockSize = int32_t(state.range(0));
  int64_t bytes = 0;
  for (auto _ : state) {
    ehi::TextFile f;
    ehi::AssignText(f, path);
    ehi::OpenTextRead(f);
    ehi::String line;
    while (!ehi::TextAtEnd(f)) {
      ehi::ReadTextLine(f, line);
      bytes += line.Length() + 2;
    }
    ehi::CloseText(f);
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadTextLine)->Arg(256)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_SortAndDeduplicate(benchmark::State& state) {
  std::mt19937 rng(1);
  for (auto _ : state) {
    state.PauseTiming();
    ehi::NHarvested = 0;
    for (int i = 0; i < ehi::MaxHarvested; ++i)
      ehi::AddHarvested("SUB" + std::to_string(rng() % 50000) + std::string(19, '\t') +
                        std::string(60, 'r'));
    state.ResumeTiming();
    ehi::SortHarvested();
    ehi::RemoveDuplicates();
  }
}
BENCHMARK(BM_SortAndDeduplicate)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ehi::InitServices();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
}
