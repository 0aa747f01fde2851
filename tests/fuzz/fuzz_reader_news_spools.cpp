// Fuzz target of the three news spool reader families (separator, counted
// and header-set spools): any bytes as a file must be read to its end without
// a crash, a hang or a sanitizer report.
#include "ReaderFuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const types[] = {"VirtualAccess", "Agent News", "Unix News",
                                        "IE News",       "Netscape News", "Gravity"};
    quill::fuzz::runReader(types[size ? data[0] % 6 : 0], data, size);
    return 0;
}
