// Cost of the POSIX text-file layer on a mail-sized HTML page: conversion
// alone, and a full atomic replace (temporary, fsync, rename) plus reading
// it back line by line.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "platform/posix/posix_file_system.h"

namespace {

std::u16string Page(std::size_t bytes) {
  std::u16string page;
  while (page.size() < bytes) page += u"<p>\ud55c\uae00 mail text, line after line</p>\r\n";
  return page;
}

void BM_EncodeCp949(benchmark::State& state) {
  const corabind::CodeSet code_set("CP949");
  const std::u16string page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(code_set.Encode(page));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size() * 2));
}
BENCHMARK(BM_EncodeCp949)->Arg(64 << 10)->Arg(1 << 20);

void BM_WriteThenReadLines(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "corabind-bench-XXXXXX").string();
  if (!mkdtemp(folder.data())) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  auto paths = std::make_shared<corabind::PathMap>();
  paths->MapDrive(u'T', folder);
  corabind::PosixFileSystem files(paths, "UTF-8");
  const std::u16string page = Page(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    files.WriteTextFile(u"T:\\page.htm", page);
    std::size_t lines = 0;
    for (auto reader = files.OpenTextFile(u"T:\\page.htm"); !reader->AtEnd(); ++lines)
      reader->ReadLine();
    benchmark::DoNotOptimize(lines);
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteThenReadLines)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
