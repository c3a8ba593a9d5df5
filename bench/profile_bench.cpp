// GetPrivateProfileStringW on the simulated machine against a large OEM INF: a
// 4 MB UTF-16LE file with 40 Strings sections, as driver packages with many
// languages ship them. Reports the time of the first (parsing) read, and of a
// lookup once the file has been read, both for a file written moments ago (whose
// bytes are compared on every call) and for one that has settled (whose time
// stamps are trusted).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "common/text.h"
#include "platform/sim/sim_platform.h"

namespace {

constexpr char16_t kInf[] = u"C:\\windows\\inf\\oem99.inf";
constexpr int kSections = 40;
constexpr int kLookups = 50;

std::u16string SectionName(int index) {
    return index == 0 ? std::u16string(u"Strings") : ze::Format(u"Strings.%04X", 0x0400 + index);
}

std::u16string KeyName(int index) {
    return ze::Format(u"NetAdapterParameterText%05d", index);
}

// About 4 MB of UTF-16LE: a [Version] section, then 40 Strings sections of equal
// size whose keys are the same in each language.
std::string BuildInf(int* keysPerSection) {
    constexpr std::size_t kTargetBytes = 4u << 20;
    std::u16string text = u"[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n\r\n";
    std::u16string line = KeyName(0) + u" = \"" + std::u16string(60, u'x') + u"\"\r\n";
    *keysPerSection = static_cast<int>(kTargetBytes / 2 / kSections / line.size());
    for (int s = 0; s < kSections; ++s) {
        text += u"[" + SectionName(s) + u"]\r\n";
        for (int k = 0; k < *keysPerSection; ++k) {
            text += KeyName(k) + ze::Format(
                                     u" = \"Localised text %d of language %d, long enough "
                                     u"to be realistic\"\r\n",
                                     k, s);
        }
        text += u"\r\n";
    }
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

class Machine {
  public:
    Machine() {
        root_ = std::filesystem::temp_directory_path() /
                ("zeregion-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root_);
        sim_ = std::make_unique<ze::sim::SimPlatform>(root_);
        std::filesystem::create_directories(sim_->HostPath(u"C:\\windows\\inf"));
        scope_ = std::make_unique<ze::ScopedPlatform>(*sim_);
        bytes_ = BuildInf(&keysPerSection_);
        Rewrite();
    }
    ~Machine() {
        scope_.reset();
        sim_.reset();
        std::filesystem::remove_all(root_);
    }
    // Writes the INF anew (a new file as far as any cache can tell).
    void Rewrite() {
        std::ofstream(sim_->HostPath(kInf), std::ios::binary | std::ios::trunc) << bytes_;
    }
    int KeysPerSection() const { return keysPerSection_; }
    std::size_t Size() const { return bytes_.size(); }

  private:
    std::filesystem::path root_;
    std::unique_ptr<ze::sim::SimPlatform> sim_;
    std::unique_ptr<ze::ScopedPlatform> scope_;
    std::string bytes_;
    int keysPerSection_ = 0;
};

Machine& TheMachine() {
    static Machine machine;
    return machine;
}

void Lookup(int section, int key) {
    char16_t buffer[512];
    ze::DWORD length = ze::OS().GetPrivateProfileStringW(
        SectionName(section).c_str(), KeyName(key).c_str(), u"", buffer, 512, kInf);
    if (length == 0)
        std::abort();  // every key exists; an empty answer is a broken simulation
    benchmark::DoNotOptimize(buffer);
}

// 50 lookups spread over the sections and keys (later keys cost more to find).
void FiftyLookups(benchmark::State& state) {
    Machine& machine = TheMachine();
    std::mt19937 random(7);
    Lookup(0, 0);  // the first read
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i) {
            Lookup(static_cast<int>(random() % kSections),
                   static_cast<int>(random() % machine.KeysPerSection()));
        }
    }
    state.counters["per_lookup"] = benchmark::Counter(
        kLookups, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["inf_bytes"] = static_cast<double>(machine.Size());
}

void BM_FirstRead(benchmark::State& state) {
    Machine& machine = TheMachine();
    for (auto _ : state) {
        state.PauseTiming();
        machine.Rewrite();
        state.ResumeTiming();
        Lookup(kSections - 1, machine.KeysPerSection() - 1);
    }
}
BENCHMARK(BM_FirstRead)->Unit(benchmark::kMillisecond)->Iterations(5);

// The file was written within the last two seconds: each call compares its bytes.
void BM_FiftyLookupsRecentFile(benchmark::State& state) {
    TheMachine().Rewrite();
    FiftyLookups(state);
}
BENCHMARK(BM_FiftyLookupsRecentFile)->Unit(benchmark::kMillisecond);

// The file has settled: each call checks its time stamps only.
void BM_FiftyLookupsSettledFile(benchmark::State& state) {
    TheMachine().Rewrite();
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    FiftyLookups(state);
}
BENCHMARK(BM_FiftyLookupsSettledFile)->Unit(benchmark::kMillisecond);

// A write between lookups: the next lookup reads the changed file.
void BM_LookupAfterWrite(benchmark::State& state) {
    TheMachine().Rewrite();
    Lookup(0, 0);
    int round = 0;
    for (auto _ : state) {
        std::u16string value = ze::Format(u"changed %d", ++round);
        ze::OS().WritePrivateProfileStringW(u"Strings", KeyName(1).c_str(), value.c_str(), kInf);
        char16_t buffer[64];
        ze::OS().GetPrivateProfileStringW(u"Strings", KeyName(1).c_str(), u"", buffer, 64, kInf);
        if (value != buffer)
            std::abort();  // the change was not seen
    }
}
BENCHMARK(BM_LookupAfterWrite)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
