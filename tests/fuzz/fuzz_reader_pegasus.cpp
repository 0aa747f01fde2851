// Fuzz target of the "Pegasus" folder reader family: any bytes as a file must be read
// to its end without a crash, a hang or a sanitizer report.
#include "ReaderFuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quill::fuzz::runReader("Pegasus", data, size);
    return 0;
}
