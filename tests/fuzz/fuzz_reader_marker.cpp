// Fuzz target of the marker mailbox ("Outlook Express 4 Mail") reader family: any bytes as a file must be read
// to its end without a crash, a hang or a sanitizer report.
#include "ReaderFuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quill::fuzz::runReader("Outlook Express 4 Mail", data, size);
    return 0;
}
