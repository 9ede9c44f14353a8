// Times the entry list's operations that work on a whole big list at the user's request:
// removing the selected rows and finding a name. A list of a million rows in the style of
// the big blocklists is made once; every run of the removal works on a fresh copy of it.
//
//   quorvale-core-bench [Google Benchmark flags, e.g. --benchmark_format=json]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/entry_list.h"
#include "core/utf16.h"

namespace {

constexpr size_t kRows = 1'000'000;
constexpr size_t kSelectedRows = 10'000;
// Found nowhere in the texts made below: the search goes through the whole list.
constexpr const char* kAbsentText = "qqzx";

const quorvale::EntryList& BigList() {
  static const quorvale::EntryList list = [] {
    const char* words[] = {"ads", "track", "metrics", "pixel", "cdn", "stats", "banner", "click", "beacon", "sync"};
    const char* domains[] = {".com", ".net", ".org", ".io", ".de", ".fr", ".info", ".biz"};
    std::mt19937 random(7);
    quorvale::EntryList made;
    std::string name;
    for (size_t i = 0; made.size() < kRows; ++i) {
      name = words[random() % 10];
      name += std::to_string(random() % 100000);
      name += '.';
      name += words[random() % 10];
      name += "-host";
      name += std::to_string(i);
      name += domains[random() % 8];
      // One row in twenty has a description; most block with 0.0.0.0, some with 127.0.0.1.
      made.Add(name, i % 5 == 0 ? "127.0.0.1" : "0.0.0.0", i % 20 == 0 ? "# tracker" : "");
    }
    made.Sort({});
    return made;
  }();
  return list;
}

// Every hundredth row of the display order is selected, as a Ctrl-click selection over the
// whole list would be, in a shuffled order.
std::vector<size_t> SelectedRows() {
  std::vector<size_t> rows;
  for (size_t i = 0; i < kSelectedRows; ++i) rows.push_back(i * (kRows / kSelectedRows) + 37);
  std::shuffle(rows.begin(), rows.end(), std::mt19937(11));
  return rows;
}

void BM_RemoveSelectedRows(benchmark::State& state) {
  const std::vector<size_t> selected = SelectedRows();
  for (auto _ : state) {
    state.PauseTiming();
    quorvale::EntryList list = BigList();
    state.ResumeTiming();
    benchmark::DoNotOptimize(list.RemoveRows(selected));
    benchmark::DoNotOptimize(list.Name(0));
    state.PauseTiming();
    // The copy goes away outside the timed part.
    { quorvale::EntryList gone = std::move(list); }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RemoveSelectedRows)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_FindAbsentName(benchmark::State& state) {
  const quorvale::EntryList& list = BigList();
  for (auto _ : state) {
    benchmark::DoNotOptimize(list.FindText(kAbsentText, 0, list.size(), quorvale::Utf8FromWindows1252));
  }
}
BENCHMARK(BM_FindAbsentName)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
