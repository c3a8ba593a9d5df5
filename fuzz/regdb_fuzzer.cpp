// The regulatory database reader on arbitrary bytes. Besides crashes, undefined
// behaviour and reads outside the input (the sanitizers catch those), it checks what
// a database it accepts must hold: every country has rules, no rule ends before it
// starts, and a refusal leaves the output as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "check/regdb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ze::regdb::Database database;
    database.countries.push_back({u"XX", 0, {}});
    std::u16string error;
    if (!ze::regdb::ParseDatabase({data, size}, &database, &error)) {
        if (error.empty() || database.countries.size() != 1)
            std::abort();
        return 0;
    }
    for (const ze::regdb::Country& country : database.countries) {
        if (country.rules.empty())
            std::abort();
        for (const ze::regdb::Rule& rule : country.rules) {
            if (rule.startKhz > rule.endKhz)
                std::abort();
        }
    }
    return 0;
}
