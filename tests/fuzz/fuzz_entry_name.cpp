// Fuzz target: lookup-name normalisation on a name of up to 1023 bytes (the
// size of pfOpen's buffer), held in a heap block of exactly its length so that
// any write past the end is caught.
//
// The result holds no '/' and no "..\", is never longer than the name, and
// normalising it again leaves it as it is.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "package/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    size_t nameLength = strnlen((const char *)data, length < 1023 ? length : 1023);
    std::unique_ptr<char[]> name(new char[nameLength + 1]);
    memcpy(name.get(), data, nameLength);
    name[nameLength] = '\0';

    normalizeEntryName(name.get());
    std::string once = name.get();
    FUZZ_CHECK(once.size() <= nameLength, "normalisation made the name longer");
    FUZZ_CHECK(once.find('/') == std::string::npos, "a '/' is left");
    FUZZ_CHECK(once.find("..\\") == std::string::npos, "a \"..\\\" step is left");
    normalizeEntryName(name.get());
    FUZZ_CHECK(once == name.get(), "normalising the result changed it");
    return 0;
}
