// Fuzz target: quillpack list and verify over any file. Whatever the bytes,
// both finish, each says why it failed exactly when it fails, a file that
// verifies also lists, and both leave the package table empty.
#include <stdio.h>

#include "fuzz/fuzz_check.h"
#include "package/package.h"
#include "tools/quillpack/quillpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    static const std::string path = scratchPath("installer.exe");
    static FILE *const listing = fopen("/dev/null", "w");
    writeFile(path, Bytes(data, data + length));

    std::string error;
    bool listed = listInstaller(path, listing, error);
    FUZZ_CHECK(listed == error.empty(), "list failed without a reason, or gave one and succeeded");
    FUZZ_CHECK(openPackageCount == 0, "list left a package open");

    std::vector<Finding> findings;
    bool verified = verifyInstaller(path, findings);
    FUZZ_CHECK(verified == !hasErrors(findings), "verify failed without an error, or named one and passed");
    FUZZ_CHECK(!verified || listed, "a file that verifies does not list");
    FUZZ_CHECK(openPackageCount == 0, "verify left a package open");
    return 0;
}
