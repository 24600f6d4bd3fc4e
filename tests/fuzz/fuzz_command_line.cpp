// Fuzz target: the command line, split in place into tokens and read for its
// options. The text is held in a heap block of exactly its length, so that a
// read or write past its end is caught. Whatever the text: at most 128
// tokens, each starting inside the text, the run mode one of the three, and
// a clean-up folder that ends inside its buffer.
#include <string.h>

#include <vector>

#include "app/startup.h"
#include "fuzz/fuzz_check.h"
#include "script/install_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    std::vector<char> text(length + 1);
    memcpy(text.data(), data, length);
    SplitCommandLineText(text.data());
    fuzzCheck(startup.argCount >= 0 && startup.argCount <= ARG_SLOTS, "more tokens than slots");
    for (int32_t i = 0; i < startup.argCount; i++)
        fuzzCheck(startup.argTable[i] >= text.data() && startup.argTable[i] <= text.data() + length,
                  "a token outside the text");

    memset(settings.destinationDir, 'x', PATH_SIZE);   // no NUL unless the options write one
    ParseOptions();
    fuzzCheck(startup.runMode <= RUN_CLEANUP, "an unknown run mode");
    fuzzCheck(startup.runMode != RUN_CLEANUP || memchr(settings.destinationDir, '\0', PATH_SIZE),
              "the clean-up folder runs past its buffer");
    return 0;
}
