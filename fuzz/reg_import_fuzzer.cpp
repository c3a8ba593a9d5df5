// The .reg import on arbitrary file bytes, into an in-memory registry. Besides
// crashes and undefined behaviour it checks that the file read in small pieces gives
// the registry it gives read whole, and that the registry's export imports into an
// empty registry as the same registry (export and import round trip).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/sim/reg_file.h"
#include "platform/sim/registry_store.h"

namespace sim = ze::sim;

namespace {

// A registry made from a .reg file fed in pieces of `piece` bytes (0: whole).
std::unique_ptr<sim::RegistryStore> Imported(std::string_view bytes, std::size_t piece) {
    auto registry = sim::RegistryStore::InMemory();
    sim::RegistryImport sink(*registry);
    registry->Transaction([&] {
        if (piece == 0) {
            sim::ReadRegBytes(bytes, "fuzz.reg", sink);
        } else {
            sim::RegReader reader("fuzz.reg", sink);
            for (std::size_t at = 0; at < bytes.size(); at += piece)
                reader.Feed(bytes.substr(at, piece));
            reader.Finish();
        }
        return sink.Error();
    });
    return registry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto whole = Imported(bytes, 0);
    std::u16string text = sim::RegText(*whole);
    if (sim::RegText(*Imported(bytes, 1 + size % 7)) != text)
        std::abort();

    std::string exported;
    if (sim::WriteReg(*whole, sim::kRootKey, [&](std::string_view piece) {
            exported.append(piece);
            return true;
        }) != ze::ERROR_SUCCESS) {
        std::abort();
    }
    if (sim::RegText(*Imported(exported, 0)) != text)
        std::abort();
    return 0;
}
