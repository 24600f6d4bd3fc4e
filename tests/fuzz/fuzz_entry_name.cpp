// Fuzz target: lookup-name normalisation on a name of up to 1023 bytes (the
// size of pfOpen's buffer), held in a heap block of exactly its length so that
// any write past the end is caught.
//
// The result must hold no '/' and no "..\", must never be longer than the
// name, and must equal what the steps give when done on a std::string: every
// '/' becomes '\', then while "..\" occurs at p, the stretch from the start
// of the component before it (searched from p - 2 down to 1; index 0 when p
// is at most 2 or no '\' is found) to just after the "..\" is removed.
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "package/package.h"

namespace {

std::string normalizedByTheSteps(std::string name)
{
    for (char &c : name)
        if (c == '/')
            c = '\\';
    size_t p;
    while ((p = name.find("..\\")) != std::string::npos) {
        size_t start = 0;
        if (p > 2)
            for (size_t i = p - 2; i >= 1; i--)
                if (name[i] == '\\') {
                    start = i + 1;
                    break;
                }
        name.erase(start, p + 3 - start);
    }
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    size_t nameLength = strnlen((const char *)data, length < 1023 ? length : 1023);
    std::string original((const char *)data, nameLength);
    std::unique_ptr<char[]> name(new char[nameLength + 1]);
    memcpy(name.get(), original.c_str(), nameLength + 1);

    normalizeEntryName(name.get());

    size_t resultLength = strlen(name.get());
    std::string result(name.get(), resultLength);
    FUZZ_CHECK(resultLength <= nameLength, "normalisation made the name longer");
    FUZZ_CHECK(result.find('/') == std::string::npos, "a '/' is left");
    FUZZ_CHECK(result.find("..\\") == std::string::npos, "a \"..\\\" step is left");
    FUZZ_CHECK(result == normalizedByTheSteps(original), "the result differs from the steps");
    return 0;
}
