// Mail composition: GetImages over large mails and documents, and the base64
// encoder alone. Rates are of base64 output characters.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "control/orvane_control.h"
#include "core/document.h"
#include "core/text.h"
#include "platform/posix/base64_file_encoder_posix.h"

namespace corabind {
namespace {

namespace fs = std::filesystem;

// A plain element tree, so that the walks and not a parser are measured.
class BenchElement : public Element {
 public:
  std::u16string tag = u"DIV";
  std::u16string src;
  std::vector<std::shared_ptr<Element>> kids;

  std::u16string tagName() const override { return tag; }
  Variant getAttribute(const std::u16string& name, std::int32_t) const override {
    if (!src.empty() && name == u"SRC") return src;
    return Null{};
  }
  std::vector<std::shared_ptr<Element>> children() const override { return kids; }
  std::u16string innerHTML() const override { return {}; }
  std::u16string outerHTML() const override { return u"<" + tag + u">"; }
};

class NoSheets : public Document, public StyleSheetList {
 public:
  std::shared_ptr<StyleSheetList> styleSheets() const override {
    return std::shared_ptr<StyleSheetList>(std::shared_ptr<void>(), const_cast<NoSheets*>(this));
  }
  std::int32_t length() const override { return 0; }
  std::shared_ptr<StyleSheet> item(std::int32_t) const override { return nullptr; }
};

class Folder {
 public:
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "corabind-bench-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~Folder() { fs::remove_all(path); }
  fs::path path;
};

// The control path "C:\img<n>.bin" names <folder>/img<n>.bin.
HostPathResolver Resolver(const fs::path& folder) {
  return [folder](std::u16string_view p) -> std::optional<fs::path> {
    return folder / ToUtf8(p.substr(3));
  };
}

// `count` distinct references (cycling) among `elements` leaf images under
// nested divs of ten.
std::shared_ptr<BenchElement> Tree(int elements, int references) {
  auto body = std::make_shared<BenchElement>();
  body->tag = u"BODY";
  std::shared_ptr<BenchElement> div;
  for (int i = 1; i < elements; ++i) {
    if (i % 10 == 1) {
      div = std::make_shared<BenchElement>();
      body->kids.push_back(div);
      continue;
    }
    auto img = std::make_shared<BenchElement>();
    img->tag = u"IMG";
    img->src = u"img" + DecimalText(i % references) + u".bin";
    div->kids.push_back(img);
  }
  return body;
}

void BM_GetImages_200ImagesOf256KiB(benchmark::State& state) {
  Folder folder;
  std::mt19937 random(1);
  std::string bytes(256 * 1024, '\0');
  for (int i = 0; i < 200; ++i) {
    for (auto& b : bytes) b = static_cast<char>(random());
    std::ofstream(folder.path / ("img" + std::to_string(i) + ".bin"), std::ios::binary) << bytes;
  }
  auto body = Tree(2001, 200);
  auto dom = std::make_shared<NoSheets>();
  std::size_t output = 0;
  for (auto _ : state) {
    Library library(Services{
        nullptr, nullptr, std::make_shared<PosixBase64FileEncoderFactory>(Resolver(folder.path))});
    OrvaneControl control(library);
    const std::u16string message = control.GetImages(u"<html></html>", body, u"C:\\", dom, kFalse);
    output = message.size();
    benchmark::DoNotOptimize(message.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * output));
}
BENCHMARK(BM_GetImages_200ImagesOf256KiB)->Unit(benchmark::kMillisecond);

// The walks and registration: tiny files, so encoding does not dominate.
void BM_GetImages_Elements(benchmark::State& state) {
  const int elements = static_cast<int>(state.range(0));
  const int references = elements / 10;
  Folder folder;
  auto body = Tree(elements, references);
  auto dom = std::make_shared<NoSheets>();
  for (auto _ : state) {
    Library library(Services{
        nullptr, nullptr, std::make_shared<PosixBase64FileEncoderFactory>(Resolver(folder.path))});
    OrvaneControl control(library);
    benchmark::DoNotOptimize(control.GetImages(u"", body, u"C:\\", dom, kFalse));
  }
  state.SetComplexityN(references);
  state.counters["references"] = references;
}
BENCHMARK(BM_GetImages_Elements)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void BM_Base64Encode(benchmark::State& state) {
  std::string bytes(static_cast<std::size_t>(state.range(0)), '\0');
  std::mt19937 random(2);
  for (auto& b : bytes) b = static_cast<char>(random());
  std::u16string out(Base64TextLength(bytes.size()), u' ');
  for (auto _ : state) {
    EncodeBase64Lines(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                      out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_Base64Encode)->Arg(256 * 1024)->Arg(16 * 1024 * 1024);

void BM_Base64EncodeFile(benchmark::State& state) {
  Folder folder;
  std::string bytes(256 * 1024, '\0');
  std::mt19937 random(3);
  for (auto& b : bytes) b = static_cast<char>(random());
  std::ofstream(folder.path / "img0.bin", std::ios::binary) << bytes;
  PosixBase64FileEncoder encoder(Resolver(folder.path), std::make_shared<ReadPolicy>(), {});
  for (auto _ : state) {
    encoder.EncodeFile(u"C:\\img0.bin", FileRead::kBinary, Base64Lines::kBrokenAt76);
    benchmark::DoNotOptimize(encoder.EncodedText().data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * encoder.EncodedText().size()));
}
BENCHMARK(BM_Base64EncodeFile);

}  // namespace
}  // namespace corabind
